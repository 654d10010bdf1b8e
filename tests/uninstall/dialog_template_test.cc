// dialog_template_test.cc - catches an uninstaller window built other than its template says: caption, styles, a close box it must not have, the disabled OK button, control ids, texts and pixel rectangles.
#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <vector>

#include "platform/framework/afx_app.h"
#include "platform/framework/afx_dialog.h"
#include "platform/windows/headless_user.h"
#include "uninstall/resources/resource.h"

namespace {

TEST(UninstallDialogTemplate, TheWindowIsBuiltExactlyFromTheTemplate) {
  CWinApp app;
  winsys::HeadlessUser user;
  winsys::use_headless_back_end(&user);
  std::optional<winsys::WindowState> dialog;
  std::vector<winsys::WindowState> children;
  RECT client{};
  user.then([&](HWND d) {
    dialog = winsys::window_state(d);
    for (HWND child : dialog->children) children.push_back(*winsys::window_state(child));
    GetClientRect(d, &client);
  });
  CDialog dlg(IDD_UNINSTALL_DIALOG, nullptr);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);  // the scripted user ends it with Escape
  winsys::use_headless_back_end(nullptr);

  ASSERT_TRUE(dialog.has_value());
  EXPECT_EQ(dialog->text, "Desinstal\267laci\363 de quillora");
  EXPECT_EQ(dialog->style, 0x90C000C0u);
  EXPECT_EQ(dialog->style & WS_SYSMENU, 0u) << "no system menu, so no close box";
  EXPECT_EQ(dialog->exstyle, static_cast<DWORD>(WS_EX_APPWINDOW));
  EXPECT_EQ(client.right, 465);  // 310 x 203 dialog units at 6 x 13 base units
  EXPECT_EQ(client.bottom, 330);

  struct Expected {
    int id;
    const char *class_name;
    const char *text;
    DWORD style;
    bool enabled;
    RECT client;  // each of x, y, width and height rounded from dialog units on its own
  };
  const Expected expected[] = {
      {IDC_LOG, "EDIT", "", 0x50B100C4, true, {8, 42, 458, 292}},
      {IDC_STATUS, "STATIC", "Desinstal\267laci\363 en progr\351s", 0x50020001, true, {8, 8, 458, 34}},
      {IDOK, "BUTTON", "D'acord", 0x58010001, false, {194, 301, 274, 322}},
  };
  ASSERT_EQ(children.size(), std::size(expected));
  // The client area's screen origin, from the log box's known place.
  const POINT origin{children[0].rect.left - 8, children[0].rect.top - 42};
  for (size_t i = 0; i < children.size(); ++i) {
    SCOPED_TRACE(expected[i].id);
    EXPECT_EQ(children[i].id, expected[i].id);
    EXPECT_EQ(children[i].class_name, expected[i].class_name);
    EXPECT_EQ(children[i].text, expected[i].text);
    EXPECT_EQ(children[i].style, expected[i].style);
    EXPECT_EQ(children[i].enabled, expected[i].enabled);
    EXPECT_EQ(children[i].rect.left - origin.x, expected[i].client.left);
    EXPECT_EQ(children[i].rect.top - origin.y, expected[i].client.top);
    EXPECT_EQ(children[i].rect.right - origin.x, expected[i].client.right);
    EXPECT_EQ(children[i].rect.bottom - origin.y, expected[i].client.bottom);
  }
}

}  // namespace
