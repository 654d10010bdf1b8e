// certs_import_test.cc - faults in `quillora certs import`: an encryption that does not import
// (AES, 3DES, RC2-40), a key that is lost, unprotected when it should not be or unmatched, a
// wrong key-provider property, a bad password or file that changes the store, input that is a
// folder or never ends, iteration counts that keep the program busy for minutes, terminal prompts
// that echo or never come.
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <algorithm>

#include "platform/crypto/cert_store.h"
#include "platform/crypto/key_provider.h"
#include "tests/tools/quillora/quillora_harness.h"
#include "tools/cert_factory/cert_factory.h"
#include "tools/quillora/certs/store_admin.h"

namespace quillora_test {
namespace {

// One certificate and key, made once by openssl, and PKCS #12 files of them in every encryption.
class Exports {
 public:
  Exports() {
    sandbox_.openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "cert.pem",
                      "-subj", "/C=ES/O=Test Org/CN=Imported", "-days", "30"});
    sandbox_.openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca_key.pem", "-out", "ca.pem",
                      "-subj", "/CN=Some CA", "-days", "30"});
    const std::vector<std::string> base = {"pkcs12", "-export", "-in", "cert.pem", "-inkey", "key.pem"};
    auto make = [&](const std::string &name, std::vector<std::string> extra) {
      std::vector<std::string> args = base;
      args.insert(args.end(), extra.begin(), extra.end());
      args.insert(args.end(), {"-out", name});
      sandbox_.openssl(args);
    };
    make("modern.p12", {"-passout", "pass:secret"});
    make("legacy.p12", {"-legacy", "-passout", "pass:secret"});
    make("rc2_3des.p12", {"-provider", "legacy", "-provider", "default", "-certpbe", "PBE-SHA1-RC2-40", "-keypbe",
                          "PBE-SHA1-3DES", "-macalg", "sha1", "-passout", "pass:secret"});
    make("3des.p12", {"-certpbe", "PBE-SHA1-3DES", "-keypbe", "PBE-SHA1-3DES", "-passout", "pass:secret"});
    make("empty_password.p12", {"-passout", "pass:"});
    make("with_chain.p12", {"-certfile", "ca.pem", "-passout", "pass:secret"});
    make("no_key.p12", {"-nokeys", "-passout", "pass:secret"});
    make_costly();
    sandbox_.write_text("not_pkcs12.p12", "-----BEGIN CERTIFICATE-----\nnot really\n");
    FILE *pem = fopen((sandbox_.path() / "cert.pem").c_str(), "r");
    cert_.reset(PEM_read_X509(pem, nullptr, nullptr, nullptr));
    fclose(pem);
    if (!cert_) throw std::runtime_error("cannot read cert.pem");
  }

  std::string file(const std::string &name) const { return (sandbox_.path() / name).string(); }

  // Copies of a file made with 65535 iterations (the INTEGER 02 03 00 FF FF) asking for 8388607
  // (02 03 7F FF FF) in the integrity check (the count's last occurrence) or in the first
  // encrypted part (its first); a program that derived keys from them would run for many seconds.
  void make_costly() const {
    sandbox_.openssl({"pkcs12", "-export", "-in", "cert.pem", "-inkey", "key.pem", "-iter", "65535", "-passout",
                      "pass:secret", "-out", "costly.p12"});
    const std::vector<uint8_t> bytes = read_file(sandbox_.path() / "costly.p12");
    const std::vector<uint8_t> count = {0x02, 0x03, 0x00, 0xFF, 0xFF};
    const auto first = std::search(bytes.begin(), bytes.end(), count.begin(), count.end());
    const auto last = std::find_end(bytes.begin(), bytes.end(), count.begin(), count.end());
    if (first == bytes.end() || first == last) throw std::runtime_error("costly.p12 lacks its iteration counts");
    for (const auto &[name, at] : {std::pair{"costly_mac.p12", last}, std::pair{"costly_part.p12", first}}) {
      std::vector<uint8_t> patched = bytes;
      patched[static_cast<size_t>(at - bytes.begin()) + 2] = 0x7F;
      sandbox_.write_text(name, std::string(patched.begin(), patched.end()));
    }
  }
  const X509 *cert() const { return cert_.get(); }

 private:
  Sandbox sandbox_;
  X509Ptr cert_;
};

