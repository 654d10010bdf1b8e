// software_keys.h - the software key provider's containers: one PKCS #8 file per private key, optionally passphrase-protected.
#pragma once

#include <openssl/evp.h>

#include <string>

#include "platform/base/win_types.h"

namespace softkeys {

// Containers live in <data root>/keys as <container>.p8 (DER PrivateKeyInfo, or
// EncryptedPrivateKeyInfo under PBES2 with AES-256 when protected), mode 0600. Container names
// are 1 to 64 characters of letters, digits, '-', '_', '.', '{' and '}', not starting with '.'.
bool is_valid_container_name(const std::string &container);

// Writes `key` into a new container named after a fresh GUID ("{...}") and returns the name in
// *container. An empty passphrase stores the key unprotected. 0 or a Windows error code.
DWORD store_key(EVP_PKEY *key, const std::string &passphrase, std::string *container);

// Deletes the container's file. 0, NTE_BAD_KEYSET when there is none, or another error code.
DWORD remove_key(const std::string &container);

bool container_exists(const std::string &container);

// Reads the container's key into *key (the caller frees it with EVP_PKEY_free). A protected key
// asks for the passphrase through platform_ui::ask_passphrase, up to three times. 0,
// NTE_BAD_KEYSET (no such container or an unreadable file), HRESULT_ERROR_CANCELLED (declined) or
// NTE_PERM (three wrong passphrases).
DWORD load_key(const std::string &container, EVP_PKEY **key);

}  // namespace softkeys
