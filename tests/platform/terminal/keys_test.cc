// keys_test.cc - catches keys misread from a terminal's bytes: sequences taken for Escape or split in two, CR LF as two Enters, a sequence cut short decoded before its rest could come.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/terminal/keys.h"

namespace {

using terminal::Key;

struct KeyCase {
  const char *what;
  std::string bytes;
  bool more_may_come;
  size_t taken;  // 0: wait for more
  Key key;
  char byte;
};

std::ostream &operator<<(std::ostream &os, const KeyCase &c) { return os << c.what; }

class DecodeKey : public testing::TestWithParam<KeyCase> {};

TEST_P(DecodeKey, TakesTheWholeKeyAndNoMore) {
  const KeyCase &c = GetParam();
  terminal::KeyPress press;
  EXPECT_EQ(terminal::decode_key(c.bytes, c.more_may_come, &press), c.taken) << c.what;
  if (c.taken == 0) return;
  EXPECT_EQ(press.key, c.key) << c.what;
  EXPECT_EQ(press.byte, c.byte) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, DecodeKey,
    testing::Values(KeyCase{"CR LF is one Enter", "\r\nx", true, 2, Key::kEnter, 0},
                    KeyCase{"LF", "\n", true, 1, Key::kEnter, 0},
                    KeyCase{"a UTF-8 byte is a character", "\xC3\xA9", true, 1, Key::kCharacter, '\xC3'},
                    KeyCase{"DEL is Backspace", "\x7f", true, 1, Key::kBackspace, 0},
                    KeyCase{"Ctrl-U", "\x15", true, 1, Key::kKillLine, 0},
                    KeyCase{"bell is ignored", "\a", true, 1, Key::kOther, 0},
                    KeyCase{"ESC alone may start a sequence", "\x1b", true, 0, Key::kOther, 0},
                    KeyCase{"ESC alone at the end is Escape", "\x1b", false, 1, Key::kEscape, 0},
                    KeyCase{"ESC before a letter is Escape", "\x1bq", true, 1, Key::kEscape, 0},
                    KeyCase{"Up", "\x1b[Ax", true, 3, Key::kUp, 0},
                    KeyCase{"Down in application mode", "\x1bOB", true, 3, Key::kDown, 0},
                    KeyCase{"Page Down", "\x1b[6~", true, 4, Key::kPageDown, 0},
                    KeyCase{"Home as 1~", "\x1b[1~", true, 4, Key::kHome, 0},
                    KeyCase{"End as F", "\x1b[F", true, 3, Key::kEnd, 0},
                    KeyCase{"Shift-Tab", "\x1b[Z", true, 3, Key::kBackTab, 0},
                    KeyCase{"a modified arrow is one key", "\x1b[1;5C", true, 6, Key::kRight, 0},
                    KeyCase{"a sequence cut short waits", "\x1b[6", true, 0, Key::kOther, 0},
                    KeyCase{"a sequence cut short at the end", "\x1b[6", false, 3, Key::kOther, 0}));

}  // namespace
