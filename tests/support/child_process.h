// child_process.h - what the command-line tests share to run a program as a child: its argv, its exit code, and its pipes pumped without deadlock.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// argv for execv: `program`, then `args`; `storage` owns the strings while argv is used.
inline std::vector<char *> make_argv(const std::string &program, const std::vector<std::string> &args,
                                     std::vector<std::string> &storage) {
  storage.assign(1, program);
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  return argv;
}

// The child's exit code once it has ended, or -1 when it did not exit normally.
inline int exit_code_of(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) throw std::runtime_error("waitpid failed");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes `input` to the child's stdin (in_fd, closed when done; -1 for none) while reading its
// stdout and stderr to their ends, so that no side blocks on a full pipe. Closes every descriptor.
inline void exchange(int in_fd, const std::string &input, int out_fd, int err_fd, std::string &out,
                     std::string &err) {
  // A child may end before it reads its input (a refusal); the write then fails with EPIPE, which
  // must not end the test.
  signal(SIGPIPE, SIG_IGN);
  if (in_fd >= 0 && input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  pollfd fds[3] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}, {in_fd, POLLOUT, 0}};
  std::string *sinks[2] = {&out, &err};
  size_t written = 0;
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (poll(fds, 3, -1) < 0) throw std::runtime_error("poll failed");
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      const ssize_t n =
          (fds[2].revents & POLLOUT) ? write(fds[2].fd, input.data() + written, input.size() - written) : -1;
      if (n > 0) written += static_cast<size_t>(n);
      if (n <= 0 || written == input.size()) {
        close(fds[2].fd);
        fds[2].fd = -1;
      }
    }
  }
  if (fds[2].fd >= 0) close(fds[2].fd);
}

}  // namespace testsupport
