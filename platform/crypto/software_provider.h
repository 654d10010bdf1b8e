// software_provider.h - how a provider name and type are matched to the one provider there is (internal).
#pragma once

#include <strings.h>

#include "platform/crypto/key_provider.h"

namespace keyprov {

// 0 when `name` (NULL: the default provider) and `type` name the software provider;
// NTE_KEYSET_NOT_DEF for another name (names compare without regard to case, as Windows's
// provider registry does), NTE_PROV_TYPE_NO_MATCH for another type.
inline DWORD check_provider(LPCSTR name, DWORD type) {
  if (name != nullptr && strcasecmp(name, QUILLORA_SOFTWARE_PROVIDER_A) != 0) return NTE_KEYSET_NOT_DEF;
  return type == PROV_RSA_FULL ? 0 : NTE_PROV_TYPE_NO_MATCH;
}

}  // namespace keyprov
