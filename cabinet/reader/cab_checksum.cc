// cab_checksum.cc - the data-block checksum, 32 bytes at a time.
#include "cabinet/reader/cab_checksum.h"

#include <string.h>

uint32_t cab_checksum(const uint8_t *data, size_t nbytes, uint32_t seed) {
  // XOR is associative and the words are little-endian, so any number of whole words can be
  // folded at once and the lanes and halves combined at the end. Two independent 16-byte
  // accumulators (vector registers on every target we build for) keep up with the cache; this
  // runs over every byte of a cabinet.
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "checksum assumes a little-endian host");
  typedef uint64_t lanes __attribute__((vector_size(16)));
  lanes even = {0, 0};
  lanes odd = {0, 0};
  size_t i = 0;
  for (; i + 2 * sizeof(lanes) <= nbytes; i += 2 * sizeof(lanes)) {
    lanes first;
    lanes second;
    memcpy(&first, data + i, sizeof first);
    memcpy(&second, data + i + sizeof first, sizeof second);
    even ^= first;
    odd ^= second;
  }
  even ^= odd;
  uint64_t folded = even[0] ^ even[1];
  for (; i + 8 <= nbytes; i += 8) {
    uint64_t word;
    memcpy(&word, data + i, 8);
    folded ^= word;
  }
  uint32_t sum = seed ^ static_cast<uint32_t>(folded) ^ static_cast<uint32_t>(folded >> 32);
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
