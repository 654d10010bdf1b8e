// token_session.cc - opening and closing a token session, searching its objects and reading their attributes.
#include "platform/crypto/pkcs11/token_session.h"

namespace p11 {
namespace {

// Objects read per C_FindObjects call; a search goes on until the token has no more.
constexpr CK_ULONG kFindBatch = 64;

}  // namespace

Session::Session(CK_FUNCTION_LIST *module, CK_SLOT_ID slot) : module_(module) {
  rv = module_->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &handle_);
}

Session::~Session() {
  if (is_open()) module_->C_CloseSession(handle_);
}

std::vector<CK_OBJECT_HANDLE> Session::find(CK_OBJECT_CLASS object_class, const std::vector<BYTE> *id) const {
  CK_ATTRIBUTE templ[] = {{CKA_CLASS, &object_class, sizeof object_class},
                          {CKA_ID, id != nullptr ? const_cast<BYTE *>(id->data()) : nullptr,
                           id != nullptr ? id->size() : 0}};
  std::vector<CK_OBJECT_HANDLE> found;
  if (module_->C_FindObjectsInit(handle_, templ, id != nullptr ? 2 : 1) != CKR_OK) return found;
  for (;;) {
    CK_OBJECT_HANDLE batch[kFindBatch];
    CK_ULONG count = 0;
    if (module_->C_FindObjects(handle_, batch, kFindBatch, &count) != CKR_OK || count == 0) break;
    found.insert(found.end(), batch, batch + count);
  }
  module_->C_FindObjectsFinal(handle_);
  return found;
}

std::optional<std::vector<BYTE>> Session::bytes(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const {
  CK_ATTRIBUTE attribute = {type, nullptr, 0};
  if (module_->C_GetAttributeValue(handle_, object, &attribute, 1) != CKR_OK ||
      attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION)
    return std::nullopt;
  std::vector<BYTE> value(attribute.ulValueLen);
  attribute.pValue = value.data();
  if (module_->C_GetAttributeValue(handle_, object, &attribute, 1) != CKR_OK) return std::nullopt;
  value.resize(attribute.ulValueLen);
  return value;
}

bool Session::flag(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const {
  CK_BBOOL value = CK_FALSE;
  CK_ATTRIBUTE attribute = {type, &value, sizeof value};
  return module_->C_GetAttributeValue(handle_, object, &attribute, 1) == CKR_OK && value == CK_TRUE;
}

}  // namespace p11
