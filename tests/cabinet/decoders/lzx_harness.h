// lzx_harness.h - drives the LZX decoder through its CabDecoder interface for the tests.
#ifndef TESTS_CABINET_DECODERS_LZX_HARNESS_H
#define TESTS_CABINET_DECODERS_LZX_HARNESS_H

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "cabinet/decoders/lzx_decoder.h"
#include "tests/cabinet/decoders/decode_exact.h"
#include "tests/cabinet/support/malloc_ops.h"
#include "tests/cabinet/support/cab_writer.h"

namespace cabtest {

// One decoder handle for a window of 2^window_bits bytes, and a 32768-byte output buffer.
class LzxHarness {
 public:
  explicit LzxHarness(unsigned window_bits) : buffer_(CAB_BLOCK_MAX_NBYTES) {
    uint32_t max_nbytes = 0;
    uint32_t in_capacity = 0;
    if (cab_lzx_decoder.create(&max_nbytes, 1u << window_bits, &kMallocOps, &in_capacity, &handle_) != DEC_OK) {
      throw std::runtime_error("lzx create failed");
    }
  }
  ~LzxHarness() { cab_lzx_decoder.destroy(handle_); }
  LzxHarness(const LzxHarness &) = delete;
  LzxHarness &operator=(const LzxHarness &) = delete;

  // Decodes one frame from a heap copy of exactly its size, so an over-read is caught by ASan.
  DecodeResult decode(const Bytes &frame, uint32_t want_nbytes) {
    return decode_exact(cab_lzx_decoder, handle_, frame, buffer_.data(), want_nbytes);
  }

  // The produced bytes, when `result` succeeded.
  Bytes output(const DecodeResult &result) const { return Bytes(buffer_.begin(), buffer_.begin() + result.nbytes); }

  // Decodes frames in order; nothing when one fails or produces another size than its count.
  std::optional<Bytes> decode_all(const std::vector<Block> &frames) {
    Bytes all;
    for (const Block &frame : frames) {
      const DecodeResult result = decode(frame.compressed, frame.uncompressed_nbytes);
      if (result.rc != DEC_OK || result.nbytes != frame.uncompressed_nbytes) return std::nullopt;
      const Bytes out = output(result);
      all.insert(all.end(), out.begin(), out.end());
    }
    return all;
  }

  int reset() { return cab_lzx_decoder.reset(handle_); }
  void *handle() const { return handle_; }

 private:
  std::vector<uint8_t> buffer_;
  void *handle_ = nullptr;
};

} // namespace cabtest

#endif
