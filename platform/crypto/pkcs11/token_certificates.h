// token_certificates.h - the certificates on the loaded tokens that have their private key beside them, read without a PIN (internal).
#pragma once

#include <string>
#include <vector>

#include "platform/base/win_types.h"
#include "platform/crypto/pkcs11/module_set.h"

namespace p11 {

struct TokenCertificate {
  std::vector<BYTE> der;
  std::string key_uri;  // see key_uri.h
  bool ec_key = false;  // else RSA
  std::string source;   // Token::source
};

// Every X.509 certificate with an RSA or EC key whose private key is on the same token, found by
// its CKA_ID, in order: token by token as ModuleSet::tokens() gives them, and on a token by
// CKA_ID. Nothing logs in: a private key counts when the token shows it or, on a token that
// hides private objects until its PIN is given, when it shows the key's public half (the same
// CKA_ID) instead. A certificate without a CKA_ID has no key to find.
std::vector<TokenCertificate> token_certificates(const ModuleSet &modules);

}  // namespace p11
