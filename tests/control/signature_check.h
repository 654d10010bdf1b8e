// signature_check.h - OpenSSL's verdict on the control's Base64 signatures, shared by the tests that sign.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace signature_check {

// The bytes of standard Base64 text with "=" padding; empty for text that is no Base64.
std::vector<uint8_t> base64_decode(const std::string &text);

// The signer certificate's DER when `base64` is a detached PKCS #7 signature that OpenSSL
// verifies over exactly `content` (the chain is not checked: the test certificates are
// self-signed), else empty.
std::vector<uint8_t> verified_signer(const std::string &base64, const std::string &content);

inline bool verifies(const std::string &base64, const std::string &content) {
  return !verified_signer(base64, content).empty();
}

}  // namespace signature_check
