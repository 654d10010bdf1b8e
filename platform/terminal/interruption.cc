// interruption.cc - the signal handlers, their self-pipe, and the wait on the terminal and the pipe together.
#include "platform/terminal/interruption.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace terminal {
namespace {

constexpr int kHandled[] = {SIGINT, SIGTERM, SIGHUP, SIGWINCH};
constexpr int kHandledCount = sizeof kHandled / sizeof kHandled[0];

std::mutex g_scope_mutex;
int g_depth = 0;
struct sigaction g_former[kHandledCount];
bool g_installed[kHandledCount];
int g_pipe[2] = {-1, -1};  // the handler writes a byte; waits poll the read end

// Read and written by the handler, so plain flags and a fixed buffer.
volatile sig_atomic_t g_caught = 0;
volatile sig_atomic_t g_resized = 0;
volatile sig_atomic_t g_restore_fd = -1;
struct termios g_restore_mode;
char g_farewell[64];
volatile sig_atomic_t g_farewell_nbytes = 0;

int index_of(int signal_number) {
  for (int i = 0; i < kHandledCount; ++i) {
    if (kHandled[i] == signal_number) return i;
  }
  return -1;
}

void on_signal(int signal_number) {
  const int saved_errno = errno;
  if (signal_number == SIGWINCH) {
    g_resized = 1;
  } else if (g_caught == 0) {
    g_caught = signal_number;
  } else {
    // The first interruption has not been acted on: the process is stuck. Only async-signal-safe
    // calls from here on.
    if (g_restore_fd >= 0) {
      tcsetattr(g_restore_fd, TCSANOW, &g_restore_mode);
      if (write(g_restore_fd, g_farewell, static_cast<size_t>(g_farewell_nbytes)) < 0) {
      }
    }
    const int i = index_of(signal_number);
    sigaction(signal_number, &g_former[i], nullptr);
    raise(signal_number);
  }
  if (g_pipe[1] >= 0 && write(g_pipe[1], "", 1) < 0) {
    // A full pipe has already woken every wait.
  }
  errno = saved_errno;
}

void drain_pipe() {
  char bytes[64];
  while (read(g_pipe[0], bytes, sizeof bytes) > 0) {
  }
}

}  // namespace

InterruptionScope::InterruptionScope() {
  std::lock_guard<std::mutex> lock(g_scope_mutex);
  if (g_depth++ > 0) return;
  if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
  if (g_pipe[0] >= 0) drain_pipe();
  g_caught = 0;
  g_resized = 0;
  struct sigaction action {};
  action.sa_handler = on_signal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < kHandledCount; ++i) {
    g_installed[i] = false;
    if (sigaction(kHandled[i], nullptr, &g_former[i]) != 0) continue;
    // A signal the process was started to ignore (nohup, a background job) stays ignored.
    if (g_former[i].sa_handler == SIG_IGN) continue;
    g_installed[i] = sigaction(kHandled[i], &action, nullptr) == 0;
  }
}

InterruptionScope::~InterruptionScope() {
  std::lock_guard<std::mutex> lock(g_scope_mutex);
  if (--g_depth > 0) return;
  for (int i = 0; i < kHandledCount; ++i) {
    if (g_installed[i]) sigaction(kHandled[i], &g_former[i], nullptr);
  }
  g_restore_fd = -1;
}

int InterruptionScope::caught() { return g_caught; }

bool InterruptionScope::take_resize() {
  const bool resized = g_resized != 0;
  g_resized = 0;
  return resized;
}

void InterruptionScope::restore_on_second_interruption(int fd, const struct termios &mode, const char *farewell) {
  g_restore_fd = -1;  // the handler must not see a half-written mode
  g_restore_mode = mode;
  const size_t nbytes = farewell != nullptr ? strnlen(farewell, sizeof g_farewell - 1) : 0;
  memcpy(g_farewell, farewell != nullptr ? farewell : "", nbytes);
  g_farewell_nbytes = static_cast<sig_atomic_t>(nbytes);
  g_restore_fd = fd;
}

Wait wait_for_input(int fd, int timeout_ms, int wake_fd) {
  const auto noted = [] { return g_caught != 0 || g_resized != 0; };
  if (noted()) return Wait::kWoken;
  // poll skips a negative descriptor, so a missing pipe or wake_fd costs nothing.
  pollfd fds[3] = {{fd, POLLIN, 0}, {g_pipe[0], POLLIN, 0}, {wake_fd, POLLIN, 0}};
  const int ready = poll(fds, 3, timeout_ms);
  if (g_pipe[0] >= 0 && (fds[1].revents & POLLIN) != 0) drain_pipe();
  if (noted()) return Wait::kWoken;
  if (ready < 0) return errno == EINTR ? Wait::kWoken : Wait::kReadable;  // a failed poll lets the read report
  if (ready == 0) return Wait::kTimedOut;
  if (fds[0].revents == 0) return Wait::kWoken;  // only wake_fd
  return Wait::kReadable;
}

}  // namespace terminal
