// key_provider.h - the key-provider functions (CryptAcquireContextA and friends) over the software and PKCS #11 key providers.
#pragma once

#include "platform/crypto/wincrypt_types.h"

#define PROV_RSA_FULL 1
#define PROV_EC_ECDSA_FULL 16

// The default provider: private keys as PKCS #8 files (see software_keys.h), of type PROV_RSA_FULL.
#define QUILLORA_SOFTWARE_PROVIDER_A "Quillora Software Key Provider"
// Private keys on the tokens of the personal store's sources, named by PKCS #11 URIs (see
// pkcs11/key_uri.h), of type PROV_RSA_FULL or PROV_EC_ECDSA_FULL; the token's PIN is asked through
// the platform's passphrase asker when a signature needs the key.
#define QUILLORA_PKCS11_PROVIDER_A "Quillora PKCS #11 Key Provider"

#define CRYPT_VERIFYCONTEXT 0xF0000000
#define CRYPT_NEWKEYSET 0x00000008
#define CRYPT_SILENT 0x00000040

// The system's own provider parameter: accepted, and it changes nothing.
#define QUILLORA_PP_NOTIFY 6969

#ifdef __cplusplus
extern "C" {
#endif

// Opens the key container szContainer of provider szProvider (NULL: the software provider) of
// type dwProvType. Nothing is decrypted, no passphrase is asked and no token is reached here: a
// PKCS #11 container only has to be a key's URI. Fails with
// NTE_KEYSET_NOT_DEF for an unknown provider, NTE_PROV_TYPE_NO_MATCH for another type,
// NTE_BAD_KEYSET for a missing container, NTE_BAD_FLAGS for flags other than 0.
BOOL CryptAcquireContextA(HCRYPTPROV *phProv, LPCSTR szContainer, LPCSTR szProvider, DWORD dwProvType,
                          DWORD dwFlags);

// Sets a provider parameter. Only QUILLORA_PP_NOTIFY is known (with any data, flags 0); others
// fail with NTE_BAD_TYPE, an invalid handle with NTE_BAD_UID.
BOOL CryptSetProvParam(HCRYPTPROV hProv, DWORD dwParam, const BYTE *pbData, DWORD dwFlags);

// Releases the handle; NTE_BAD_UID for one that is not open.
BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);

#ifdef __cplusplus
}
#endif
