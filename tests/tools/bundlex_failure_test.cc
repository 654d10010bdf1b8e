// bundlex_failure_test.cc - faults in how failures reach the user: a wrong exit code for a failure
// kind, a message that does not name the cabinet or file and the cause (a special file or a link in
// the way, a path or name too long, data past the last cabinet), a wait on a FIFO, a diagnostic on
// stdout; a progress line that shows when it should not or does not end its line; Ctrl-C that
// leaves a partial file behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "tests/cabinet/support/sample_cabinet.h"
#include "tests/tools/bundlex_harness.h"

namespace bundlex_test {
namespace {

namespace fs = std::filesystem;
using cabtest::Folder;

Folder two_stored_files() {
  return {cabtest::kMethodStored, {{"a.txt", noise(100, 1)}, {"b.txt", noise(100, 2)}}};
}

std::string repeated(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

void write_cabinet(const fs::path &path, const std::vector<Folder> &folders, const cabtest::Layout &layout = {}) {
  write_file(path, cabtest::write_cabinet(folders, layout));
}

struct failure_case {
  const char *what;
  std::function<void(const fs::path &)> setup;  // prepares the working folder
  std::vector<std::string> args;
  int exit_code;
  std::string err_start;  // stderr begins with this; the rest is the system's error text
};

std::ostream &operator<<(std::ostream &os, const failure_case &c) { return os << c.what; }

class failure : public testing::TestWithParam<failure_case> {};

TEST_P(failure, exits_with_its_code_and_names_it_on_stderr) {
  scratch_folder dir;
  GetParam().setup(dir.path());
  run_result r = run_bundlex(dir.path(), GetParam().args);
  EXPECT_EQ(r.exit_code, GetParam().exit_code) << r.err;
  EXPECT_TRUE(r.err.starts_with(GetParam().err_start)) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
  EXPECT_EQ(r.out, "");
}

void nothing(const fs::path &) {}

void not_a_cabinet(const fs::path &dir) {
  fs::copy_file(fs::path(BUNDLEX_FIXTURES_DIR) / "mimetype_installshield_NOT_MSCF.cab", dir / "not.cab");
}

void old_version(const fs::path &dir) {
  cabtest::Layout layout;
  layout.version = 0x0102;
  write_cabinet(dir / "old.cab", {two_stored_files()}, layout);
}

// One bit of b.txt's bytes flipped: the block's checksum no longer matches.
void flipped_bit(const fs::path &dir) {
  cabtest::Cabinet cabinet = cabtest::write_cabinet_set({two_stored_files()})[0];
  cabinet.bytes[cabinet.blocks[0] + cabtest::kDataHeaderNbytes + 150] ^= 0x10;
  write_file(dir / "damaged.cab", cabinet.bytes);
}

void cut_short(const fs::path &dir) {
  cabtest::Bytes bytes = cabtest::write_cabinet({two_stored_files()});
  bytes.resize(bytes.size() - 50);
  write_file(dir / "short.cab", bytes);
}

void method_4(const fs::path &dir) {
  Folder folder = two_stored_files();
  folder.method_word = 0x0004;
  write_cabinet(dir / "method4.cab", {folder});
}

// An MSZIP block whose checksum is right and whose deflate data uses the reserved block type.
void undecodable(const fs::path &dir) {
  Folder folder{cabtest::kMethodMszip, {{"a.txt", noise(100, 1)}}};
  folder.blocks = std::vector<cabtest::Block>{{{'C', 'K', 0xFF, 0xFF, 0xFF, 0xFF}, 100}};
  write_cabinet(dir / "bad.cab", {folder});
}

void set_without_its_second_cabinet(const fs::path &dir) {
  write_two_cabinet_set(dir);
  fs::remove(dir / "set2.cab");
}

// set2.cab of another set (another set identifier) in place of the right one.
void set_with_a_stranger(const fs::path &dir) {
  scratch_folder other;
  write_two_cabinet_set(other.path());
  write_two_cabinet_set(dir);
  cabtest::Bytes stranger = read_file(other.path() / "set2.cab");
  stranger[32] ^= 0x01;  // the set identifier's low byte
  write_file(dir / "set2.cab", stranger);
}

void output_is_a_folder(const fs::path &dir) {
  write_cabinet(dir / "two.cab", {two_stored_files()});
  fs::create_directories(dir / "out" / "b.txt");
}

// The set's second cabinet, where "docs\b.bin" goes on, is a FIFO: opening it must not wait.
void next_cabinet_is_a_fifo(const fs::path &dir) {
  write_two_cabinet_set(dir);
  fs::remove(dir / "set2.cab");
  ASSERT_EQ(mkfifo((dir / "set2.cab").c_str(), 0600), 0);
}

// set1.cab names its next cabinet "../a.cab", outside its folder, where such a cabinet waits.
void next_cabinet_outside(const fs::path &dir) {
  fs::create_directory(dir / "work");
  write_two_cabinet_set(dir / "work");
  cabtest::Bytes first = read_file(dir / "work" / "set1.cab");
  std::copy_n("../a.cab", 8, first.begin() + 36);  // the next cabinet's name, right after the header
  write_file(dir / "work" / "set1.cab", first);
  fs::copy_file(dir / "work" / "set2.cab", dir / "a.cab");
}

// "docs\b.bin" claims 128 KiB more than the set holds.
void data_past_the_last_cabinet(const fs::path &dir) {
  write_two_cabinet_set(dir);
  cabtest::Bytes first = read_file(dir / "set1.cab");
  // The second file entry of set1.cab: 16 bytes and "a.txt" after the first one, which the header's
  // offset 16 locates.
  const size_t file_table = first[16] | first[17] << 8;
  first[file_table + 16 + 6 + 2] += 2;
  write_file(dir / "set1.cab", first);
}

void output_is_a_fifo(const fs::path &dir) {
  write_cabinet(dir / "two.cab", {two_stored_files()});
  fs::create_directory(dir / "out");
  ASSERT_EQ(mkfifo((dir / "out" / "b.txt").c_str(), 0600), 0);
}

void folder_is_a_link(const fs::path &dir) {
  write_cabinet(dir / "nested.cab", {{cabtest::kMethodStored, {{"docs\\a.txt", noise(10, 1)}}}});
  fs::create_directories(dir / "out");
  fs::create_directories(dir / "elsewhere");
  fs::create_directory_symlink(dir / "elsewhere", dir / "out" / "docs");
}

// A name of 150 Windows-1252 letters, 300 bytes once in UTF-8.
void name_too_long(const fs::path &dir) {
  write_cabinet(dir / "long.cab", {{cabtest::kMethodStored, {{std::string(150, '\xe9'), noise(10, 1)}}}});
}

void folder_is_a_file(const fs::path &dir) {
  write_cabinet(dir / "nested.cab", {{cabtest::kMethodStored, {{"docs\\a.txt", noise(10, 1)}}}});
  fs::create_directory(dir / "out");
  write_file(dir / "out" / "docs", bytes_of("in the way"));
}

INSTANTIATE_TEST_SUITE_P(
    cases, failure,
    testing::Values(
        failure_case{"x_missing", nothing, {"x", "missing.cab"}, 1,
                     "bundlex: missing.cab: cannot open the cabinet: No such file or directory\n"},
        failure_case{"l_missing", nothing, {"l", "missing.cab"}, 1, "bundlex: missing.cab: cannot open the cabinet: "},
        failure_case{"t_missing", nothing, {"t", "missing.cab"}, 1, "bundlex: missing.cab: cannot open the cabinet: "},
        failure_case{"x_not_cabinet", not_a_cabinet, {"x", "not.cab"}, 2, "bundlex: not.cab: not a cabinet\n"},
        failure_case{"l_not_cabinet", not_a_cabinet, {"l", "not.cab"}, 2, "bundlex: not.cab: not a cabinet\n"},
        failure_case{"t_not_cabinet", not_a_cabinet, {"t", "not.cab"}, 2, "bundlex: not.cab: not a cabinet\n"},
        failure_case{"l_version", old_version, {"l", "old.cab"}, 3,
                     "bundlex: old.cab: unsupported cabinet format version\n"},
        failure_case{"t_checksum", flipped_bit, {"t", "damaged.cab"}, 4,
                     "bundlex: damaged.cab: damaged cabinet (at a.txt)\n"},
        failure_case{"x_checksum", flipped_bit, {"x", "damaged.cab"}, 4,
                     "bundlex: damaged.cab: damaged cabinet (at a.txt)\n"},
        failure_case{"t_truncated", cut_short, {"t", "short.cab"}, 4,
                     "bundlex: short.cab: damaged cabinet (at a.txt)\n"},
        failure_case{"x_method", method_4, {"x", "method4.cab"}, 6,
                     "bundlex: method4.cab: unknown compression method (at a.txt)\n"},
        failure_case{"t_decode", undecodable, {"t", "bad.cab"}, 7,
                     "bundlex: bad.cab: data cannot be decoded (at a.txt)\n"},
        failure_case{"x_set_missing", set_without_its_second_cabinet, {"x", "set1.cab"}, 1,
                     "bundlex: set2.cab: cannot open the cabinet: No such file or directory\n"},
        failure_case{"x_set_stranger", set_with_a_stranger, {"x", "set1.cab"}, 10,
                     "bundlex: set2.cab: wrong cabinet of the set (at docs\\b.bin)\n"},
        failure_case{"x_output_folder", output_is_a_folder, {"x", "two.cab", "-d", "out"}, 11,
                     "bundlex: out/b.txt: cannot create the output file: Is a directory\n"},
        failure_case{"x_output_fifo", output_is_a_fifo, {"x", "two.cab", "-d", "out"}, 11,
                     "bundlex: out/b.txt: cannot create the output file: not a regular file\n"},
        failure_case{"x_folder_link", folder_is_a_link, {"x", "nested.cab", "-d", "out"}, 11,
                     "bundlex: out/docs: cannot create the folder: a symbolic link is in the way\n"},
        failure_case{"x_name_too_long", name_too_long, {"x", "long.cab"}, 11,
                     "bundlex: " + repeated("\xc3\xa9", 150) + ": refused: a name in it is too long (300 bytes, at most 255)\n"},
        failure_case{"x_cabinet_path_too_long", nothing, {"x", std::string(1100, 'c') + ".cab"}, 1,
                     "bundlex: " + std::string(1100, 'c') +
                         ".cab: cannot open the cabinet: the path is too long (1104 bytes, at most 1023)\n"},
        failure_case{"x_next_cabinet_fifo", next_cabinet_is_a_fifo, {"x", "set1.cab"}, 1,
                     "bundlex: set2.cab: cannot open the cabinet: not a regular file\n"},
        failure_case{"x_next_cabinet_outside", next_cabinet_outside, {"x", "work/set1.cab"}, 4,
                     "bundlex: work/set1.cab: damaged cabinet: the next cabinet's name '../a.cab' is not a file name "
                     "in this folder (at docs\\b.bin)\n"},
        failure_case{"t_data_past_the_last_cabinet", data_past_the_last_cabinet, {"t", "set1.cab"}, 4,
                     "bundlex: set2.cab: damaged cabinet: the data of docs\\b.bin runs past the last cabinet of the set\n"},
        failure_case{"x_folder_file", folder_is_a_file, {"x", "nested.cab", "-d", "out"}, 11,
                     "bundlex: out/docs: cannot create the folder: "}),
    [](const testing::TestParamInfo<failure_case> &info) { return info.param.what; });

TEST(failure, keeps_the_files_extracted_before_it) {
  scratch_folder dir;
  output_is_a_folder(dir.path());
  ASSERT_EQ(run_bundlex(dir.path(), {"x", "two.cab", "-d", "out"}).exit_code, 11);
  EXPECT_EQ(read_file(dir.path() / "out" / "a.txt"), noise(100, 1));
}

TEST(failure, of_a_write_names_the_output_file_and_the_system_cause) {
  scratch_folder dir;
  write_cabinet(dir.path() / "large.cab", {{cabtest::kMethodStored, {{"large.bin", noise(100000, 1)}}}});
  run_result r = run_bundlex(dir.path(), {"x", "large.cab", "-d", "out"}, 40000);
  EXPECT_EQ(r.exit_code, 8);
  EXPECT_EQ(r.err, "bundlex: out/large.bin: cannot write the output file: File too large\n");
}

TEST(failure, of_a_path_too_long_for_the_library_says_which_and_how_long) {
  scratch_folder dir;
  const std::string name(200, 'n');
  write_cabinet(dir.path() / "long.cab", {{cabtest::kMethodStored, {{name, noise(10, 1)}}}});
  // 900 characters of folders and the name make more than the 1023 an output path may have.
  std::string destination;
  while (destination.size() < 900) destination += std::string(49, 'd') + '/';
  run_result r = run_bundlex(dir.path(), {"x", "long.cab", "-d", destination});
  EXPECT_EQ(r.exit_code, 11);
  EXPECT_EQ(r.err, "bundlex: " + name + ": refused: the path with the destination is too long (1100 bytes, at most 1023)\n");
}

TEST(progress, shows_on_a_terminal_for_large_jobs_only_and_ends_its_line) {
  scratch_folder dir;
  constexpr size_t kLarge = 17u << 20;  // above the 16 MiB from which progress is worth showing
  write_cabinet(dir.path() / "large.cab", {{cabtest::kMethodStored, {{"large.bin", noise(kLarge, 9)}}}});
  write_cabinet(dir.path() / "small.cab", {two_stored_files()});

  // The terminal turns each "\n" into "\r\n".
  std::string shown = run_bundlex_on_terminal(dir.path(), {"t", "large.cab"});
  const std::string last_state = "\r100%  1/1 files  17.0/17.0 MB\r\n";
  const std::string summary = "OK: 1 files, " + std::to_string(kLarge) + " bytes\r\n";
  EXPECT_TRUE(shown.ends_with(last_state + summary)) << testing::PrintToString(shown);

  EXPECT_EQ(run_bundlex_on_terminal(dir.path(), {"t", "small.cab"}), "OK: 2 files, 200 bytes\r\n");

  run_result piped = run_bundlex(dir.path(), {"t", "large.cab"});
  EXPECT_EQ(piped.exit_code, 0);
  EXPECT_EQ(piped.err, "");
}

// Ctrl-C in the middle of a file: the file is removed, the progress line ended, and the program ends
// by the signal, as a shell expects of it.
TEST(interruption, removes_the_partial_file_and_ends_the_progress_line) {
  scratch_folder dir;
  constexpr size_t kLarge = 17u << 20;  // above the 16 MiB from which progress shows
  write_cabinet(dir.path() / "large.cab", {{cabtest::kMethodStored, {{"large.bin", noise(kLarge, 9)}}}});
  const fs::path partial = dir.path() / "out" / "large.bin";
  interrupted_run r = run_bundlex_interrupted_on_terminal(dir.path(), {"x", "large.cab", "-d", "out"}, [&] {
    std::error_code error;
    return fs::file_size(partial, error) > 0 && !error;
  });
  EXPECT_TRUE(WIFSIGNALED(r.wait_status) && WTERMSIG(r.wait_status) == SIGINT) << r.wait_status;
  EXPECT_FALSE(fs::exists(partial));
  // The terminal turns each "\n" into "\r\n": the progress line is ended before the message.
  EXPECT_TRUE(r.shown.ends_with("MB\r\nbundlex: out/large.bin: interrupted: the partial file was removed\r\n"))
      << testing::PrintToString(r.shown);
}

}  // namespace
}  // namespace bundlex_test
