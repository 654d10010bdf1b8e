// secret_line.cc - reading a hidden line key by key, in its own terminal mode.
#include "platform/terminal/secret_line.h"

#include <string.h>
#include <termios.h>

#include "platform/terminal/interruption.h"
#include "platform/terminal/keys.h"

namespace terminal {
namespace {

// Takes back the last character of the line: its last byte and, for UTF-8, the continuation
// bytes before it with their lead byte.
void erase_last_character(std::string *line) {
  while (!line->empty()) {
    const auto byte = static_cast<unsigned char>(line->back());
    line->pop_back();
    if ((byte & 0xC0) != 0x80) return;
  }
}

LineEnd read_keys(int fd, std::string *line, std::string *unread) {
  for (;;) {
    KeyPress press;
    switch (read_key(fd, unread, -1, &press)) {
      case ReadStatus::kEnded: return LineEnd::kEnded;
      case ReadStatus::kTimedOut: continue;
      case ReadStatus::kWoken:
        if (InterruptionScope::caught() != 0) return LineEnd::kInterrupted;
        InterruptionScope::take_resize();
        continue;
      case ReadStatus::kKey: break;
    }
    switch (press.key) {
      case Key::kEnter: return LineEnd::kEntered;
      case Key::kEscape: return LineEnd::kCancelled;
      case Key::kEndOfText:
        if (line->empty()) return LineEnd::kEnded;
        break;
      case Key::kBackspace: erase_last_character(line); break;
      case Key::kKillLine: line->clear(); break;
      case Key::kCharacter: line->push_back(press.byte); break;
      default: break;
    }
  }
}

}  // namespace

LineEnd read_secret_line(int fd, std::string *line, std::string *unread) {
  InterruptionScope interruptions;
  line->clear();
  struct termios saved;
  const bool is_terminal = tcgetattr(fd, &saved) == 0;
  if (is_terminal) {
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
    quiet.c_lflag |= ISIG;
    // CR as typed, so that CR LF is one Enter and not two.
    quiet.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
    quiet.c_cc[VMIN] = 1;
    quiet.c_cc[VTIME] = 0;
    // TCSANOW: keys typed ahead are kept, not flushed.
    tcsetattr(fd, TCSANOW, &quiet);
  }
  std::string own_unread;
  const LineEnd end = read_keys(fd, line, unread != nullptr ? unread : &own_unread);
  if (is_terminal) tcsetattr(fd, TCSANOW, &saved);
  if (end != LineEnd::kEntered) {
    explicit_bzero(line->data(), line->size());
    line->clear();
  }
  return end;
}

}  // namespace terminal
