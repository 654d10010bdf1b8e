// quantum_fuzz.cc - fuzzes the Quantum decoder over sequences of blocks through one handle.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cabinet/decoders/quantum_decoder.h"

namespace {

void *fuzz_alloc(uint32_t nbytes) { return std::malloc(nbytes); }
void fuzz_free(void *memory) { std::free(memory); }
const CabOps kOps = {fuzz_alloc, fuzz_free, nullptr, nullptr, nullptr, nullptr, nullptr};

/*
 * Input: one byte choosing the window (10 plus its value modulo 12), then a sequence of records,
 * each a 5-byte header and a block:
 *   bytes 0-1  block length, little-endian (cut to what is left of the input)
 *   bytes 2-3  size asked, little-endian; above 32768 the decoder must refuse it
 *   byte 4     bit 0: reset the decoder before the block, as at a change of folder
 * Each block is copied to a heap buffer of exactly its size and decoded into one of exactly the
 * size asked, so any read past the block or write past the size asked is caught.
 */
struct Record {
  const uint8_t *data;
  size_t nbytes;
  uint32_t want_nbytes;
  bool reset;
};

constexpr size_t kHeaderNbytes = 5;

bool next_record(const uint8_t *&data, size_t &size, Record *record) {
  if (size < kHeaderNbytes) return false;
  const size_t nbytes = std::min<size_t>(data[0] | (size_t{data[1]} << 8), size - kHeaderNbytes);
  *record = {data + kHeaderNbytes, nbytes, data[2] | (uint32_t{data[3]} << 8), (data[4] & 1) != 0};
  data += kHeaderNbytes + nbytes;
  size -= kHeaderNbytes + nbytes;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint32_t window_bits = 10 + data[0] % 12;
  ++data;
  --size;
  uint32_t max_nbytes = 0;
  uint32_t in_capacity = 0;
  void *handle = nullptr;
  if (cab_quantum_decoder.create(&max_nbytes, window_bits, &kOps, &in_capacity, &handle) != DEC_OK) std::abort();
  Record record;
  while (next_record(data, size, &record)) {
    if (record.reset && cab_quantum_decoder.reset(handle) != DEC_OK) std::abort();
    std::unique_ptr<uint8_t[]> in(new uint8_t[record.nbytes]);
    if (record.nbytes != 0) std::memcpy(in.get(), record.data, record.nbytes);
    std::unique_ptr<uint8_t[]> out(new uint8_t[record.want_nbytes]);
    uint32_t out_nbytes = record.want_nbytes;
    const int rc =
        cab_quantum_decoder.decode(handle, in.get(), static_cast<uint32_t>(record.nbytes), out.get(), &out_nbytes);
    const bool too_big = record.want_nbytes > max_nbytes;
    if ((too_big && rc != DEC_BAD_ARGUMENT) || (!too_big && rc != DEC_OK && rc != DEC_DATA_ERROR) ||
        out_nbytes != record.want_nbytes) {
      std::abort();
    }
  }
  if (cab_quantum_decoder.destroy(handle) != DEC_OK) std::abort();
  return 0;
}
