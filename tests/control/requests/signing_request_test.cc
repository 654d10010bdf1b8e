// signing_request_test.cc - catches a request that shows the wrong box, returns the wrong result, checks in the wrong order, or signs other bytes than it received.
#include "control/requests/signing_request.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/resources/resource.h"
#include "platform/browser/headless_browser.h"
#include "platform/codepage/utf8.h"
#include "platform/com/bstr.h"
#include "platform/windows/headless_user.h"
#include "tests/control/signature_check.h"
#include "tests/control/store_fixture.h"

namespace {

using winsys::HeadlessUser;

constexpr char kHtmlRefused[] = "El text que signar\341 cont\351 comandes HTML\nno permeses en aquesta aplicaci\363.";
constexpr char kNoCertificate[] = "No te cap certificat de signatura instal\267lat.";
constexpr char kNoValidCertificate[] = "No s'ha trobat cap certificat v\340lid per a realitzar la signatura.";
constexpr UINT kErrorBox = 0x1010;
constexpr UINT kInformationBox = 0x1040;

struct BstrFree {
  void operator()(OLECHAR *text) const { SysFreeString(text); }
};

// The request's automation result as UTF-8, checking that it is never null.
std::string run_request(SigningMethod method, const char *text, const char *issuer = "", const char *sn = "",
                        const char *key_usage = "") {
  std::unique_ptr<OLECHAR, BstrFree> result(RunSigningRequest(method, text, issuer, sn, key_usage));
  EXPECT_NE(result.get(), nullptr);
  if (!result) return "<null>";
  return codepage::utf8_from_utf16(std::u16string_view(result.get(), SysStringLen(result.get())));
}

using signature_check::verifies;

class SigningRequestTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    headless_browser::reset();
    register_headless_browser();
    winsys::use_headless_back_end(&user_);
  }
  void TearDown() override {
    winsys::use_headless_back_end(nullptr);
    StoreTest::TearDown();
  }

  void add_signer(const std::string &subject, std::vector<uint8_t> serial = {0x01}) {
    certs::CertificateRequest request = request_for(subject, std::move(serial));
    request.key_usage = 0xC0;
    add_certificate(request);
  }

  // The boxes shown, as (text, caption, flags), and whether the signing dialog appeared.
  void expect_only_box(const char *text, const char *caption, UINT flags) {
    ASSERT_EQ(user_.boxes().size(), 1u);
    EXPECT_EQ(user_.boxes()[0].text, text);
    EXPECT_EQ(user_.boxes()[0].caption, caption);
    EXPECT_EQ(user_.boxes()[0].type, flags);
    EXPECT_EQ(user_.boxes()[0].owner, nullptr);
  }
  bool dialog_appeared() const { return !user_.dialogs_shown().empty(); }

  HeadlessUser user_;
};

// The refusals of the result table: each with its box, its caption, its flags and its result,
// and none of them shows the signing dialog.
TEST_F(SigningRequestTest, HtmlWithAForbiddenTagIsRefusedBeforeAnyCertificateIsLookedAt) {
  // No certificate at all: the HTML refusal still comes first and alone.
  for (SigningMethod method : {SigningMethod::kHtml, SigningMethod::kHtmlWithFilter}) {
    HeadlessUser user;
    winsys::use_headless_back_end(&user);
    // An issuer that cannot be parsed would show its own box if it were looked at.
    EXPECT_EQ(run_request(method, "<p>Hola</p><script>x</script>", "X=1", "zz", "bogus"), "error:internalError");
    ASSERT_EQ(user.boxes().size(), 1u);
    EXPECT_EQ(user.boxes()[0].text, kHtmlRefused);
    EXPECT_EQ(user.boxes()[0].caption, "Error");
    EXPECT_EQ(user.boxes()[0].type, kErrorBox);
    EXPECT_TRUE(user.dialogs_shown().empty());
  }
}

TEST_F(SigningRequestTest, NoInstalledCertificateIsNoMatchingCert) {
  EXPECT_EQ(run_request(SigningMethod::kText, "text"), "error:noMatchingCert");
  expect_only_box(kNoCertificate, "Quillora", kInformationBox);
  EXPECT_FALSE(dialog_appeared());
}

TEST_F(SigningRequestTest, OnlyCertificatesThatCannotSignAreLikeNone) {
  certs::CertificateRequest encipher_only = request_for("CN=Xifratge");
  encipher_only.key_usage = 0x20;
  add_certificate(encipher_only);
  EXPECT_EQ(run_request(SigningMethod::kHtml, "<b>permitted</b>"), "error:noMatchingCert");
  expect_only_box(kNoCertificate, "Quillora", kInformationBox);
}

TEST_F(SigningRequestTest, FiltersThatMatchNothingAreNoMatchingCertWithTheFilterText) {
  add_signer("CN=Anna Soler", {0x0A});
  EXPECT_EQ(run_request(SigningMethod::kTextWithFilter, "text", "", "0B", ""), "error:noMatchingCert");
  expect_only_box(kNoValidCertificate, "Quillora", kInformationBox);
  EXPECT_FALSE(dialog_appeared());
}

