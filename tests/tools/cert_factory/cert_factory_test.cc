// cert_factory_test.cc - faults in made certificates, judged by OpenSSL and a DER walk: a serial
// not encoded byte for byte, names reordered, a wrong version, key usage bits or critical flag,
// validity, a key that does not match, a signature by the wrong key, a bad request accepted.
#include "tools/cert_factory/cert_factory.h"

#include <gtest/gtest.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <span>
#include <utility>

#include "platform/crypto/openssl_ptr.h"

namespace {

using certs::CertificateRequest;
using certs::MadeCertificate;

using platform::X509Ptr;

// One key for the cases that do not test key generation, since RSA generation dominates run time.
EVP_PKEY *shared_key() {
  static certs::Pkey key(EVP_RSA_gen(1024));
  return key.get();
}

MadeCertificate make(const CertificateRequest &request, EVP_PKEY *subject_key = shared_key(),
                     EVP_PKEY *issuer_key = nullptr) {
  std::string error;
  std::optional<MadeCertificate> made = certs::make_certificate(request, &error, subject_key, issuer_key);
  if (!made) ADD_FAILURE() << error;
  return made ? std::move(*made) : MadeCertificate{};
}

X509Ptr parse(const std::vector<uint8_t> &der) {
  const unsigned char *p = der.data();
  X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  EXPECT_TRUE(cert) << "not a certificate";
  EXPECT_EQ(p, der.data() + der.size()) << "bytes after the certificate";
  return cert;
}

// A minimal DER reader for short and long definite lengths: the content of the TLV at `der`,
// and the bytes after it.
std::pair<std::span<const uint8_t>, std::span<const uint8_t>> tlv(std::span<const uint8_t> der) {
  if (der.size() < 2) throw std::runtime_error("truncated TLV");
  size_t length = der[1];
  size_t header = 2;
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = length << 8 | der[2 + i];
    header += count;
  }
  if (header + length > der.size()) throw std::runtime_error("TLV runs past its parent");
  return {der.subspan(header, length), der.subspan(header + length)};
}

// The serial's content bytes as they stand in the DER, read without OpenSSL's INTEGER code.
std::vector<uint8_t> serial_content(const std::vector<uint8_t> &der) {
  auto [certificate, rest] = tlv(der);
  auto [tbs, signature] = tlv(certificate);
  std::span<const uint8_t> field = tbs;
  if (field[0] == 0xA0) field = tlv(field).second;  // the explicit [0] version
  EXPECT_EQ(field[0], 0x02) << "the serial is not an INTEGER";
  auto [content, after] = tlv(field);
  return {content.begin(), content.end()};
}

std::vector<std::pair<std::string, std::string>> name_entries(const X509_NAME *name) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
    const X509_NAME_ENTRY *entry = X509_NAME_get_entry(name, i);
    const ASN1_STRING *value = X509_NAME_ENTRY_get_data(entry);
    entries.emplace_back(OBJ_nid2sn(OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry))),
                         std::string(reinterpret_cast<const char *>(ASN1_STRING_get0_data(value)),
                                     static_cast<size_t>(ASN1_STRING_length(value))));
  }
  return entries;
}

struct serial_case {
  std::vector<uint8_t> content;
};

class serial : public testing::TestWithParam<serial_case> {};

TEST_P(serial, is_encoded_with_exactly_the_given_content_bytes) {
  CertificateRequest request;
  request.serial = GetParam().content;
  MadeCertificate made = make(request);
  EXPECT_EQ(serial_content(made.der), GetParam().content);
  EXPECT_TRUE(parse(made.der));
}

INSTANTIATE_TEST_SUITE_P(cases, serial,
                         testing::Values(serial_case{{0x01}}, serial_case{{0x00}}, serial_case{{0x7F}},
                                         serial_case{{0x00, 0xA1, 0xFF}}, serial_case{{0x00, 0x80}},
                                         serial_case{{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x01, 0x23,
                                                      0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x10, 0x20, 0x30, 0x40}},
                                         // Negative contents, as some old issuers wrote them.
                                         serial_case{{0x80}}, serial_case{{0xFF, 0x01}},
                                         serial_case{{0x80, 0x00, 0x00}}, serial_case{{0xA1, 0xFF}}));

