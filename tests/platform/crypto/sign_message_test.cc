// sign_message_test.cc - catches a signature whose shape differs from Windows's (versions, NULL parameters, attributes, their order, the signing time's bytes), a signature over the wrong bytes, a size query that reads the key, and wrong failure codes; OpenSSL and GnuTLS judge the result.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "platform/base/last_error.h"
#include "platform/crypto/key_provider.h"
#include "platform/crypto/sign_message.h"
#include "platform/crypto/software_keys.h"
#include "tests/platform/crypto/crypto_test_support.h"
#include "tests/platform/crypto/der_walker.h"
// Last: its X509_NAME macro clashes with OpenSSL's type in OpenSSL headers included after it.
#include "platform/crypto/crypt_object.h"

namespace {

using namespace crypto_test;
using der_walker::children;
using der_walker::Node;
using der_walker::nodes;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr char kSha256Oid[] = "2.16.840.1.101.3.4.2.1";
constexpr char kPassphrase[] = "pass phrase";
const std::string kContent = "Hello, detached world!\n";

struct Options {
  const char *hash = szOID_OIWSEC_sha1;
  BOOL detached = TRUE;
  bool signing_time = true;
  bool certificate = true;
  std::vector<CRYPT_ATTRIBUTE> extra_attributes;
  DWORD cb_size = offsetof(CRYPT_SIGN_MESSAGE_PARA, dwInnerContentType) + sizeof(DWORD);
  DWORD pieces = 1;
};

struct Signed {
  bool ok = false;
  DWORD error = 0;
  DWORD queried = 0;  // what the size query said
  Bytes blob;
};

class SignTest : public DataRootTest {
 protected:
  void SetUp() override {
    DataRootTest::SetUp();
    certs::CertificateRequest request;
    request.subject = "CN=Quillora Signer, O=Example";
    request.serial = {0x00, 0xC3, 0x5A};
    request.not_before = 1672531200;  // 2023-01-01, so that the signing time lies inside the validity
    request.not_after = 2051222400;   // 2035-01-01
    request.key_usage = CERT_DIGITAL_SIGNATURE_KEY_USAGE | CERT_NON_REPUDIATION_KEY_USAGE;
    der_ = make_cert(request);
    store_ = open_my();
    ASSERT_TRUE(CertAddEncodedCertificateToStore(store_, kEncoding, der_.data(), static_cast<DWORD>(der_.size()),
                                                 CERT_STORE_ADD_NEW, &cert_));
    ASSERT_EQ(softkeys::store_key(shared_key(), kPassphrase, &container_), 0u);
    set_key_property(std::u16string(container_.begin(), container_.end()));

    const FILETIME time = {0x3ED75800, 0x01DA47AF};  // 2024-01-15 12:34:56
    DWORD size = 0;
    ASSERT_TRUE(CryptEncodeObject(kEncoding, szOID_RSA_signingTime, &time, nullptr, &size));
    signing_time_.resize(size);
    ASSERT_TRUE(CryptEncodeObject(kEncoding, szOID_RSA_signingTime, &time, signing_time_.data(), &size));
  }

  void TearDown() override {
    CertFreeCertificateContext(cert_);
    CertCloseStore(store_, 0);
    DataRootTest::TearDown();
  }

  void set_key_property(std::u16string container, std::u16string provider = u"Quillora Software Key Provider") {
    CRYPT_KEY_PROV_INFO info = {container.data(), provider.data(), PROV_RSA_FULL, 0, 0, nullptr, 2};
    ASSERT_TRUE(CertSetCertificateContextProperty(cert_, CERT_KEY_PROV_INFO_PROP_ID, 0, &info));
  }

