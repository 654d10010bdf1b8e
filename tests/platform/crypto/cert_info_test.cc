// cert_info_test.cc - catches a serial in the wrong byte order or without its sign byte, names not copied verbatim, wrong validity times, lost extension flags, and crashes or acceptance on truncated certificates.
#include <openssl/x509.h>

#include <cstring>
#include <string>

#include "platform/base/last_error.h"
#include "platform/crypto/x500_name.h"
#include "tests/platform/crypto/crypto_test_support.h"

namespace {

using namespace crypto_test;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct ContextFree {
  void operator()(PCCERT_CONTEXT context) const { CertFreeCertificateContext(context); }
};
using Context = std::unique_ptr<const CERT_CONTEXT, ContextFree>;

Context create(const Bytes &der) {
  return Context(CertCreateCertificateContext(kEncoding, der.data(), static_cast<DWORD>(der.size())));
}

Bytes blob(const CRYPTOAPI_BLOB &b) { return Bytes(b.pbData, b.pbData + b.cbData); }

Bytes name_der(const char *text) {
  DWORD size = 0;
  EXPECT_TRUE(CertStrToNameA(kEncoding, text, CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr));
  Bytes out(size);
  EXPECT_TRUE(CertStrToNameA(kEncoding, text, CERT_X500_NAME_STR, nullptr, out.data(), &size, nullptr));
  return out;
}

uint64_t ticks(const FILETIME &t) { return uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime; }

struct SerialCase {
  Bytes encoded;  // the INTEGER content, most significant byte first
  Bytes expected;
};

class Serials : public testing::TestWithParam<SerialCase> {};

TEST_P(Serials, ComeOutLeastSignificantFirstWithTheSignByte) {
  certs::CertificateRequest request;
  request.serial = GetParam().encoded;
  Context context = create(make_cert(request));
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(blob(context->pCertInfo->SerialNumber), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Integers, Serials,
                         testing::Values(SerialCase{{0x01}, {0x01}}, SerialCase{{0x00, 0xA1, 0xFF}, {0xFF, 0xA1, 0x00}},
                                         SerialCase{{0x7F, 0x01}, {0x01, 0x7F}},
                                         SerialCase{{0xFF, 0x10}, {0x10, 0xFF}},  // negative, as encoded
                                         SerialCase{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20},
                                                    {20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}}));

TEST(CertInfo, FieldsOfAVersion3Certificate) {
  certs::CertificateRequest request;
  request.subject = "CN=Signer, O=Example, C=US";
  request.issuer = "CN=Issuer CA, O=Example";
  request.not_before = 1705322096;  // 2024-01-15 12:34:56 UTC
  request.not_after = 2524608000;   // 2050-01-01 00:00:00 UTC: GeneralizedTime in the certificate
  request.key_usage = CERT_DIGITAL_SIGNATURE_KEY_USAGE | CERT_NON_REPUDIATION_KEY_USAGE;
  const Bytes der = make_cert(request);
  Context context = create(der);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->dwCertEncodingType, static_cast<DWORD>(X509_ASN_ENCODING));
  EXPECT_EQ(context->hCertStore, nullptr);
  EXPECT_EQ(Bytes(context->pbCertEncoded, context->pbCertEncoded + context->cbCertEncoded), der);
  EXPECT_NE(context->pbCertEncoded, der.data());

  const CERT_INFO &info = *context->pCertInfo;
  EXPECT_EQ(info.dwVersion, static_cast<DWORD>(CERT_V3));
  EXPECT_EQ(blob(info.Subject), name_der("CN=Signer, O=Example, C=US"));
  EXPECT_EQ(blob(info.Issuer), name_der("CN=Issuer CA, O=Example"));
  EXPECT_EQ(ticks(info.NotBefore), 0x01DA47AF3ED75800u);
  EXPECT_EQ(ticks(info.NotAfter), 0x01F7630BE39D8000u);

