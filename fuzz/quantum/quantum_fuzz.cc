// quantum_fuzz.cc - fuzzes the Quantum decoder over sequences of blocks through one handle.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "cabinet/decoders/quantum_decoder.h"
#include "fuzz/decoder_input.h"
#include "tests/cabinet/support/malloc_ops.h"

/*
 * Input: one byte choosing the window (10 plus its value modulo 12), then a sequence of records,
 * each a 5-byte header and a block:
 *   bytes 0-1  block length, little-endian (cut to what is left of the input)
 *   bytes 2-3  size asked, little-endian; above 32768 the decoder must refuse it
 *   byte 4     bit 0: reset the decoder before the block, as at a change of folder
 * Each block is copied to a heap buffer of exactly its size and decoded into one of exactly the
 * size asked, so any read past the block or write past the size asked is caught.
 */
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint32_t window_bits = 10 + data[0] % 12;
  ++data;
  --size;
  uint32_t max_nbytes = 0;
  uint32_t in_capacity = 0;
  void *handle = nullptr;
  if (cab_quantum_decoder.create(&max_nbytes, window_bits, &cabtest::kMallocOps, &in_capacity, &handle) != DEC_OK) {
    std::abort();
  }
  fuzz::Record record;
  while (fuzz::next_record(data, size, 5, &record)) {
    const uint32_t want_nbytes = record.header[2] | (uint32_t{record.header[3]} << 8);
    if ((record.header[4] & 1) != 0 && cab_quantum_decoder.reset(handle) != DEC_OK) std::abort();
    const auto in = fuzz::exact_copy(record.block, record.block_nbytes);
    std::unique_ptr<uint8_t[]> out(new uint8_t[want_nbytes]);
    uint32_t out_nbytes = want_nbytes;
    const auto in_nbytes = static_cast<uint32_t>(record.block_nbytes);
    const int rc = cab_quantum_decoder.decode(handle, in.get(), in_nbytes, out.get(), &out_nbytes);
    const bool too_big = want_nbytes > max_nbytes;
    if ((too_big && rc != DEC_BAD_ARGUMENT) || (!too_big && rc != DEC_OK && rc != DEC_DATA_ERROR) ||
        out_nbytes != want_nbytes) {
      std::abort();
    }
  }
  if (cab_quantum_decoder.destroy(handle) != DEC_OK) std::abort();
  return 0;
}
