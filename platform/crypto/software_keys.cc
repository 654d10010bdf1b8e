// software_keys.cc - the software key provider's containers: PKCS #8 files, protected with PBES2 and AES-256 when a passphrase is given.
#include "platform/crypto/software_keys.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/crypto/openssl_ptr.h"
#include "platform/crypto/wincrypt_types.h"
#include "platform/files/private_file.h"
#include "platform/ui/passphrase_prompt.h"

namespace softkeys {
namespace {

constexpr size_t kMaxNameLength = 64;
constexpr char kSuffix[] = ".p8";
constexpr size_t kMaxKeyFileNbytes = 64 * 1024;
constexpr int kMaxAttempts = 3;
// PBKDF2-HMAC-SHA256 rounds: each passphrase attempt costs this many, a guesser as many per guess.
constexpr int kIterations = 100'000;
constexpr int kMaxNameAttempts = 8;

using P8 = platform::Pkcs8Ptr;
using Sig = platform::X509SigPtr;

// Wipes a secret when it goes out of scope.
class SecretBytes {
 public:
  ~SecretBytes() {
    if (!bytes.empty()) OPENSSL_cleanse(bytes.data(), bytes.size());
  }
  std::vector<BYTE> bytes;
};

DWORD keys_folder(std::string *folder) {
  if (DWORD error = platform::user_data_root(folder)) return error;
  *folder += "/keys";
  return ERROR_SUCCESS;
}


// The process's hold on the folder's lock file: the first FolderLock to get it takes the file
// lock, the last to let go releases it. The mutex keeps other threads out meanwhile.
struct SharedLock {
  std::recursive_mutex mutex;
  int depth = 0;
  privfile::Lock file;
};

SharedLock &shared_lock() {
  static auto *lock = new SharedLock;  // never destroyed: a FolderLock may outlive static destruction
  return *lock;
}

// Takes the file lock for a thread that holds the mutex, as its first hold.
DWORD lock_file(SharedLock &lock, bool wait) {
  std::string folder;
  if (DWORD error = keys_folder(&folder)) return error;
  if (DWORD error = platform::make_private_folders(folder)) return error;
  return lock.file.acquire(folder + "/" + privfile::kFolderLockName, wait);
}

// A random (version 4) GUID in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
bool new_guid_name(std::string *name) {
  BYTE g[16];
  if (RAND_bytes(g, sizeof g) != 1) return false;
  g[6] = static_cast<BYTE>((g[6] & 0x0F) | 0x40);
  g[8] = static_cast<BYTE>((g[8] & 0x3F) | 0x80);
  char text[40];
  std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[0], g[1],
                g[2], g[3], g[4], g[5], g[6], g[7], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  *name = text;
  return true;
}

// The DER of the key as PrivateKeyInfo, or as EncryptedPrivateKeyInfo under the passphrase.
bool encode_key(EVP_PKEY *key, const std::string &passphrase, SecretBytes *der) {
  P8 p8(EVP_PKEY2PKCS8(key));
  if (!p8) return false;
  unsigned char *out = nullptr;
  int nbytes;
  if (passphrase.empty()) {
    nbytes = i2d_PKCS8_PRIV_KEY_INFO(p8.get(), &out);
  } else {
    Sig sig(PKCS8_encrypt(-1, EVP_aes_256_cbc(), passphrase.data(), static_cast<int>(passphrase.size()), nullptr, 0,
                          kIterations, p8.get()));
    if (!sig) return false;
    nbytes = i2d_X509_SIG(sig.get(), &out);
  }
  if (nbytes <= 0) return false;
  der->bytes.assign(out, out + nbytes);
  OPENSSL_clear_free(out, nbytes);
  return true;
}

// An unprotected key, read whole from the file's bytes; NULL if they are not one.
EVP_PKEY *plain_key(const std::vector<BYTE> &bytes) {
  const unsigned char *p = bytes.data();
  P8 p8(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, static_cast<long>(bytes.size())));
  if (!p8 || p != bytes.data() + bytes.size()) return nullptr;
  return EVP_PKCS82PKEY(p8.get());
}

DWORD protected_key(const std::string &container, const X509_SIG *sig, EVP_PKEY **key) {
  for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
    std::string passphrase;
    const bool answered = platform_ui::ask_passphrase("the key in container " + container, attempt, &passphrase);
    P8 p8(answered ? PKCS8_decrypt(sig, passphrase.data(), static_cast<int>(passphrase.size())) : nullptr);
    OPENSSL_cleanse(passphrase.data(), passphrase.size());
    if (!answered) return HRESULT_ERROR_CANCELLED;
    if (p8) {
      *key = EVP_PKCS82PKEY(p8.get());
      return *key != nullptr ? ERROR_SUCCESS : NTE_BAD_KEYSET;
    }
  }
  return NTE_PERM;
}

}  // namespace