TEST_F(SigningRequestTest, AnIssuerThatIsNoNameIsInternalErrorWithTheManagersText) {
  add_signer("CN=Anna Soler");
  const std::string result = run_request(SigningMethod::kTextWithFilter, "text", "X=1");
  const std::string prefix = "error:internalError\nS'ha produ\303\257t un error accedint a les funcions criptogr\303\240fiques.";
  EXPECT_EQ(result.substr(0, prefix.size()), prefix) << result;
  EXPECT_GT(result.size(), prefix.size());
  expect_only_box(kNoValidCertificate, "Quillora", kInformationBox);
  EXPECT_FALSE(dialog_appeared());
}

// The dialog's outcomes as the request returns them.
TEST_F(SigningRequestTest, AcceptingSignsTheTextAsReceived) {
  add_signer("CN=Anna Soler");
  user_.then([](HWND dialog) { HeadlessUser::click(dialog, IDOK); });
  const std::string text = "Pagament: 1.250,00 \200\nData: avui";
  const std::string result = run_request(SigningMethod::kText, text.c_str());
  EXPECT_EQ(result.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  EXPECT_TRUE(verifies(result, text));
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(SigningRequestTest, TheFilteredTextMethodSignsHtmlUnvettedAsPlainText) {
  add_signer("CN=Anna Soler", {0x00, 0xA1, 0xFF});
  user_.then([](HWND dialog) { HeadlessUser::click(dialog, IDOK); });
  const std::string text = "<script>alert(1)</script><u>x</u>";
  const std::string result =
      run_request(SigningMethod::kTextWithFilter, text.c_str(), "CN=Anna Soler", "00a1ff", "digitalSignature");
  EXPECT_TRUE(verifies(result, text));
  EXPECT_TRUE(user_.boxes().empty());
  ASSERT_EQ(user_.dialogs_shown().size(), 1u);
}

TEST_F(SigningRequestTest, CancellingInEveryWayIsUserCancel) {
  add_signer("CN=Anna Soler");
  const HeadlessUser::Step cancels[] = {
      [](HWND dialog) { HeadlessUser::click(dialog, IDCANCEL); },
      [](HWND dialog) { HeadlessUser::press_key(dialog, VK_ESCAPE); },
      [](HWND dialog) { HeadlessUser::close_box(dialog); },
  };
  for (const auto &cancel : cancels) {
    HeadlessUser user;
    winsys::use_headless_back_end(&user);
    user.then(cancel);
    EXPECT_EQ(run_request(SigningMethod::kText, "text"), "error:userCancel");
    EXPECT_TRUE(user.boxes().empty());
  }
}

TEST_F(SigningRequestTest, AFailedSigningThenCancelIsUserCancel) {
  add_signer("CN=Clau Perduda");
  std::filesystem::remove_all(root_ + "/keys");
  user_.then([](HWND dialog) { HeadlessUser::click(dialog, IDOK); });
  user_.then([](HWND dialog) { HeadlessUser::click(dialog, IDCANCEL); });
  EXPECT_EQ(run_request(SigningMethod::kText, "text"), "error:userCancel");
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].caption, "Quillora");
  EXPECT_NE(user_.boxes()[0].owner, nullptr);  // the failure box belongs to the dialog
}

// Null and empty texts are the empty text; the request goes on as for any other.
TEST_F(SigningRequestTest, NullAndEmptyTextsSignTheEmptyText) {
  add_signer("CN=Anna Soler");
  for (const char *text : {static_cast<const char *>(nullptr), ""}) {
    HeadlessUser user;
    winsys::use_headless_back_end(&user);
    user.then([](HWND dialog) { HeadlessUser::click(dialog, IDOK); });
    EXPECT_TRUE(verifies(run_request(SigningMethod::kText, text), ""));
  }
}

// An HTML request whose preview cannot be built ends with the internal error, and does not hang.
TEST_F(SigningRequestTest, AFailedPreviewIsInternalError) {
  add_signer("CN=Anna Soler");
  headless_browser::return_null_document(true);
  EXPECT_EQ(run_request(SigningMethod::kHtml, "<p>Hola</p>"), "error:internalError");
  EXPECT_TRUE(user_.boxes().empty());
}

// A back end that cannot create the dialog leaves the empty result, not a null one.
class NoDialogs : public HeadlessUser {
 public:
  bool can_show_dialogs() override { return false; }
};

TEST_F(SigningRequestTest, ADialogThatCannotBeCreatedGivesTheEmptyString) {
  add_signer("CN=Anna Soler");
  NoDialogs user;
  winsys::use_headless_back_end(&user);
  EXPECT_EQ(run_request(SigningMethod::kText, "text"), "");
  EXPECT_TRUE(user.boxes().empty());
}

}  // namespace
