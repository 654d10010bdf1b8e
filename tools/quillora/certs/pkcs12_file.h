// pkcs12_file.h - reading a PKCS #12 file: the certificate with its private key, old-style encryptions included.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/cert_factory/cert_factory.h"

namespace certs {

struct Pkcs12Contents {
  // Keeps loaded the OpenSSL providers that decoded the key, which the key needs while it lives;
  // declared before it so that it is released after it.
  std::shared_ptr<void> providers;
  std::vector<uint8_t> der;  // the certificate that belongs to the key
  Pkey key;
  int other_certificates = 0;  // chain certificates in the file, which are not taken
};

// too_costly: it asks for more key-derivation work than pkcs12_iterations.h allows.
enum class Pkcs12Status { ok, not_pkcs12, too_costly, wrong_password, no_key, damaged };

// Decrypts a file's `bytes` (read with kMaxPkcs12Nbytes as their maximum) with `password`
// (UTF-8; empty also tries no password). Files encrypted with RC2-40 or 3DES, as older exports
// are, read as well as AES ones. On failure *error says why in a sentence that does not name the
// file.
Pkcs12Status read_pkcs12(const std::string &bytes, const std::string &password, Pkcs12Contents *contents,
                         std::string *error);

}  // namespace certs
