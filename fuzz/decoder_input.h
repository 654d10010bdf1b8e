// decoder_input.h - what the decoder fuzz targets share: the input cut into records, and blocks copied to heap buffers of exactly their size.
#ifndef FUZZ_DECODER_INPUT_H
#define FUZZ_DECODER_INPUT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace fuzz {

// A record: a header of the target's own fields, whose first two bytes give the length of the
// block that follows it, little-endian, cut to what is left of the input.
struct Record {
  const uint8_t *header;
  const uint8_t *block;
  size_t block_nbytes;
};

// Takes the next record of `header_nbytes` header bytes off the input; false when none is left.
inline bool next_record(const uint8_t *&data, size_t &size, size_t header_nbytes, Record *record) {
  if (size < header_nbytes) return false;
  const size_t nbytes = std::min<size_t>(data[0] | (size_t{data[1]} << 8), size - header_nbytes);
  *record = {data, data + header_nbytes, nbytes};
  data += header_nbytes + nbytes;
  size -= header_nbytes + nbytes;
  return true;
}

// `prefix` then `data` in a heap buffer of exactly their size (of one byte when both are empty),
// so that any read past them is caught.
inline std::unique_ptr<uint8_t[]> exact_copy(const uint8_t *data, size_t nbytes, const uint8_t *prefix = nullptr,
                                             size_t prefix_nbytes = 0) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[std::max<size_t>(prefix_nbytes + nbytes, 1)]);
  if (prefix_nbytes != 0) std::memcpy(copy.get(), prefix, prefix_nbytes);
  if (nbytes != 0) std::memcpy(copy.get() + prefix_nbytes, data, nbytes);
  return copy;
}

}  // namespace fuzz

#endif