struct name_case {
  std::string text;
  std::vector<std::pair<std::string, std::string>> entries;  // in encoded order
};

class names : public testing::TestWithParam<name_case> {};

TEST_P(names, keep_the_written_order_in_subject_and_issuer) {
  CertificateRequest request;
  request.subject = GetParam().text;
  request.issuer = "CN=Other Issuer, O=Elsewhere";
  X509Ptr cert = parse(make(request).der);
  EXPECT_EQ(name_entries(X509_get_subject_name(cert.get())), GetParam().entries);
  const std::vector<std::pair<std::string, std::string>> issuer = {{"CN", "Other Issuer"}, {"O", "Elsewhere"}};
  EXPECT_EQ(name_entries(X509_get_issuer_name(cert.get())), issuer);

  request.issuer.clear();
  X509Ptr self_signed = parse(make(request).der);
  EXPECT_EQ(name_entries(X509_get_issuer_name(self_signed.get())), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    cases, names,
    testing::Values(name_case{"C=ES, O=Test Org, CN=Test CA", {{"C", "ES"}, {"O", "Test Org"}, {"CN", "Test CA"}}},
                    name_case{"CN=Test CA, O=Test Org, C=ES", {{"CN", "Test CA"}, {"O", "Test Org"}, {"C", "ES"}}},
                    name_case{"CN=\"Doe, John\"; OU=Signing", {{"CN", "Doe, John"}, {"OU", "Signing"}}}));

struct key_usage_case {
  int version;
  std::optional<uint8_t> bits;
  bool critical;
};

std::ostream &operator<<(std::ostream &os, const key_usage_case &c) {
  return os << "v" << c.version << " bits " << (c.bits ? std::to_string(*c.bits) : "none")
            << (c.critical ? " critical" : "");
}

class extensions : public testing::TestWithParam<key_usage_case> {};

TEST_P(extensions, carry_the_version_key_usage_bits_and_critical_flag) {
  const key_usage_case &c = GetParam();
  CertificateRequest request;
  request.version = c.version;
  request.key_usage = c.bits;
  request.key_usage_critical = c.critical;
  X509Ptr cert = parse(make(request).der);
  EXPECT_EQ(X509_get_version(cert.get()), c.version - 1);
  if (!c.bits) {
    EXPECT_EQ(X509_get_ext_count(cert.get()), 0);
    EXPECT_EQ(X509_get_extension_flags(cert.get()) & EXFLAG_KUSAGE, 0u);
    return;
  }
  ASSERT_EQ(X509_get_ext_count(cert.get()), 1);
  const int at = X509_get_ext_by_NID(cert.get(), NID_key_usage, -1);
  ASSERT_EQ(at, 0);
  EXPECT_EQ(X509_EXTENSION_get_critical(X509_get_ext(cert.get(), at)), c.critical ? 1 : 0);
  EXPECT_NE(X509_get_extension_flags(cert.get()) & EXFLAG_KUSAGE, 0u);
  // OpenSSL's usage word keeps the first byte in its low eight bits.
  EXPECT_EQ(X509_get_key_usage(cert.get()) & 0xFFu, *c.bits);
}

INSTANTIATE_TEST_SUITE_P(cases, extensions,
                         testing::Values(key_usage_case{1, std::nullopt, true}, key_usage_case{3, std::nullopt, true},
                                         key_usage_case{3, 0x80, true}, key_usage_case{3, 0x40, false},
                                         key_usage_case{3, 0x20, true}, key_usage_case{3, 0xC0, false},
                                         key_usage_case{3, 0x24, true}, key_usage_case{3, 0xFC, true},
                                         key_usage_case{3, 0x01, false}));

TEST(validity, is_the_given_span_in_both_time_forms) {
  struct {
    int64_t not_before, not_after;
    int not_after_type;
  } cases[] = {{946684800, 978307199, V_ASN1_UTCTIME},             // 2000-01-01 .. 2000-12-31T23:59:59
               {1700000000, 2556143999, V_ASN1_GENERALIZEDTIME}};  // .. 2050-12-31T23:59:59
  for (const auto &c : cases) {
    CertificateRequest request;
    request.not_before = c.not_before;
    request.not_after = c.not_after;
    X509Ptr cert = parse(make(request).der);
    for (auto [time, expected] : {std::pair{X509_get0_notBefore(cert.get()), c.not_before},
                                  std::pair{X509_get0_notAfter(cert.get()), c.not_after}}) {
      ASN1_TIME *want = ASN1_TIME_set(nullptr, static_cast<time_t>(expected));
      EXPECT_EQ(ASN1_TIME_compare(time, want), 0) << expected;
      ASN1_TIME_free(want);
    }
    EXPECT_EQ(ASN1_STRING_type(X509_get0_notAfter(cert.get())), c.not_after_type);
  }
}

TEST(validity, defaults_to_a_span_around_now) {
  X509Ptr cert = parse(make(CertificateRequest{}).der);
  EXPECT_LT(X509_cmp_current_time(X509_get0_notBefore(cert.get())), 0);
  EXPECT_GT(X509_cmp_current_time(X509_get0_notAfter(cert.get())), 0);
}

TEST(keys, a_fresh_key_is_returned_and_matches_the_certificate) {
  CertificateRequest request;
  request.rsa_bits = 1024;
  std::string error;
  std::optional<MadeCertificate> made = certs::make_certificate(request, &error);
  ASSERT_TRUE(made) << error;
  ASSERT_TRUE(made->key);
  EXPECT_FALSE(EVP_PKEY_eq(made->key.get(), shared_key()) == 1);
  EXPECT_EQ(EVP_PKEY_get_bits(made->key.get()), 1024);
  X509Ptr cert = parse(made->der);
  EXPECT_EQ(X509_check_private_key(cert.get(), made->key.get()), 1);
  EXPECT_EQ(X509_verify(cert.get(), made->key.get()), 1);
}

TEST(keys, a_shared_key_is_the_subject_key_of_every_certificate) {
  MadeCertificate first = make(CertificateRequest{});
  MadeCertificate second = make(CertificateRequest{});
  EXPECT_EQ(first.key.get(), shared_key());
  EXPECT_EQ(second.key.get(), shared_key());
  for (const MadeCertificate *made : {&first, &second})
    EXPECT_EQ(X509_check_private_key(parse(made->der).get(), shared_key()), 1);
}

TEST(keys, an_issued_certificate_is_signed_by_the_issuer_key_else_its_own) {
  certs::Pkey issuer_key(EVP_RSA_gen(1024));
  CertificateRequest request;
  request.issuer = "CN=Test CA";
  X509Ptr issued = parse(make(request, shared_key(), issuer_key.get()).der);
  EXPECT_EQ(X509_verify(issued.get(), issuer_key.get()), 1);
  EXPECT_NE(X509_verify(issued.get(), shared_key()), 1);

  X509Ptr own = parse(make(request, shared_key(), nullptr).der);
  EXPECT_EQ(X509_verify(own.get(), shared_key()), 1);

  // A self-signed request ignores the issuer key.
  request.issuer.clear();
  X509Ptr self_signed = parse(make(request, shared_key(), issuer_key.get()).der);
  EXPECT_EQ(X509_verify(self_signed.get(), shared_key()), 1);
}

TEST(requests, that_cannot_be_made_fail_with_a_cause) {
  struct {
    const char *what;
    void (*change)(CertificateRequest &);
    const char *cause;
  } cases[] = {
      {"version 2", [](CertificateRequest &r) { r.version = 2; }, "version"},
      {"key usage on v1", [](CertificateRequest &r) { r.version = 1, r.key_usage = 0x80; }, "version 3"},
      {"empty serial", [](CertificateRequest &r) { r.serial.clear(); }, "serial"},
      {"bad subject", [](CertificateRequest &r) { r.subject = "XX=nothing"; }, "XX=nothing"},
      {"bad issuer", [](CertificateRequest &r) { r.issuer = "CN=a, =b"; }, "CN=a, =b"},
      {"backwards validity", [](CertificateRequest &r) { r.not_before = 2000000000, r.not_after = 1000000000; },
       "validity"},
  };
  for (const auto &c : cases) {
    CertificateRequest request;
    c.change(request);
    std::string error;
    EXPECT_FALSE(certs::make_certificate(request, &error, shared_key())) << c.what;
    EXPECT_NE(error.find(c.cause), std::string::npos) << c.what << ": " << error;
  }
}

}  // namespace
