// mszip_fuzz.cc - fuzzes the MSZIP decoder over sequences of blocks that share one history buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cabinet/decoders/mszip_decoder.h"

namespace {

void *fuzz_alloc(uint32_t nbytes) { return std::malloc(nbytes); }
void fuzz_free(void *memory) { std::free(memory); }
const CabOps kOps = {fuzz_alloc, fuzz_free, nullptr, nullptr, nullptr, nullptr, nullptr};

/*
 * Input: a sequence of records, each a 3-byte header and a block.
 *   bytes 0-1  block length, little-endian (cut to what is left of the input)
 *   byte 2     bit 7: the block is taken as is; otherwise "CK" is put in front of it
 *              bit 6: reset the decoder before the block, as at a change of folder
 *              bits 0-5: size asked: 0 means 32768, otherwise that many times 521 bytes
 * Each block is copied to a heap buffer of exactly its size, so any read past it is caught.
 */
struct Record {
  const uint8_t *data;
  size_t nbytes;
  bool raw;
  bool reset;
  uint32_t want_nbytes;
};

bool next_record(const uint8_t *&data, size_t &size, Record *record) {
  if (size < 3) {
    return false;
  }
  const size_t nbytes = std::min<size_t>(data[0] | (size_t{data[1]} << 8), size - 3);
  const uint8_t flags = data[2];
  const uint32_t want = flags & 0x3F;
  *record = {data + 3, nbytes, (flags & 0x80) != 0, (flags & 0x40) != 0, want == 0 ? CAB_BLOCK_MAX_NBYTES : want * 521};
  data += 3 + nbytes;
  size -= 3 + nbytes;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  uint32_t max_nbytes = 0;
  uint32_t in_capacity = 0;
  void *handle = nullptr;
  if (cab_mszip_decoder.create(&max_nbytes, 0, &kOps, &in_capacity, &handle) != DEC_OK) {
    std::abort();
  }
  // The reader's buffer: the history of each block is what the blocks before it left.
  std::unique_ptr<uint8_t[]> out(new uint8_t[CAB_BLOCK_MAX_NBYTES]());
  Record record;
  while (next_record(data, size, &record)) {
    if (record.reset && cab_mszip_decoder.reset(handle) != DEC_OK) {
      std::abort();
    }
    const size_t prefix = record.raw ? 0 : 2;
    const size_t in_nbytes = prefix + record.nbytes;
    std::unique_ptr<uint8_t[]> in(new uint8_t[in_nbytes == 0 ? 1 : in_nbytes]);
    if (!record.raw) {
      in[0] = 'C';
      in[1] = 'K';
    }
    if (record.nbytes != 0) {
      std::memcpy(in.get() + prefix, record.data, record.nbytes);
    }
    uint32_t out_nbytes = record.want_nbytes;
    const int rc = cab_mszip_decoder.decode(handle, in.get(), static_cast<uint32_t>(in_nbytes), out.get(), &out_nbytes);
    const bool too_long = in_nbytes > in_capacity;
    if ((too_long && rc != DEC_BAD_ARGUMENT) || (!too_long && rc != DEC_OK && rc != DEC_DATA_ERROR) ||
        (rc == DEC_OK && out_nbytes > record.want_nbytes)) {
      std::abort();
    }
  }
  if (cab_mszip_decoder.destroy(handle) != DEC_OK) {
    std::abort();
  }
  return 0;
}
