// mszip_harness.h - drives the MSZIP decoder through its CabDecoder interface for the tests.
#ifndef TESTS_CABINET_DECODERS_MSZIP_HARNESS_H
#define TESTS_CABINET_DECODERS_MSZIP_HARNESS_H

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "cabinet/decoders/mszip_decoder.h"
#include "tests/cabinet/decoders/decode_exact.h"
#include "tests/cabinet/support/malloc_ops.h"

namespace cabtest {

// One decoder handle and the reader's 32768-byte buffer, which carries history between calls.
class MszipHarness {
 public:
  MszipHarness() : buffer_(CAB_BLOCK_MAX_NBYTES) {
    uint32_t max_nbytes = 0;
    uint32_t in_capacity = 0;
    if (cab_mszip_decoder.create(&max_nbytes, 0, &kMallocOps, &in_capacity, &handle_) != DEC_OK) {
      throw std::runtime_error("mszip create failed");
    }
  }
  ~MszipHarness() { cab_mszip_decoder.destroy(handle_); }
  MszipHarness(const MszipHarness &) = delete;
  MszipHarness &operator=(const MszipHarness &) = delete;

  // Decodes one block from a heap copy of exactly its size, so an over-read is caught by ASan.
  DecodeResult decode(const std::vector<uint8_t> &block, uint32_t want_nbytes = CAB_BLOCK_MAX_NBYTES) {
    return decode_exact(cab_mszip_decoder, handle_, block, buffer_.data(), want_nbytes);
  }

  // The produced bytes, when `result` succeeded.
  std::vector<uint8_t> output(const DecodeResult &result) const {
    return std::vector<uint8_t>(buffer_.begin(), buffer_.begin() + result.nbytes);
  }

  std::vector<uint8_t> &buffer() { return buffer_; }
  void *handle() const { return handle_; }

 private:
  std::vector<uint8_t> buffer_;
  void *handle_ = nullptr;
};

} // namespace cabtest

#endif
