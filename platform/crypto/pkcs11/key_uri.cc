// key_uri.cc - writing and reading the PKCS #11 provider's key URIs with p11-kit's URI functions.
#include "platform/crypto/pkcs11/key_uri.h"

#include <stdlib.h>

namespace p11 {
namespace {

constexpr char kNssDatabaseQuery[] = "x-nss-database";

}  // namespace

std::string format_key_uri(const Token &token, const std::vector<BYTE> &id) {
  std::unique_ptr<P11KitUri, void (*)(P11KitUri *)> uri(p11_kit_uri_new(), p11_kit_uri_free);
  *p11_kit_uri_get_token_info(uri.get()) = token.info;
  CK_OBJECT_CLASS key_class = CKO_PRIVATE_KEY;
  CK_ATTRIBUTE attributes[] = {{CKA_CLASS, &key_class, sizeof key_class},
                               {CKA_ID, const_cast<BYTE *>(id.data()), id.size()}};
  p11_kit_uri_set_attributes(uri.get(), attributes, 2);
  p11_kit_uri_set_module_path(uri.get(), token.module_path.c_str());
  if (!token.nss_database.empty()) p11_kit_uri_set_vendor_query(uri.get(), kNssDatabaseQuery, token.nss_database.c_str());
  char *text = nullptr;
  if (p11_kit_uri_format(uri.get(), P11_KIT_URI_FOR_ANY, &text) != P11_KIT_URI_OK) return "";
  std::string formatted = text;
  free(text);
  return formatted;
}

std::optional<KeyUri> KeyUri::parse(const std::string &text) {
  KeyUri key;
  key.uri_.reset(p11_kit_uri_new(), UriFree());
  if (p11_kit_uri_parse(text.c_str(), P11_KIT_URI_FOR_ANY, key.uri_.get()) != P11_KIT_URI_OK ||
      p11_kit_uri_any_unrecognized(key.uri_.get()))
    return std::nullopt;
  const CK_ATTRIBUTE *id = p11_kit_uri_get_attribute(key.uri_.get(), CKA_ID);
  const CK_ATTRIBUTE *key_class = p11_kit_uri_get_attribute(key.uri_.get(), CKA_CLASS);
  const char *module_path = p11_kit_uri_get_module_path(key.uri_.get());
  if (id == nullptr || id->ulValueLen == 0 || key_class == nullptr || key_class->ulValueLen != sizeof(CK_OBJECT_CLASS) ||
      *static_cast<const CK_OBJECT_CLASS *>(key_class->pValue) != CKO_PRIVATE_KEY || module_path == nullptr)
    return std::nullopt;
  const BYTE *id_bytes = static_cast<const BYTE *>(id->pValue);
  key.id_.assign(id_bytes, id_bytes + id->ulValueLen);
  key.module_path_ = module_path;
  const char *database = p11_kit_uri_get_vendor_query(key.uri_.get(), kNssDatabaseQuery);
  if (database != nullptr) key.nss_database_ = database;
  return key;
}

bool KeyUri::names(const Token &token) const {
  CK_TOKEN_INFO info = token.info;
  return token.module_path == module_path_ && token.nss_database == nss_database_ &&
         p11_kit_uri_match_token_info(uri_.get(), &info) == 1;
}

}  // namespace p11
