// certs_command_line_test.cc - faults in quillora's command line: a usage error that does not exit
// 64, talks on stdout or touches the store; help that misses a command, option or exit code; an
// option of `certs new` that does not reach the certificate as OpenSSL reads it.
#include <gtest/gtest.h>
#include <openssl/x509v3.h>

#include "tests/tools/quillora/quillora_harness.h"

namespace quillora_test {
namespace {

struct usage_case {
  std::vector<std::string> args;
  std::string complaint;        // what stderr must say after "quillora: "
  std::string help = "certs ";  // the help that the message points to, "" for the program's
};

std::ostream &operator<<(std::ostream &os, const usage_case &c) { return os << '[' << joined(c.args) << ']'; }

class usage_error : public testing::TestWithParam<usage_case> {};

TEST_P(usage_error, exits_64_with_the_cause_on_stderr_and_touches_nothing) {
  Sandbox sandbox;
  const std::filesystem::path passphrase = sandbox.write_text("passphrase", "x\n");
  RunResult r = sandbox.run(GetParam().args);
  EXPECT_EQ(r.exit_code, 64);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "quillora: " + GetParam().complaint + "\nTry 'quillora " + GetParam().help +
                       "--help' for more information.\n");
  // Only the sandbox's own setting is there.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sandbox.data_root()), {}), 1) << "the data root changed";
}

INSTANTIATE_TEST_SUITE_P(
    cases, usage_error,
    testing::Values(
        usage_case{{}, "missing command", ""}, usage_case{{"sign"}, "unknown command 'sign'", ""},
        usage_case{{"--frobnicate"}, "unknown option '--frobnicate'", ""},
        usage_case{{"certs"}, "missing certs command (import, list, remove, new, check or sources)"},
        usage_case{{"certs", "lost"}, "unknown certs command 'lost'"},
        usage_case{{"certs", "list", "extra"}, "unexpected argument 'extra'"},
        usage_case{{"certs", "list", "--all"}, "unknown option '--all'"},
        usage_case{{"certs", "sources", "--tokens", "yes"}, "option --tokens needs on or off, not 'yes'"},
        usage_case{{"certs", "sources", "--module", "libx.so"}, "option --module needs an absolute path, not 'libx.so'"},
        usage_case{{"certs", "import"}, "missing FILE (the PKCS #12 file to import)"},
        usage_case{{"certs", "import", "a.p12", "b.p12"}, "unexpected argument 'b.p12'"},
        usage_case{{"certs", "import", "a.p12", "--password-file"}, "option --password-file needs a value"},
        usage_case{{"certs", "import", "a.p12", "--password-file="}, "option --password-file needs a value"},
        usage_case{{"certs", "import", "a.p12", "--password-stdin", "--password-file", "p"},
                   "options --password-file and --password-stdin exclude each other"},
        usage_case{{"certs", "import", "a.p12", "--no-key-passphrase", "--key-passphrase-file", "p"},
                   "options --key-passphrase-file and --no-key-passphrase exclude each other"},
        usage_case{{"certs", "import", "a.p12", "--password-stdin", "--password-stdin"},
                   "option --password-stdin given twice"},
        usage_case{{"certs", "import", "a.p12", "--password-stdin=yes"}, "option --password-stdin takes no value"},
        usage_case{{"certs", "remove"}, "missing INDEX or THUMBPRINT"},
        usage_case{{"certs", "remove", "0"}, "indexes count from 1"},
        usage_case{{"certs", "remove", "12345G"},
                   "'12345G' is neither an index nor a thumbprint (or its first 6 or more hex digits)"},
        usage_case{{"certs", "remove", "ABCDE"},
                   "'ABCDE' is neither an index nor a thumbprint (or its first 6 or more hex digits)"},
        usage_case{{"certs", "new"}, "missing --subject"},
        usage_case{{"certs", "new", "--subject", "CN=N\xFA\xF1" "ez"},
                   "option --subject is not valid UTF-8: byte 0xFA at offset 4 (line 1)"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--issuer", "CN=\xC5\x81ukasz"},
                   "option --issuer holds '\xC5\x81' (U+0141), which Windows-1252 lacks"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--version", "2"}, "option --version needs 1 or 3, not '2'"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--serial", "12G4"},
                   "option --serial needs 1 to 64 hex digits, not '12G4'"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--serial", "0001"},
                   "option --serial needs the shortest form of its number, not '0001'"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--serial", "FF80"},
                   "option --serial needs the shortest form of its number, not 'FF80'"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--serial", std::string(65, '1')},
                   "option --serial needs 1 to 64 hex digits, not '" + std::string(65, '1') + "'"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--not-before", "2023-02-30"},
                   "option --not-before needs a date YYYY-MM-DD from 1950 on, not '2023-02-30'"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--not-after", "1949-12-31"},
                   "option --not-after needs a date YYYY-MM-DD from 1950 on, not '1949-12-31'"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--not-after", "2024-1-01"},
                   "option --not-after needs a date YYYY-MM-DD from 1950 on, not '2024-1-01'"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--not-before", "2024-01-02", "--not-after", "2024-01-01"},
                   "the validity ends (--not-after) before it begins (--not-before)"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--key-usage", "digitalSignature,crlSign"},
                   "unknown key usage 'crlSign' (known: digitalSignature, nonRepudiation, keyEncipherment, "
                   "dataEncipherment, keyAgreement, keyCertSign)"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--key-usage", "DigitalSignature"},
                   "unknown key usage 'DigitalSignature' (known: digitalSignature, nonRepudiation, "
                   "keyEncipherment, dataEncipherment, keyAgreement, keyCertSign)"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--key-usage-critical"},
                   "option --key-usage-critical needs --key-usage"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--key-usage", "keyAgreement", "--key-usage-critical",
                    "--key-usage-noncritical"},
                   "options --key-usage-critical and --key-usage-noncritical exclude each other"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--version", "1", "--key-usage", "digitalSignature"},
                   "a version 1 certificate has no key usage"},
        usage_case{{"certs", "new", "--subject", "CN=x", "--no-key", "--key-passphrase-file", "passphrase"},
                   "options --no-key and --key-passphrase-file exclude each other"}));

