// mszip_harness.h - drives the MSZIP decoder through its CabDecoder interface for the tests.
#ifndef TESTS_CABINET_DECODERS_MSZIP_HARNESS_H
#define TESTS_CABINET_DECODERS_MSZIP_HARNESS_H

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include "cabinet/decoders/mszip_decoder.h"

namespace cabtest {

inline void *test_alloc(uint32_t nbytes) { return std::malloc(nbytes); }
inline void test_free(void *memory) { std::free(memory); }
inline constexpr CabOps kMallocOps = {test_alloc, test_free, nullptr, nullptr, nullptr, nullptr, nullptr};

struct DecodeResult {
  int rc;
  uint32_t nbytes;  // what decode left in its size argument
};

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
    std::unique_ptr<uint8_t[]> exact(new uint8_t[block.size()]);
    std::copy(block.begin(), block.end(), exact.get());
    DecodeResult result{DEC_OK, want_nbytes};
    result.rc = cab_mszip_decoder.decode(handle_, exact.get(), static_cast<uint32_t>(block.size()), buffer_.data(),
                                         &result.nbytes);
    return result;
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
