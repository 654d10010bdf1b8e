// cab_checksum.cc - the data-block checksum, in the widest vectors the processor has.
#include "cabinet/reader/cab_checksum.h"

#include <string.h>

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "checksum assumes a little-endian host");

// XOR is associative and the words are little-endian, so any number of whole words can be folded
// at once and the lanes and halves combined at the end. Two 64-byte accumulators are one register
// each with AVX-512, two with AVX2 and four with SSE2: each copy below compiles them for its own
// processor. This runs over every byte of a cabinet, so it must keep up with the cache.
typedef uint64_t lanes __attribute__((vector_size(64)));

// Folds the whole 8-byte words of `data` into one; `*folded_nbytes` says how far it got.
inline __attribute__((always_inline)) uint64_t fold_words(const uint8_t *data, size_t nbytes, size_t *folded_nbytes) {
  lanes even = {};
  lanes odd = {};
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
  uint64_t folded = 0;
  for (size_t lane = 0; lane < sizeof(lanes) / sizeof(uint64_t); ++lane) folded ^= even[lane];
  for (; i + 8 <= nbytes; i += 8) {
    uint64_t word;
    memcpy(&word, data + i, 8);
    folded ^= word;
  }
  *folded_nbytes = i;
  return folded;
}

__attribute__((target("avx512f"))) uint64_t fold_avx512(const uint8_t *data, size_t nbytes, size_t *done) {
  return fold_words(data, nbytes, done);
}
__attribute__((target("avx2"))) uint64_t fold_avx2(const uint8_t *data, size_t nbytes, size_t *done) {
  return fold_words(data, nbytes, done);
}
uint64_t fold_baseline(const uint8_t *data, size_t nbytes, size_t *done) { return fold_words(data, nbytes, done); }

using fold_fn = uint64_t (*)(const uint8_t *, size_t, size_t *);

fold_fn widest_fold() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return fold_avx512;
  if (__builtin_cpu_supports("avx2")) return fold_avx2;
  return fold_baseline;
}

}  // namespace

uint32_t cab_checksum(const uint8_t *data, size_t nbytes, uint32_t seed) {
  static const fold_fn fold = widest_fold();
  size_t i = 0;
  const uint64_t folded = fold(data, nbytes, &i);
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
