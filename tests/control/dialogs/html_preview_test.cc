// html_preview_test.cc - catches an HTML preview that cuts the text into the wrong pieces or code page, sizes or moves the dialog wrongly, draws before the page is filled, stays locked or hangs on a failure, or ignores a later DocumentComplete.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

#include "control/dialogs/signature_dlg.h"
#include "platform/browser/headless_browser.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/framework/afx_ctrl_container.h"
#include "platform/windows/headless_user.h"
#include "tests/control/store_fixture.h"

namespace {

constexpr int kControls[] = {IDC_REQUEST_LABEL, IDC_LOGO,  IDC_TEXT, IDC_CERT_LABEL,
                             IDC_CERT_COMBO,    IDOK,      IDCANCEL, IDC_BROWSER};

// Where everything is: the dialog in screen coordinates, its controls in its client coordinates.
struct Layout {
  RECT dialog{};
  std::map<int, RECT> controls;
  HWND locked = nullptr;
};

Layout capture(HWND dlg) {
  Layout layout;
  GetWindowRect(dlg, &layout.dialog);
  for (int id : kControls) {
    const HWND control = GetDlgItem(dlg, id);
    if (control == nullptr) continue;
    RECT rect;
    GetWindowRect(control, &rect);
    POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
    ScreenToClient(dlg, &corners[0]);
    ScreenToClient(dlg, &corners[1]);
    layout.controls[id] = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  }
  layout.locked = winsys::update_locked_window();
  return layout;
}

LONG width(const RECT &r) { return r.right - r.left; }
LONG height(const RECT &r) { return r.bottom - r.top; }

// The scripted user, which also takes the layout at the moment the dialog is first shown:
// before the page has loaded, so before any filling or sizing.
class PreviewUser : public winsys::HeadlessUser {
 public:
  std::function<void(const Layout &)> on_shown;
  Layout shown;

  void dialog_shown(HWND dialog) override {
    shown = capture(dialog);
    if (on_shown) on_shown(shown);
    HeadlessUser::dialog_shown(dialog);
  }
};

class HtmlPreviewTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    winsys::use_headless_back_end(&user_);
    AfxEnableControlContainer();
    register_headless_browser();
    headless_browser::reset();
    headless_browser::record_insertions(true);
    add_certificate(request_for("CN=Preview"));
  }
  void TearDown() override {
    winsys::use_headless_back_end(nullptr);
    EXPECT_EQ(winsys::update_locked_window(), nullptr) << "the update lock outlived the dialog";
    EXPECT_EQ(headless_browser::live_browsers(), 0) << "the browser outlived the dialog";
    StoreTest::TearDown();
  }

  // Runs an HTML-mode dialog over strText; the first scripted step takes the layout after the
  // page was filled, then the dialog is left to the user's default (Escape).
  CString run(const CString &strText) {
    user_.then([this](HWND dlg) {
      filled_ = capture(dlg);
      focus_id_ = GetDlgCtrlID(GetFocus());
      active_ = GetActiveWindow();
      dialog_ = dlg;
      invalidated_ = winsys::window_state(dlg)->erase_pending;
      text_visible_ = IsWindowVisible(GetDlgItem(dlg, IDC_TEXT));
      // The id of the window just below the text box in z order.
      const std::vector<HWND> children = winsys::window_state(dlg)->children;
      const auto text = std::find(children.begin(), children.end(), GetDlgItem(dlg, IDC_TEXT));
      below_text_id_ = text != children.end() && text + 1 != children.end() ? GetDlgCtrlID(*(text + 1)) : 0;
      step_ran_ = true;
    });
    CSignatureDlg dlg(strText, FALSE);
    EXPECT_EQ(dlg.LoadCertificates(), 1);
    dlg.DoModal();
    return dlg.m_strResult;
  }

  PreviewUser user_;
  Layout filled_;
  HWND active_ = nullptr, dialog_ = nullptr;
  int focus_id_ = 0;
  int below_text_id_ = 0;
  bool invalidated_ = false;
  bool text_visible_ = true;
  bool step_ran_ = false;
};

