// bundlex_lzx_test.cc - faults of the three commands on LZX cabinets: the method or its window
// misnamed in a listing, bytes wrong after x, t passing damaged LZX data or a window outside the format.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/cabinet/support/lzx_compressor.h"
#include "tests/cabinet/support/sample_data.h"
#include "tests/tools/bundlex_harness.h"

namespace bundlex_test {
namespace {

std::vector<cabtest::Folder> lzx_folders() {
  cabtest::LzxOptions large, small;
  large.window_bits = 21;
  large.translation_nbytes = 12000000;
  small.window_bits = 15;
  return {cabtest::lzx_folder({{"docs\\text.txt", cabtest::sample_data(cabtest::DataKind::text, 70000, 1)},
                               {"table.bin", cabtest::sample_data(cabtest::DataKind::records, 9000, 2)}},
                              large),
          cabtest::lzx_folder({{"small.bin", noise(3000, 3)}}, small)};
}

TEST(lzx, lists_the_window_extracts_and_tests) {
  scratch_folder dir;
  const std::vector<cabtest::Folder> folders = lzx_folders();
  write_file(dir.path() / "l.cab", cabtest::write_cabinet(folders));

  run_result listing = run_bundlex(dir.path(), {"l", "l.cab"});
  ASSERT_EQ(listing.exit_code, 0) << listing.err;
  EXPECT_EQ(listing.out,
            "      Size  Date       Time      Attr   Folder  Method      Name\n"
            "     70000  2025-01-01 12:00:00  ---A-       0  LZX:21      docs\\text.txt\n"
            "      9000  2025-01-01 12:00:00  ---A-       0  LZX:21      table.bin\n"
            "      3000  2025-01-01 12:00:00  ---A-       1  LZX:15      small.bin\n"
            "3 files, 82000 bytes\n");

  run_result test = run_bundlex(dir.path(), {"t", "l.cab"});
  EXPECT_EQ(test.exit_code, 0) << test.err;
  EXPECT_EQ(test.out, "OK: 3 files, 82000 bytes\n");

  run_result x = run_bundlex(dir.path(), {"x", "l.cab", "-d", "out"});
  ASSERT_EQ(x.exit_code, 0) << x.err;
  for (const cabtest::Folder &folder : folders) {
    for (const cabtest::File &file : folder.files) {
      std::string name = file.name;
      std::replace(name.begin(), name.end(), '\\', '/');
      EXPECT_EQ(read_file(dir.path() / "out" / name), file.data) << name;
    }
  }
}

TEST(lzx, damaged_data_or_a_window_outside_the_format_fails_the_test_with_exit_7) {
  std::vector<cabtest::Folder> cut = lzx_folders();
  cut[0].blocks->front().compressed.resize(100);  // the frame stops long before its symbols do
  std::vector<cabtest::Folder> wide = lzx_folders();
  wide[0].method_word = cabtest::lzx_method_word(22);
  for (const auto &folders : {cut, wide}) {
    scratch_folder dir;
    write_file(dir.path() / "bad.cab", cabtest::write_cabinet(folders));
    run_result r = run_bundlex(dir.path(), {"t", "bad.cab"});
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_EQ(r.err, "bundlex: bad.cab: data cannot be decoded (at docs\\text.txt)\n");
  }
}

}  // namespace
}  // namespace bundlex_test