const Exports &exports() {
  static const Exports files;
  return files;
}

// What the store says about its only certificate's key, read in this process through the platform.
struct KeyProperty {
  std::string container, provider;
  DWORD provider_type = 0, key_spec = 0;
};

std::string narrow(const char16_t *text) {
  std::string result;
  for (; text != nullptr && *text != 0; ++text) result += static_cast<char>(*text);
  return result;
}

std::vector<KeyProperty> key_properties(const Sandbox &sandbox) {
  setenv("QUILLORA_DATA_HOME", sandbox.data_root().c_str(), 1);
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                   CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG, u"MY");
  EXPECT_NE(store, nullptr);
  std::vector<KeyProperty> properties;
  PCCERT_CONTEXT context = nullptr;
  while ((context = CertEnumCertificatesInStore(store, context)) != nullptr) {
    KeyProperty property;
    DWORD nbytes = 0;
    if (CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &nbytes)) {
      std::vector<uint64_t> buffer(nbytes / 8 + 1);
      EXPECT_TRUE(CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &nbytes));
      const auto *info = reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(buffer.data());
      property = {narrow(info->pwszContainerName), narrow(info->pwszProvName), info->dwProvType, info->dwKeySpec};
    }
    properties.push_back(property);
  }
  CertCloseStore(store, 0);
  unsetenv("QUILLORA_DATA_HOME");
  return properties;
}

struct import_case {
  const char *file;
  const char *password;
};

std::ostream &operator<<(std::ostream &os, const import_case &c) { return os << c.file; }

class import_encryption : public testing::TestWithParam<import_case> {};

