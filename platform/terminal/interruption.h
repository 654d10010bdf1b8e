// interruption.h - SIGINT, SIGTERM and SIGHUP noted instead of ending the process while the user is asked, so the terminal can be restored and the question cancelled.
#pragma once

#include <termios.h>

namespace terminal {

// While at least one scope lives, SIGINT, SIGTERM and SIGHUP (those not ignored when the first
// scope began) are caught and noted, and SIGWINCH notes a resize; each wakes wait_for_input.
// A second interruption while the first is still noted is not caught any more: the terminal is
// put back as registered with restore_on_second_interruption and the signal does what it did
// before, so a process that cannot get back to its loop still ends. Scopes nest; the last one
// to end puts the former handlers back. Scopes are made and ended on one thread at a time.
class InterruptionScope {
 public:
  InterruptionScope();
  ~InterruptionScope();
  InterruptionScope(const InterruptionScope &) = delete;
  InterruptionScope &operator=(const InterruptionScope &) = delete;

  // The signal caught since the outermost scope began, or 0.
  static int caught();
  // True once after each resize of the terminal.
  static bool take_resize();
  // What a second interruption restores before it ends the process: the terminal `fd` to
  // `mode`, then `farewell` written to it (at most 63 bytes; the escape sequences that leave the
  // alternate screen, say). fd -1 forgets it. The text must be ASCII and is copied.
  static void restore_on_second_interruption(int fd, const struct termios &mode, const char *farewell);
};

enum class Wait { kReadable, kTimedOut, kWoken };

// Waits at most timeout_ms (negative: no limit) for `fd` to be readable, or until a signal that
// a scope notes arrives or `wake_fd` (unless -1) is readable (kWoken; the signal may also have
// come before the call). wake_fd is only polled, never read.
Wait wait_for_input(int fd, int timeout_ms, int wake_fd = -1);

}  // namespace terminal
