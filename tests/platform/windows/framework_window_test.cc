// framework_window_test.cc - catches message maps that miss, misroute or lose results, dialogs that run without a template, wait cursors that do not nest or come back, and centring that leaves the screen.
#include <string>
#include <vector>

#include "platform/framework/afx_app.h"
#include "platform/framework/afx_dialog.h"
#include "platform/windows/dialog_template.h"
#include "tests/platform/windows/headless_fixture.h"

namespace {

constexpr WORD kTestDialogId = 500;
const DialogItemTemplate kItems[] = {
    {IDOK, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 10, 10, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 70, 10, 50, 14},
    {7, "BUTTON", "Seven", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 130, 10, 50, 14},
};
const DialogTemplate kTemplate = {"Framework", 0, 0, 200, 40,
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
                                  0, "MS Sans Serif", 8, FW_NORMAL, 0, ANSI_CHARSET, 0, kItems, 3};
const ResourceEntry kResources[] = {{RT_DIALOG, kTestDialogId, &kTemplate, sizeof kTemplate}};
PLATFORM_MODULE_RESOURCES(kResources);

class CTestDlg : public CDialog {
 public:
  explicit CTestDlg(UINT nID = kTestDialogId) : CDialog(nID) {}
  BOOL OnInitDialog() override {
    m_calls.push_back("init");
    if (m_bMoveInInit) SetWindowPos(nullptr, 7, 9, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return CDialog::OnInitDialog();
  }
  std::vector<std::string> m_calls;
  bool m_bMoveInInit = false;

 protected:
  void OnCancel() override {
    m_calls.push_back("cancel override");
    CDialog::OnCancel();
  }
  afx_msg void OnSeven() { m_calls.push_back("seven"); }
  afx_msg LRESULT OnUser(WPARAM wParam, LPARAM) {
    m_calls.push_back("user " + std::to_string(wParam));
    return 77;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
ON_COMMAND(7, &CTestDlg::OnSeven)
ON_MESSAGE(WM_USER + 5, &CTestDlg::OnUser)
END_MESSAGE_MAP()

class FrameworkWindowTest : public HeadlessTest {
 protected:
  CWinApp app_;
};

TEST_F(FrameworkWindowTest, MessageMapEntriesReachTheirHandlersAndVirtualsTheOverride) {
  CTestDlg dlg;
  LRESULT user_result = 0;
  user_.then([&](HWND d) {
    EXPECT_EQ(CWnd::FromHandle(d), &dlg) << "the running dialog is attached to its object";
    user_result = SendMessageA(d, WM_USER + 5, 3, 0);
    winsys::HeadlessUser::click(d, 7);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(7, 1), 0);  // a notification other than a click
    winsys::HeadlessUser::press_key(d, VK_ESCAPE);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(user_result, 77) << "a handler's result is the message's result";
  EXPECT_EQ(dlg.m_calls, (std::vector<std::string>{"init", "user 3", "seven", "cancel override"}));
  EXPECT_EQ(dlg.m_hWnd, nullptr) << "the object is detached once the window is gone";
}

TEST_F(FrameworkWindowTest, EnterRunsTheBaseOkAndDoModalReturnsIdok) {
  CTestDlg dlg;
  user_.then([](HWND d) { winsys::HeadlessUser::press_key(d, VK_RETURN); });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.m_calls, (std::vector<std::string>{"init"}));
}

TEST_F(FrameworkWindowTest, AMissingTemplateFailsWithoutRunningTheDialog) {
  CTestDlg dlg(kTestDialogId + 1);
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_TRUE(dlg.m_calls.empty());
  EXPECT_TRUE(user_.events().empty());
}

TEST_F(FrameworkWindowTest, ChildObjectsComeFromTheirHandles) {
  CTestDlg dlg;
  user_.then([&](HWND d) {
    CWnd *pSeven = dlg.GetDlgItem(7);
    ASSERT_NE(pSeven, nullptr);
    EXPECT_EQ(pSeven->m_hWnd, GetDlgItem(d, 7));
    EXPECT_EQ(dlg.GetDlgItem(7), pSeven) << "one temporary per window";
    EXPECT_EQ(dlg.GetDlgItem(12345), nullptr);
    CString strText;
    pSeven->GetWindowText(strText);
    EXPECT_EQ(strText, "Seven");
  });
  dlg.DoModal();
}

TEST_F(FrameworkWindowTest, WaitCursorNestsAndRestoresThePreviousCursor) {
  const HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), wait = LoadCursorA(nullptr, IDC_WAIT);
  ASSERT_NE(arrow, nullptr);
  ASSERT_NE(wait, nullptr);
  ASSERT_NE(arrow, wait);
  EXPECT_EQ(AfxGetApp(), &app_);
  SetCursor(arrow);
  struct Step {
    bool begin;
    HCURSOR after;
    int count;
  };
  const Step steps[] = {{true, wait, 1}, {true, wait, 2}, {false, wait, 1}, {false, arrow, 0}, {false, arrow, 0}};
  for (const Step &s : steps) {
    if (s.begin) {
      app_.BeginWaitCursor();
    } else {
      app_.EndWaitCursor();
    }
    EXPECT_EQ(GetCursor(), s.after);
    EXPECT_EQ(app_.m_nWaitCursorCount, s.count);
  }
}

// A dialog is not left at its template's origin: unless its initialisation placed it, the
// framework centres it before it is shown.
TEST_F(FrameworkWindowTest, ADialogItsInitialisationLeftInPlaceIsCentred) {
  for (const bool moved : {false, true}) {
    CTestDlg dlg;
    dlg.m_bMoveInInit = moved;
    RECT r{};
    user_.then([&](HWND d) { GetWindowRect(d, &r); });
    dlg.DoModal();
    const POINT expected = moved ? POINT{7, 9} : POINT{640 - 153, 512 - 45};  // 306 x 90 on 1280 x 1024
    EXPECT_EQ(r.left, expected.x) << moved;
    EXPECT_EQ(r.top, expected.y) << moved;
  }
}

TEST_F(FrameworkWindowTest, CenterWindowCentresOnTheScreenAndKeepsTheWindowOnIt) {
  struct Case {
    int screen_width, screen_height;
    POINT expected_top_left;
  };
  // The dialog is 306 x 90 pixels: 300 x 65 of client area, 3-pixel frame, 19-pixel caption.
  const Case cases[] = {
      {1280, 1024, {640 - 153, 512 - 45}},
      {801, 601, {400 - 153, 300 - 45}},
      {200, 50, {0, 0}},  // larger than the screen: the top left corner stays visible
  };
  for (const Case &c : cases) {
    user_.set_metric(SM_CXSCREEN, c.screen_width);
    user_.set_metric(SM_CYSCREEN, c.screen_height);
    CTestDlg dlg;
    RECT r{};
    user_.then([&](HWND d) {
      dlg.CenterWindow();
      GetWindowRect(d, &r);
    });
    dlg.DoModal();
    EXPECT_EQ(r.right - r.left, 306);
    EXPECT_EQ(r.bottom - r.top, 90);
    EXPECT_EQ(r.left, c.expected_top_left.x) << c.screen_width;
    EXPECT_EQ(r.top, c.expected_top_left.y) << c.screen_height;
  }
}

}  // namespace
