// bundlex_methods_test.cc - faults of the three commands on LZX and Quantum cabinets: the method or its window misnamed in a listing, bytes wrong after x, t passing damaged data or a window outside the format.
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/cabinet/support/lzx_compressor.h"
#include "tests/cabinet/support/quantum_compressor.h"
#include "tests/cabinet/support/sample_data.h"
#include "tests/tools/bundlex_harness.h"

namespace bundlex_test {
namespace {

// The same files in each method: a large-window folder of two files and a small-window one.
std::vector<cabtest::File> large_files() {
  return {{"docs\\text.txt", cabtest::sample_data(cabtest::DataKind::text, 70000, 1)},
          {"table.bin", cabtest::sample_data(cabtest::DataKind::records, 9000, 2)}};
}
std::vector<cabtest::File> small_files() { return {{"small.bin", noise(3000, 3)}}; }

std::vector<cabtest::Folder> lzx_folders() {
  cabtest::LzxOptions large, small;
  large.window_bits = 21;
  large.translation_nbytes = 12000000;
  small.window_bits = 15;
  return {cabtest::lzx_folder(large_files(), large), cabtest::lzx_folder(small_files(), small)};
}

std::vector<cabtest::Folder> quantum_folders() {
  return {cabtest::quantum_folder(21, large_files()), cabtest::quantum_folder(10, small_files())};
}

// Cabinets of the method that `t` must fail with exit 7: the first block cut long before its
// symbols end, and for LZX also a window outside the format.
std::vector<std::vector<cabtest::Folder>> lzx_damaged() {
  std::vector<cabtest::Folder> cut = lzx_folders(), wide = lzx_folders();
  cut[0].blocks->front().compressed.resize(100);
  wide[0].method_word = cabtest::lzx_method_word(22);
  return {cut, wide};
}

std::vector<std::vector<cabtest::Folder>> quantum_damaged() {
  std::vector<cabtest::Folder> cut = quantum_folders();
  cut[0].blocks->front().compressed.resize(100);
  return {cut};
}

struct MethodCase {
  const char *name;
  std::vector<cabtest::Folder> (*folders)();
  std::vector<std::vector<cabtest::Folder>> (*damaged)();
  const char *large_label;  // how a listing names each folder's method and window
  const char *small_label;
};

std::ostream &operator<<(std::ostream &os, const MethodCase &c) { return os << c.name; }

class method : public testing::TestWithParam<MethodCase> {};

std::string listing_row(const char *size, const char *folder, const char *label, const char *name) {
  char row[128];
  snprintf(row, sizeof row, "%10s  2025-01-01 12:00:00  ---A-  %6s  %-12s%s\n", size, folder, label, name);
  return row;
}

TEST_P(method, lists_the_window_extracts_and_tests) {
  const MethodCase &c = GetParam();
  scratch_folder dir;
  const std::vector<cabtest::Folder> folders = c.folders();
  write_file(dir.path() / "m.cab", cabtest::write_cabinet(folders));

  run_result listing = run_bundlex(dir.path(), {"l", "m.cab"});
  ASSERT_EQ(listing.exit_code, 0) << listing.err;
  EXPECT_EQ(listing.out, "      Size  Date       Time      Attr   Folder  Method      Name\n" +
                             listing_row("70000", "0", c.large_label, "docs\\text.txt") +
                             listing_row("9000", "0", c.large_label, "table.bin") +
                             listing_row("3000", "1", c.small_label, "small.bin") + "3 files, 82000 bytes\n");

  run_result test = run_bundlex(dir.path(), {"t", "m.cab"});
  EXPECT_EQ(test.exit_code, 0) << test.err;
  EXPECT_EQ(test.out, "OK: 3 files, 82000 bytes\n");

  run_result x = run_bundlex(dir.path(), {"x", "m.cab", "-d", "out"});
  ASSERT_EQ(x.exit_code, 0) << x.err;
  for (const cabtest::Folder &folder : folders) {
    for (const cabtest::File &file : folder.files) {
      std::string name = file.name;
      std::replace(name.begin(), name.end(), '\\', '/');
      EXPECT_EQ(read_file(dir.path() / "out" / name), file.data) << name;
    }
  }
}

TEST_P(method, damaged_data_fails_the_test_with_exit_7) {
  for (const std::vector<cabtest::Folder> &folders : GetParam().damaged()) {
    scratch_folder dir;
    write_file(dir.path() / "bad.cab", cabtest::write_cabinet(folders));
    run_result r = run_bundlex(dir.path(), {"t", "bad.cab"});
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_EQ(r.err, "bundlex: bad.cab: data cannot be decoded (at docs\\text.txt)\n");
  }
}

INSTANTIATE_TEST_SUITE_P(cabinets, method,
                         testing::Values(MethodCase{"lzx", lzx_folders, lzx_damaged, "LZX:21", "LZX:15"},
                                         MethodCase{"quantum", quantum_folders, quantum_damaged, "Quantum:21",
                                                    "Quantum:10"}),
                         [](const testing::TestParamInfo<MethodCase> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace bundlex_test
