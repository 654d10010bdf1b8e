// software_keys.h - the software key provider's containers: one PKCS #8 file per private key, optionally passphrase-protected.
#pragma once

#include <openssl/evp.h>

#include <string>
#include <vector>

#include "platform/base/win_types.h"

namespace softkeys {

// The lock of the key folder, shared by every process with the same data folder. Writing and
// removing containers take it, and so does a search for orphaned containers, which therefore
// never takes a container that an installer still holding the lock has written for a
// certificate not yet in its store. Re-entrant within a process: an installer holds it around
// store_key and the addition of the certificate.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock &) = delete;
  FolderLock &operator=(const FolderLock &) = delete;
  // Blocks until the lock is free. 0 or a Windows error code (no data folder, no lock file).
  DWORD acquire();

 private:
  bool held_ = false;
};

// Containers live in <data root>/keys as <container>.p8 (DER PrivateKeyInfo, or
// EncryptedPrivateKeyInfo under PBES2 with AES-256 when protected), mode 0600. Container names
// are 1 to 64 characters of letters, digits, '-', '_', '.', '{' and '}', not starting with '.'.
bool is_valid_container_name(const std::string &container);

// Writes `key` into a new container named after a fresh GUID ("{...}") and returns the name in
// *container. An empty passphrase stores the key unprotected. Takes the folder's lock. 0 or a
// Windows error code.
DWORD store_key(EVP_PKEY *key, const std::string &passphrase, std::string *container);

// Deletes the container's file, under the folder's lock. 0, NTE_BAD_KEYSET when there is none,
// or another error code.
DWORD remove_key(const std::string &container);

// The names of every container, sorted; none when the folder does not exist. The caller holds
// the folder's lock, or the answer may be stale. 0 or the error of listing the folder.
DWORD list_containers(std::vector<std::string> *containers);

// Removes the temporary files a writer killed half-way left behind (they may hold a key in the
// clear), unless another writer holds the folder's lock at the moment.
void remove_stale_files();

bool container_exists(const std::string &container);

// The file of a container, for messages; "" when the data folder cannot be found.
std::string container_path(const std::string &container);

// Reads the container's key into *key (the caller frees it with EVP_PKEY_free). A protected key
// asks for the passphrase through platform_ui::ask_passphrase, up to three times. 0,
// NTE_BAD_KEYSET (no such container or an unreadable file), HRESULT_ERROR_CANCELLED (declined) or
// NTE_PERM (three wrong passphrases).
DWORD load_key(const std::string &container, EVP_PKEY **key);

}  // namespace softkeys