TEST_F(HtmlPreviewTest, TheTextIsInsertedInPiecesOf4096BytesCutAtFixedOffsets) {
  struct Case {
    int length;
    std::vector<size_t> pieces;
  } cases[] = {{0, {}}, {4096, {4096}}, {4097, {4096, 1}}, {10000, {4096, 4096, 1808}}};
  for (const Case &c : cases) {
    headless_browser::reset();
    std::string text;
    for (int i = 0; i < c.length; ++i) text += static_cast<char>('a' + i % 26);
    EXPECT_EQ(run(CString(text.c_str(), c.length)), "error:userCancel");
    const auto &insertions = headless_browser::insertions();
    ASSERT_EQ(insertions.size(), c.pieces.size()) << c.length;
    size_t offset = 0;
    for (size_t i = 0; i < insertions.size(); ++i) {
      EXPECT_EQ(insertions[i].where_utf8, "beforeEnd");
      EXPECT_EQ(insertions[i].html_utf8, text.substr(offset, c.pieces[i])) << c.length << " piece " << i;
      offset += c.pieces[i];
    }
    EXPECT_TRUE(step_ran_) << "the preview failed for " << c.length << " bytes";
  }
}

TEST_F(HtmlPreviewTest, TextInTheAnsiCodePageArrivesAsTheSameCharactersInUtf16) {
  run("<p>Cam\xed de la pl\xe0\x80" "a \x93x\x94</p>");
  ASSERT_EQ(headless_browser::insertions().size(), 1u);
  EXPECT_EQ(headless_browser::insertions()[0].html, u"<p>Cam\u00ed de la pl\u00e0\u20aca \u201cx\u201d</p>");
}

TEST_F(HtmlPreviewTest, TheBrowserTakesTheTextBoxPlaceUnderTheLockUntilThePageIsFilled) {
  run("<b>x</b>");
  ASSERT_TRUE(step_ran_);
  EXPECT_EQ(user_.shown.locked, dialog_) << "the dialog could be drawn before the page was filled";
  EXPECT_EQ(filled_.locked, nullptr) << "the lock was not released after filling";
  EXPECT_EQ(user_.shown.controls[IDC_BROWSER].left, user_.shown.controls[IDC_TEXT].left);
  EXPECT_EQ(user_.shown.controls[IDC_BROWSER].top, user_.shown.controls[IDC_TEXT].top);
  EXPECT_EQ(width(user_.shown.controls[IDC_BROWSER]), width(user_.shown.controls[IDC_TEXT]));
  EXPECT_EQ(height(user_.shown.controls[IDC_BROWSER]), height(user_.shown.controls[IDC_TEXT]));
  EXPECT_FALSE(text_visible_);
  // Just below the hidden text box in z order, and so next to it in tab order.
  EXPECT_EQ(below_text_id_, IDC_BROWSER);
  EXPECT_EQ(focus_id_, IDOK);
  EXPECT_EQ(active_, dialog_);
  EXPECT_TRUE(invalidated_) << "the dialog was not invalidated with erasing";
}

