// control_container_test.cc - catches a control site that hosts the control in the wrong window, loses or misroutes its events, leaks the control past its window, or leaves state behind when creation fails.
#include "platform/framework/afx_ctrl_container.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/browser/headless_browser.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"

namespace {

void pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// A parent window whose event sink map records DocumentComplete of control 101.
class ParentWnd : public CWnd {
 public:
  ParentWnd() {
    Attach(CreateWindowExA(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr, nullptr,
                           nullptr, nullptr));
  }
  int completions = 0;
  LPDISPATCH source = nullptr;
  std::string url;

 private:
  void OnDocumentComplete(LPDISPATCH pDisp, VARIANT *pUrl) {
    ++completions;
    source = pDisp;
    url.clear();
    if (pUrl->vt == VT_BSTR)
      for (UINT i = 0; i < SysStringLen(pUrl->bstrVal); ++i) url += static_cast<char>(pUrl->bstrVal[i]);
  }
  DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(ParentWnd, CWnd)
ON_EVENT(ParentWnd, 101, DISPID_DOCUMENTCOMPLETE, OnDocumentComplete, VTS_DISPATCH VTS_PVARIANT)
END_EVENTSINK_MAP()

constexpr RECT kRect = {10, 20, 310, 220};

BOOL create_browser(CWnd &host, ParentWnd &parent, UINT nID = 101) {
  return host.CreateControl(CLSID_WebBrowser, nullptr, WS_CHILD | WS_VISIBLE, kRect, &parent, nID);
}

void navigate(CWnd &host, LPCSTR url) {
  VARIANT empty;
  VariantInit(&empty);
  static const BYTE params[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
  host.InvokeHelper(DISPID_WEBBROWSER_NAVIGATE, DISPATCH_METHOD, VT_EMPTY, nullptr, params, url, &empty, &empty,
                    &empty, &empty);
}

class ControlContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AfxEnableControlContainer();
    register_headless_browser();
    headless_browser::reset();
  }
  void TearDown() override {
    pump();
    EXPECT_EQ(headless_browser::live_browsers(), 0) << "the control outlived its window";
  }
};

TEST_F(ControlContainerTest, TheControlLivesInAChildWindowWithItsIdStyleAndRectangle) {
  ParentWnd parent;
  CWnd host;
  ASSERT_TRUE(create_browser(host, parent));
  ASSERT_NE(host.GetSafeHwnd(), nullptr);
  EXPECT_EQ(GetParent(host.GetSafeHwnd()), parent.GetSafeHwnd());
  EXPECT_EQ(GetDlgCtrlID(host.GetSafeHwnd()), 101);
  char class_name[64] = {};
  GetClassNameA(host.GetSafeHwnd(), class_name, sizeof class_name);
  EXPECT_STREQ(class_name, AFX_CONTROL_HOST_CLASS);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrA(host.GetSafeHwnd(), GWL_STYLE)) & (WS_CHILD | WS_VISIBLE),
            static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
  RECT rect;
  host.GetWindowRect(&rect);
  parent.ScreenToClient(&rect);
  EXPECT_EQ(rect.left, kRect.left);
  EXPECT_EQ(rect.top, kRect.top);
  EXPECT_EQ(rect.right, kRect.right);
  EXPECT_EQ(rect.bottom, kRect.bottom);

  IUnknown *control = host.GetControlUnknown();
  ASSERT_NE(control, nullptr);
  void *pv = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IDispatch, &pv), S_OK);
  static_cast<IUnknown *>(pv)->Release();
  EXPECT_EQ(headless_browser::live_browsers(), 1);
  EXPECT_FALSE(create_browser(host, parent)) << "a second control replaced the first";
}

TEST_F(ControlContainerTest, EventsReachTheParentsSinkMapThroughTheMessageQueue) {
  ParentWnd parent;
  CWnd host;
  ASSERT_TRUE(create_browser(host, parent));
  navigate(host, "about:blank");
  ASSERT_EQ(headless_browser::navigations().size(), 1u);
  EXPECT_EQ(parent.completions, 0) << "the event came before Navigate returned";
  pump();
  EXPECT_EQ(parent.completions, 1);
  EXPECT_EQ(parent.url, "about:blank");
  EXPECT_NE(parent.source, nullptr);

  headless_browser::raise_document_complete();
  pump();
  EXPECT_EQ(parent.completions, 2);
}

TEST_F(ControlContainerTest, AnEventOfAnotherControlIdIsNotHandled) {
  ParentWnd parent;
  CWnd host;
  ASSERT_TRUE(create_browser(host, parent, 102));
  navigate(host, "about:blank");
  pump();
  EXPECT_EQ(headless_browser::completions(), 1);
  EXPECT_EQ(parent.completions, 0);
}

TEST_F(ControlContainerTest, DestroyingTheWindowReleasesTheControlAndDropsItsPendingEvents) {
  ParentWnd parent;
  CWnd host;
  ASSERT_TRUE(create_browser(host, parent));
  navigate(host, "about:blank");
  parent.DestroyWindow();
  EXPECT_EQ(host.m_pCtrlSite, nullptr);
  EXPECT_EQ(host.GetControlUnknown(), nullptr);
  EXPECT_EQ(headless_browser::live_browsers(), 0);
  pump();
  EXPECT_EQ(parent.completions, 0);
  navigate(host, "about:blank");  // no control: nothing happens
  EXPECT_EQ(headless_browser::navigations().size(), 1u);
}

TEST_F(ControlContainerTest, AFailedCreationLeavesNoWindowAndNoSite) {
  const CLSID unknown = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
  struct Case {
    const char *what;
    const CLSID *clsid;
    HRESULT creation;
    bool with_parent;
  } cases[] = {
      {"the class refuses", &CLSID_WebBrowser, E_OUTOFMEMORY, true},
      {"an unknown class", &unknown, S_OK, true},
      {"no parent window", &CLSID_WebBrowser, S_OK, false},
  };
  for (const Case &c : cases) {
    headless_browser::fail_creation(c.creation);
    ParentWnd parent;
    CWnd host;
    EXPECT_FALSE(host.CreateControl(*c.clsid, nullptr, WS_CHILD | WS_VISIBLE, kRect, c.with_parent ? &parent : nullptr,
                                    101))
        << c.what;
    EXPECT_EQ(host.GetSafeHwnd(), nullptr) << c.what;
    EXPECT_EQ(host.m_pCtrlSite, nullptr) << c.what;
    EXPECT_EQ(GetWindow(parent.GetSafeHwnd(), GW_CHILD), nullptr) << c.what;
    EXPECT_EQ(headless_browser::live_browsers(), 0) << c.what;
    navigate(host, "about:blank");
    EXPECT_TRUE(headless_browser::navigations().empty()) << c.what;
  }
}

// 0 when creation fails before the switch and succeeds after it.
int create_before_and_after_enabling() {
  register_headless_browser();
  ParentWnd parent;
  CWnd before;
  if (create_browser(before, parent)) return 1;
  AfxEnableControlContainer();
  CWnd after;
  return create_browser(after, parent) ? 0 : 2;
}

// The switch is process-wide and cannot be turned off, so it is checked in a fresh process.
TEST(ControlContainerSwitchTest, CreateControlFailsUntilTheContainerIsEnabled) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(exit(create_before_and_after_enabling()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
