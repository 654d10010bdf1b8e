// signature_dlg_test.cc - catches a signing dialog that builds its window wrongly, binds combo items to the wrong certificates, signs the display text instead of the request's bytes, mishandles a failed confirmation, reports the wrong result on cancel, preview failure or timers, or leaves the wait cursor up; with real certificates and the scripted user.
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "control/dialogs/signature_dlg.h"
#include "platform/framework/afx_app.h"
#include "platform/ui/passphrase_prompt.h"
#include "platform/windows/headless_user.h"
#include "platform/windows/terminal_back_end.h"
#include "tests/control/signature_check.h"
#include "tests/control/store_fixture.h"

namespace {

using winsys::HeadlessUser;

// The signer of a dialog's result, through the shared OpenSSL check.
std::vector<uint8_t> verified_signer(const CString &signature, const std::string &content) {
  return signature_check::verified_signer(signature.GetString(), content);
}

std::string edit_text(HWND dlg) { return winsys::window_state(GetDlgItem(dlg, IDC_TEXT))->text; }

class SignatureDlgTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    winsys::use_headless_back_end(&user_);
  }
  void TearDown() override {
    winsys::use_headless_back_end(nullptr);
    StoreTest::TearDown();
  }

  // Runs a plain-text dialog over the store's certificates; the steps come from the test.
  INT_PTR run(CSignatureDlg &dlg, int expected_certs) {
    EXPECT_EQ(dlg.LoadCertificates(), expected_certs);
    return dlg.DoModal();
  }

  CWinApp app_;
  HeadlessUser user_;
  HCURSOR wait_ = LoadCursorA(nullptr, IDC_WAIT);
};

TEST_F(SignatureDlgTest, TheTemplatesControlsAreCreatedAsSpecifiedInPixels) {
  add_certificate(request_for("CN=Maria Puig"));
  CSignatureDlg dlg("text", TRUE);
  std::vector<winsys::WindowState> children;
  HWND hDlg = nullptr;
  user_.then([&](HWND d) {
    hDlg = d;
    const std::optional<winsys::WindowState> s = winsys::window_state(d);
    for (HWND child : s->children) children.push_back(*winsys::window_state(child));
    EXPECT_EQ(s->text, "Signatura Digital");
    EXPECT_EQ(s->style, 0x80C802C0u | WS_VISIBLE);
    RECT client;
    GetClientRect(d, &client);
    EXPECT_EQ(client.right, 497);  // 331 x 159 dialog units at 6 x 13 base units
    EXPECT_EQ(client.bottom, 258);
  });
  run(dlg, 1);
  struct Expected {
    int id;
    const char *class_name;
    const char *text;
    DWORD style;
    RECT client;  // x, y rounded from dialog units
  };
  const Expected expected[] = {
      {IDC_REQUEST_LABEL, "STATIC", "El servidor ha sol\267licitat signar el seg\374ent text:", 0x50020000, {8, 8, 326, 34}},
      {IDC_LOGO, "STATIC", "", 0x5000000E, {422, 8, 490, 32}},
      {IDC_TEXT, "EDIT", "text", 0x50B10884, {8, 42, 490, 172}},
      {IDC_CERT_LABEL, "STATIC", "Seleccioni el certificat amb el que vol signar el text:", 0x50020000, {8, 180, 490, 193}},
      {IDC_CERT_COMBO, "COMBOBOX", "Maria Puig (Maria Puig)", 0x50210143, {8, 202, 490, 223}},
      {IDOK, "BUTTON", "Acceptar", 0x50010001, {158, 229, 233, 252}},
      {IDCANCEL, "BUTTON", "Cancel\267lar", 0x50010000, {264, 229, 339, 252}},
  };
  ASSERT_EQ(children.size(), std::size(expected));
  const POINT origin{children[0].rect.left - 8, children[0].rect.top - 8};
  for (size_t i = 0; i < children.size(); ++i) {
    SCOPED_TRACE(expected[i].id);
    EXPECT_EQ(children[i].id, expected[i].id);
    EXPECT_EQ(children[i].class_name, expected[i].class_name);
    EXPECT_EQ(children[i].text, expected[i].text);
    EXPECT_EQ(children[i].style, expected[i].style);
    const RECT r = children[i].rect;
    EXPECT_EQ(r.left - origin.x, expected[i].client.left);
    EXPECT_EQ(r.top - origin.y, expected[i].client.top);
    EXPECT_EQ(r.right - origin.x, expected[i].client.right);
    EXPECT_EQ(r.bottom - origin.y, expected[i].client.bottom);
  }
  EXPECT_EQ(children[1].image_width, 68) << "the logo bitmap was found";
  EXPECT_EQ(children[1].image_height, 24);
  EXPECT_EQ(children[4].dropped_height, 96);
  EXPECT_TRUE(children[5].focused) << "the focus is on Acceptar";
  EXPECT_NE(hDlg, nullptr);
}

