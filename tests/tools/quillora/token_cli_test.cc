// token_cli_test.cc - faults in quillora with tokens: a source not shown or not switched off, a token's certificate removable, a PIN or database password not asked on the terminal, a signature with a token's key that OpenSSL rejects.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/data_root_test.h"
#include "tests/support/token_lab.h"
#include "tests/tools/quillora/quillora_harness.h"

namespace quillora_test {
namespace {

using testsupport::TokenLab;

certs::CertificateRequest request(const char *subject, uint8_t serial) {
  certs::CertificateRequest r;
  r.subject = subject;
  r.serial = {serial};
  return r;
}

// One SoftHSM token and one NSS database for the whole program.
struct Lab {
  TokenLab tokens;
  std::vector<uint8_t> card, nss;

  Lab() {
    std::string error;
    for (auto [subject, serial, cert] : {std::tuple{"CN=Card Signer", 0x21, &card}, {"CN=Browser Signer", 0x22, &nss}}) {
      std::optional<certs::MadeCertificate> made = certs::make_certificate(request(subject, serial), &error,
                                                                           testsupport::shared_key());
      if (!made) ADD_FAILURE() << error;
      if (made) *cert = made->der;
    }
    tokens.init_token("Signing Card", "1234");
    tokens.write("Signing Card", "1234", "01", {&card, testsupport::shared_key(), testsupport::shared_key()});
    tokens.make_nss_database(tokens.home() + "/.pki/nssdb", "db pass", nss, testsupport::shared_key());
  }
};

const testing::Environment *const g_environment =
    testing::AddGlobalTestEnvironment(new testsupport::LabEnvironment<Lab>);
Lab &lab() { return testsupport::LabEnvironment<Lab>::lab(); }

// A sandbox with one certificate of its own, the sources switched on and the control registered.
class tokens : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sandbox_.run({"certs", "new", "--subject", "CN=Store Signer"}).exit_code, 0);
    const RunResult switched = sandbox_.run({"certs", "sources", "--tokens", "on", "--nss", "on"});
    ASSERT_EQ(switched.exit_code, 0) << switched.err;
    EXPECT_NE(switched.out.find("tokens  on "), std::string::npos) << switched.out;
    EXPECT_NE(switched.out.find("nss     on   " + lab().tokens.home() + "/.pki/nssdb"), std::string::npos) << switched.out;
    ASSERT_EQ(sandbox_.run({"register"}).exit_code, 0);
  }

  static std::vector<std::string> sources_listed(const RunResult &listed) {
    std::vector<std::string> sources;
    for (size_t at = listed.out.find("Source:  "); at != std::string::npos; at = listed.out.find("Source:  ", at + 1))
      sources.push_back(listed.out.substr(at + 9, listed.out.find('\n', at) - at - 9));
    return sources;
  }

  // The signature's line of a terminal run: what follows the last line break before the end.
  static std::string signature_of(const RunResult &r) {
    std::string out = r.out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out.substr(out.find_last_of('\n') + 1);
  }

  Sandbox sandbox_;
  ScopedEnv ui_{"QUILLORA_UI", "headless"};
  ScopedEnv actions_{"QUILLORA_HEADLESS_ACTIONS", "ok"};
};

TEST_F(tokens, list_shows_each_source_and_the_setting_switches_them_off) {
  const std::string nss_source = "NSS database " + lab().tokens.home() + "/.pki/nssdb";
  EXPECT_EQ(sources_listed(sandbox_.run({"certs", "list"})),
            (std::vector<std::string>{"store", "token \"Signing Card\"", nss_source}));
  EXPECT_EQ(sources_listed(sandbox_.run({"certs", "list", "--no-tokens"})), (std::vector<std::string>{"store"}));

  const RunResult removed = sandbox_.run({"certs", "remove", "2"});
  EXPECT_EQ(removed.exit_code, 1);
  EXPECT_NE(removed.err.find("certificate 2 is on token \"Signing Card\""), std::string::npos) << removed.err;

  ASSERT_EQ(sandbox_.run({"certs", "sources", "--tokens", "off"}).exit_code, 0);
  EXPECT_EQ(sources_listed(sandbox_.run({"certs", "list"})), (std::vector<std::string>{"store", nss_source}));
}

struct terminal_case {
  const char *name;
  const char *issuer;
  std::vector<std::string> typed;
  std::string prompt;  // what the terminal showed for each question
  std::string wrong;   // and before it after a wrong answer
};

class signs_on_a_terminal : public tokens, public testing::WithParamInterface<terminal_case> {};

// The dialog is the headless user's; the PIN or password is asked on the terminal.
TEST_P(signs_on_a_terminal, asking_for_the_pin_and_openssl_verifies) {
  const terminal_case &c = GetParam();
  const RunResult r = sandbox_.run_on_terminal({"signTextWithFilter", "Pagueu 10 EUR", "--issuer", c.issuer}, c.typed);
  ASSERT_EQ(r.exit_code, 0) << r.out;
  std::string prompt = c.prompt;
  if (const size_t home = prompt.find('~'); home != std::string::npos) prompt.replace(home, 1, lab().tokens.home());
  // One question per line typed, in order, the later ones after a wrong answer.
  size_t at = 0;
  for (size_t i = 0; i < c.typed.size(); ++i) {
    const std::string question = (i == 0 ? "" : c.wrong) + prompt + ": ";
    at = r.out.find(question, at);
    ASSERT_NE(at, std::string::npos) << "question " << i + 1 << " not shown: " << r.out;
    at += question.size();
  }
  EXPECT_EQ(r.out.find(prompt, at), std::string::npos) << "asked more often than answered: " << r.out;
  EXPECT_TRUE(sandbox_.verifies(signature_of(r), "Pagueu 10 EUR")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    sources, signs_on_a_terminal,
    testing::Values(terminal_case{"token", "CN=Card Signer", {"4321", "1234"}, "PIN for token \"Signing Card\"",
                                  "Wrong PIN. "},
                    terminal_case{"nss_database", "CN=Browser Signer", {"db pass"},
                                  "Password for NSS database ~/.pki/nssdb", "Wrong password. "}),
    [](const testing::TestParamInfo<terminal_case> &info) { return info.param.name; });

}  // namespace
}  // namespace quillora_test