  // The size query, then the signature into a buffer of the size it gave.
  Signed sign(const std::string &content, const Options &o = Options()) {
    CRYPT_ATTR_BLOB time_value = {static_cast<DWORD>(signing_time_.size()), signing_time_.data()};
    std::vector<CRYPT_ATTRIBUTE> attrs = o.extra_attributes;
    if (o.signing_time) attrs.push_back({const_cast<LPSTR>(szOID_RSA_signingTime), 1, &time_value});
    PCCERT_CONTEXT certs[] = {cert_};
    CRYPT_SIGN_MESSAGE_PARA para = {};
    para.cbSize = o.cb_size;
    para.dwMsgEncodingType = kEncoding;
    para.pSigningCert = cert_;
    para.HashAlgorithm.pszObjId = const_cast<LPSTR>(o.hash);
    para.cMsgCert = o.certificate ? 1 : 0;
    para.rgpMsgCert = certs;
    para.cAuthAttr = static_cast<DWORD>(attrs.size());
    para.rgAuthAttr = attrs.data();
    const BYTE *pieces[] = {reinterpret_cast<const BYTE *>(content.data()), nullptr};
    DWORD piece_sizes[] = {static_cast<DWORD>(content.size()), 0};

    Signed out;
    if (!CryptSignMessage(&para, o.detached, o.pieces, pieces, piece_sizes, nullptr, &out.queried)) {
      out.error = GetLastError();
      return out;
    }
    questions_after_size_query_ = asked_ != nullptr ? asked_->attempts().size() : 0;
    out.blob.resize(out.queried);
    DWORD size = out.queried;
    out.ok = CryptSignMessage(&para, o.detached, o.pieces, pieces, piece_sizes, out.blob.data(), &size);
    if (!out.ok) {
      out.error = GetLastError();
      return out;
    }
    out.blob.resize(size);
    return out;
  }