TEST(help, names_every_command_option_and_exit_code_on_stdout) {
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> lines;
  } cases[] = {
      {{"--help"},
       {"Usage: quillora COMMAND [ARGUMENTS]", "  certs ", "   0  success", "   1  the operation failed",
        "  64  usage error"}},
      {{"-h"}, {"Usage: quillora COMMAND [ARGUMENTS]"}},
      {{"certs", "--help"},
       {"quillora certs import FILE.p12 [--password-file F | --password-stdin]", "quillora certs list",
        "quillora certs remove INDEX|THUMBPRINT", "quillora certs new --subject NAME", "--key-passphrase-file F",
        "--no-key-passphrase", "--issuer NAME", "--version 1|3", "--serial HEX", "--not-before YYYY-MM-DD",
        "--not-after YYYY-MM-DD", "--key-usage LIST", "keyCertSign", "--key-usage-critical", "--key-usage-noncritical",
        "--no-key", "--export-cert FILE.cer", "quillora certs check [--repair]", "   0  success", "  64  usage error"}},
      // Help wins over whatever else the line holds.
      {{"certs", "new", "--bogus", "-h"}, {"quillora certs new --subject NAME"}},
  };
  for (const auto &c : cases) {
    Sandbox sandbox;
    RunResult r = sandbox.run(c.args);
    EXPECT_EQ(r.exit_code, 0) << joined(c.args);
    EXPECT_EQ(r.err, "") << joined(c.args);
    for (const std::string &line : c.lines)
      EXPECT_NE(r.out.find(line), std::string::npos) << joined(c.args) << " lacks " << line;
  }
}

TEST(version, names_the_program_on_stdout) {
  Sandbox sandbox;
  RunResult r = sandbox.run({"--version"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.out.starts_with("quillora ")) << r.out;
  EXPECT_EQ(r.err, "");
}

// A certificate as OpenSSL reads it, with the serial's content bytes in hex.
struct Facts {
  long version;
  std::string serial, subject, issuer, not_before, not_after;
  int key_usage_critical;  // -1 without the extension
  uint32_t key_usage;
};

std::string one_line(const X509_NAME *name) {
  BIO *bio = BIO_new(BIO_s_mem());
  X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char *data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<size_t>(n));
  BIO_free(bio);
  return text;
}

std::string time_text(const ASN1_TIME *time) {
  tm t{};
  ASN1_TIME_to_tm(time, &t);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
  return text;
}