TEST_F(HtmlPreviewTest, TheDialogGrowsWithTheContentWithinAMaximisedWindow) {
  constexpr LONG kHuge = 100000;
  struct Case {
    const char *what;
    LONG extra_width, extra_height;  // content beyond the browser's size; kHuge: far beyond the screen
    LONG grow_x, grow_y;             // expected growth; -1: up to the maximised limit
    LONG control_dx, logo_dx;
  } cases[] = {
      {"100 x 50 more", 100, 50, 100, 50, 50, 100},
      {"101 wider", 101, 0, 101, 0, 50, 101},
      {"far larger than the screen", kHuge, kHuge, -1, -1, -1, -1},
      {"content that fits", -10, 0, 0, 0, 0, 0},
  };
  for (const Case &c : cases) {
    headless_browser::reset();
    user_.on_shown = [&c](const Layout &shown) {
      const RECT &browser = shown.controls.at(IDC_BROWSER);
      headless_browser::set_scroll_size(c.extra_width == kHuge ? kHuge : width(browser) + c.extra_width,
                                        c.extra_height == kHuge ? kHuge : height(browser) + c.extra_height);
    };
    run("<p>x</p>");
    ASSERT_TRUE(step_ran_) << c.what;
    Layout before = user_.shown;
    const LONG caption = GetSystemMetrics(SM_CYCAPTION);
    const LONG grow_x = c.grow_x >= 0 ? c.grow_x : GetSystemMetrics(SM_CXMAXIMIZED) - 2 * caption - width(before.dialog);
    const LONG grow_y = c.grow_y >= 0 ? c.grow_y : GetSystemMetrics(SM_CYMAXIMIZED) - 2 * caption - height(before.dialog);
    const LONG control_dx = c.control_dx >= 0 ? c.control_dx : grow_x / 2;
    const LONG logo_dx = c.logo_dx >= 0 ? c.logo_dx : grow_x;

    EXPECT_EQ(width(filled_.dialog), width(before.dialog) + grow_x) << c.what;
    EXPECT_EQ(height(filled_.dialog), height(before.dialog) + grow_y) << c.what;
    EXPECT_EQ(width(filled_.controls[IDC_BROWSER]), width(before.controls[IDC_BROWSER]) + grow_x) << c.what;
    EXPECT_EQ(height(filled_.controls[IDC_BROWSER]), height(before.controls[IDC_BROWSER]) + grow_y) << c.what;
    for (int id : {IDOK, IDCANCEL, IDC_CERT_LABEL, IDC_CERT_COMBO}) {
      EXPECT_EQ(filled_.controls[id].left, before.controls[id].left + control_dx) << c.what << " control " << id;
      EXPECT_EQ(filled_.controls[id].top, before.controls[id].top + grow_y) << c.what << " control " << id;
      EXPECT_EQ(width(filled_.controls[id]), width(before.controls[id])) << c.what << " control " << id;
    }
    EXPECT_EQ(filled_.controls[IDC_LOGO].left, before.controls[IDC_LOGO].left + logo_dx) << c.what;
    EXPECT_EQ(filled_.controls[IDC_LOGO].top, before.controls[IDC_LOGO].top) << c.what;
    for (int id : {IDC_REQUEST_LABEL, IDC_TEXT}) {
      EXPECT_EQ(filled_.controls[id].left, before.controls[id].left) << c.what << " control " << id;
      EXPECT_EQ(filled_.controls[id].top, before.controls[id].top) << c.what << " control " << id;
    }
    // Centred on the screen (the dialog has no owner), whether or not it grew.
    EXPECT_LE(std::abs(filled_.dialog.left + filled_.dialog.right - GetSystemMetrics(SM_CXSCREEN)), 1) << c.what;
    EXPECT_LE(std::abs(filled_.dialog.top + filled_.dialog.bottom - GetSystemMetrics(SM_CYSCREEN)), 1) << c.what;
  }
}

TEST_F(HtmlPreviewTest, ASizeThatIsNotANumberLeavesTheLayoutButStillShowsTheDialog) {
  user_.on_shown = [](const Layout &) {
    VARIANT text, number;
    VariantInit(&text);
    VariantInit(&number);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"abc");
    number.vt = VT_I4;
    number.lVal = 5000;
    headless_browser::set_scroll_values(text, number);
    VariantClear(&text);
  };
  run("<p>x</p>");
  ASSERT_TRUE(step_ran_);
  Layout before = user_.shown;
  EXPECT_EQ(filled_.dialog.left, before.dialog.left) << "moved (re-centred) without sizes";
  EXPECT_EQ(filled_.dialog.top, before.dialog.top);
  EXPECT_EQ(width(filled_.dialog), width(before.dialog));
  EXPECT_EQ(height(filled_.dialog), height(before.dialog));
  for (int id : kControls) {
    EXPECT_EQ(filled_.controls[id].left, before.controls[id].left) << id;
    EXPECT_EQ(filled_.controls[id].top, before.controls[id].top) << id;
    EXPECT_EQ(filled_.controls[id].right, before.controls[id].right) << id;
    EXPECT_EQ(filled_.controls[id].bottom, before.controls[id].bottom) << id;
  }
  EXPECT_EQ(filled_.locked, nullptr);
  EXPECT_EQ(focus_id_, IDOK);
}