  Bytes der_;
  HCERTSTORE store_ = nullptr;
  PCCERT_CONTEXT cert_ = nullptr;
  std::string container_;
  Bytes signing_time_;
  const ScriptedAsker *asked_ = nullptr;
  size_t questions_after_size_query_ = 0;
};

Bytes digest(const std::string &content, const EVP_MD *md) {
  Bytes out(EVP_MD_get_size(md));
  EXPECT_EQ(EVP_Digest(content.data(), content.size(), out.data(), nullptr, md, nullptr), 1);
  return out;
}

// Sized first and copied into, because g++ 12 at -O3 warns falsely (array-bounds) on an insert at
// the end of the two-byte vector.
Bytes tlv(uint8_t tag, const Bytes &content) {
  Bytes out(2 + content.size());
  out[0] = tag;
  out[1] = static_cast<uint8_t>(content.size());
  std::copy(content.begin(), content.end(), out.begin() + 2);
  return out;
}

// AlgorithmIdentifier { oid, NULL }.
Bytes algorithm(const Bytes &oid) {
  Bytes content = tlv(0x06, oid);
  content.insert(content.end(), {0x05, 0x00});
  return tlv(0x30, content);
}

// The public key verifies `signature` over `data` with `md` (PKCS #1 v1.5).
bool verifies(EVP_PKEY *key, const EVP_MD *md, const Bytes &data, const Bytes &signature) {
  EVP_MD_CTX *ctx = EVP_MD_CTX_new();
  const bool ok = EVP_DigestVerifyInit(ctx, nullptr, md, nullptr, key) == 1 &&
                  EVP_DigestVerify(ctx, signature.data(), signature.size(), data.data(), data.size()) == 1;
  EVP_MD_CTX_free(ctx);
  return ok;
}

TEST_F(SignTest, ShapeMatchesWindowsByteForByte) {
  ScriptedAsker asker({kPassphrase});
  asked_ = &asker;
  const Signed s = sign(kContent);
  ASSERT_TRUE(s.ok) << std::hex << s.error;
  EXPECT_EQ(questions_after_size_query_, 0u);  // the size query reads no key
  EXPECT_EQ(asker.attempts(), std::vector<int>{1});
  EXPECT_GE(s.queried, s.blob.size());

  const std::vector<Node> top = nodes(s.blob);
  ASSERT_EQ(top.size(), 1u);
  const std::vector<Node> content_info = children(top[0]);
  ASSERT_EQ(content_info.size(), 2u);
  EXPECT_EQ(content_info[0].content, der_walker::kSignedData);
  ASSERT_EQ(content_info[1].tag, 0xA0);
  const std::vector<Node> wrapped = children(content_info[1]);
  ASSERT_EQ(wrapped.size(), 1u);
  const std::vector<Node> signed_data = children(wrapped[0]);
  ASSERT_EQ(signed_data.size(), 5u);  // version, digests, content, certificates, signers: no CRLs
  EXPECT_EQ(signed_data[0].whole, (Bytes{0x02, 0x01, 0x01}));
  EXPECT_EQ(signed_data[1].whole, tlv(0x31, algorithm(der_walker::kSha1)));
  EXPECT_EQ(signed_data[2].whole, tlv(0x30, tlv(0x06, der_walker::kData)));  // detached: no content
  EXPECT_EQ(signed_data[3].tag, 0xA0);
  EXPECT_EQ(signed_data[3].content, der_);  // exactly the one certificate given

  const std::vector<Node> signers = children(signed_data[4]);
  ASSERT_EQ(signers.size(), 1u);
  const std::vector<Node> si = children(signers[0]);
  ASSERT_EQ(si.size(), 6u);  // no unauthenticated attributes
  EXPECT_EQ(si[0].whole, (Bytes{0x02, 0x01, 0x01}));
  const std::vector<Node> issuer_serial = children(si[1]);
  ASSERT_EQ(issuer_serial.size(), 2u);
  const CERT_INFO &info = *cert_->pCertInfo;
  EXPECT_EQ(issuer_serial[0].whole, Bytes(info.Issuer.pbData, info.Issuer.pbData + info.Issuer.cbData));
  EXPECT_EQ(issuer_serial[1].whole, (Bytes{0x02, 0x03, 0x00, 0xC3, 0x5A}));
  EXPECT_EQ(si[2].whole, algorithm(der_walker::kSha1));
  ASSERT_EQ(si[3].tag, 0xA0);
  const std::vector<Node> attrs = children(si[3]);
  ASSERT_EQ(attrs.size(), 3u);
  EXPECT_EQ(attrs[0].whole, tlv(0x30, [] {
              Bytes c = tlv(0x06, der_walker::kContentType);
              const Bytes value = tlv(0x31, tlv(0x06, der_walker::kData));
              c.insert(c.end(), value.begin(), value.end());
              return c;
            }()));
  const std::vector<Node> time_attr = children(attrs[1]);
  ASSERT_EQ(time_attr.size(), 2u);
  EXPECT_EQ(time_attr[0].content, der_walker::kSigningTime);
  EXPECT_EQ(time_attr[1].content, signing_time_);  // the caller's bytes, not OpenSSL's clock
  const std::vector<Node> digest_attr = children(attrs[2]);
  ASSERT_EQ(digest_attr.size(), 2u);
  EXPECT_EQ(digest_attr[0].content, der_walker::kMessageDigest);
  EXPECT_EQ(digest_attr[1].content, tlv(0x04, digest(kContent, EVP_sha1())));
  EXPECT_EQ(si[4].whole, algorithm(der_walker::kRsaEncryption));
  ASSERT_EQ(si[5].tag, 0x04);
  EXPECT_EQ(si[5].content.size(), 256u);

  // The signature covers the attributes as a SET (tag 31), not as the [0] they are stored under.
  Bytes signed_attrs = si[3].whole;
  signed_attrs[0] = 0x31;
  EXPECT_TRUE(verifies(shared_key(), EVP_sha1(), signed_attrs, si[5].content));
  EXPECT_FALSE(verifies(shared_key(), EVP_sha1(), si[3].whole, si[5].content));
}

TEST_F(SignTest, AttributesSortByTheirEncodingAndHashFollowsTheCaller) {
  BYTE null_value[] = {0x05, 0x00};
  CRYPT_ATTR_BLOB value = {2, null_value};
  Options o;
  o.hash = kSha256Oid;
  // 30 09 ... sorts before contentType (30 18) although its OID would sort after it.
  o.extra_attributes = {{const_cast<LPSTR>("2.999.1"), 1, &value}};
  ScriptedAsker asker({kPassphrase});
  const Signed s = sign(kContent, o);
  ASSERT_TRUE(s.ok) << std::hex << s.error;
  const std::vector<Node> si =
      children(children(children(children(children(nodes(s.blob)[0])[1])[0])[4])[0]);
  ASSERT_EQ(si.size(), 6u);
  EXPECT_EQ(si[2].whole, algorithm(der_walker::kSha256));
  const std::vector<Node> attrs = children(si[3]);
  ASSERT_EQ(attrs.size(), 4u);
  for (size_t i = 1; i < attrs.size(); ++i) EXPECT_LT(attrs[i - 1].whole, attrs[i].whole) << i;
  EXPECT_EQ(attrs[0].whole, (Bytes{0x30, 0x09, 0x06, 0x03, 0x88, 0x37, 0x01, 0x31, 0x02, 0x05, 0x00}));
  EXPECT_EQ(children(children(attrs[3])[1])[0].content, digest(kContent, EVP_sha256()));
}

TEST_F(SignTest, NoAttributesNoCertificatesAndEmbeddedContent) {
  ScriptedAsker asker({kPassphrase, kPassphrase});
  Options bare;
  bare.signing_time = false;
  bare.certificate = false;
  const Signed s = sign(kContent, bare);
  ASSERT_TRUE(s.ok) << std::hex << s.error;
  const std::vector<Node> signed_data = children(children(children(nodes(s.blob)[0])[1])[0]);
  ASSERT_EQ(signed_data.size(), 4u);  // no certificates
  const std::vector<Node> si = children(children(signed_data[3])[0]);
  ASSERT_EQ(si.size(), 5u);  // no [0] attributes at all
  EXPECT_EQ(si[3].whole, algorithm(der_walker::kRsaEncryption));
  const Bytes content(kContent.begin(), kContent.end());
  EXPECT_TRUE(verifies(shared_key(), EVP_sha1(), content, si[4].content));  // signs the content itself

  Options embedded;
  embedded.detached = FALSE;
  const Signed e = sign(kContent, embedded);
  ASSERT_TRUE(e.ok) << std::hex << e.error;
  const std::vector<Node> embedded_data = children(children(children(nodes(e.blob)[0])[1])[0]);
  ASSERT_EQ(embedded_data.size(), 5u);
  const std::vector<Node> inner = children(embedded_data[2]);
  ASSERT_EQ(inner.size(), 2u);
  EXPECT_EQ(inner[1].tag, 0xA0);
  EXPECT_EQ(inner[1].content, tlv(0x04, content));
}

TEST_F(SignTest, TooSmallBufferGivesTheSizeWithoutAsking) {
  ScriptedAsker asker({kPassphrase});
  const Signed s = sign(kContent);
  ASSERT_TRUE(s.ok);
  // Another call, one byte short.
  CRYPT_ATTR_BLOB time_value = {static_cast<DWORD>(signing_time_.size()), signing_time_.data()};
  CRYPT_ATTRIBUTE attr = {const_cast<LPSTR>(szOID_RSA_signingTime), 1, &time_value};
  CRYPT_SIGN_MESSAGE_PARA para = {};
  para.cbSize = sizeof para;
  para.dwMsgEncodingType = kEncoding;
  para.pSigningCert = cert_;
  para.HashAlgorithm.pszObjId = const_cast<LPSTR>(szOID_OIWSEC_sha1);
  para.cAuthAttr = 1;
  para.rgAuthAttr = &attr;
  const BYTE *pieces[] = {reinterpret_cast<const BYTE *>(kContent.data())};
  DWORD sizes[] = {static_cast<DWORD>(kContent.size())};
  DWORD needed = 0;
  ASSERT_TRUE(CryptSignMessage(&para, TRUE, 1, pieces, sizes, nullptr, &needed));
  Bytes buffer(needed);
  DWORD size = needed - 1;
  EXPECT_FALSE(CryptSignMessage(&para, TRUE, 1, pieces, sizes, buffer.data(), &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, needed);
  EXPECT_EQ(asker.attempts().size(), 1u);  // only the first, successful signature asked
}

// Runs a command with its output in a log file; the exit status.
int run(const std::string &command, const std::string &log) {
  const int status = std::system((command + " >" + log + " 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool have(const char *tool) { return run(std::string("command -v ") + tool, "/dev/null") == 0; }

struct VerifierCase {
  const char *what;
  const char *hash;
  bool signing_time;
  bool certificate;
};

class Verifiers : public SignTest, public testing::WithParamInterface<VerifierCase> {
 protected:
  std::string path(const char *name) const { return root_ + "/" + name; }

  void write_inputs(const Bytes &signature, const std::string &content) {
    write_file(path("sig.der"), signature);
    write_file(path("data"), Bytes(content.begin(), content.end()));
    const unsigned char *p = der_.data();
    X509 *x = d2i_X509(nullptr, &p, static_cast<long>(der_.size()));
    FILE *f = std::fopen(path("cert.pem").c_str(), "w");
    ASSERT_NE(f, nullptr);
    PEM_write_X509(f, x);
    std::fclose(f);
    X509_free(x);
  }

  std::string log_text(const char *name) const {
    const Bytes log = read_file(path(name)).value_or(Bytes{});
    return std::string(log.begin(), log.end());
  }

  int openssl_verify() const {
    const std::string certs = GetParam().certificate ? "" : " -certfile " + path("cert.pem");
    return run("openssl smime -verify -binary -inform DER -in " + path("sig.der") + " -content " + path("data") +
                   " -noverify -out /dev/null" + certs,
               path("openssl.log"));
  }

  int gnutls_verify() const {
    return run("certtool --p7-verify --inder --infile " + path("sig.der") + " --load-data " + path("data") +
                   " --load-ca-certificate " + path("cert.pem"),
               path("certtool.log"));
  }
};

TEST_P(Verifiers, AcceptTheSignatureAndRejectAlteredContent) {
  if (!have("openssl")) GTEST_SKIP() << "the openssl command is not installed";
  ScriptedAsker asker({kPassphrase});
  Options o;
  o.hash = GetParam().hash;
  o.signing_time = GetParam().signing_time;
  o.certificate = GetParam().certificate;
  const Signed s = sign(kContent, o);
  ASSERT_TRUE(s.ok) << std::hex << s.error;

  write_inputs(s.blob, kContent);
  EXPECT_EQ(openssl_verify(), 0) << GetParam().what << ": " << log_text("openssl.log");
  const bool gnutls = have("certtool") && GetParam().certificate;
  if (gnutls) {
    EXPECT_EQ(gnutls_verify(), 0) << GetParam().what << ": " << log_text("certtool.log");
  }

  std::string altered = kContent;
  altered[0] = 'h';
  write_inputs(s.blob, altered);
  EXPECT_NE(openssl_verify(), 0) << GetParam().what;
  if (gnutls) {
    EXPECT_NE(gnutls_verify(), 0) << GetParam().what;
  }
  if (!have("certtool")) GTEST_SKIP() << "certtool (gnutls-bin) is not installed: only OpenSSL judged";
}

INSTANTIATE_TEST_SUITE_P(Messages, Verifiers,
                         testing::Values(VerifierCase{"SHA-1 with signing time", szOID_OIWSEC_sha1, true, true},
                                         VerifierCase{"SHA-256 with signing time", kSha256Oid, true, true},
                                         VerifierCase{"SHA-1 without attributes", szOID_OIWSEC_sha1, false, true},
                                         VerifierCase{"without certificates", kSha256Oid, true, false}));

struct FailureCase {
  const char *what;
  std::function<void(SignTest *, Options *)> arrange;
  std::vector<std::optional<std::string>> answers;
  DWORD error;
  size_t questions;
};

class Failures : public SignTest, public testing::WithParamInterface<FailureCase> {
 public:
  void set_property(std::u16string container, std::u16string provider) { set_key_property(container, provider); }
  PCCERT_CONTEXT cert() const { return cert_; }
};

TEST_P(Failures, FailWithTheWindowsCode) {
  Options o;
  GetParam().arrange(this, &o);
  ScriptedAsker asker(GetParam().answers);
  const Signed s = sign(kContent, o);
  EXPECT_FALSE(s.ok) << GetParam().what;
  EXPECT_EQ(s.error, GetParam().error) << GetParam().what << std::hex << " got " << s.error;
  EXPECT_EQ(asker.attempts().size(), GetParam().questions) << GetParam().what;
}

std::u16string wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

INSTANTIATE_TEST_SUITE_P(
    Causes, Failures,
    testing::Values(
        FailureCase{"no key property",
                    [](SignTest *t, Options *) {
                      ASSERT_TRUE(CertSetCertificateContextProperty(static_cast<Failures *>(t)->cert(),
                                                                    CERT_KEY_PROV_INFO_PROP_ID, 0, nullptr));
                    },
                    {}, CRYPT_E_NO_KEY_PROPERTY, 0},
        FailureCase{"missing container",
                    [](SignTest *t, Options *) {
                      static_cast<Failures *>(t)->set_property(u"{01234567-89AB-4CDE-8F01-23456789ABCD}",
                                                               u"Quillora Software Key Provider");
                    },
                    {}, NTE_BAD_KEYSET, 0},
        FailureCase{"another provider",
                    [](SignTest *t, Options *) {
                      static_cast<Failures *>(t)->set_property(u"x", u"Microsoft Enhanced Cryptographic Provider v1.0");
                    },
                    {}, NTE_KEYSET_NOT_DEF, 0},
        FailureCase{"passphrase declined", [](SignTest *, Options *) {}, {std::nullopt}, HRESULT_ERROR_CANCELLED, 1},
        FailureCase{"three wrong passphrases", [](SignTest *, Options *) {}, {"a", "b", "c"}, NTE_PERM, 3},
        FailureCase{"key of another certificate",
                    [](SignTest *t, Options *) {
                      certs::CertificateRequest request;
                      request.rsa_bits = 1024;
                      std::string error, container;
                      std::optional<certs::MadeCertificate> other = certs::make_certificate(request, &error);
                      ASSERT_TRUE(other) << error;
                      ASSERT_EQ(softkeys::store_key(other->key.get(), "", &container), 0u);
                      static_cast<Failures *>(t)->set_property(wide(container), u"Quillora Software Key Provider");
                    },
                    {}, NTE_BAD_KEY, 0},
        FailureCase{"MD5", [](SignTest *, Options *o) { o->hash = "1.2.840.113549.2.5"; }, {}, CRYPT_E_UNKNOWN_ALGO, 0},
        FailureCase{"no hash", [](SignTest *, Options *o) { o->hash = nullptr; }, {}, CRYPT_E_UNKNOWN_ALGO, 0},
        FailureCase{"short structure", [](SignTest *, Options *o) { o->cb_size -= 4; }, {}, E_INVALIDARG, 0},
        FailureCase{"two pieces, not detached",
                    [](SignTest *, Options *o) {
                      o->detached = FALSE;
                      o->pieces = 2;
                    },
                    {}, E_INVALIDARG, 0},
        FailureCase{"attribute value that is not DER",
                    [](SignTest *, Options *o) {
                      static BYTE long_form[] = {0x05, 0x81, 0x00};
                      static CRYPT_ATTR_BLOB value = {3, long_form};
                      o->extra_attributes = {{const_cast<LPSTR>("2.999.1"), 1, &value}};
                    },
                    {}, E_INVALIDARG, 0},
        FailureCase{"caller's own messageDigest",
                    [](SignTest *, Options *o) {
                      static BYTE octets[] = {0x04, 0x01, 0x00};
                      static CRYPT_ATTR_BLOB value = {3, octets};
                      o->extra_attributes = {{const_cast<LPSTR>("1.2.840.113549.1.9.4"), 1, &value}};
                    },
                    {}, E_INVALIDARG, 0}));

}  // namespace