TEST_F(SignatureDlgTest, ShownReadyActiveOnTopAndUnlocked) {
  add_certificate(request_for("CN=Maria Puig"));
  CSignatureDlg dlg("text", TRUE);
  user_.then([&](HWND d) {
    EXPECT_EQ(winsys::update_locked_window(), nullptr);
    EXPECT_EQ(GetActiveWindow(), d);
    EXPECT_EQ(winsys::top_level_windows().front(), d);
    EXPECT_EQ(GetFocus(), GetDlgItem(d, IDOK));
    const std::optional<winsys::WindowState> text = winsys::window_state(GetDlgItem(d, IDC_TEXT));
    EXPECT_EQ(text->first_line, 0);
    EXPECT_EQ(text->first_column, 0);
  });
  run(dlg, 1);
}

TEST_F(SignatureDlgTest, TheSortedComboIsBoundToListIndicesAndSignsWithTheShownCertificate) {
  add_certificate(request_for("CN=Zeta Signer", {0x01}));
  const std::vector<uint8_t> alpha = add_certificate(request_for("CN=Alpha Signer", {0x02}));
  CSignatureDlg dlg("a signar", TRUE);
  user_.then([&](HWND d) {
    const std::optional<winsys::WindowState> combo = winsys::window_state(GetDlgItem(d, IDC_CERT_COMBO));
    ASSERT_EQ(combo->items.size(), 2u);
    EXPECT_EQ(combo->items[0].text, "Alpha Signer (Alpha Signer)");
    EXPECT_EQ(combo->items[0].data, 1u) << "the second list entry is shown first";
    EXPECT_EQ(combo->items[1].text, "Zeta Signer (Zeta Signer)");
    EXPECT_EQ(combo->items[1].data, 0u);
    EXPECT_EQ(combo->cur_sel, 0);
    HeadlessUser::click(d, IDOK);
  });
  EXPECT_EQ(run(dlg, 2), IDOK);
  EXPECT_EQ(verified_signer(dlg.m_strResult, "a signar"), alpha);
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(SignatureDlgTest, TwoCertificatesWithOneNameAreTwoItemsEachBoundToItsEntry) {
  add_certificate(request_for("CN=Joan Serra", {0x01}));
  const std::vector<uint8_t> second = add_certificate(request_for("CN=Joan Serra", {0x02}));
  CSignatureDlg dlg("x", TRUE);
  user_.then([&](HWND d) {
    const std::optional<winsys::WindowState> combo = winsys::window_state(GetDlgItem(d, IDC_CERT_COMBO));
    ASSERT_EQ(combo->items.size(), 2u);
    EXPECT_EQ(combo->items[0].text, combo->items[1].text);
    EXPECT_NE(combo->items[0].data, combo->items[1].data);
    const int position_of_second = combo->items[0].data == 1 ? 0 : 1;
    HeadlessUser::select_combo(d, IDC_CERT_COMBO, position_of_second);
    HeadlessUser::press_key(d, VK_RETURN);
  });
  EXPECT_EQ(run(dlg, 2), IDOK);
  EXPECT_EQ(verified_signer(dlg.m_strResult, "x"), second);
}

TEST_F(SignatureDlgTest, LineFeedsAreShownAsCrLfButTheReceivedBytesAreSigned) {
  const std::vector<uint8_t> cert = add_certificate(request_for("CN=Maria Puig"));
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"a\nb", "a\r\nb"},          {"\nx", "\r\nx"},       {"a\r\nb", "a\r\nb"}, {"a\rb", "a\rb"},
      {"a\n\nb", "a\r\n\r\nb"},    {"\r\n\n", "\r\n\r\n"}, {"", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    CSignatureDlg dlg(CString(c.text.data(), static_cast<int>(c.text.size())), TRUE);
    std::string shown;
    user_.then([&](HWND d) {
      shown = edit_text(d);
      HeadlessUser::click(d, IDOK);
    });
    EXPECT_EQ(run(dlg, 1), IDOK);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(verified_signer(dlg.m_strResult, c.text), cert) << "signed over exactly the received bytes";
  }
}

