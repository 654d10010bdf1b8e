// decode_exact.h - one decode call through the CabDecoder interface from a heap copy of exactly the block's size, for the decoder tests.
#ifndef TESTS_CABINET_DECODERS_DECODE_EXACT_H
#define TESTS_CABINET_DECODERS_DECODE_EXACT_H

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "cabinet/decoders/decoder.h"

namespace cabtest {

struct DecodeResult {
  int rc;
  uint32_t nbytes;  // what decode left in its size argument
};

// Decodes `block` into `out` asking for `want_nbytes`; the block lies in a buffer of exactly its
// size (one byte when empty), so an over-read is caught by ASan.
inline DecodeResult decode_exact(const CabDecoder &decoder, void *handle, const std::vector<uint8_t> &block,
                                 uint8_t *out, uint32_t want_nbytes) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<size_t>(block.size(), 1)]);
  std::copy(block.begin(), block.end(), exact.get());
  DecodeResult result{DEC_OK, want_nbytes};
  result.rc = decoder.decode(handle, exact.get(), static_cast<uint32_t>(block.size()), out, &result.nbytes);
  return result;
}

}  // namespace cabtest

#endif
