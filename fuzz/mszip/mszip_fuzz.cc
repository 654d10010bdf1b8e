// mszip_fuzz.cc - fuzzes the MSZIP decoder over sequences of blocks that share one history buffer.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "cabinet/decoders/mszip_decoder.h"
#include "fuzz/decoder_input.h"
#include "tests/cabinet/support/malloc_ops.h"

/*
 * Input: a sequence of records, each a 3-byte header and a block.
 *   bytes 0-1  block length, little-endian (cut to what is left of the input)
 *   byte 2     bit 7: the block is taken as is; otherwise "CK" is put in front of it
 *              bit 6: reset the decoder before the block, as at a change of folder
 *              bits 0-5: size asked: 0 means 32768, otherwise that many times 521 bytes
 * Each block is copied to a heap buffer of exactly its size, so any read past it is caught.
 */
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  uint32_t max_nbytes = 0;
  uint32_t in_capacity = 0;
  void *handle = nullptr;
  if (cab_mszip_decoder.create(&max_nbytes, 0, &cabtest::kMallocOps, &in_capacity, &handle) != DEC_OK) {
    std::abort();
  }
  // The reader's buffer: the history of each block is what the blocks before it left.
  std::unique_ptr<uint8_t[]> out(new uint8_t[CAB_BLOCK_MAX_NBYTES]());
  static const uint8_t kSignature[2] = {'C', 'K'};
  fuzz::Record record;
  while (fuzz::next_record(data, size, 3, &record)) {
    const uint8_t flags = record.header[2];
    const bool raw = (flags & 0x80) != 0;
    const uint32_t want_nbytes = (flags & 0x3F) == 0 ? CAB_BLOCK_MAX_NBYTES : (flags & 0x3F) * 521u;
    if ((flags & 0x40) != 0 && cab_mszip_decoder.reset(handle) != DEC_OK) {
      std::abort();
    }
    const size_t prefix = raw ? 0 : sizeof kSignature;
    const size_t in_nbytes = prefix + record.block_nbytes;
    const auto in = fuzz::exact_copy(record.block, record.block_nbytes, kSignature, prefix);
    uint32_t out_nbytes = want_nbytes;
    const int rc = cab_mszip_decoder.decode(handle, in.get(), static_cast<uint32_t>(in_nbytes), out.get(), &out_nbytes);
    const bool too_long = in_nbytes > in_capacity;
    if ((too_long && rc != DEC_BAD_ARGUMENT) || (!too_long && rc != DEC_OK && rc != DEC_DATA_ERROR) ||
        (rc == DEC_OK && out_nbytes > want_nbytes)) {
      std::abort();
    }
  }
  if (cab_mszip_decoder.destroy(handle) != DEC_OK) {
    std::abort();
  }
  return 0;
}
