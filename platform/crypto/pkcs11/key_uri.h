// key_uri.h - the container names of the PKCS #11 provider: PKCS #11 URIs (RFC 7512) of a token's private key, with the module in their query (internal).
#pragma once

#include <p11-kit/uri.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/win_types.h"
#include "platform/crypto/pkcs11/module_set.h"

namespace p11 {

/*
 * pkcs11:model=...;manufacturer=...;serial=...;token=...;id=...;type=private
 *        ?module-path=...[&x-nss-database=...]
 *
 * The token fields and CKA_ID find the key; module-path (and, for NSS's module, which serves
 * every database with the same token fields, the database's folder) find the token's module
 * among those loaded. Only the modules of the store's sources are ever used: a URI cannot make
 * the platform load a module.
 */
std::string format_key_uri(const Token &token, const std::vector<BYTE> &id);

class KeyUri {
 public:
  // Nothing unless `text` is a URI of that form with a non-empty id.
  static std::optional<KeyUri> parse(const std::string &text);

  // The token is the one the URI names: same module, same database, same token fields.
  bool names(const Token &token) const;

  const std::vector<BYTE> &id() const { return id_; }

 private:
  struct UriFree {
    void operator()(P11KitUri *uri) const { p11_kit_uri_free(uri); }
  };
  std::shared_ptr<P11KitUri> uri_;
  std::vector<BYTE> id_;
  std::string module_path_;
  std::string nss_database_;
};

}  // namespace p11