  EXPECT_STREQ(info.SubjectPublicKeyInfo.Algorithm.pszObjId, "1.2.840.113549.1.1.1");
  EXPECT_EQ(blob(info.SubjectPublicKeyInfo.Algorithm.Parameters), (Bytes{0x05, 0x00}));
  unsigned char *pub = nullptr;
  const int pub_nbytes = i2d_PublicKey(shared_key(), &pub);  // the RSAPublicKey the bit string holds
  ASSERT_GT(pub_nbytes, 0);
  EXPECT_EQ(Bytes(info.SubjectPublicKeyInfo.PublicKey.pbData,
                  info.SubjectPublicKeyInfo.PublicKey.pbData + info.SubjectPublicKeyInfo.PublicKey.cbData),
            Bytes(pub, pub + pub_nbytes));
  OPENSSL_free(pub);
  EXPECT_EQ(info.SubjectPublicKeyInfo.PublicKey.cUnusedBits, 0u);
  EXPECT_STREQ(info.SignatureAlgorithm.pszObjId, "1.2.840.113549.1.1.11");

  PCERT_EXTENSION usage = CertFindExtension(szOID_KEY_USAGE, info.cExtension, info.rgExtension);
  ASSERT_NE(usage, nullptr);
  EXPECT_TRUE(usage->fCritical);
  EXPECT_EQ(blob(usage->Value), (Bytes{0x03, 0x02, 0x06, 0xC0}));
  SetLastError(0);
  EXPECT_EQ(CertFindExtension("2.5.29.99", info.cExtension, info.rgExtension), nullptr);
  EXPECT_EQ(GetLastError(), CRYPT_E_NOT_FOUND);
}

TEST(CertInfo, NonCriticalExtensionAndVersion1) {
  certs::CertificateRequest request;
  request.key_usage = CERT_KEY_CERT_SIGN_KEY_USAGE;
  request.key_usage_critical = false;
  Context v3 = create(make_cert(request));
  ASSERT_NE(v3, nullptr);
  PCERT_EXTENSION usage =
      CertFindExtension(szOID_KEY_USAGE, v3->pCertInfo->cExtension, v3->pCertInfo->rgExtension);
  ASSERT_NE(usage, nullptr);
  EXPECT_FALSE(usage->fCritical);
  EXPECT_EQ(blob(usage->Value), (Bytes{0x03, 0x02, 0x02, 0x04}));

  certs::CertificateRequest v1_request;
  v1_request.version = 1;
  Context v1 = create(make_cert(v1_request));
  ASSERT_NE(v1, nullptr);
  EXPECT_EQ(v1->pCertInfo->dwVersion, static_cast<DWORD>(CERT_V1));
  EXPECT_EQ(v1->pCertInfo->cExtension, 0u);
  EXPECT_EQ(CertFindExtension(szOID_KEY_USAGE, v1->pCertInfo->cExtension, v1->pCertInfo->rgExtension), nullptr);
}

TEST(CertInfo, EveryTruncationAndATrailingByteAreRefused) {
  certs::CertificateRequest request;
  request.key_usage = CERT_DIGITAL_SIGNATURE_KEY_USAGE;
  Bytes der = make_cert(request);
  for (size_t n = 0; n < der.size(); ++n) {
    SetLastError(0);
    const Bytes prefix(der.begin(), der.begin() + n);
    EXPECT_EQ(CertCreateCertificateContext(kEncoding, n == 0 ? nullptr : prefix.data(), static_cast<DWORD>(n)),
              nullptr)
        << n;
    EXPECT_EQ(GetLastError(), CRYPT_E_ASN1_CORRUPT) << n;
  }
  der.push_back(0x00);
  EXPECT_EQ(create(der), nullptr);
  EXPECT_EQ(GetLastError(), CRYPT_E_ASN1_CORRUPT);
  der.pop_back();
  EXPECT_EQ(CertCreateCertificateContext(PKCS_7_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())), nullptr);
  EXPECT_EQ(GetLastError(), E_INVALIDARG);
}

TEST(CertInfo, DuplicatesShareTheContextUntilTheLastFree) {
  Context context = create(cert_with_serial(5));
  ASSERT_NE(context, nullptr);
  PCCERT_CONTEXT duplicate = CertDuplicateCertificateContext(context.get());
  EXPECT_EQ(duplicate, context.get());
  EXPECT_TRUE(CertFreeCertificateContext(duplicate));
  EXPECT_EQ(context->pCertInfo->SerialNumber.pbData[0], 5);  // still alive under the sanitizer
  EXPECT_EQ(CertDuplicateCertificateContext(nullptr), nullptr);
  EXPECT_TRUE(CertFreeCertificateContext(nullptr));
}

}  // namespace