TEST_F(HtmlPreviewTest, AnotherDocumentCompleteFillsAndSizesAgainFromTheCurrentLayout) {
  LONG browser_width = 0, browser_height = 0;
  user_.on_shown = [&](const Layout &shown) {
    browser_width = width(shown.controls.at(IDC_BROWSER));
    browser_height = height(shown.controls.at(IDC_BROWSER));
    headless_browser::set_scroll_size(browser_width + 100, browser_height);
  };
  user_.then([&](HWND) {
    headless_browser::set_scroll_size(browser_width + 130, browser_height + 20);
    EXPECT_EQ(headless_browser::raise_document_complete(), 1);
  });
  run("<p>hola</p>");
  ASSERT_TRUE(step_ran_);
  EXPECT_EQ(headless_browser::completions(), 2);
  ASSERT_EQ(headless_browser::insertions().size(), 2u);
  EXPECT_EQ(headless_browser::newest_body_html(), u"") << "the browser should be gone with the dialog";
  Layout before = user_.shown;
  EXPECT_EQ(width(filled_.controls[IDC_BROWSER]), browser_width + 130);
  EXPECT_EQ(height(filled_.controls[IDC_BROWSER]), browser_height + 20);
  EXPECT_EQ(width(filled_.dialog), width(before.dialog) + 130);
  EXPECT_EQ(filled_.controls[IDOK].left, before.controls[IDOK].left + 50 + 15);
  EXPECT_EQ(filled_.controls[IDOK].top, before.controls[IDOK].top + 20);
  EXPECT_EQ(filled_.controls[IDC_LOGO].left, before.controls[IDC_LOGO].left + 130);
}

TEST_F(HtmlPreviewTest, APageThatCannotBePreparedEndsTheRequestWithAnInternalError) {
  const std::string long_text(5000, 'x');
  struct Case {
    const char *what;
    std::function<void()> inject;
    std::string text;
  } cases[] = {
      {"the browser cannot be created", [] { headless_browser::fail_creation(E_OUTOFMEMORY); }, "<p>x</p>"},
      {"Navigate fails", [] { headless_browser::fail_call(DISPID_WEBBROWSER_NAVIGATE, E_FAIL); }, "<p>x</p>"},
      {"no document", [] { headless_browser::return_null_document(true); }, "<p>x</p>"},
      {"no IHTMLDocument2", [] { headless_browser::refuse_document_interface(true); }, "<p>x</p>"},
      {"no body", [] { headless_browser::return_null_body(true); }, "<p>x</p>"},
      {"the second piece fails",
       [] { headless_browser::fail_call(DISPID_HTMLELEMENT_INSERTADJACENTHTML, E_OUTOFMEMORY, 1); }, long_text},
      {"the height cannot be read",
       [] { headless_browser::fail_call(DISPID_HTMLELEMENT_GETATTRIBUTE, DISP_E_EXCEPTION, 1); }, "<p>x</p>"},
  };
  for (const Case &c : cases) {
    headless_browser::reset();
    c.inject();
    step_ran_ = false;
    EXPECT_EQ(run(c.text.c_str()), "error:internalError") << c.what;
    EXPECT_FALSE(step_ran_) << c.what << ": the dialog waited for the user";
    EXPECT_EQ(winsys::update_locked_window(), nullptr) << c.what;
    EXPECT_EQ(headless_browser::live_browsers(), 0) << c.what;
    user_ = PreviewUser();  // drop the unused step
    winsys::use_headless_back_end(&user_);
  }
}

}  // namespace
