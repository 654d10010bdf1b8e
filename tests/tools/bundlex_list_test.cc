// bundlex_list_test.cc - faults in the l command: a wrong or misaligned column (size, MS-DOS date
// and time, attribute letters, folder, method name and window), a lost or unmarked entry of a
// cabinet set, a wrong summary, anything extracted while listing; and names from a cabinet that
// any command shows unconverted, or with control characters that break lines or drive a terminal.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/tools/bundlex_harness.h"

namespace bundlex_test {
namespace {

namespace fs = std::filesystem;

struct row {
  std::string columns;  // everything before the name, runs of spaces squeezed to one
  std::string name;     // the name and any mark after it

  bool operator==(const row &) const = default;
};

std::ostream &operator<<(std::ostream &os, const row &r) { return os << '{' << r.columns << " | " << r.name << '}'; }

// Cuts a listing into its rows at the header's "Name" column, checking that every row's name
// starts exactly there, and returns the summary line.
std::vector<row> rows_of(const std::string &listing, std::string &summary) {
  std::istringstream lines(listing);
  std::string header;
  std::getline(lines, header);
  const size_t name_column = header.find("Name");
  EXPECT_NE(name_column, std::string::npos) << header;
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  if (all.empty()) return {};
  summary = all.back();
  all.pop_back();
  std::vector<row> rows;
  for (const std::string &line : all) {
    EXPECT_TRUE(line.size() > name_column && line[name_column - 1] == ' ' && line[name_column] != ' ')
        << "misaligned: " << line;
    std::istringstream words(line.substr(0, name_column));
    std::string columns;
    for (std::string word; words >> word;) columns += (columns.empty() ? "" : " ") + word;
    rows.push_back({columns, line.substr(std::min(name_column, line.size()))});
  }
  return rows;
}

constexpr uint16_t kLeapDay = (2024 - 1980) << 9 | 2 << 5 | 29;
constexpr uint16_t kLastSecond = 23 << 11 | 59 << 5 | 58 / 2;

TEST(list, shows_every_column_of_every_entry_and_extracts_nothing) {
  using cabtest::File;
  using cabtest::Folder;
  std::vector<Folder> folders = {
      {cabtest::kMethodStored,
       {File{"readme.txt", noise(100, 1), kLeapDay, kLastSecond, 0x21},
        File{"docs\\guide.txt", noise(2000, 2), 0x5A21, 0x6000, 0x67}}},
      {cabtest::kMethodMszip, {File{"data.bin", noise(5000, 3), 0x5A21, 0x6000, 0x00}}},
      // Listing reads folder entries only, so words the reader cannot decode still list.
      {0x1202, {File{"quantum.bin", noise(10, 4)}}},
      {0x1503, {File{"lzx.bin", noise(10, 5)}}},
      {0x0007, {File{"seven.bin", noise(10, 6)}}},
      {0x0F00, {File{"stored-window.bin", noise(10, 7)}}},
  };
  scratch_folder dir;
  write_file(dir.path() / "listed.cab", cabtest::write_cabinet(folders));
  run_result r = run_bundlex(dir.path(), {"l", "listed.cab"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::string summary;
  std::vector<row> rows = rows_of(r.out, summary);
  std::vector<row> expected = {
      {"100 2024-02-29 23:59:58 R--A- 0 stored", "readme.txt"},
      {"2000 2025-01-01 12:00:00 RHSAX 0 stored", "docs\\guide.txt"},
      {"5000 2025-01-01 12:00:00 ----- 1 MSZIP", "data.bin"},
      {"10 2025-01-01 12:00:00 ---A- 2 Quantum:18", "quantum.bin"},
      {"10 2025-01-01 12:00:00 ---A- 3 LZX:21", "lzx.bin"},
      {"10 2025-01-01 12:00:00 ---A- 4 method 7", "seven.bin"},
      {"10 2025-01-01 12:00:00 ---A- 5 stored", "stored-window.bin"},
  };
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(summary, "7 files, 7140 bytes");
  EXPECT_EQ(tree(dir.path()), std::vector<std::string>{"listed.cab"});
}

TEST(list, marks_the_entries_a_set_carries_over_between_cabinets) {
  scratch_folder dir;
  write_two_cabinet_set(dir.path());
  struct {
    const char *cabinet;
    std::vector<row> rows;
    const char *summary;
  } cases[] = {
      {"set1.cab",
       {{"6 2025-01-01 12:00:00 ---A- 0 stored", "a.txt"},
        {"40000 2025-01-01 12:00:00 ---A- 0 stored", "docs\\b.bin  (continues in the next cabinet)"},
        {"1000 2025-01-01 12:00:00 ---A- 0 stored", "deep\\er\\c.txt  (continues in the next cabinet)"}},
       "3 files, 41006 bytes"},
      // The continued folder is the second cabinet's folder 0; the next folder is its folder 1.
      {"set2.cab",
       {{"40000 2025-01-01 12:00:00 ---A- 0 stored", "docs\\b.bin  (continued from the previous cabinet)"},
        {"1000 2025-01-01 12:00:00 ---A- 0 stored", "deep\\er\\c.txt  (continued from the previous cabinet)"},
        {"6 2025-01-01 12:00:00 ---A- 1 MSZIP", "d.txt"}},
       "3 files, 41006 bytes"},
  };
  for (const auto &c : cases) {
    run_result r = run_bundlex(dir.path(), {"l", c.cabinet});
    ASSERT_EQ(r.exit_code, 0) << c.cabinet << ": " << r.err;
    std::string summary;
    EXPECT_EQ(rows_of(r.out, summary), c.rows) << c.cabinet;
    EXPECT_EQ(summary, c.summary) << c.cabinet;
  }
}

// Names come from the cabinet: each is shown as the UTF-8 name its file gets, with every control
// character and stray byte escaped, so that an entry keeps to its line and cannot drive the terminal.
TEST(names, are_shown_in_utf8_and_never_as_control_characters) {
  using cabtest::File;
  scratch_folder dir;
  write_file(dir.path() / "names.cab",
             cabtest::write_cabinet({{cabtest::kMethodStored,
                                      {File{"caf\xe9.txt", noise(1, 1)}, File{"\x1b[2Jclear", noise(1, 2)},
                                       File{"two\nlines", noise(1, 3)},
                                       // 1252 leaves 0x81 undefined: it becomes U+0081, a C1 control.
                                       File{"undefined\x81", noise(1, 4)},
                                       File{"bad\xff", noise(1, 5), 0x5A21, 0x6000, 0xA0}}}}));
  cabtest::Layout spanning;
  spanning.cabinet_data_capacity = 40000;
  spanning.name_prefix = "esc\x1b[7m";
  write_file(dir.path() / "first.cab",
             cabtest::write_cabinet_set({{cabtest::kMethodStored, {File{"span", noise(60000, 6)}}}}, spanning)[0].bytes);
  struct {
    std::vector<std::string> args;
    int exit_code;
    std::vector<std::string> out_lines_ending;  // one line of stdout ends with each
    std::string err;
  } cases[] = {
      {{"l", "names.cab"},
       0,
       {"  caf\xc3\xa9.txt", "  \\x1b[2Jclear", "  two\\x0alines", "  undefined\\xc2\\x81", "  bad\\xff"},
       ""},
      {{"x", "names.cab", "-d", "out"}, 11, {}, "bundlex: bad\\xff: refused: the name is marked as UTF-8 but is not\n"},
      {{"t", "first.cab"}, 1, {}, "bundlex: esc\\x1b[7m2.cab: cannot open the cabinet: No such file or directory\n"},
  };
  for (const auto &c : cases) {
    run_result r = run_bundlex(dir.path(), c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << joined(c.args) << ": " << r.err;
    EXPECT_EQ(r.err, c.err) << joined(c.args);
    for (const std::string &ending : c.out_lines_ending)
      EXPECT_NE(r.out.find(ending + "\n"), std::string::npos) << joined(c.args) << " lacks " << ending;
    for (const std::string *stream : {&r.out, &r.err})
      EXPECT_EQ(std::count_if(stream->begin(), stream->end(), [](char ch) { return ch != '\n' && static_cast<unsigned char>(ch) < 0x20; }), 0)
          << joined(c.args) << ": " << testing::PrintToString(*stream);
  }
  EXPECT_TRUE(fs::exists(dir.path() / "out" / "caf\xc3\xa9.txt"));
}

}  // namespace
}  // namespace bundlex_test
