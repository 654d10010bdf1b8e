// signer_key.h - the private key behind a certificate: found through its key-provider property, used through its provider (internal).
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "platform/crypto/key_providers.h"
#include "platform/crypto/wincrypt_types.h"

namespace signerkey {

struct KeyLocation {
  keyprov::Provider provider = keyprov::Provider::software;
  std::string container;
};

// The provider and container named by the certificate's key-provider property, checked without
// reading the key. 0, CRYPT_E_NO_KEY_PROPERTY (no property), NTE_KEYSET_NOT_DEF or
// NTE_PROV_TYPE_NO_MATCH (no such provider), NTE_BAD_KEYSET (no container named, or no such
// container).
DWORD find_key(PCCERT_CONTEXT cert, KeyLocation *location);

// Signs `data` with `md` and the key at `location`, which must be the private half of `cert`'s
// public key, into the form PKCS #7 stores: PKCS #1 v1.5 for RSA, a DER ECDSA-Sig-Value for EC.
// The provider may ask for a passphrase or a PIN. 0, or the provider's failure:
// HRESULT_ERROR_CANCELLED (the user declined), NTE_PERM (three wrong answers), NTE_BAD_KEYSET (no
// such container, or its token is gone), NTE_BAD_KEY (another key, or one that cannot sign),
// and for tokens NTE_NO_KEY (no such key on it), NTE_BAD_KEY_STATE (its PIN is locked) and the
// others of pkcs11/token_signer.h.
DWORD sign_with_key(const KeyLocation &location, X509 *cert, const EVP_MD *md, const BYTE *data, size_t nbytes,
                    std::vector<BYTE> *signature);

}  // namespace signerkey