TEST_F(SignatureDlgTest, AFailedConfirmationIsReportedAndTheDialogStaysOpenForAnotherTry) {
  add_certificate(request_for("CN=Alpha Locked", {0x01}), true, "s3cret");
  const std::vector<uint8_t> usable = add_certificate(request_for("CN=Beta Usable", {0x02}));
  platform_ui::set_passphrase_asker([](const std::string &, int, std::string *) { return false; });
  CSignatureDlg dlg("text", TRUE);
  HWND hDlg = nullptr;
  CString result_between;
  user_.then([&](HWND d) {
    hDlg = d;
    HeadlessUser::click(d, IDOK);  // the preselected, locked certificate
  });
  user_.then([&](HWND d) {
    result_between = dlg.m_strResult;
    EXPECT_EQ(app_.m_nWaitCursorCount, 0);
    EXPECT_NE(GetCursor(), wait_);
    HeadlessUser::select_combo(d, IDC_CERT_COMBO, 1);
    HeadlessUser::click(d, IDOK);
  });
  EXPECT_EQ(run(dlg, 2), IDOK);
  EXPECT_EQ(result_between, "error:internalError");
  ASSERT_EQ(user_.boxes().size(), 1u);
  const HeadlessUser::Box &box = user_.boxes()[0];
  EXPECT_FALSE(dlg.m_crypto.m_strError.IsEmpty());
  EXPECT_EQ(box.text, dlg.m_crypto.m_strError.GetString());
  EXPECT_EQ(box.caption, "Quillora");
  EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(box.owner, hDlg);
  EXPECT_EQ(box.cursor, wait_) << "the box came up inside the wait";
  EXPECT_EQ(verified_signer(dlg.m_strResult, "text"), usable);
  EXPECT_EQ(app_.m_nWaitCursorCount, 0);
}

