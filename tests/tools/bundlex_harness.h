// bundlex_harness.h - running the built bundlex in a scratch folder; the files and cabinets tests give it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/cabinet/support/cab_writer.h"
#include "tests/support/scratch_folder.h"

namespace bundlex_test {

struct run_result {
  int exit_code = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// The arguments as a command line would show them, for test names and messages.
std::string joined(const std::vector<std::string> &args);

// Runs bundlex with `args` in the folder `cwd`, stdin empty, stdout and stderr captured. With a
// `file_size_limit`, no file it writes can grow past that many bytes.
run_result run_bundlex(const std::filesystem::path &cwd, const std::vector<std::string> &args,
                       std::optional<uint64_t> file_size_limit = std::nullopt);

// Runs bundlex in `cwd` with stdout and stderr on one pseudo-terminal, and returns what it showed.
std::string run_bundlex_on_terminal(const std::filesystem::path &cwd, const std::vector<std::string> &args);

// How a run that was interrupted ended, and what it showed on its terminal.
struct interrupted_run {
  std::string shown;
  int wait_status = 0;  // as waitpid gives it
};

// Runs bundlex in `cwd` on a pseudo-terminal whose output is held from the start (as Ctrl-S holds
// it), so that the program stops at its first progress line; once `stopped()` holds, the program
// gets SIGINT as from Ctrl-C, and its output is let go again.
interrupted_run run_bundlex_interrupted_on_terminal(const std::filesystem::path &cwd,
                                                    const std::vector<std::string> &args,
                                                    const std::function<bool()> &stopped);

// A fresh folder under the system's temporary folder, removed with everything in it.
class scratch_folder {
 public:
  const std::filesystem::path &path() const { return path_; }

 private:
  testsupport::ScratchFolder folder_{"bundlex_test"};
  std::filesystem::path path_ = folder_.path();
};

// How the first cabinet of a set lists the files that continue its last folder.
enum class carried_files {
  listed_in_both,  // every file from the first that crosses on, as the test writer lays them out
  listed_once,     // only the file that crosses; later files only in the next cabinet's table
};

// A set of two cabinets, set1.cab and set2.cab, in `folder`: folder 0 (stored) holds "a.txt",
// "docs\b.bin" and "deep\er\c.txt" and runs from set1.cab into set2.cab through "docs\b.bin";
// folder 1 (MSZIP) begins in set2.cab and holds "d.txt". Returns the four files.
std::vector<cabtest::File> write_two_cabinet_set(const std::filesystem::path &folder,
                                                 carried_files carried = carried_files::listed_in_both);

cabtest::Bytes bytes_of(std::string_view text);
// `nbytes` pseudo-random bytes, the same for the same seed.
cabtest::Bytes noise(size_t nbytes, uint32_t seed);

void write_file(const std::filesystem::path &path, const cabtest::Bytes &bytes);
cabtest::Bytes read_file(const std::filesystem::path &path);

// Every path under `root`, relative to it and sorted, folders included.
std::vector<std::string> tree(const std::filesystem::path &root);

}  // namespace bundlex_test
