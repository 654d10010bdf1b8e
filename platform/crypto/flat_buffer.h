// flat_buffer.h - self-contained output structures (every pointer inside points into the same buffer) and crypt32's size contract for them (internal).
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/base/win_types.h"

namespace flat {

// Lays out structures and the data they point to as offsets, then copies the whole into a
// caller's buffer and turns the recorded offsets into pointers there. Offsets are aligned
// relative to the start, so the caller's buffer must be aligned for the structures it holds.
class Builder {
 public:
  // Reserves `nbytes` zero bytes aligned to `align` (a power of two) and returns their offset.
  size_t reserve(size_t nbytes, size_t align);

  // Copies `nbytes` bytes in and returns their offset.
  size_t add(const void *data, size_t nbytes, size_t align);

  // Stores a scalar field at `offset` (alignment is not required: it is copied).
  template <typename T>
  void put(size_t offset, const T &value) {
    std::memcpy(bytes_.data() + offset, &value, sizeof value);
  }

  // Copies `nbytes` bytes to `offset`, inside what was reserved.
  void write(size_t offset, const void *data, size_t nbytes) {
    if (nbytes != 0) std::memcpy(bytes_.data() + offset, data, nbytes);
  }

  // The pointer field at `field_offset` will point at `target_offset` in the delivered copy.
  void link(size_t field_offset, size_t target_offset) { links_.push_back({field_offset, target_offset}); }

  size_t size() const { return bytes_.size(); }

  // Copies the layout to `dest` (at least size() bytes) and sets every linked pointer.
  void copy_to(BYTE *dest) const;

  // crypt32's size contract: with `out` NULL sets *out_nbytes to the size; with a smaller
  // *out_nbytes sets it to the size and fails with ERROR_MORE_DATA; otherwise copies, sets
  // *out_nbytes to the size and returns TRUE. A NULL out_nbytes fails with E_INVALIDARG.
  BOOL deliver(void *out, DWORD *out_nbytes) const;

 private:
  struct Link {
    size_t field;
    size_t target;
  };
  std::vector<BYTE> bytes_;
  std::vector<Link> links_;
};

}  // namespace flat
