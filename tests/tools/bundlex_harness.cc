// bundlex_harness.cc - running bundlex with captured output, scratch folders, test files and cabinet sets.
#include "tests/tools/bundlex_harness.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <termios.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "tests/support/child_process.h"

namespace bundlex_test {

namespace {

using testsupport::exit_code_of;

std::vector<char *> make_argv(const std::vector<std::string> &args, std::vector<std::string> &storage) {
  return testsupport::make_argv(BUNDLEX_PATH, args, storage);
}

}  // namespace

std::string joined(const std::vector<std::string> &args) {
  std::string line;
  for (const std::string &arg : args) line += (line.empty() ? "" : " ") + arg;
  return line;
}

run_result run_bundlex(const std::filesystem::path &cwd, const std::vector<std::string> &args,
                       std::optional<uint64_t> file_size_limit) {
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> storage;
  std::vector<char *> argv = make_argv(args, storage);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Only async-signal-safe calls from here to the exec.
    int devnull = open("/dev/null", O_RDONLY);
    bool ready = devnull >= 0 && dup2(devnull, STDIN_FILENO) >= 0 && dup2(out_pipe[1], STDOUT_FILENO) >= 0 &&
                 dup2(err_pipe[1], STDERR_FILENO) >= 0 && chdir(cwd.c_str()) == 0;
    if (ready && file_size_limit) {
      // A write past the limit then fails with EFBIG instead of killing the program.
      const rlimit limit{*file_size_limit, *file_size_limit};
      ready = signal(SIGXFSZ, SIG_IGN) != SIG_ERR && setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    if (ready) execv(BUNDLEX_PATH, argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  run_result result;
  testsupport::exchange(-1, "", out_pipe[0], err_pipe[0], result.out, result.err);
  result.exit_code = exit_code_of(pid);
  return result;
}

std::string run_bundlex_on_terminal(const std::filesystem::path &cwd, const std::vector<std::string> &args) {
  std::vector<std::string> storage;
  std::vector<char *> argv = make_argv(args, storage);
  int terminal;
  pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    if (chdir(cwd.c_str()) == 0) execv(BUNDLEX_PATH, argv.data());
    _exit(127);
  }
  std::string shown;
  char buffer[4096];
  // Once the program has ended, reading the terminal's master side fails with EIO.
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<size_t>(n));
  close(terminal);
  exit_code_of(pid);
  return shown;
}

interrupted_run run_bundlex_interrupted_on_terminal(const std::filesystem::path &cwd,
                                                    const std::vector<std::string> &args,
                                                    const std::function<bool()> &stopped) {
  std::vector<std::string> storage;
  std::vector<char *> argv = make_argv(args, storage);
  int go[2];
  if (pipe2(go, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  int terminal;
  pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    char byte;
    if (read(go[0], &byte, 1) == 1 && chdir(cwd.c_str()) == 0) execv(BUNDLEX_PATH, argv.data());
    _exit(127);
  }
  close(go[0]);
  // Output is held before the program starts, so its first write to the terminal waits.
  const int slave = open(ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0 || tcflow(slave, TCOOFF) != 0 || write(go[1], "g", 1) != 1) throw std::runtime_error("no terminal");
  close(go[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!stopped() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // Ctrl-C signals the terminal's foreground process group, the program's own.
  kill(-pid, SIGINT);
  tcflow(slave, TCOON);
  close(slave);
  interrupted_run result;
  char buffer[4096];
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) result.shown.append(buffer, static_cast<size_t>(n));
  close(terminal);
  if (waitpid(pid, &result.wait_status, 0) != pid) throw std::runtime_error("waitpid failed");
  return result;
}

cabtest::Bytes bytes_of(std::string_view text) { return cabtest::Bytes(text.begin(), text.end()); }

cabtest::Bytes noise(size_t nbytes, uint32_t seed) {
  cabtest::Bytes bytes(nbytes);
  uint32_t state = seed | 1;
  for (uint8_t &b : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<uint8_t>(state);
  }
  return bytes;
}

std::vector<cabtest::File> write_two_cabinet_set(const std::filesystem::path &folder, carried_files carried) {
  cabtest::Folder first{cabtest::kMethodStored,
                        {{"a.txt", bytes_of("alpha\n")},
                         {"docs\\b.bin", noise(40000, 2)},
                         {"deep\\er\\c.txt", noise(1000, 3)}}};
  cabtest::Folder second{cabtest::kMethodMszip, {{"d.txt", bytes_of("delta\n")}}};
  cabtest::Layout layout;
  // The first block (32768 bytes) and the start of the second fit set1.cab; "docs\b.bin" crosses.
  layout.cabinet_data_capacity = 35000;
  std::vector<cabtest::Cabinet> set = cabtest::write_cabinet_set({first, second}, layout);
  if (set.size() != 2) throw std::logic_error("the set should take two cabinets");
  if (carried == carried_files::listed_once) {
    // "deep\er\c.txt" is the last entry of set1.cab's table: a file count of 2 leaves it unread.
    constexpr size_t kFileCountOffset = 28;
    set[0].bytes[kFileCountOffset] = 2;
    set[0].bytes[kFileCountOffset + 1] = 0;
  }
  for (const cabtest::Cabinet &cabinet : set) write_file(folder / cabinet.name, cabinet.bytes);
  std::vector<cabtest::File> files = first.files;
  files.push_back(second.files[0]);
  return files;
}

void write_file(const std::filesystem::path &path, const cabtest::Bytes &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

cabtest::Bytes read_file(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return cabtest::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> tree(const std::filesystem::path &root) {
  std::vector<std::string> paths;
  for (const auto &item : std::filesystem::recursive_directory_iterator(root))
    paths.push_back(std::filesystem::relative(item.path(), root).string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

}  // namespace bundlex_test
