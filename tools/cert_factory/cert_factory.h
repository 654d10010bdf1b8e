// cert_factory.h - makes X.509 certificates and their RSA keys with OpenSSL, for `quillora certs new`, the tests and the demos.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/crypto/openssl_ptr.h"

namespace certs {

using Pkey = platform::EvpPkeyPtr;

struct CertificateRequest {
  // X.500 strings in the platform's syntax; components are encoded in the order written.
  std::string subject = "CN=Quillora Test";
  std::string issuer;  // empty: self-signed (issuer = subject)
  int version = 3;     // 1 or 3; a version 1 certificate carries no extensions
  // The serial INTEGER's content bytes, most significant first, exactly as encoded (a leading 00
  // is kept, so 00 A1 FF stays three bytes).
  std::vector<uint8_t> serial = {0x01};
  std::optional<int64_t> not_before;  // POSIX seconds; nothing: one day ago
  std::optional<int64_t> not_after;   // POSIX seconds; nothing: a year from now
  // The first byte of the key usage bits (0x80 digitalSignature ... 0x04 keyCertSign); nothing
  // leaves the extension out. Only for version 3.
  std::optional<uint8_t> key_usage;
  bool key_usage_critical = true;
  int rsa_bits = 2048;
};

struct MadeCertificate {
  std::vector<uint8_t> der;
  Pkey key;  // the subject's private key
};

// Makes the certificate. The subject key is `subject_key` when given (shared, up-referenced),
// else a fresh RSA key. A certificate with another issuer is signed by `issuer_key` when given,
// else by its own key (nothing here checks chains). Nothing on failure, with the cause in *error.
std::optional<MadeCertificate> make_certificate(const CertificateRequest &request, std::string *error,
                                                EVP_PKEY *subject_key = nullptr, EVP_PKEY *issuer_key = nullptr);

}  // namespace certs
