// flat_buffer.cc - layout of self-contained structures and their delivery into caller buffers.
#include "platform/crypto/flat_buffer.h"

#include "platform/base/last_error.h"
#include "platform/crypto/wincrypt_types.h"

namespace flat {

size_t Builder::reserve(size_t nbytes, size_t align) {
  const size_t offset = (bytes_.size() + align - 1) & ~(align - 1);
  bytes_.resize(offset + nbytes, 0);
  return offset;
}

size_t Builder::add(const void *data, size_t nbytes, size_t align) {
  const size_t offset = reserve(nbytes, align);
  if (nbytes != 0) std::memcpy(bytes_.data() + offset, data, nbytes);
  return offset;
}

void Builder::copy_to(BYTE *dest) const {
  if (!bytes_.empty()) std::memcpy(dest, bytes_.data(), bytes_.size());
  for (const Link &link : links_) {
    BYTE *target = dest + link.target;
    std::memcpy(dest + link.field, &target, sizeof target);
  }
}

BOOL Builder::deliver(void *out, DWORD *out_nbytes) const {
  if (out_nbytes == nullptr) {
    SetLastError(E_INVALIDARG);
    return FALSE;
  }
  const DWORD needed = static_cast<DWORD>(bytes_.size());
  const DWORD available = *out_nbytes;
  *out_nbytes = needed;
  if (out == nullptr) return TRUE;
  if (available < needed) {
    SetLastError(ERROR_MORE_DATA);
    return FALSE;
  }
  copy_to(static_cast<BYTE *>(out));
  return TRUE;
}

}  // namespace flat
