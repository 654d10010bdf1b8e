// match_copy.h - unaligned word loads and stores, and the LZ77 match copy the LZX and MSZIP decoders share.
#ifndef CABINET_DECODERS_MATCH_COPY_H
#define CABINET_DECODERS_MATCH_COPY_H

#include <cstdint>
#include <cstring>

namespace cab {

// Little-endian loads and stores at any alignment (the decoders' bit readers assume a
// little-endian machine as well).
inline uint64_t load64(const uint8_t *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline void store64(uint8_t *p, uint64_t v) { std::memcpy(p, &v, 8); }
inline uint32_t load32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void store32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, 4); }

// How far past its last byte copy_match may write. A decoder's window needs this much room
// after the farthest byte it writes.
inline constexpr uint32_t kMatchCopySlackNbytes = 40;

/*
 * Copies a match of `len` (1 or more) bytes from `offset` (1 or more) bytes back to `dst`,
 * with the result of a forward byte copy: a source overlapping the destination repeats. It
 * writes and reads up to kMatchCopySlackNbytes bytes past dst + len, so those bytes must
 * exist and hold nothing that is still needed. Most matches are short: five words cover them
 * without a loop.
 */
[[gnu::always_inline]] inline void copy_match(uint8_t *dst, uint32_t offset, uint32_t len) {
  uint8_t *const end = dst + len;
  if (offset >= 8) {
    // Every word read lies at least 8 bytes behind the word written, so it is final.
    const uint8_t *src = dst - offset;
    store64(dst, load64(src));
    store64(dst + 8, load64(src + 8));
    store64(dst + 16, load64(src + 16));
    store64(dst + 24, load64(src + 24));
    store64(dst + 32, load64(src + 32));
    if (len > 40) {
      dst += 40;
      src += 40;
      do {
        store64(dst, load64(src));
        store64(dst + 8, load64(src + 8));
        dst += 16;
        src += 16;
      } while (dst < end);
    }
  } else if (offset == 1) {
    const uint64_t repeated = dst[-1] * 0x0101010101010101u;
    do {
      store64(dst, repeated);
      store64(dst + 8, repeated);
      dst += 16;
    } while (dst < end);
  } else {
    // The output repeats with period `offset`, so also with any multiple of it. Each word
    // stored below is right for as many bytes as were right behind it, so the right run
    // doubles until it spans a word; from then on words copy from that multiple back.
    uint32_t stride = offset;
    store64(dst, load64(dst - offset));
    while (stride < 8) {
      store64(dst + stride, load64(dst));
      stride *= 2;
    }
    dst += stride;
    while (dst < end) {
      store64(dst, load64(dst - stride));
      dst += 8;
    }
  }
}

}  // namespace cab

#endif
