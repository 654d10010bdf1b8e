// token_session.h - a session on a token and the object searches and attribute reads that listing and signing share (internal).
#pragma once

#include <p11-kit/pkcs11.h>

#include <optional>
#include <vector>

#include "platform/base/win_types.h"

namespace p11 {

// A read-only session, closed on destruction. `rv` tells why opening failed when !is_open().
class Session {
 public:
  Session(CK_FUNCTION_LIST *module, CK_SLOT_ID slot);
  ~Session();
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  bool is_open() const { return rv == CKR_OK; }
  CK_FUNCTION_LIST *module() const { return module_; }
  CK_SESSION_HANDLE handle() const { return handle_; }

  // The objects of `object_class`, with CKA_ID `id` when one is given; empty when the search fails.
  std::vector<CK_OBJECT_HANDLE> find(CK_OBJECT_CLASS object_class, const std::vector<BYTE> *id = nullptr) const;

  // A variable-length attribute's bytes; nothing when the object lacks it or hides it.
  std::optional<std::vector<BYTE>> bytes(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const;

  // A CK_BBOOL attribute; false when the object lacks it.
  bool flag(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const;

  CK_RV rv = CKR_OK;

 private:
  CK_FUNCTION_LIST *module_;
  CK_SESSION_HANDLE handle_ = CK_INVALID_HANDLE;
};

}  // namespace p11
