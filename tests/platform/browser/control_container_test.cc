// control_container_test.cc - catches a control site that hosts the control in the wrong window, loses or misroutes its events, leaks the control past its window, leaves state behind when creation fails, names the wrong window to the control or leaves the control holding it after the window is gone, and a browser whose host window does not show its page as it fills.
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

std::string window_text(HWND hwnd) {
  std::string text(GetWindowTextLengthA(hwnd) + 1, '\0');
  text.resize(GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size())));
  return text;
}

// Appends 1252 html to the loaded page's body, as the signing dialog does.
HRESULT insert(CWnd &host, LPCSTR html) {
  LPDISPATCH pDocument = nullptr;
  host.InvokeHelper(DISPID_WEBBROWSER_DOCUMENT, DISPATCH_PROPERTYGET, VT_DISPATCH, &pDocument, nullptr);
  if (pDocument == nullptr) return E_POINTER;
  COleDispatchDriver document(pDocument);
  LPDISPATCH pBody = nullptr;
  document.GetProperty(DISPID_HTMLDOCUMENT_BODY, VT_DISPATCH, &pBody);
  if (pBody == nullptr) return E_POINTER;
  COleDispatchDriver body(pBody);
  static const BYTE params[] = VTS_BSTR VTS_BSTR;
  return body.InvokeHelper(DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, VT_EMPTY, nullptr, params,
                           "beforeEnd", html);
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

TEST_F(ControlContainerTest, TheHostWindowShowsTheWholePageAsTextOnceInsertionsArePumped) {
  ParentWnd parent;
  CWnd host;
  ASSERT_TRUE(create_browser(host, parent));
  SetWindowTextA(host.GetSafeHwnd(), "before any page");
  navigate(host, "about:blank");
  EXPECT_EQ(window_text(host.GetSafeHwnd()), "") << "a new page is empty";
  pump();
  // Pieces cut inside a tag and a reference: only the whole body reads right.
  const struct {
    const char *piece;
    const char *shown;
  } steps[] = {
      {"<p>Hola <b>m\xF3n</b></p><p>&l", "Hola m\xF3n\r\n&l"},
      {"t;b&gt; <i", "Hola m\xF3n\r\n<b>"},
      {">&#8364;</i></p>", "Hola m\xF3n\r\n<b> \x80"},
  };
  for (const auto &step : steps) {
    ASSERT_EQ(insert(host, step.piece), S_OK) << step.piece;
    pump();
    EXPECT_EQ(window_text(host.GetSafeHwnd()), step.shown) << "after " << step.piece;
  }
  navigate(host, "about:blank");
  EXPECT_EQ(window_text(host.GetSafeHwnd()), "") << "the next page starts empty";
}

TEST_F(ControlContainerTest, TheClientSiteNamesTheHostWindowAndIsTakenBackWithIt) {
  ParentWnd parent;
  CWnd host;
  ASSERT_TRUE(create_browser(host, parent));
  IUnknown *control = host.GetControlUnknown();
  control->AddRef();  // held past the window, as a script holding the control would
  void *pv = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IOleObject, &pv), S_OK);
  auto *object = static_cast<IOleObject *>(pv);
  IOleClientSite *site = nullptr;
  ASSERT_EQ(object->GetClientSite(&site), S_OK);
  ASSERT_NE(site, nullptr) << "the control was given no site";
  ASSERT_EQ(site->QueryInterface(IID_IOleWindow, &pv), S_OK);
  auto *window = static_cast<IOleWindow *>(pv);
  HWND hwnd = nullptr;
  EXPECT_EQ(window->GetWindow(&hwnd), S_OK);
  EXPECT_EQ(hwnd, host.GetSafeHwnd());

  parent.DestroyWindow();
  IOleClientSite *after = site;
  EXPECT_EQ(object->GetClientSite(&after), S_OK);
  EXPECT_EQ(after, nullptr) << "the control still holds the site of a window that is gone";
  EXPECT_NE(window->GetWindow(&hwnd), S_OK) << "a site without its window named one";
  EXPECT_EQ(hwnd, nullptr);
  window->Release();
  site->Release();
  object->Release();
  EXPECT_EQ(headless_browser::live_browsers(), 1);
  control->Release();
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
