// passphrase_prompt.cc - the process-wide passphrase asker and its default, the controlling terminal.
#include "platform/ui/passphrase_prompt.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <mutex>

namespace platform_ui {
namespace {

std::mutex g_asker_mutex;
PassphraseAsker g_asker;

void write_all(int fd, const std::string &text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Reads one line from the terminal with echo off; false at end of input or on an error, which
// count as declining.
bool read_hidden_line(int fd, std::string *line) {
  struct termios saved;
  const bool is_terminal = tcgetattr(fd, &saved) == 0;
  if (is_terminal) {
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  line->clear();
  bool ended = false;
  for (char c;;) {
    const ssize_t n = read(fd, &c, 1);
    if (n <= 0) break;
    if (c == '\n') {
      ended = true;
      break;
    }
    line->push_back(c);
  }
  if (is_terminal) tcsetattr(fd, TCSAFLUSH, &saved);
  return ended;
}

bool ask_terminal(const std::string &what, int attempt, std::string *passphrase) {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  write_all(fd, (attempt > 1 ? "Wrong passphrase. " : "") + std::string("Passphrase for ") + what + ": ");
  const bool answered = read_hidden_line(fd, passphrase);
  close(fd);
  return answered;
}

}  // namespace

void set_passphrase_asker(PassphraseAsker asker) {
  std::lock_guard<std::mutex> lock(g_asker_mutex);
  g_asker = std::move(asker);
}

bool ask_passphrase(const std::string &what, int attempt, std::string *passphrase) {
  PassphraseAsker asker;
  {
    std::lock_guard<std::mutex> lock(g_asker_mutex);
    asker = g_asker;
  }
  // Called outside the lock: an asker may run a dialog that takes a while or installs another.
  return asker ? asker(what, attempt, passphrase) : ask_terminal(what, attempt, passphrase);
}

}  // namespace platform_ui
