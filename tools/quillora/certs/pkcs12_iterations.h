// pkcs12_iterations.h - the key-derivation work a PKCS #12 file asks for, checked before any key is derived from the password.
#pragma once

#include <openssl/pkcs12.h>

#include <string>

namespace certs {

// The most iterations of password-based key derivation a file may ask for, per derivation (its
// integrity check, each encrypted part, each encrypted key); for scrypt, the cost parameter.
// Exporters use 2,000 to 600,000; one derivation of this many rounds takes about a second here,
// and a file asking for 2^31 would take the program's time for many minutes.
constexpr long kMaxPkcs12Iterations = 1'000'000;

// False, with *error saying which part asks for how many, when a count that can be read without
// the password is above the maximum: the integrity check's, the encrypted parts', and those of
// the encrypted keys stored outside them.
bool iterations_before_password(const PKCS12 *p12, std::string *error);

// The same for the encrypted keys inside the encrypted parts, which `password` opens (each part's
// own count already checked). Parts it does not open are left to the decoding that follows.
bool iterations_inside(const PKCS12 *p12, const std::string &password, std::string *error);

}  // namespace certs
