// bundlex_quantum_test.cc - faults of the three commands on Quantum cabinets: the method or its
// window misnamed in a listing, bytes wrong after x, t passing damaged Quantum data.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/cabinet/support/quantum_compressor.h"
#include "tests/cabinet/support/sample_data.h"
#include "tests/tools/bundlex_harness.h"

namespace bundlex_test {
namespace {

std::vector<cabtest::Folder> quantum_folders() {
  return {cabtest::quantum_folder(21, {{"docs\\text.txt", cabtest::sample_data(cabtest::DataKind::text, 70000, 1)},
                                       {"table.bin", cabtest::sample_data(cabtest::DataKind::records, 9000, 2)}}),
          cabtest::quantum_folder(10, {{"small.bin", noise(3000, 3)}})};
}

TEST(quantum, lists_the_window_extracts_and_tests) {
  scratch_folder dir;
  const std::vector<cabtest::Folder> folders = quantum_folders();
  write_file(dir.path() / "q.cab", cabtest::write_cabinet(folders));

  run_result listing = run_bundlex(dir.path(), {"l", "q.cab"});
  ASSERT_EQ(listing.exit_code, 0) << listing.err;
  EXPECT_EQ(listing.out,
            "      Size  Date       Time      Attr   Folder  Method      Name\n"
            "     70000  2025-01-01 12:00:00  ---A-       0  Quantum:21  docs\\text.txt\n"
            "      9000  2025-01-01 12:00:00  ---A-       0  Quantum:21  table.bin\n"
            "      3000  2025-01-01 12:00:00  ---A-       1  Quantum:10  small.bin\n"
            "3 files, 82000 bytes\n");

  run_result test = run_bundlex(dir.path(), {"t", "q.cab"});
  EXPECT_EQ(test.exit_code, 0) << test.err;
  EXPECT_EQ(test.out, "OK: 3 files, 82000 bytes\n");

  run_result x = run_bundlex(dir.path(), {"x", "q.cab", "-d", "out"});
  ASSERT_EQ(x.exit_code, 0) << x.err;
  for (const cabtest::Folder &folder : folders) {
    for (const cabtest::File &file : folder.files) {
      std::string name = file.name;
      std::replace(name.begin(), name.end(), '\\', '/');
      EXPECT_EQ(read_file(dir.path() / "out" / name), file.data) << name;
    }
  }
}

TEST(quantum, damaged_data_fails_the_test_with_exit_7) {
  scratch_folder dir;
  std::vector<cabtest::Folder> folders = quantum_folders();
  folders[0].blocks->front().compressed.resize(100);  // the block stops long before its symbols do
  write_file(dir.path() / "bad.cab", cabtest::write_cabinet(folders));
  run_result r = run_bundlex(dir.path(), {"t", "bad.cab"});
  EXPECT_EQ(r.exit_code, 7);
  EXPECT_EQ(r.err, "bundlex: bad.cab: data cannot be decoded (at docs\\text.txt)\n");
}

}  // namespace
}  // namespace bundlex_test