TEST_P(import_encryption, installs_the_certificate_with_its_key_in_a_new_container) {
  Sandbox sandbox;
  const std::filesystem::path password = sandbox.write_text("password", std::string(GetParam().password) + "\n");
  RunResult r = sandbox.run({"certs", "import", exports().file(GetParam().file), "--password-file", password.string(),
                             "--no-key-passphrase"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string thumbprint = sha1_thumbprint(exports().cert());
  EXPECT_NE(r.out.find("Imported certificate " + thumbprint + "\n"), std::string::npos) << r.out;

  const std::vector<std::string> keys = sandbox.key_files();
  ASSERT_EQ(keys.size(), 1u);
  PkeyPtr key = read_key_file(sandbox.data_root() / "keys" / keys[0]);
  ASSERT_TRUE(key) << "the key is not stored unprotected";
  EXPECT_EQ(X509_check_private_key(exports().cert(), key.get()), 1);

  const std::vector<KeyProperty> properties = key_properties(sandbox);
  ASSERT_EQ(properties.size(), 1u);
  EXPECT_EQ(properties[0].container + ".p8", keys[0]);
  EXPECT_EQ(properties[0].provider, QUILLORA_SOFTWARE_PROVIDER_A);
  EXPECT_EQ(properties[0].provider_type, static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(properties[0].key_spec, 1u) << "no key usage: AT_KEYEXCHANGE";
}

INSTANTIATE_TEST_SUITE_P(cases, import_encryption,
                         testing::Values(import_case{"modern.p12", "secret"}, import_case{"legacy.p12", "secret"},
                                         import_case{"rc2_3des.p12", "secret"}, import_case{"3des.p12", "secret"},
                                         import_case{"empty_password.p12", ""}),
                         [](const auto &info) {
                           std::string name = info.param.file;
                           return name.substr(0, name.find('.')) == "3des" ? "triple_des"
                                                                           : name.substr(0, name.find('.'));
                         });

TEST(import, protects_the_key_with_the_chosen_passphrase) {
  Sandbox sandbox;
  const std::filesystem::path passphrase = sandbox.write_text("passphrase", "key phrase\r\n");
  RunResult r = sandbox.run({"certs", "import", exports().file("legacy.p12"), "--password-stdin",
                             "--key-passphrase-file", passphrase.string()},
                            "secret\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<std::string> keys = sandbox.key_files();
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_FALSE(read_key_file(sandbox.data_root() / "keys" / keys[0])) << "the key is stored in the clear";
  EXPECT_FALSE(read_key_file(sandbox.data_root() / "keys" / keys[0], "key phrase\r"));
  PkeyPtr key = read_key_file(sandbox.data_root() / "keys" / keys[0], "key phrase");
  ASSERT_TRUE(key);
  EXPECT_EQ(X509_check_private_key(exports().cert(), key.get()), 1);
}

TEST(import, takes_only_the_certificate_of_the_key_from_a_chain) {
  Sandbox sandbox;
  RunResult r = sandbox.run(
      {"certs", "import", exports().file("with_chain.p12"), "--password-stdin", "--no-key-passphrase"}, "secret");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find(sha1_thumbprint(exports().cert())), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 other certificate(s)"), std::string::npos) << r.out;
  EXPECT_EQ(key_properties(sandbox).size(), 1u);
}

struct refusal_case {
  std::string name;
  std::vector<std::string> args;  // after "certs import"; "@NAME" is the export NAME
  std::string input;
  std::string complaint;
};

std::ostream &operator<<(std::ostream &os, const refusal_case &c) { return os << c.name; }

class import_refusal : public testing::TestWithParam<refusal_case> {};

TEST_P(import_refusal, fails_with_the_cause_and_leaves_the_store_as_it_was) {
  Sandbox sandbox;
  std::vector<std::string> args = {"certs", "import"};
  for (const std::string &arg : GetParam().args) args.push_back(arg[0] == '@' ? exports().file(arg.substr(1)) : arg);
  RunResult r = sandbox.run(args, GetParam().input);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(GetParam().complaint), std::string::npos) << r.err;
  EXPECT_TRUE(sandbox.key_files().empty());
  EXPECT_EQ(key_properties(sandbox).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    cases, import_refusal,
    testing::Values(refusal_case{"wrong_password",
                                 {"@modern.p12", "--password-stdin", "--no-key-passphrase"},
                                 "Secret\n",
                                 "modern.p12: wrong password\n"},
                    refusal_case{"wrong_password_legacy",
                                 {"@rc2_3des.p12", "--password-stdin", "--no-key-passphrase"},
                                 "\n",
                                 "rc2_3des.p12: wrong password\n"},
                    refusal_case{"not_pkcs12",
                                 {"@not_pkcs12.p12", "--password-stdin", "--no-key-passphrase"},
                                 "secret\n",
                                 "not_pkcs12.p12: not a PKCS #12 file\n"},
                    refusal_case{"no_key",
                                 {"@no_key.p12", "--password-stdin", "--no-key-passphrase"},
                                 "secret\n",
                                 "no_key.p12: the file holds no private key\n"},
                    refusal_case{"missing_file",
                                 {"absent.p12", "--password-stdin", "--no-key-passphrase"},
                                 "secret\n",
                                 "absent.p12: cannot be read: No such file or directory\n"},
                    refusal_case{"missing_password_file",
                                 {"@modern.p12", "--password-file", "nowhere", "--no-key-passphrase"},
                                 "",
                                 "nowhere: cannot be read: No such file or directory (reading the password)\n"},
                    // Said before any password is asked for.
                    refusal_case{"folder", {"."}, "", "quillora: .: is a folder\n"},
                    refusal_case{"endless_file",
                                 {"/dev/zero", "--password-stdin"},
                                 "secret\n",
                                 "/dev/zero: is larger than the maximum of 1 MiB\n"},
                    refusal_case{"endless_password_file",
                                 {"@modern.p12", "--password-file", "/dev/zero"},
                                 "",
                                 "/dev/zero: the first line is longer than the maximum of 1024 bytes (reading the "
                                 "password)\n"},
                    refusal_case{"overlong_password_line",
                                 {"@modern.p12", "--password-stdin"},
                                 std::string(1025, 'x') + "\n",
                                 "standard input: the first line is longer than the maximum of 1024 bytes"},
                    refusal_case{"costly_integrity_check",
                                 {"@costly_mac.p12", "--password-stdin", "--no-key-passphrase"},
                                 "secret\n",
                                 "costly_mac.p12: its integrity check asks for 8388607 iterations of key derivation, "
                                 "more than the 1000000 taken\n"},
                    refusal_case{"costly_encryption",
                                 {"@costly_part.p12", "--password-stdin", "--no-key-passphrase"},
                                 "secret\n",
                                 "costly_part.p12: an encrypted part asks for 8388607 iterations"},
                    refusal_case{"no_terminal_for_the_password",
                                 {"@modern.p12", "--no-key-passphrase"},
                                 "secret\n",
                                 "no terminal to ask for the password on; use --password-file or --password-stdin\n"},
                    refusal_case{"no_terminal_for_the_passphrase",
                                 {"@modern.p12", "--password-stdin"},
                                 "secret\n",
                                 "no terminal to ask for the passphrase for its key on; use --key-passphrase-file or "
                                 "--no-key-passphrase\n"}),
    [](const auto &info) { return info.param.name; });

TEST(import, of_a_certificate_already_in_the_store_fails_and_keeps_one_key) {
  Sandbox sandbox;
  const std::vector<std::string> args = {"certs", "import", exports().file("modern.p12"), "--password-stdin",
                                         "--no-key-passphrase"};
  ASSERT_EQ(sandbox.run(args, "secret\n").exit_code, 0);
  RunResult again = sandbox.run(args, "secret\n");
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.err.find("the certificate is already in the store"), std::string::npos) << again.err;
  EXPECT_EQ(sandbox.key_files().size(), 1u);
  EXPECT_EQ(key_properties(sandbox).size(), 1u);
}

TEST(import_on_terminal, asks_without_echo_and_again_after_a_wrong_password) {
  Sandbox sandbox;
  RunResult r = sandbox.run_on_terminal({"certs", "import", exports().file("legacy.p12")},
                                        {"guess", "secret", "typed phrase", "typed phrase"});
  ASSERT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("Passphrase for " + exports().file("legacy.p12") + ": "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Wrong passphrase."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(again): "), std::string::npos) << r.out;
  for (const char *typed : {"guess", "secret", "typed phrase"})
    EXPECT_EQ(r.out.find(typed), std::string::npos) << typed;
  const std::vector<std::string> keys = sandbox.key_files();
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_TRUE(read_key_file(sandbox.data_root() / "keys" / keys[0], "typed phrase"));
}

TEST(import_on_terminal, gives_up_after_three_wrong_passwords_or_differing_passphrases) {
  const struct {
    std::vector<std::string> typed;
    const char *complaint;
  } cases[] = {{{"one", "two", "three"}, "modern.p12: wrong password"},
               {{"secret", "first phrase", "other phrase"}, "modern.p12: the two passphrases differ"}};
  for (const auto &c : cases) {
    Sandbox sandbox;
    RunResult r = sandbox.run_on_terminal({"certs", "import", exports().file("modern.p12")}, c.typed);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find(c.complaint), std::string::npos) << r.out;
    EXPECT_TRUE(sandbox.key_files().empty());
    EXPECT_EQ(key_properties(sandbox).size(), 0u);
  }
}

TEST(key_spec, is_signature_only_when_the_key_usage_forbids_key_encipherment) {
  struct {
    std::optional<uint8_t> key_usage;
    bool critical;
    uint32_t key_spec;
  } cases[] = {{std::nullopt, true, 1}, {0x80, true, 2}, {0xC0, false, 2}, {0xA0, true, 1}, {0x20, true, 1}};
  for (const auto &c : cases) {
    certs::CertificateRequest request;
    request.rsa_bits = 1024;
    request.key_usage = c.key_usage;
    request.key_usage_critical = c.critical;
    std::string error;
    std::optional<certs::MadeCertificate> made = certs::make_certificate(request, &error);
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(certs::key_spec_for(made->der), c.key_spec) << (c.key_usage ? int(*c.key_usage) : -1);
  }
}

}  // namespace
}  // namespace quillora_test
