// keys.h - the keys a terminal sends, decoded from its bytes one key at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace terminal {

enum class Key {
  kCharacter,  // a printable byte, or one byte of a UTF-8 character
  kEnter,      // CR, LF, or CR LF as one key
  kEscape,
  kTab,
  kBackTab,  // Shift-Tab
  kBackspace,
  kKillLine,  // Ctrl-U
  kEndOfText,  // Ctrl-D
  kUp,
  kDown,
  kLeft,
  kRight,
  kPageUp,
  kPageDown,
  kHome,
  kEnd,
  kOther,  // another control character or escape sequence, to be ignored
};

struct KeyPress {
  Key key = Key::kOther;
  char byte = 0;  // the byte of a kCharacter
};

// Decodes the key at the start of `bytes` (not empty) into *key and returns how many bytes it
// took. An ESC alone or an escape sequence cut short may be the start of a longer key: while
// `more_may_come`, that gives 0 and nothing is decoded; otherwise the ESC is Escape and a cut
// sequence is kOther.
size_t decode_key(std::string_view bytes, bool more_may_come, KeyPress *key);

// How long to wait for the rest of an escape sequence before an ESC counts as Escape.
constexpr int kEscapeWaitMs = 40;

enum class ReadStatus { kKey, kTimedOut, kEnded, kWoken };

// Reads keys from the terminal `fd` one at a time, keeping the bytes that follow a key in
// *unread (owned by the caller, who may hand them on to another reader of the same terminal).
// Waits at most timeout_ms (negative: no limit) for a key; kEnded at the end of input or on a
// read error; kWoken when an interruption or a resize woke the wait (see interruption.h), or
// `wake_fd` (unless -1) was readable while no key was.
ReadStatus read_key(int fd, std::string *unread, int timeout_ms, KeyPress *key, int wake_fd = -1);

}  // namespace terminal
