// quantum_harness.h - drives the Quantum decoder through its CabDecoder interface for the tests.
#ifndef TESTS_CABINET_DECODERS_QUANTUM_HARNESS_H
#define TESTS_CABINET_DECODERS_QUANTUM_HARNESS_H

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "cabinet/decoders/quantum_decoder.h"
#include "tests/cabinet/support/malloc_ops.h"

namespace cabtest {

// One decoder handle.
class QuantumHarness {
 public:
  explicit QuantumHarness(unsigned window_bits) {
    uint32_t max_nbytes = 0;
    uint32_t in_capacity = 0;
    if (cab_quantum_decoder.create(&max_nbytes, window_bits, &kMallocOps, &in_capacity, &handle_) != DEC_OK) {
      throw std::runtime_error("quantum create failed");
    }
  }
  ~QuantumHarness() { cab_quantum_decoder.destroy(handle_); }
  QuantumHarness(const QuantumHarness &) = delete;
  QuantumHarness &operator=(const QuantumHarness &) = delete;

  // Decodes one block from a heap copy of exactly its size into a heap buffer of exactly the size
  // asked, so that ASan catches a read past the block or a write past the size asked. Returns the
  // decoder's code; on DEC_OK `produced` receives the block's bytes.
  int decode(const std::vector<uint8_t> &block, uint32_t want_nbytes, std::vector<uint8_t> *produced = nullptr) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[block.size()]);
    std::copy(block.begin(), block.end(), exact.get());
    std::unique_ptr<uint8_t[]> out(new uint8_t[want_nbytes]);
    uint32_t nbytes = want_nbytes;
    const int rc =
        cab_quantum_decoder.decode(handle_, exact.get(), static_cast<uint32_t>(block.size()), out.get(), &nbytes);
    if (rc == DEC_OK && nbytes != want_nbytes) throw std::runtime_error("decode changed the size asked");
    if (rc == DEC_OK && produced != nullptr) produced->assign(out.get(), out.get() + nbytes);
    return rc;
  }

  int reset() { return cab_quantum_decoder.reset(handle_); }
  void *handle() const { return handle_; }

 private:
  void *handle_ = nullptr;
};

}  // namespace cabtest

#endif
