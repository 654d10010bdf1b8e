// cab_checksum.cc - the data-block checksum, eight bytes at a time.
#include "cabinet/reader/cab_checksum.h"

#include <string.h>

uint32_t cab_checksum(const uint8_t *data, size_t nbytes, uint32_t seed) {
  // XOR is associative, so two words can be folded at once and the halves combined at the end;
  // loads are little-endian on every platform we build for.
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "checksum assumes a little-endian host");
  uint64_t wide = 0;
  size_t i = 0;
  for (; i + 8 <= nbytes; i += 8) {
    uint64_t word;
    memcpy(&word, data + i, 8);
    wide ^= word;
  }
  uint32_t sum = seed ^ static_cast<uint32_t>(wide) ^ static_cast<uint32_t>(wide >> 32);
  if (i + 4 <= nbytes) {
    uint32_t word;
    memcpy(&word, data + i, 4);
    sum ^= word;
    i += 4;
  }
  uint32_t tail = 0;
  for (; i < nbytes; ++i) tail = tail << 8 | data[i];
  return sum ^ tail;
}
