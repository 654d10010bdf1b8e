// bstr.cc - BSTRs as one heap block: a 32-bit byte count, the characters, and a 16-bit NUL.
#include "platform/com/bstr.h"

#include <cstdlib>

namespace {

constexpr size_t kPrefixBytes = sizeof(uint32_t);
constexpr size_t kTerminatorBytes = sizeof(OLECHAR);
// The byte count must fit the prefix with room left for the prefix and the terminator.
constexpr size_t kMaxBytes = UINT32_MAX - kPrefixBytes - kTerminatorBytes - 1;

uint32_t *prefix_of(BSTR bstr) { return reinterpret_cast<uint32_t *>(bstr) - 1; }

// The block is allocated with one extra byte so that an odd byte count still ends in a whole
// 16-bit NUL after its last byte.
BSTR allocate(const void *data, size_t nbytes) {
  if (nbytes > kMaxBytes) return nullptr;
  const size_t block = kPrefixBytes + nbytes + kTerminatorBytes + 1;
  auto *base = static_cast<uint8_t *>(malloc(block));
  if (base == nullptr) return nullptr;
  const uint32_t length = static_cast<uint32_t>(nbytes);
  memcpy(base, &length, sizeof length);
  uint8_t *chars = base + kPrefixBytes;
  if (data != nullptr) memcpy(chars, data, nbytes);
  else memset(chars, 0, nbytes);
  memset(chars + nbytes, 0, kTerminatorBytes + 1);
  return reinterpret_cast<BSTR>(chars);
}

}  // namespace

BSTR SysAllocString(const OLECHAR *psz) {
  if (psz == nullptr) return nullptr;
  size_t n = 0;
  while (psz[n] != 0) ++n;
  return allocate(psz, n * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR *strIn, UINT ui) {
  if (ui > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return allocate(strIn, size_t{ui} * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) { return allocate(psz, len); }

void SysFreeString(BSTR bstrString) {
  if (bstrString != nullptr) free(prefix_of(bstrString));
}

UINT SysStringByteLen(BSTR bstr) { return bstr == nullptr ? 0 : *prefix_of(bstr); }

UINT SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }
