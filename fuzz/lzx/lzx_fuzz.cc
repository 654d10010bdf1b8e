// lzx_fuzz.cc - fuzzes the LZX decoder over the frames of folders that share one handle.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "cabinet/decoders/lzx_decoder.h"
#include "fuzz/decoder_input.h"
#include "tests/cabinet/support/malloc_ops.h"

namespace {

/*
 * Input: one byte whose value modulo 7 picks the window (2^15 to 2^21), then records of a
 * 5-byte header and a frame.
 *   bytes 0-1  frame length, little-endian (cut to what is left of the input)
 *   bytes 2-3  output size asked, little-endian (above 32768 must be refused)
 *   byte 4     bit 0: reset the decoder before the frame, as at a change of folder
 * Each frame is copied to a heap buffer of exactly its size, so any read past it is caught.
 */
constexpr size_t kHeaderNbytes = 5;

// One handle per window for the whole run, reset before each input as the reader resets its
// decoder for each folder; creating a window of up to 4 MB per input would dominate the run.
void *handle_for(uint32_t window_bits) {
  static void *handles[7] = {};
  void *&handle = handles[window_bits - 15];
  uint32_t max_nbytes = 0;
  uint32_t in_capacity = 0;
  if (handle == nullptr &&
      cab_lzx_decoder.create(&max_nbytes, 1u << window_bits, &cabtest::kMallocOps, &in_capacity, &handle) != DEC_OK) {
    std::abort();
  }
  if (cab_lzx_decoder.reset(handle) != DEC_OK) {
    std::abort();
  }
  return handle;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) {
    return 0;
  }
  void *handle = handle_for(15 + data[0] % 7);
  ++data;
  --size;
  const uint32_t max_nbytes = CAB_BLOCK_MAX_NBYTES;
  const uint32_t in_capacity = CAB_BLOCK_MAX_NBYTES + 6144;
  std::unique_ptr<uint8_t[]> out(new uint8_t[CAB_BLOCK_MAX_NBYTES]);
  fuzz::Record record;
  while (fuzz::next_record(data, size, kHeaderNbytes, &record)) {
    const uint32_t want_nbytes = record.header[2] | (uint32_t{record.header[3]} << 8);
    if ((record.header[4] & 1) != 0 && cab_lzx_decoder.reset(handle) != DEC_OK) {
      std::abort();
    }
    const auto in = fuzz::exact_copy(record.block, record.block_nbytes);
    uint32_t out_nbytes = want_nbytes;
    const int rc =
        cab_lzx_decoder.decode(handle, in.get(), static_cast<uint32_t>(record.block_nbytes), out.get(), &out_nbytes);
    const bool refused = want_nbytes > max_nbytes || record.block_nbytes > in_capacity;
    if ((refused && rc != DEC_BAD_ARGUMENT) || (!refused && rc != DEC_OK && rc != DEC_DATA_ERROR) ||
        (rc == DEC_OK && out_nbytes != want_nbytes) || (rc == DEC_DATA_ERROR && out_nbytes != 0)) {
      std::abort();
    }
  }
  return 0;
}
