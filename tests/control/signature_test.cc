// signature_test.cc - signatures made through the dialog's signing step: their shape, verification by two independent tools over the exact ANSI bytes, and provider failures.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "control/dialogs/signature_dlg.h"
#include "platform/crypto/cert_store.h"
#include "platform/ui/passphrase_prompt.h"
#include "tests/control/signature_check.h"
#include "tests/control/store_fixture.h"

namespace {

using signature_check::base64_decode;

void write_bytes(const std::string &path, const void *data, size_t nbytes) {
  std::ofstream(path, std::ios::binary).write(static_cast<const char *>(data), static_cast<std::streamsize>(nbytes));
}

bool have_tool(const char *name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

int run(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

class SignatureTest : public StoreTest {
 protected:
  // Signs `text` with the only certificate of the store; the Base64 text, or "" on failure.
  std::string sign(const std::string &text, CString *error = nullptr) {
    CSignatureDlg dialog(CString(text.data(), static_cast<int>(text.size())), TRUE);
    EXPECT_EQ(dialog.LoadCertificates(), 1);
    if (dialog.m_certs.GetSize() != 1) return "";
    const BOOL signed_ok = dialog.SignWithCertificate(0);
    if (error != nullptr) *error = dialog.m_crypto.m_strError;
    return signed_ok ? std::string(dialog.m_strResult.GetString()) : std::string();
  }

  std::string file(const std::string &name) const { return root_ + "/" + name; }

  std::vector<uint8_t> cert_der_;
};

TEST_F(SignatureTest, SignatureIsDetachedSignedDataWithExactlyTheExpectedParts) {
  cert_der_ = add_certificate(request_for("CN=Maria Puig"));
  const std::string text = "Text a signar: \340\351\357\363 \200 end";
  const time_t before = time(nullptr);
  const std::string signature = sign(text);
  const time_t after = time(nullptr);
  ASSERT_FALSE(signature.empty());

  ASSERT_EQ(signature.size() % 4, 0u);
  EXPECT_EQ(signature.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  const std::vector<uint8_t> der = base64_decode(signature);
  const unsigned char *p = der.data();
  PKCS7 *p7 = d2i_PKCS7(nullptr, &p, static_cast<long>(der.size()));
  ASSERT_NE(p7, nullptr);
  EXPECT_EQ(p, der.data() + der.size()) << "bytes after the ContentInfo";
  ASSERT_TRUE(PKCS7_type_is_signed(p7));
  EXPECT_EQ(PKCS7_get_detached(p7), 1);
  EXPECT_EQ(ASN1_INTEGER_get(p7->d.sign->version), 1);
  ASSERT_EQ(sk_X509_num(p7->d.sign->cert), 1);
  unsigned char *cert_der = nullptr;
  const int cert_len = i2d_X509(sk_X509_value(p7->d.sign->cert, 0), &cert_der);
  EXPECT_EQ(std::vector<uint8_t>(cert_der, cert_der + cert_len), cert_der_);
  OPENSSL_free(cert_der);
  EXPECT_LE(sk_X509_CRL_num(p7->d.sign->crl), 0);  // absent (-1) or empty
  ASSERT_EQ(sk_X509_ALGOR_num(p7->d.sign->md_algs), 1);
  EXPECT_EQ(OBJ_obj2nid(sk_X509_ALGOR_value(p7->d.sign->md_algs, 0)->algorithm), NID_sha1);

  STACK_OF(PKCS7_SIGNER_INFO) *signers = PKCS7_get_signer_info(p7);
  ASSERT_EQ(sk_PKCS7_SIGNER_INFO_num(signers), 1);
  PKCS7_SIGNER_INFO *signer = sk_PKCS7_SIGNER_INFO_value(signers, 0);
  EXPECT_EQ(OBJ_obj2nid(signer->digest_alg->algorithm), NID_sha1);
  EXPECT_LE(sk_X509_ATTRIBUTE_num(signer->unauth_attr), 0);
  std::vector<int> attributes;
  for (int i = 0; i < sk_X509_ATTRIBUTE_num(signer->auth_attr); ++i)
    attributes.push_back(OBJ_obj2nid(X509_ATTRIBUTE_get0_object(sk_X509_ATTRIBUTE_value(signer->auth_attr, i))));
  EXPECT_EQ(attributes, (std::vector<int>{NID_pkcs9_contentType, NID_pkcs9_signingTime, NID_pkcs9_messageDigest}));

  ASN1_TYPE *signing_time = PKCS7_get_signed_attribute(signer, NID_pkcs9_signingTime);
  ASSERT_NE(signing_time, nullptr);
  ASSERT_EQ(signing_time->type, V_ASN1_UTCTIME);
  time_t signed_at = 0;
  struct tm tm = {};
  ASSERT_EQ(ASN1_TIME_to_tm(signing_time->value.utctime, &tm), 1);
  signed_at = timegm(&tm);
  EXPECT_GE(signed_at, before);
  EXPECT_LE(signed_at, after);
  PKCS7_free(p7);
}

TEST_F(SignatureTest, IndependentVerifiersAcceptTheAnsiBytesAndRejectOthers) {
  cert_der_ = add_certificate(request_for("CN=Verifier Test"));
  const std::string text = "L\341nia 1\r\nL\355nia 2 amb accents \340\350";
  const std::string signature = sign(text);
  ASSERT_FALSE(signature.empty());
  const std::vector<uint8_t> der = base64_decode(signature);
  write_bytes(file("signature.p7s"), der.data(), der.size());
  write_bytes(file("text.bin"), text.data(), text.size());
  write_bytes(file("altered.bin"), text.data(), text.size() - 1);
  write_bytes(file("cert.der"), cert_der_.data(), cert_der_.size());
  ASSERT_EQ(run("openssl x509 -inform DER -in " + file("cert.der") + " -out " + file("cert.pem")), 0);

  ASSERT_TRUE(have_tool("openssl"));
  const std::string smime = "openssl smime -verify -binary -inform DER -noverify -in " + file("signature.p7s") +
                            " -out /dev/null -content ";
  EXPECT_EQ(run(smime + file("text.bin")), 0);
  EXPECT_NE(run(smime + file("altered.bin")), 0);

  if (!have_tool("certtool")) GTEST_SKIP() << "GnuTLS certtool is not installed (package gnutls-bin)";
  const std::string certtool = "certtool --p7-verify --inder --infile " + file("signature.p7s") +
                               " --load-ca-certificate " + file("cert.pem") + " --load-data ";
  EXPECT_EQ(run(certtool + file("text.bin")), 0);
  EXPECT_NE(run(certtool + file("altered.bin")), 0);
}

TEST_F(SignatureTest, TextLengthDecidesThePadding) {
  add_certificate(request_for("CN=Padding"));
  for (const std::string text : {"", "a", "ab", "abc"}) {
    const std::string signature = sign(text);
    ASSERT_FALSE(signature.empty()) << text;
    const size_t n = base64_decode(signature).size();
    EXPECT_EQ(signature.size(), 4 * ((n + 2) / 3));
    const size_t padding = signature.size() - signature.find_last_not_of('=') - 1;
    EXPECT_EQ(padding, (3 - n % 3) % 3);
  }
}

TEST_F(SignatureTest, SameTextInAnotherSecondGivesAnotherSignature) {
  add_certificate(request_for("CN=Time"));
  const std::string first = sign("same text");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  const std::string second = sign("same text");
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);
}

TEST_F(SignatureTest, ProtectedKeyAsksOnceAndDecliningGivesTheCancelText) {
  add_certificate(request_for("CN=Protected"), true, "s3cret");
  int asked = 0;
  platform_ui::set_passphrase_asker([&](const std::string &, int, std::string *passphrase) {
    ++asked;
    *passphrase = "s3cret";
    return true;
  });
  EXPECT_FALSE(sign("text").empty());
  EXPECT_EQ(asked, 1);

  platform_ui::set_passphrase_asker([](const std::string &, int, std::string *) { return false; });
  CString error;
  EXPECT_TRUE(sign("text", &error).empty());
  EXPECT_NE(std::string(error.GetString()).find("0x800704C7\nMensaje:\nThe operation was canceled by the user."),
            std::string::npos)
      << error.GetString();
}

TEST_F(SignatureTest, MissingKeyFileFailsWithTheKeysetText) {
  add_certificate(request_for("CN=Lost key"));
  std::filesystem::remove_all(root_ + "/keys");
  CString error;
  EXPECT_TRUE(sign("text", &error).empty());
  EXPECT_NE(std::string(error.GetString()).find("0x80090016\nMensaje:\nEl conjunt de claus no existeix"),
            std::string::npos)
      << error.GetString();
}

TEST_F(SignatureTest, PrepareProviderWithoutKeyPropertyHasNothingToDo) {
  const std::vector<uint8_t> der = add_certificate(request_for("CN=No key"), false);
  PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                                     static_cast<DWORD>(der.size()));
  ASSERT_NE(cert, nullptr);
  CCryptoManager manager;
  EXPECT_TRUE(manager.PrepareProvider(cert));
  CertFreeCertificateContext(cert);

  add_certificate(request_for("CN=With key", {0x02}));
  CSignatureDlg dialog("text", TRUE);
  ASSERT_EQ(dialog.LoadCertificates(), 1);
  EXPECT_TRUE(dialog.m_crypto.PrepareProvider(static_cast<PCCERT_CONTEXT>(dialog.m_certs[0])));
}

}  // namespace