TEST_F(SignatureDlgTest, EveryWayOfCancellingReturnsUserCancelEvenAfterAFailure) {
  add_certificate(request_for("CN=Alpha Locked"), true, "s3cret");
  platform_ui::set_passphrase_asker([](const std::string &, int, std::string *) { return false; });
  struct Case {
    const char *name;
    bool fail_first;
    HeadlessUser::Step cancel;
  };
  const Case cases[] = {
      {"button", false, [](HWND d) { HeadlessUser::click(d, IDCANCEL); }},
      {"Escape", false, [](HWND d) { HeadlessUser::press_key(d, VK_ESCAPE); }},
      {"close box", false, [](HWND d) { HeadlessUser::close_box(d); }},
      {"button after a failure", true, [](HWND d) { HeadlessUser::click(d, IDCANCEL); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    CSignatureDlg dlg("text", TRUE);
    if (c.fail_first) user_.then([](HWND d) { HeadlessUser::click(d, IDOK); });
    user_.then(c.cancel);
    EXPECT_EQ(run(dlg, 1), IDCANCEL);
    EXPECT_EQ(dlg.m_strResult, "error:userCancel");
    EXPECT_EQ(user_.steps_left(), 0u);
  }
}

TEST_F(SignatureDlgTest, TimerMessagesAreAnsweredWithOneAndChangeNothing) {
  add_certificate(request_for("CN=Maria Puig"));
  CSignatureDlg dlg("text", TRUE);
  static int timer_proc_calls;
  timer_proc_calls = 0;
  const TIMERPROC proc = [](HWND, UINT, UINT_PTR, DWORD) { ++timer_proc_calls; };
  std::vector<LRESULT> answers;
  int invalidations_before = 0;
  user_.then([&](HWND d) {
    invalidations_before = winsys::window_state(d)->invalidations;
    answers.push_back(SendMessageA(d, WM_TIMER, 1, reinterpret_cast<LPARAM>(proc)));
    answers.push_back(SendMessageA(d, WM_SYSTIMER, 1, 0));
    PostMessageA(d, WM_TIMER, 2, 0);
  });
  user_.then([&](HWND d) {
    EXPECT_TRUE(IsWindow(d));
    EXPECT_TRUE(dlg.m_strResult.IsEmpty());
    EXPECT_EQ(winsys::window_state(d)->invalidations, invalidations_before);
    HeadlessUser::click(d, IDCANCEL);
  });
  run(dlg, 1);
  EXPECT_EQ(answers, (std::vector<LRESULT>{1, 1}));
  EXPECT_EQ(timer_proc_calls, 0) << "no default processing, which would call the timer procedure";
}

TEST_F(SignatureDlgTest, ConfirmingWithoutASelectionDoesNothing) {
  add_certificate(request_for("CN=Maria Puig"));
  CSignatureDlg dlg("text", TRUE);
  user_.then([](HWND d) {
    SendDlgItemMessageA(d, IDC_CERT_COMBO, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    HeadlessUser::click(d, IDOK);
  });
  user_.then([&](HWND d) {
    EXPECT_TRUE(IsWindow(d)) << "still open";
    EXPECT_TRUE(dlg.m_strResult.IsEmpty());
    EXPECT_EQ(app_.m_nWaitCursorCount, 0);
    HeadlessUser::press_key(d, VK_ESCAPE);
  });
  EXPECT_EQ(run(dlg, 1), IDCANCEL);
  EXPECT_TRUE(user_.boxes().empty());
  EXPECT_NE(GetCursor(), wait_);
}

TEST_F(SignatureDlgTest, APreviewFailureEndsWithInternalErrorNotUserCancel) {
  add_certificate(request_for("CN=Maria Puig"));
  CSignatureDlg dlg("text", TRUE);
  user_.then([](HWND d) { PostMessageA(d, WM_COMMAND, ID_PREVIEW_FAILED, 0); });
  EXPECT_EQ(run(dlg, 1), IDCANCEL);
  EXPECT_EQ(dlg.m_strResult, "error:internalError");
}

TEST_F(SignatureDlgTest, ADialogThatCannotBeCreatedLeavesAnEmptyResult) {
  add_certificate(request_for("CN=Maria Puig"));
  {
    // Resources looked up in a module without them: no template.
    AfxSetResourceHandle(module_handle_of(reinterpret_cast<const void *>(&GetFocus)));
    CSignatureDlg dlg("text", TRUE);
    EXPECT_EQ(run(dlg, 1), -1);
    AfxSetResourceHandle(nullptr);
    EXPECT_TRUE(dlg.m_strResult.IsEmpty());
    EXPECT_TRUE(user_.events().empty()) << "nothing was shown";
  }
  if (winsys::TerminalBackEnd::open_tty() == nullptr) {
    // No terminal and no scripted user: the back end cannot show dialogs.
    winsys::use_terminal_back_end();
    CSignatureDlg dlg("text", TRUE);
    EXPECT_EQ(run(dlg, 1), -1);
    EXPECT_TRUE(dlg.m_strResult.IsEmpty());
  }
}

}  // namespace
