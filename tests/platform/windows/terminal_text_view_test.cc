// terminal_text_view_test.cc - catches a text view that loses, repeats or reorders characters when it wraps and scrolls, scrolls past either end, or says wrongly where it is.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/windows/terminal_text_view.h"

namespace {

using winsys::TextView;

struct WalkCase {
  const char *what;
  std::string text;
  size_t width;
};

std::ostream &operator<<(std::ostream &os, const WalkCase &c) { return os << c.what; }

class TextViewWalk : public testing::TestWithParam<WalkCase> {};

// The text again from the rows met on the way down one row at a time (and up again): every
// character once, in order, with the line breaks where the lines end.
TEST_P(TextViewWalk, EveryCharacterOnceEitherWay) {
  const WalkCase &c = GetParam();
  std::string expected = c.text;
  if (expected.ends_with("\r\n")) expected.resize(expected.size() - 2);
  TextView view;
  view.show(c.text, c.width, 1, 0);
  std::vector<std::string> down = {view.rows().front()};
  while (view.where().ends_with("more below")) {
    view.scroll(1);
    down.push_back(view.rows().front());
  }
  std::vector<std::string> up = {view.rows().front()};
  for (size_t i = 1; i < down.size(); ++i) {
    view.scroll(-1);
    up.insert(up.begin(), view.rows().front());
  }
  EXPECT_EQ(up, down) << c.what;
  // Rows of full width continue their line; a shorter row ends it.
  std::string joined;
  for (size_t i = 0; i < down.size(); ++i) {
    EXPECT_LE(down[i].size(), c.width) << c.what;
    joined += down[i];
    if (i + 1 < down.size() && down[i].size() < c.width) joined += "\r\n";
  }
  EXPECT_EQ(joined, expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextViewWalk,
    testing::Values(WalkCase{"short lines", "ab\r\ncd\r\nef", 4}, WalkCase{"a line that wraps", "abcdefghij", 3},
                    WalkCase{"empty lines, a lone LF stays inside its line", "abc\r\n\r\nx\ny\r\nz", 4},
                    WalkCase{"a line break at the end starts no line", "abcd\r\nef\r\n", 3}));

// Ten lines "0".."9" of one character in a view of three rows.
struct ScrollCase {
  const char *what;
  void (*act)(TextView &view);
  std::string first_row;
  std::string where;
};

std::ostream &operator<<(std::ostream &os, const ScrollCase &c) { return os << c.what; }

class TextViewScroll : public testing::TestWithParam<ScrollCase> {};

TEST_P(TextViewScroll, StaysWithinTheText) {
  std::string text;
  for (char c = '0'; c <= '9'; ++c) text += std::string(1, c) + "\r\n";
  TextView view;
  view.show(text, 5, 3, 0);
  GetParam().act(view);
  EXPECT_EQ(view.rows().front(), GetParam().first_row) << GetParam().what;
  EXPECT_EQ(view.where(), GetParam().where) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Moves, TextViewScroll,
    testing::Values(ScrollCase{"at the start", [](TextView &) {}, "0", "lines 1-3 of 10 - more below"},
                    ScrollCase{"a page keeps one row", [](TextView &v) { v.scroll(v.page()); }, "2",
                               "lines 3-5 of 10 - more below"},
                    ScrollCase{"not past the end", [](TextView &v) { v.scroll(100); }, "7",
                               "lines 8-10 of 10 - end of text"},
                    ScrollCase{"to the bottom", [](TextView &v) { v.scroll_to_bottom(); }, "7",
                               "lines 8-10 of 10 - end of text"},
                    ScrollCase{"not before the start", [](TextView &v) { v.scroll(-5); }, "0",
                               "lines 1-3 of 10 - more below"},
                    ScrollCase{"a taller view pulls the top up",
                               [](TextView &v) {
                                 v.scroll_to_bottom();
                                 std::string text;
                                 for (char c = '0'; c <= '9'; ++c) text += std::string(1, c) + "\r\n";
                                 v.show(text, 5, 4, 0);
                               },
                               "6", "lines 7-10 of 10 - end of text"}));

TEST(TextView, StartsAtTheModelsFirstLineAndSaysWhenAllIsInView) {
  TextView view;
  view.show("a\r\nb\r\nc\r\nd", 5, 2, 2);
  EXPECT_EQ(view.rows(), (std::vector<std::string>{"c", "d"}));
  view.show("one", 5, 2, 0);
  EXPECT_EQ(view.where(), "lines 1-1 of 1");
}

}  // namespace
