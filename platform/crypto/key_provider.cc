// key_provider.cc - CryptAcquireContextA, CryptSetProvParam and CryptReleaseContext: handles to containers of the platform's providers.
#include "platform/crypto/key_provider.h"

#include <mutex>
#include <set>

#include "platform/base/last_error.h"
#include "platform/crypto/key_providers.h"

namespace {

// The open handles. Handles are never reused, so a stale one is refused. Nothing else is kept:
// the provider reads a key only when a signature needs it.
struct Handles {
  std::mutex mutex;
  std::set<HCRYPTPROV> open;
  HCRYPTPROV next = 1;
};

Handles &handles() {
  static Handles instance;
  return instance;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL CryptAcquireContextA(HCRYPTPROV *phProv, LPCSTR szContainer, LPCSTR szProvider, DWORD dwProvType, DWORD dwFlags) {
  if (phProv == nullptr) return fail(ERROR_INVALID_PARAMETER);
  *phProv = 0;
  keyprov::Provider provider;
  if (DWORD error = keyprov::find_provider(szProvider, dwProvType, &provider)) return fail(error);
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  // There is no default container: a key always lives in the container its certificate names.
  if (szContainer == nullptr || !keyprov::container_exists(provider, szContainer)) return fail(NTE_BAD_KEYSET);
  Handles &all = handles();
  std::lock_guard<std::mutex> lock(all.mutex);
  *phProv = all.next++;
  all.open.insert(*phProv);
  return TRUE;
}

BOOL CryptSetProvParam(HCRYPTPROV hProv, DWORD dwParam, const BYTE *, DWORD dwFlags) {
  Handles &all = handles();
  std::lock_guard<std::mutex> lock(all.mutex);
  if (all.open.count(hProv) == 0) return fail(NTE_BAD_UID);
  if (dwParam != QUILLORA_PP_NOTIFY) return fail(NTE_BAD_TYPE);
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  return TRUE;
}

BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
  Handles &all = handles();
  std::lock_guard<std::mutex> lock(all.mutex);
  if (all.open.count(hProv) == 0) return fail(NTE_BAD_UID);
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  all.open.erase(hProv);
  return TRUE;
}