Facts facts_of(const X509 *cert) {
  Facts f;
  f.version = X509_get_version(cert) + 1;
  const ASN1_INTEGER *serial = X509_get0_serialNumber(cert);
  unsigned char *der = nullptr;
  const int nbytes = i2d_ASN1_INTEGER(serial, &der);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int i = 2; i < nbytes; ++i) f.serial += std::string{kDigits[der[i] >> 4], kDigits[der[i] & 15]};
  OPENSSL_free(der);
  f.subject = one_line(X509_get_subject_name(cert));
  f.issuer = one_line(X509_get_issuer_name(cert));
  f.not_before = time_text(X509_get0_notBefore(cert));
  f.not_after = time_text(X509_get0_notAfter(cert));
  const int at = X509_get_ext_by_NID(cert, NID_key_usage, -1);
  f.key_usage_critical = at < 0 ? -1 : X509_EXTENSION_get_critical(X509_get_ext(cert, at));
  f.key_usage = X509_get_key_usage(const_cast<X509 *>(cert));
  return f;
}

struct new_case {
  std::string name;
  std::vector<std::string> options;  // besides --export-cert
  void (*check)(const Facts &facts);
};

std::ostream &operator<<(std::ostream &os, const new_case &c) { return os << c.name; }

class new_option : public testing::TestWithParam<new_case> {};

