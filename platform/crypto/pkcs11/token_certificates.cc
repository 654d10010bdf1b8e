// token_certificates.cc - finding each token's certificates and the keys that belong to them.
#include "platform/crypto/pkcs11/token_certificates.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <set>

#include "platform/crypto/pkcs11/key_uri.h"
#include "platform/crypto/pkcs11/token_session.h"

namespace p11 {
namespace {

using Id = std::vector<BYTE>;

// The key type of the certificate's public key: RSA or EC, or 0 for what the provider cannot sign with.
int key_type_of(const std::vector<BYTE> &der) {
  const unsigned char *p = der.data();
  std::unique_ptr<X509, void (*)(X509 *)> cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())), X509_free);
  const EVP_PKEY *key = cert ? X509_get0_pubkey(cert.get()) : nullptr;
  ERR_clear_error();
  if (key == nullptr) return 0;
  const int type = EVP_PKEY_get_base_id(key);
  return type == EVP_PKEY_RSA || type == EVP_PKEY_EC ? type : 0;
}

// The ids of the keys the token lets be seen without its PIN.
std::set<Id> key_ids(const Session &session, const Token &token) {
  std::set<Id> ids;
  std::vector<CK_OBJECT_HANDLE> keys = session.find(CKO_PRIVATE_KEY);
  if (token.info.flags & CKF_LOGIN_REQUIRED) {
    const std::vector<CK_OBJECT_HANDLE> public_keys = session.find(CKO_PUBLIC_KEY);
    keys.insert(keys.end(), public_keys.begin(), public_keys.end());
  }
  for (CK_OBJECT_HANDLE key : keys) {
    std::optional<Id> id = session.bytes(key, CKA_ID);
    if (id && !id->empty()) ids.insert(std::move(*id));
  }
  return ids;
}

void add_certificates(const Token &token, std::vector<TokenCertificate> *out) {
  Session session(token.module, token.slot);
  if (!session.is_open()) return;
  const std::set<Id> ids = key_ids(session, token);
  std::vector<std::pair<Id, TokenCertificate>> found;
  // Certificates only where keys are, so a token of trust anchors costs one search.
  for (const Id &id : ids) {
    for (CK_OBJECT_HANDLE object : session.find(CKO_CERTIFICATE, &id)) {
      std::optional<std::vector<BYTE>> der = session.bytes(object, CKA_VALUE);
      const int type = der ? key_type_of(*der) : 0;
      if (type == 0) continue;
      found.push_back({id, {std::move(*der), format_key_uri(token, id), type == EVP_PKEY_EC, token.source}});
    }
  }
  std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
    return std::tie(a.first, a.second.der) < std::tie(b.first, b.second.der);
  });
  for (auto &entry : found) out->push_back(std::move(entry.second));
}

}  // namespace

std::vector<TokenCertificate> token_certificates(const ModuleSet &modules) {
  std::vector<TokenCertificate> all;
  for (const Token &token : modules.tokens()) add_certificates(token, &all);
  return all;
}

}  // namespace p11
