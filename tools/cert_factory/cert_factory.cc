// cert_factory.cc - builds and signs X.509 certificates with OpenSSL from a CertificateRequest.
#include "tools/cert_factory/cert_factory.h"

#include <openssl/err.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>

#include "platform/crypto/openssl_ptr.h"
#include "platform/crypto/x500_name.h"

namespace certs {

namespace {

using platform::X509Ptr;
using NamePtr = platform::X509NamePtr;
using IntegerPtr = platform::Asn1IntegerPtr;
using BitStringPtr = platform::Asn1BitStringPtr;

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;

// Sets *error to `what`, with OpenSSL's reason when it left one. Always false.
bool fail(std::string *error, const std::string &what) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  *error = what;
  if (code != 0) {
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    *error += std::string(" (") + reason + ")";
  }
  return false;
}

// Parses an X.500 string with the platform's own parser, so that a name is encoded exactly as
// the platform would encode it, in the order written.
NamePtr parse_name(const std::string &text, std::string *error) {
  DWORD nbytes = 0;
  LPCSTR bad = nullptr;
  if (!CertStrToNameA(X509_ASN_ENCODING, text.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &nbytes, &bad)) {
    *error = "cannot parse the name \"" + text + "\"";
    if (bad != nullptr) *error += " at \"" + std::string(bad) + "\"";
    return nullptr;
  }
  std::vector<uint8_t> der(nbytes);
  if (!CertStrToNameA(X509_ASN_ENCODING, text.c_str(), CERT_X500_NAME_STR, nullptr, der.data(), &nbytes, &bad)) {
    *error = "cannot encode the name \"" + text + "\"";
    return nullptr;
  }
  const unsigned char *p = der.data();
  NamePtr name(d2i_X509_NAME(nullptr, &p, static_cast<long>(nbytes)));
  if (!name) fail(error, "cannot decode the name \"" + text + "\"");
  return name;
}

// An INTEGER whose DER content is exactly `content`. OpenSSL holds a sign and a magnitude and
// writes a magnitude's bytes as they are, padding only where the sign needs it: so a content
// whose top bit is clear is a positive magnitude taken verbatim (a leading 00 survives), and one
// whose top bit is set is the negative number it is the two's complement of, at the same length.
IntegerPtr make_serial(const std::vector<uint8_t> &content, std::string *error) {
  if (content.empty()) {
    *error = "the serial number has no bytes";
    return nullptr;
  }
  std::vector<uint8_t> magnitude = content;
  const bool negative = (content[0] & 0x80) != 0;
  if (negative) {
    unsigned carry = 1;
    for (size_t i = magnitude.size(); i-- > 0;) {
      const unsigned sum = static_cast<uint8_t>(~magnitude[i]) + carry;
      magnitude[i] = static_cast<uint8_t>(sum);
      carry = sum >> 8;
    }
  }
  IntegerPtr serial(ASN1_STRING_type_new(negative ? V_ASN1_NEG_INTEGER : V_ASN1_INTEGER));
  if (!serial || !ASN1_STRING_set(serial.get(), magnitude.data(), static_cast<int>(magnitude.size()))) {
    fail(error, "cannot make the serial number");
    return nullptr;
  }
  return serial;
}

// Bit i of the extension's BIT STRING is the first byte's bit 0x80 >> i.
bool add_key_usage(X509 *cert, uint8_t first_byte, bool critical, std::string *error) {
  BitStringPtr bits(ASN1_BIT_STRING_new());
  if (!bits) return fail(error, "cannot make the key usage");
  for (int i = 0; i < 8; ++i) {
    if ((first_byte & (0x80 >> i)) != 0 && !ASN1_BIT_STRING_set_bit(bits.get(), i, 1))
      return fail(error, "cannot make the key usage");
  }
  if (!X509_add1_ext_i2d(cert, NID_key_usage, bits.get(), critical ? 1 : 0, X509V3_ADD_DEFAULT))
    return fail(error, "cannot add the key usage extension");
  return true;
}

Pkey subject_key_for(EVP_PKEY *shared, int rsa_bits, std::string *error) {
  if (shared != nullptr) {
    if (EVP_PKEY_up_ref(shared)) return Pkey(shared);
    fail(error, "cannot share the subject key");
    return nullptr;
  }
  Pkey key(EVP_RSA_gen(static_cast<unsigned>(rsa_bits)));
  if (!key) fail(error, "cannot generate a " + std::to_string(rsa_bits) + "-bit RSA key");
  return key;
}

bool set_validity(X509 *cert, const CertificateRequest &request, std::string *error) {
  const int64_t now = static_cast<int64_t>(time(nullptr));
  const int64_t not_before = request.not_before.value_or(now - kSecondsPerDay);
  const int64_t not_after = request.not_after.value_or(now + 365 * kSecondsPerDay);
  if (not_after < not_before) {
    *error = "the validity ends before it begins";
    return false;
  }
  // ASN1_TIME_set picks UTCTime through 2049 and GeneralizedTime after, as certificates must.
  if (!ASN1_TIME_set(X509_getm_notBefore(cert), static_cast<time_t>(not_before)) ||
      !ASN1_TIME_set(X509_getm_notAfter(cert), static_cast<time_t>(not_after)))
    return fail(error, "cannot set the validity");
  return true;
}

}  // namespace

std::optional<MadeCertificate> make_certificate(const CertificateRequest &request, std::string *error,
                                                EVP_PKEY *subject_key, EVP_PKEY *issuer_key) {
  if (request.version != 1 && request.version != 3) {
    *error = "the version must be 1 or 3, not " + std::to_string(request.version);
    return std::nullopt;
  }
  if (request.key_usage && request.version != 3) {
    *error = "a key usage needs a version 3 certificate";
    return std::nullopt;
  }
  NamePtr subject = parse_name(request.subject, error);
  if (!subject) return std::nullopt;
  const bool self_issued = request.issuer.empty();
  NamePtr issuer = parse_name(self_issued ? request.subject : request.issuer, error);
  if (!issuer) return std::nullopt;
  IntegerPtr serial = make_serial(request.serial, error);
  if (!serial) return std::nullopt;
  Pkey key = subject_key_for(subject_key, request.rsa_bits, error);
  if (!key) return std::nullopt;

  X509Ptr cert(X509_new());
  if (!cert || !X509_set_version(cert.get(), request.version - 1) || !X509_set_serialNumber(cert.get(), serial.get()) ||
      !X509_set_subject_name(cert.get(), subject.get()) || !X509_set_issuer_name(cert.get(), issuer.get()) ||
      !X509_set_pubkey(cert.get(), key.get())) {
    fail(error, "cannot fill in the certificate");
    return std::nullopt;
  }
  if (!set_validity(cert.get(), request, error)) return std::nullopt;
  if (request.key_usage && !add_key_usage(cert.get(), *request.key_usage, request.key_usage_critical, error))
    return std::nullopt;
  EVP_PKEY *signer = !self_issued && issuer_key != nullptr ? issuer_key : key.get();
  if (X509_sign(cert.get(), signer, EVP_sha256()) <= 0) {
    fail(error, "cannot sign the certificate");
    return std::nullopt;
  }

  MadeCertificate made;
  const int nbytes = i2d_X509(cert.get(), nullptr);
  if (nbytes <= 0) {
    fail(error, "cannot encode the certificate");
    return std::nullopt;
  }
  made.der.resize(static_cast<size_t>(nbytes));
  unsigned char *out = made.der.data();
  i2d_X509(cert.get(), &out);
  made.key = std::move(key);
  return made;
}

}  // namespace certs