TEST_P(new_option, reaches_the_certificate_and_the_store) {
  Sandbox sandbox;
  std::vector<std::string> args = {"certs", "new", "--export-cert", "out.cer"};
  args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
  RunResult r = sandbox.run(args);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  X509Ptr cert = read_der_certificate(sandbox.path() / "out.cer");
  ASSERT_TRUE(cert);
  EXPECT_NE(r.out.find("Installed certificate " + sha1_thumbprint(cert.get()) + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Wrote the certificate to out.cer"), std::string::npos) << r.out;
  const std::vector<std::string> keys = sandbox.key_files();
  ASSERT_EQ(keys.size(), 1u);
  PkeyPtr key = read_key_file(sandbox.data_root() / "keys" / keys[0]);
  ASSERT_TRUE(key);
  EXPECT_EQ(X509_check_private_key(cert.get(), key.get()), 1);
  EXPECT_EQ(X509_verify(cert.get(), key.get()), 1);
  GetParam().check(facts_of(cert.get()));
}

INSTANTIATE_TEST_SUITE_P(
    cases, new_option,
    testing::Values(
        new_case{"defaults",
                 {"--subject", "CN=Plain"},
                 [](const Facts &f) {
                   EXPECT_EQ(f.version, 3);
                   EXPECT_EQ(f.subject, "CN=Plain");
                   EXPECT_EQ(f.issuer, "CN=Plain");
                   EXPECT_EQ(f.key_usage_critical, -1);
                   EXPECT_EQ(f.serial.size(), 16u);
                   EXPECT_LT(f.serial.substr(0, 2), "80") << "a random serial must be positive";
                   EXPECT_NE(f.serial.substr(0, 2), "00") << "and minimal";
                 }},
        new_case{"subject_order_and_issuer",
                 {"--subject", "C=ES, O=Test Org, CN=Test", "--issuer", "CN=Test CA, O=Test Org, C=ES"},
                 [](const Facts &f) {
                   // RFC 2253 prints the last RDN first.
                   EXPECT_EQ(f.subject, "CN=Test,O=Test Org,C=ES");
                   EXPECT_EQ(f.issuer, "C=ES,O=Test Org,CN=Test CA");
                 }},
        new_case{"serial_with_leading_zero",
                 {"--subject", "CN=s", "--serial", "00a1ff"},
                 [](const Facts &f) { EXPECT_EQ(f.serial, "00A1FF"); }},
        new_case{"odd_serial",
                 {"--subject", "CN=s", "--serial", "123"},
                 [](const Facts &f) { EXPECT_EQ(f.serial, "0123"); }},
        new_case{"negative_serial",
                 {"--subject", "CN=s", "--serial", "A1FF"},
                 [](const Facts &f) { EXPECT_EQ(f.serial, "A1FF"); }},
        new_case{
            "version_1", {"--subject", "CN=v1", "--version", "1"}, [](const Facts &f) { EXPECT_EQ(f.version, 1); }},
        new_case{"validity",
                 {"--subject", "CN=v", "--not-before", "2001-02-03", "--not-after", "2051-06-07"},
                 [](const Facts &f) {
                   EXPECT_EQ(f.not_before, "2001-02-03 00:00:00");
                   EXPECT_EQ(f.not_after, "2051-06-07 23:59:59");
                 }},
        new_case{"validity_from_the_epoch",
                 {"--subject", "CN=e", "--not-before", "1970-01-01"},
                 [](const Facts &f) { EXPECT_EQ(f.not_before, "1970-01-01 00:00:00"); }},
        new_case{"key_usage_critical_by_default",
                 {"--subject", "CN=k", "--key-usage", "digitalSignature, nonRepudiation"},
                 [](const Facts &f) {
                   EXPECT_EQ(f.key_usage_critical, 1);
                   EXPECT_EQ(f.key_usage, static_cast<uint32_t>(KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION));
                 }},
        new_case{"key_usage_noncritical",
                 {"--subject", "CN=k", "--key-usage", "keyEncipherment", "--key-usage-noncritical"},
                 [](const Facts &f) {
                   EXPECT_EQ(f.key_usage_critical, 0);
                   EXPECT_EQ(f.key_usage, static_cast<uint32_t>(KU_KEY_ENCIPHERMENT));
                 }},
        new_case{"every_key_usage",
                 {"--subject", "CN=k", "--key-usage-critical", "--key-usage",
                  "keyCertSign,keyAgreement,dataEncipherment,keyEncipherment,nonRepudiation,digitalSignature"},
                 [](const Facts &f) {
                   EXPECT_EQ(f.key_usage_critical, 1);
                   EXPECT_EQ(f.key_usage, 0xFCu);
                 }}),
    [](const auto &info) { return info.param.name; });

TEST(new_without_key, installs_the_certificate_alone) {
  Sandbox sandbox;
  RunResult r = sandbox.run({"certs", "new", "--subject", "CN=Alone", "--no-key"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Private key: no"), std::string::npos) << r.out;
  EXPECT_TRUE(sandbox.key_files().empty());
}

TEST(new_with_passphrase, protects_the_key) {
  Sandbox sandbox;
  const std::filesystem::path passphrase = sandbox.write_text("passphrase", "open sesame\n");
  RunResult r = sandbox.run({"certs", "new", "--subject", "CN=Guarded", "--key-passphrase-file", passphrase.string(),
                             "--export-cert", "guarded.cer"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<std::string> keys = sandbox.key_files();
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_FALSE(read_key_file(sandbox.data_root() / "keys" / keys[0]));
  PkeyPtr key = read_key_file(sandbox.data_root() / "keys" / keys[0], "open sesame");
  ASSERT_TRUE(key);
  EXPECT_EQ(X509_check_private_key(read_der_certificate(sandbox.path() / "guarded.cer").get(), key.get()), 1);
}

TEST(new_failure, leaves_neither_certificate_nor_key_nor_export) {
  const struct {
    std::vector<std::string> args;
    std::string complaint;
  } cases[] = {
      {{"--subject", "CN=x", "--export-cert", "no/such/folder/x.cer"},
       "quillora: no/such/folder/x.cer: cannot write the certificate: No such file or directory\n"},
      {{"--subject", "XX=bad"}, "quillora: cannot make the certificate: cannot parse the name \"XX=bad\""},
      {{"--subject", "CN=x", "--key-passphrase-file", "absent"},
       "quillora: absent: cannot be read: No such file or directory (reading the passphrase for the key)\n"},
  };
  for (const auto &c : cases) {
    Sandbox sandbox;
    std::vector<std::string> args = {"certs", "new"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult r = sandbox.run(args);
    EXPECT_EQ(r.exit_code, 1) << joined(args);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with(c.complaint)) << r.err;
    EXPECT_TRUE(sandbox.key_files().empty());
    EXPECT_EQ(sandbox.run({"certs", "list"}).out, "The certificate store is empty.\n");
  }
}

TEST(new_failure, in_a_store_that_cannot_be_made_leaves_no_export) {
  Sandbox sandbox;
  // A file where the data root's folder should be: no store can be made under it, even by root.
  std::filesystem::remove_all(sandbox.data_root());
  sandbox.write_text("data", "in the way");
  RunResult r = sandbox.run({"certs", "new", "--subject", "CN=x", "--export-cert", "x.cer"});
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_EQ(r.err, "quillora: the data folder " + sandbox.data_root().string() +
                       " is not a folder (it, or a part of its path, is a file); point QUILLORA_DATA_HOME at a folder\n");
  EXPECT_FALSE(std::filesystem::exists(sandbox.path() / "x.cer"));
}

}  // namespace
}  // namespace quillora_test
