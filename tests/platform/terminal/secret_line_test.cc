// secret_line_test.cc - catches a passphrase line that takes in CR or control keys, loses keys typed ahead or after it, ignores Escape, leaves the terminal without echo after it or after a signal, or a stuck process that a second Ctrl-C cannot end; on a pseudo-terminal.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>

#include "platform/terminal/interruption.h"
#include "platform/terminal/secret_line.h"

namespace {

using terminal::LineEnd;

class PseudoTerminal : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(tcgetattr(slave_, &cooked_), 0);
    ASSERT_NE(cooked_.c_lflag & ECHO, 0u);
  }
  void TearDown() override {
    close(master_);
    close(slave_);
  }
  void type(const std::string &keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  bool mode_is_cooked() const {
    struct termios now;
    return tcgetattr(slave_, &now) == 0 && now.c_lflag == cooked_.c_lflag && now.c_iflag == cooked_.c_iflag;
  }
  // Waits until the reader has turned echo off, so that what follows is typed at the prompt.
  void wait_for_prompt() const {
    struct termios now;
    while (tcgetattr(slave_, &now) == 0 && (now.c_lflag & ECHO) != 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  int master_ = -1, slave_ = -1;
  struct termios cooked_;
};

struct LineCase {
  const char *what;
  std::string typed;
  LineEnd end;
  std::string line;
  std::string left;  // what follows the line, for the next reader
};

std::ostream &operator<<(std::ostream &os, const LineCase &c) { return os << c.what; }

class SecretLine : public PseudoTerminal, public testing::WithParamInterface<LineCase> {};

TEST_P(SecretLine, EndsAsTypedAndPutsTheModeBack) {
  const LineCase &c = GetParam();
  // Typed at the prompt: before it, the terminal's own line editing would see the keys.
  std::thread typist([&] {
    wait_for_prompt();
    type(c.typed);
  });
  std::string line = "stale", unread;
  const LineEnd end = terminal::read_secret_line(slave_, &line, &unread);
  typist.join();
  EXPECT_EQ(end, c.end) << c.what;
  EXPECT_EQ(line, c.line) << c.what;
  EXPECT_EQ(unread, c.left) << c.what;
  EXPECT_TRUE(mode_is_cooked()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SecretLine,
    testing::Values(LineCase{"CR ends it and stays out", "pass\rnext", LineEnd::kEntered, "pass", "next"},
                    LineCase{"CR LF is one Enter", "pass\r\n", LineEnd::kEntered, "pass", ""},
                    LineCase{"Backspace takes a whole UTF-8 character", "p\xC3\xA9\x7fss\n", LineEnd::kEntered, "pss", ""},
                    LineCase{"Ctrl-U starts again, arrows and tabs are no part", "ab\x15" "c\x1b[A\td\r", LineEnd::kEntered,
                             "cd", ""},
                    LineCase{"Escape declines", "abc\x1b", LineEnd::kCancelled, "", ""},
                    LineCase{"Ctrl-D on an empty line", "\x04", LineEnd::kEnded, "", ""}));

TEST_F(PseudoTerminal, KeysAlreadyReadComeFirst) {
  std::string line, unread = "ab\rcd";
  EXPECT_EQ(terminal::read_secret_line(slave_, &line, &unread), LineEnd::kEntered);
  EXPECT_EQ(line, "ab");
  EXPECT_EQ(unread, "cd");
}

class Interruption : public PseudoTerminal, public testing::WithParamInterface<int> {};

TEST_P(Interruption, DeclinesAndPutsTheModeBack) {
  std::thread signaller([this] {
    wait_for_prompt();
    kill(getpid(), GetParam());
  });
  std::string line;
  const LineEnd end = terminal::read_secret_line(slave_, &line, nullptr);
  signaller.join();
  EXPECT_EQ(end, LineEnd::kInterrupted);
  EXPECT_EQ(terminal::InterruptionScope::caught(), GetParam());
  EXPECT_TRUE(mode_is_cooked());
}

INSTANTIATE_TEST_SUITE_P(Signals, Interruption, testing::Values(SIGINT, SIGTERM, SIGHUP));

// A process that does not get back to its loop after the first signal still ends at the second,
// with the terminal put back as registered.
TEST_F(PseudoTerminal, ASecondInterruptionEndsAStuckProcess) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    terminal::InterruptionScope scope;
    struct termios raw = cooked_;
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    terminal::InterruptionScope::restore_on_second_interruption(slave_, cooked_, "bye");
    kill(getpid(), SIGTERM);
    kill(getpid(), SIGTERM);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(mode_is_cooked());
  char said[8] = {};
  EXPECT_EQ(read(master_, said, sizeof said), 3);
  EXPECT_STREQ(said, "bye");
}

}  // namespace
