// key_providers.cc - the table of the platform's key providers.
#include "platform/crypto/key_providers.h"

#include <strings.h>

#include "platform/crypto/pkcs11/key_uri.h"
#include "platform/crypto/software_keys.h"

namespace keyprov {

DWORD find_provider(LPCSTR name, DWORD type, Provider *provider) {
  static constexpr struct {
    const char *name;
    Provider provider;
    DWORD types[2];
  } kProviders[] = {
      {QUILLORA_SOFTWARE_PROVIDER_A, Provider::software, {PROV_RSA_FULL, PROV_RSA_FULL}},
      {QUILLORA_PKCS11_PROVIDER_A, Provider::pkcs11, {PROV_RSA_FULL, PROV_EC_ECDSA_FULL}},
  };
  for (const auto &entry : kProviders) {
    if (name != nullptr && strcasecmp(name, entry.name) != 0) continue;
    *provider = entry.provider;
    return type == entry.types[0] || type == entry.types[1] ? 0 : NTE_PROV_TYPE_NO_MATCH;
  }
  return NTE_KEYSET_NOT_DEF;
}

bool container_exists(Provider provider, const std::string &container) {
  if (provider == Provider::software) return softkeys::container_exists(container);
  return p11::KeyUri::parse(container).has_value();
}

}  // namespace keyprov
