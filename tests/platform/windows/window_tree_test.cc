// window_tree_test.cc - catches wrong dialog-unit conversion, wrong window trees from templates, broken coordinate transforms, z-order and SetWindowPos flag mistakes, and update-lock rule violations.
#include <vector>

#include "platform/windows/dialog_template.h"
#include "tests/platform/windows/headless_fixture.h"

namespace {

const DialogItemTemplate kItems[] = {
    {10, "STATIC", "Label", WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 5, 5, 50, 8},
    {11, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | WS_TABSTOP, 0, 5, 20, 100, 40},
    {12, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT | WS_TABSTOP, 0, 5, 63, 100, 50},
    {IDOK, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 10, 80, 50, 14},
};
const DialogTemplate kTemplate = {"Tree", 10, 20, 200, 100, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
                                  0, "MS Sans Serif", 8, FW_NORMAL, 0, ANSI_CHARSET, 0x0409, kItems, 4};

// Lets the dialog manager focus the first tab stop, and handles nothing else.
INT_PTR quiet_proc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class WindowTreeTest : public HeadlessTest {
 protected:
  HWND create() { return CreateDialogIndirectParamA(nullptr, &kTemplate, nullptr, quiet_proc, 0); }
};

// With base units 6 x 13: x * 6 / 4 and y * 13 / 8, rounded half away from zero. The dialog at
// (15, 33) (20 * 13 / 8 = 32.5) has a 300 x 163 client area inside a 3-pixel frame and a
// 19-pixel caption, so its client origin is (18, 55) on the screen.
TEST_F(WindowTreeTest, TemplateBecomesWindowsWithExactPixelRectangles) {
  const HWND dlg = create();
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(window_rect(dlg), (RECT{15, 33, 15 + 306, 33 + 188}));
  RECT client;
  GetClientRect(dlg, &client);
  EXPECT_EQ(client, (RECT{0, 0, 300, 163}));

  struct Expected {
    int id;
    const char *class_name;
    DWORD style;
    RECT screen;
  };
  const Expected expected[] = {
      {10, "STATIC", kItems[0].style, {18 + 8, 55 + 8, 18 + 8 + 75, 55 + 8 + 13}},
      {11, "EDIT", kItems[1].style, {18 + 8, 55 + 33, 18 + 8 + 150, 55 + 33 + 65}},
      // A drop-down list's window is its closed field: one 13-pixel line plus 8.
      {12, "COMBOBOX", kItems[2].style, {18 + 8, 55 + 102, 18 + 8 + 150, 55 + 102 + 21}},
      {IDOK, "BUTTON", kItems[3].style, {18 + 15, 55 + 130, 18 + 15 + 75, 55 + 130 + 23}},
  };
  const std::optional<winsys::WindowState> tree = winsys::window_state(dlg);
  ASSERT_TRUE(tree);
  ASSERT_EQ(tree->children.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    const std::optional<winsys::WindowState> child = winsys::window_state(tree->children[i]);
    ASSERT_TRUE(child);
    SCOPED_TRACE(expected[i].id);
    EXPECT_EQ(child->id, expected[i].id) << "children are in template order";
    EXPECT_EQ(child->class_name, expected[i].class_name);
    EXPECT_EQ(child->style, expected[i].style);
    EXPECT_EQ(child->rect, expected[i].screen);
    EXPECT_EQ(GetDlgItem(dlg, expected[i].id), tree->children[i]);
  }
  EXPECT_EQ(winsys::window_state(GetDlgItem(dlg, 12))->dropped_height, 81);
  EXPECT_FALSE(IsWindowVisible(dlg)) << "a dialog without WS_VISIBLE starts hidden";
  EXPECT_EQ(GetFocus(), GetDlgItem(dlg, 11)) << "WM_INITDIALOG answering TRUE focuses the first tab stop";
}

TEST_F(WindowTreeTest, MapDialogRectUsesTheTemplateFontsBaseUnits) {
  const HWND dlg = create();
  RECT r{5, 5, 55, 13};
  ASSERT_TRUE(MapDialogRect(dlg, &r));
  EXPECT_EQ(r, (RECT{8, 8, 83, 21}));
}

TEST_F(WindowTreeTest, ScreenAndClientCoordinatesRoundTrip) {
  const HWND dlg = create();
  const HWND edit = GetDlgItem(dlg, 11);
  struct Case {
    HWND hwnd;
    POINT client;
    POINT screen;
  };
  // The edit box's border is one pixel, so its client origin is one pixel in.
  const Case cases[] = {
      {dlg, {0, 0}, {18, 55}},
      {dlg, {-18, -55}, {0, 0}},
      {edit, {0, 0}, {18 + 8 + 1, 55 + 33 + 1}},
      {edit, {10, 20}, {18 + 8 + 11, 55 + 33 + 21}},
  };
  for (const Case &c : cases) {
    POINT p = c.client;
    ASSERT_TRUE(ClientToScreen(c.hwnd, &p));
    EXPECT_EQ(p.x, c.screen.x);
    EXPECT_EQ(p.y, c.screen.y);
    ASSERT_TRUE(ScreenToClient(c.hwnd, &p));
    EXPECT_EQ(p.x, c.client.x);
    EXPECT_EQ(p.y, c.client.y);
  }
  // Moving the dialog moves its children with it.
  SetWindowPos(dlg, nullptr, 100, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(window_rect(edit).left, 100 + 3 + 8);
  EXPECT_EQ(window_rect(edit).top, 200 + 3 + 19 + 33);
}

std::vector<int> z_order_ids(HWND dlg) {
  std::vector<int> ids;
  const std::optional<winsys::WindowState> state = winsys::window_state(dlg);
  for (HWND child : state->children) ids.push_back(GetDlgCtrlID(child));
  return ids;
}

TEST_F(WindowTreeTest, SetWindowPosFlagsKeepWhatTheyName) {
  struct Case {
    const char *name;
    HWND insert_after_id;  // as an id: 0 HWND_TOP, 1 HWND_BOTTOM, else a sibling's id
    UINT flags;
    RECT client_after;     // the edit box's rectangle in the dialog's client area
    std::vector<int> z_after;
  };
  const RECT start{8, 33, 158, 98};
  const Case cases[] = {
      {"move only", nullptr, SWP_NOSIZE | SWP_NOZORDER, {40, 50, 190, 115}, {10, 11, 12, IDOK}},
      {"size only", nullptr, SWP_NOMOVE | SWP_NOZORDER, {8, 33, 68, 103}, {10, 11, 12, IDOK}},
      {"to the top", HWND_TOP, SWP_NOMOVE | SWP_NOSIZE, start, {11, 10, 12, IDOK}},
      {"to the bottom", HWND_BOTTOM, SWP_NOMOVE | SWP_NOSIZE, start, {10, 12, IDOK, 11}},
      {"below IDOK", reinterpret_cast<HWND>(IDOK), SWP_NOMOVE | SWP_NOSIZE, start, {10, 12, IDOK, 11}},
      {"below 12", reinterpret_cast<HWND>(12), SWP_NOMOVE | SWP_NOSIZE, start, {10, 12, 11, IDOK}},
      {"z order ignored", HWND_BOTTOM, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER, start, {10, 11, 12, IDOK}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const HWND dlg = create();
    const HWND edit = GetDlgItem(dlg, 11);
    const uintptr_t raw = reinterpret_cast<uintptr_t>(c.insert_after_id);
    const HWND after = raw > 1 ? GetDlgItem(dlg, static_cast<int>(raw)) : c.insert_after_id;
    ASSERT_TRUE(SetWindowPos(edit, after, 40, 50, 60, 70, c.flags));
    RECT r = window_rect(edit);
    ScreenToClient(dlg, reinterpret_cast<POINT *>(&r.left));
    ScreenToClient(dlg, reinterpret_cast<POINT *>(&r.right));
    EXPECT_EQ(r, c.client_after);
    EXPECT_EQ(z_order_ids(dlg), c.z_after);
    DestroyWindow(dlg);
  }
}

TEST_F(WindowTreeTest, InsertAfterAWindowThatIsNoSiblingFails) {
  const HWND dlg = create();
  const HWND other = create();
  EXPECT_FALSE(SetWindowPos(GetDlgItem(dlg, 11), GetDlgItem(other, 10), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_EQ(z_order_ids(dlg), (std::vector<int>{10, 11, 12, IDOK}));
}

TEST_F(WindowTreeTest, UpdateLockIsHeldByOneWindowAtATime) {
  const HWND a = create();
  const HWND b = create();
  EXPECT_TRUE(LockWindowUpdate(a));
  EXPECT_EQ(winsys::update_locked_window(), a);
  EXPECT_FALSE(LockWindowUpdate(b)) << "a second lock while one is held";
  EXPECT_FALSE(LockWindowUpdate(a)) << "even on the same window";
  EXPECT_EQ(winsys::update_locked_window(), a);
  const int before = winsys::window_state(a)->invalidations;
  EXPECT_TRUE(LockWindowUpdate(nullptr));
  EXPECT_EQ(winsys::update_locked_window(), nullptr);
  EXPECT_GT(winsys::window_state(a)->invalidations, before) << "releasing repaints the locked window";
  EXPECT_TRUE(LockWindowUpdate(b));
  DestroyWindow(b);
  EXPECT_EQ(winsys::update_locked_window(), nullptr) << "a destroyed window holds no lock";
  EXPECT_TRUE(LockWindowUpdate(a));
}

TEST_F(WindowTreeTest, DestroyingADialogDestroysItsChildrenAndNeverReusesHandles) {
  const HWND dlg = create();
  const HWND edit = GetDlgItem(dlg, 11);
  SetFocus(edit);
  ASSERT_TRUE(DestroyWindow(dlg));
  EXPECT_FALSE(IsWindow(dlg));
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(SetWindowTextA(edit, "x"), FALSE) << "a stale handle reaches nothing";
  const HWND again = create();
  EXPECT_NE(again, dlg);
  EXPECT_NE(GetDlgItem(again, 11), edit);
}

TEST_F(WindowTreeTest, VisibilityFocusAndTextFollowTheirCalls) {
  const HWND dlg = create();
  const HWND edit = GetDlgItem(dlg, 11);
  EXPECT_FALSE(IsWindowVisible(edit)) << "a visible child of a hidden dialog is not visible";
  ShowWindow(dlg, SW_SHOW);
  EXPECT_TRUE(IsWindowVisible(edit));
  SetFocus(edit);
  EXPECT_TRUE(ShowWindow(edit, SW_HIDE)) << "answers whether it was visible";
  EXPECT_FALSE(IsWindowVisible(edit));
  EXPECT_EQ(GetFocus(), nullptr) << "hiding the focus window takes the focus away";

  SetWindowTextA(dlg, "Caption \xE9");
  char text[32];
  EXPECT_EQ(GetWindowTextLengthA(dlg), 9);
  EXPECT_EQ(GetWindowTextA(dlg, text, 5), 4) << "cut to the buffer, NUL included";
  EXPECT_STREQ(text, "Capt");
  EXPECT_EQ(GetWindowTextA(dlg, text, sizeof text), 9);
  EXPECT_STREQ(text, "Caption \xE9");
}

TEST_F(WindowTreeTest, MetricsComeFromTheBackEnd) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
  EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 19);
  user_.set_metric(SM_CYCAPTION, 25);
  user_.set_metric(SM_CXMAXIMIZED, 808);
  EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 25);
  EXPECT_EQ(GetSystemMetrics(SM_CXMAXIMIZED), 808);
  const HWND dlg = create();
  EXPECT_EQ(window_rect(dlg).bottom - window_rect(dlg).top, 163 + 25 + 6) << "the caption height shapes the frame";
}

}  // namespace
