// controls_test.cc - catches combo boxes that sort wrongly, lose item data or selection when items move, answer wrongly out of range, and edit boxes that scroll past their text.
#include <string>
#include <vector>

#include "platform/windows/dialog_template.h"
#include "tests/platform/windows/headless_fixture.h"

namespace {

class ControlsTest : public HeadlessTest {
 protected:
  HWND combo(DWORD extra_style) {
    return CreateWindowExA(0, "ComboBox", "", WS_CHILD | CBS_DROPDOWNLIST | extra_style, 0, 0, 100, 80, parent_,
                           reinterpret_cast<HMENU>(7), nullptr, nullptr);
  }
  HWND edit(const char *text) {
    return CreateWindowExA(0, "EDIT", text, WS_CHILD | ES_MULTILINE | ES_AUTOHSCROLL | ES_READONLY, 0, 0, 100, 80,
                           parent_, reinterpret_cast<HMENU>(8), nullptr, nullptr);
  }
  static LRESULT add(HWND hwnd, const char *text) {
    return SendMessageA(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  static std::vector<std::string> texts(HWND hwnd) {
    std::vector<std::string> out;
    const std::optional<winsys::WindowState> state = winsys::window_state(hwnd);
    for (const winsys::ComboItem &item : state->items) out.push_back(item.text);
    return out;
  }

  void SetUp() override {
    HeadlessTest::SetUp();
    parent_ = CreateWindowExA(0, "#32770", "parent", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  }
  HWND parent_ = nullptr;
};

TEST_F(ControlsTest, SortedComboInsertsCaseInsensitivelyAndReturnsThePosition) {
  struct Case {
    const char *name;
    std::vector<const char *> added;
    std::vector<LRESULT> positions;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {"reverse order", {"c", "b", "a"}, {0, 0, 0}, {"a", "b", "c"}},
      {"case ignored", {"beta", "Alpha", "alpha", "BETA"}, {0, 0, 1, 3}, {"Alpha", "alpha", "beta", "BETA"}},
      // 1252 letters compare by their upper case: e-acute (0xE9) as E-acute (0xC9), past Z.
      {"accents", {"\xE9tude", "Zeta", "\xC9mile", "eta"}, {0, 0, 1, 0}, {"eta", "Zeta", "\xC9mile", "\xE9tude"}},
      {"prefix first", {"abc", "ab", "a"}, {0, 0, 0}, {"a", "ab", "abc"}},
      {"empty text", {"x", ""}, {0, 0}, {"", "x"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const HWND box = combo(CBS_SORT);
    std::vector<LRESULT> positions;
    for (const char *text : c.added) positions.push_back(add(box, text));
    EXPECT_EQ(positions, c.positions);
    EXPECT_EQ(texts(box), c.shown);
    DestroyWindow(box);
  }
}

TEST_F(ControlsTest, UnsortedComboAppends) {
  const HWND box = combo(0);
  EXPECT_EQ(add(box, "c"), 0);
  EXPECT_EQ(add(box, "a"), 1);
  EXPECT_EQ(texts(box), (std::vector<std::string>{"c", "a"}));
}

TEST_F(ControlsTest, ItemDataAndSelectionStayWithTheirItemWhenOthersAreInsertedBefore) {
  const HWND box = combo(CBS_SORT);
  SendMessageA(box, CB_SETITEMDATA, static_cast<WPARAM>(add(box, "m")), 100);
  SendMessageA(box, CB_SETCURSEL, 0, 0);
  SendMessageA(box, CB_SETITEMDATA, static_cast<WPARAM>(add(box, "z")), 200);
  SendMessageA(box, CB_SETITEMDATA, static_cast<WPARAM>(add(box, "a")), 300);
  EXPECT_EQ(SendMessageA(box, CB_GETCURSEL, 0, 0), 1) << "the selection followed \"m\"";
  const std::vector<LRESULT> expected{300, 100, 200};
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(SendMessageA(box, CB_GETITEMDATA, i, 0), expected[i]);
  char text[8];
  EXPECT_EQ(SendMessageA(box, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text)), 1);
  EXPECT_STREQ(text, "z");
  EXPECT_EQ(SendMessageA(box, CB_GETLBTEXTLEN, 0, 0), 1);
  EXPECT_EQ(SendMessageA(box, CB_GETCOUNT, 0, 0), 3);
  char shown[8];
  GetWindowTextA(box, shown, sizeof shown);
  EXPECT_STREQ(shown, "m") << "a drop-down list shows its selection";
}

TEST_F(ControlsTest, OutOfRangeIndexesAnswerCbErr) {
  const HWND box = combo(CBS_SORT);
  add(box, "a");
  SendMessageA(box, CB_SETCURSEL, 0, 0);
  struct Case {
    UINT message;
    WPARAM index;
  };
  const Case cases[] = {{CB_GETITEMDATA, 1}, {CB_SETITEMDATA, 1}, {CB_GETLBTEXTLEN, 5},
                        {CB_GETITEMDATA, static_cast<WPARAM>(-1)}, {CB_DELETESTRING, 1}};
  for (const Case &c : cases) EXPECT_EQ(SendMessageA(box, c.message, c.index, 0), CB_ERR) << c.message;
  EXPECT_EQ(SendMessageA(box, CB_GETCURSEL, 0, 0), 0) << "failed calls leave the selection";
  EXPECT_EQ(SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(-1), 0), CB_ERR);
  EXPECT_EQ(SendMessageA(box, CB_GETCURSEL, 0, 0), CB_ERR) << "-1 clears the selection";
  EXPECT_EQ(GetWindowTextLengthA(box), 0);
}

TEST_F(ControlsTest, LineScrollStopsAtTheTextsEdges) {
  struct Case {
    const char *text;
    std::vector<std::pair<int, int>> scrolls;  // columns, lines
    int first_column;
    int first_line;
  };
  const Case cases[] = {
      {"ab\r\ncd\r\nef", {{1, 1}}, 1, 1},
      {"ab\r\ncd\r\nef", {{1, 1}, {-1, -1}}, 0, 0},
      {"ab\r\ncdef\r\ng", {{100, 100}}, 4, 2},
      {"ab", {{-5, -5}}, 0, 0},
      // Only CR LF breaks lines: a lone LF or CR stays inside its line.
      {"a\nb\rc", {{0, 1}, {9, 0}}, 5, 0},
      {"", {{1, 1}, {-1, -1}}, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    const HWND box = edit(c.text);
    for (auto [columns, lines] : c.scrolls) SendMessageA(box, EM_LINESCROLL, static_cast<WPARAM>(columns), lines);
    EXPECT_EQ(winsys::window_state(box)->first_column, c.first_column);
    EXPECT_EQ(SendMessageA(box, EM_GETFIRSTVISIBLELINE, 0, 0), c.first_line);
    DestroyWindow(box);
  }
}

TEST_F(ControlsTest, NewTextScrollsBackToTheTopLeft) {
  const HWND box = edit("ab\r\ncd");
  SendMessageA(box, EM_LINESCROLL, 1, 1);
  SetWindowTextA(box, "xyz\r\nw");
  EXPECT_EQ(SendMessageA(box, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  EXPECT_EQ(winsys::window_state(box)->first_column, 0);
  EXPECT_EQ(SendMessageA(box, EM_GETLINECOUNT, 0, 0), 2);
}

TEST_F(ControlsTest, ButtonClickReachesTheParentUnlessDisabled) {
  static std::vector<WPARAM> commands;
  commands.clear();
  const DLGPROC record = [](HWND, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
    if (message == WM_COMMAND) commands.push_back(wparam);
    return FALSE;
  };
  const HWND dlg = CreateDialogIndirectParamA(nullptr, nullptr, nullptr, record, 0);
  EXPECT_EQ(dlg, nullptr) << "no template, no dialog";
  static const DialogItemTemplate items[] = {{5, "BUTTON", "Go", WS_CHILD | WS_VISIBLE, 0, 0, 0, 10, 10}};
  static const DialogTemplate t = {"b", 0, 0, 50, 50, WS_POPUP, 0, nullptr, 0, 0, 0, 0, 0, items, 1};
  const HWND with_button = CreateDialogIndirectParamA(nullptr, &t, nullptr, record, 0);
  SendMessageA(GetDlgItem(with_button, 5), BM_CLICK, 0, 0);
  EnableWindow(GetDlgItem(with_button, 5), FALSE);
  SendMessageA(GetDlgItem(with_button, 5), BM_CLICK, 0, 0);
  EXPECT_EQ(commands, (std::vector<WPARAM>{MAKEWPARAM(5, BN_CLICKED)}));
}

}  // namespace
