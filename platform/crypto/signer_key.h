// signer_key.h - the private key behind a certificate: found through its key-provider property, read through the software provider (internal).
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

#include "platform/crypto/wincrypt_types.h"

namespace signerkey {

// The container named by the certificate's key-provider property, checked without reading the
// key. 0, CRYPT_E_NO_KEY_PROPERTY (no property), NTE_KEYSET_NOT_DEF or NTE_PROV_TYPE_NO_MATCH
// (another provider), NTE_BAD_KEYSET (no container named, or no such container).
DWORD find_container(PCCERT_CONTEXT cert, std::string *container);

// Reads the container's key (the provider may ask for its passphrase) and checks that it is the
// private half of `cert`'s public key. 0, NTE_BAD_KEYSET, HRESULT_ERROR_CANCELLED, NTE_PERM or
// NTE_BAD_KEY (another key); the caller frees *key.
DWORD load_key(const std::string &container, X509 *cert, EVP_PKEY **key);

}  // namespace signerkey