FolderLock::~FolderLock() {
  if (!held_) return;
  SharedLock &lock = shared_lock();
  if (--lock.depth == 0) lock.file.release();
  lock.mutex.unlock();
}

DWORD FolderLock::acquire() {
  if (held_) return ERROR_SUCCESS;
  SharedLock &lock = shared_lock();
  lock.mutex.lock();
  if (lock.depth == 0) {
    if (DWORD error = lock_file(lock, true)) {
      lock.mutex.unlock();
      return error;
    }
  }
  ++lock.depth;
  held_ = true;
  return ERROR_SUCCESS;
}

bool is_valid_container_name(const std::string &container) {
  if (container.empty() || container.size() > kMaxNameLength || container[0] == '.') return false;
  for (char c : container) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                         c == '_' || c == '.' || c == '{' || c == '}';
    if (!allowed) return false;
  }
  return true;
}

DWORD store_key(EVP_PKEY *key, const std::string &passphrase, std::string *container) {
  container->clear();
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  SecretBytes der;
  const bool encoded = encode_key(key, passphrase, &der);
  ERR_clear_error();
  if (!encoded) return NTE_BAD_KEY;
  FolderLock lock;
  if (DWORD error = lock.acquire()) return error;
  std::string folder;
  if (DWORD error = keys_folder(&folder)) return error;
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    std::string name;
    if (!new_guid_name(&name)) return NTE_FAIL;
    const DWORD error = privfile::write_file(folder, name + kSuffix, der.bytes, 0600, privfile::Placement::kNew);
    if (error == ERROR_FILE_EXISTS) continue;
    if (error == ERROR_SUCCESS) *container = name;
    return error;
  }
  return ERROR_FILE_EXISTS;
}

DWORD remove_key(const std::string &container) {
  FolderLock lock;
  if (DWORD error = lock.acquire()) return error;
  if (!container_exists(container)) return NTE_BAD_KEYSET;
  return privfile::remove_file(container_path(container));
}

DWORD list_containers(std::vector<std::string> *containers) {
  containers->clear();
  std::string folder;
  if (DWORD error = keys_folder(&folder)) return error;
  struct DirClose {
    void operator()(DIR *dir) const { closedir(dir); }
  };
  std::unique_ptr<DIR, DirClose> dir(opendir(folder.c_str()));
  if (!dir) return errno == ENOENT ? ERROR_SUCCESS : win_error_from_errno(errno);
  for (errno = 0; const dirent *entry = readdir(dir.get()); errno = 0) {
    const std::string_view name = entry->d_name;
    if (!name.ends_with(kSuffix)) continue;
    const std::string container(name.substr(0, name.size() - (sizeof kSuffix - 1)));
    if (is_valid_container_name(container)) containers->push_back(container);
  }
  if (errno != 0) return win_error_from_errno(errno);
  std::sort(containers->begin(), containers->end());
  return ERROR_SUCCESS;
}

void remove_stale_files() {
  SharedLock &lock = shared_lock();
  if (!lock.mutex.try_lock()) return;
  std::string folder;
  struct stat st;
  // A missing folder has nothing to clean, and is not made for it. With the mutex this thread
  // holds, a depth above 0 is this thread's own hold on the file lock.
  if (keys_folder(&folder) == ERROR_SUCCESS && stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
      (lock.depth > 0 || lock_file(lock, false) == ERROR_SUCCESS)) {
    privfile::remove_temporaries(folder);
    if (lock.depth == 0) lock.file.release();
  }
  lock.mutex.unlock();
}

std::string container_path(const std::string &container) {
  std::string folder;
  return keys_folder(&folder) == ERROR_SUCCESS ? folder + "/" + container + kSuffix : "";
}

bool container_exists(const std::string &container) {
  struct stat st;
  return is_valid_container_name(container) && !container_path(container).empty() &&
         stat(container_path(container).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

DWORD load_key(const std::string &container, EVP_PKEY **key) {
  *key = nullptr;
  if (!is_valid_container_name(container)) return NTE_BAD_KEYSET;
  SecretBytes file;
  const std::string path = container_path(container);
  if (path.empty() || privfile::read_file(path, kMaxKeyFileNbytes, &file.bytes) != ERROR_SUCCESS)
    return NTE_BAD_KEYSET;
  DWORD result = NTE_BAD_KEYSET;
  *key = plain_key(file.bytes);
  if (*key != nullptr) {
    result = ERROR_SUCCESS;
  } else {
    const unsigned char *p = file.bytes.data();
    Sig sig(d2i_X509_SIG(nullptr, &p, static_cast<long>(file.bytes.size())));
    if (sig && p == file.bytes.data() + file.bytes.size()) result = protected_key(container, sig.get(), key);
  }
  ERR_clear_error();
  return result;
}

}  // namespace softkeys
