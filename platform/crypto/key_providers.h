// key_providers.h - the platform's key providers by name and type, and whether a container of one exists (internal).
#pragma once

#include <string>

#include "platform/crypto/key_provider.h"

namespace keyprov {

enum class Provider { software, pkcs11 };

// The provider `name` (NULL: the default, the software provider; names compare without regard
// to case, as Windows's provider registry does) of type `type`: 0, NTE_KEYSET_NOT_DEF for a name
// no provider has, NTE_PROV_TYPE_NO_MATCH for a type the provider does not take.
DWORD find_provider(LPCSTR name, DWORD type, Provider *provider);

// Whether `container` names a key of the provider, without reading the key or reaching a token.
bool container_exists(Provider provider, const std::string &container);

}  // namespace keyprov
