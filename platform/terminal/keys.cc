// keys.cc - decoding terminal bytes into keys: control characters, CSI and SS3 sequences.
#include "platform/terminal/keys.h"

#include <string.h>
#include <unistd.h>

#include "platform/terminal/interruption.h"

namespace terminal {
namespace {

constexpr char kEsc = '\x1b';
// Longer CSI sequences are not keys anyone types; past this they are dropped as kOther.
constexpr size_t kMaxSequence = 16;

Key csi_key(char final, std::string_view parameters) {
  switch (final) {
    case 'A': return Key::kUp;
    case 'B': return Key::kDown;
    case 'C': return Key::kRight;
    case 'D': return Key::kLeft;
    case 'H': return Key::kHome;
    case 'F': return Key::kEnd;
    case 'Z': return Key::kBackTab;
    case '~':
      if (parameters == "1" || parameters == "7") return Key::kHome;
      if (parameters == "4" || parameters == "8") return Key::kEnd;
      if (parameters == "5") return Key::kPageUp;
      if (parameters == "6") return Key::kPageDown;
      return Key::kOther;
    default: return Key::kOther;
  }
}

// ESC [ parameters intermediates final, or ESC O final.
size_t decode_sequence(std::string_view bytes, bool more_may_come, KeyPress *key) {
  if (bytes.size() == 1) {
    if (more_may_come) return 0;
    key->key = Key::kEscape;
    return 1;
  }
  if (bytes[1] == 'O') {
    if (bytes.size() < 3) {
      if (more_may_come) return 0;
      key->key = Key::kOther;
      return bytes.size();
    }
    key->key = bytes[2] == 'H' || bytes[2] == 'F' || (bytes[2] >= 'A' && bytes[2] <= 'D') ? csi_key(bytes[2], "")
                                                                                               : Key::kOther;
    return 3;
  }
  if (bytes[1] != '[') {
    // Escape typed before another key: the Escape alone, the key on its own next time.
    key->key = Key::kEscape;
    return 1;
  }
  for (size_t i = 2; i < bytes.size() && i < kMaxSequence; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x40 && c <= 0x7E) {
      key->key = csi_key(static_cast<char>(c), bytes.substr(2, i - 2));
      return i + 1;
    }
    if (c < 0x20 || c > 0x3F) {
      key->key = Key::kOther;  // not a sequence after all
      return i;
    }
  }
  if (more_may_come && bytes.size() < kMaxSequence) return 0;
  key->key = Key::kOther;
  return bytes.size() < kMaxSequence ? bytes.size() : kMaxSequence;
}

}  // namespace

size_t decode_key(std::string_view bytes, bool more_may_come, KeyPress *key) {
  *key = KeyPress{};
  const char c = bytes[0];
  switch (c) {
    case kEsc: return decode_sequence(bytes, more_may_come, key);
    case '\r':
      key->key = Key::kEnter;
      return bytes.size() > 1 && bytes[1] == '\n' ? 2 : 1;
    case '\n': key->key = Key::kEnter; return 1;
    case '\t': key->key = Key::kTab; return 1;
    case '\x7f':
    case '\b': key->key = Key::kBackspace; return 1;
    case '\x15': key->key = Key::kKillLine; return 1;
    case '\x04': key->key = Key::kEndOfText; return 1;
    default:
      if (static_cast<unsigned char>(c) >= 0x20) {
        key->key = Key::kCharacter;
        key->byte = c;
      }
      return 1;
  }
}

ReadStatus read_key(int fd, std::string *unread, int timeout_ms, KeyPress *key, int wake_fd) {
  bool more_may_come = true;
  for (;;) {
    if (!unread->empty()) {
      const size_t taken = decode_key(*unread, more_may_come, key);
      if (taken > 0) {
        unread->erase(0, taken);
        return ReadStatus::kKey;
      }
      // An ESC or a sequence cut short: the rest of a key's bytes comes at once or not at all.
      const Wait rest = wait_for_input(fd, kEscapeWaitMs);
      if (rest == Wait::kWoken) return ReadStatus::kWoken;
      if (rest == Wait::kTimedOut) {
        more_may_come = false;
        continue;
      }
    } else {
      const Wait wait = wait_for_input(fd, timeout_ms, wake_fd);
      if (wait == Wait::kWoken) return ReadStatus::kWoken;
      if (wait == Wait::kTimedOut) return ReadStatus::kTimedOut;
    }
    char buffer[256];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      if (unread->empty()) return ReadStatus::kEnded;
      more_may_come = false;
      continue;
    }
    unread->append(buffer, static_cast<size_t>(n));
    explicit_bzero(buffer, sizeof buffer);  // it may have held a passphrase
  }
}

}  // namespace terminal
