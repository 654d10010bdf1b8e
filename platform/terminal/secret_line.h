// secret_line.h - one line typed on a terminal without echo, as a passphrase is: Enter ends it, Escape cancels it.
#pragma once

#include <string>

namespace terminal {

enum class LineEnd {
  kEntered,      // Enter: *line holds what was typed
  kCancelled,    // Escape
  kEnded,        // the end of input, a read error, or Ctrl-D on an empty line
  kInterrupted,  // SIGINT, SIGTERM or SIGHUP (InterruptionScope::caught() says which)
};

// Reads the line from the terminal `fd` in a mode of its own (keys one by one, no echo, CR and
// LF both Enter, Ctrl-C a signal), whatever mode the terminal was in, and puts that mode back
// before returning, also when a signal ends the line. Backspace takes back the last character
// (all bytes of a UTF-8 one), Ctrl-U the whole line; other control keys are ignored. Keys already
// read from the terminal by the caller are taken from *unread first, and what follows the line
// is left there (unread may be null).
LineEnd read_secret_line(int fd, std::string *line, std::string *unread);

}  // namespace terminal
