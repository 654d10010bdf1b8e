// lzx_bit_writer.h - test-only writer of exact LZX frames: bits into 16-bit little-endian words, most
// significant bit first, and the bytes of uncompressed blocks between them.
#ifndef TESTS_CABINET_SUPPORT_LZX_BIT_WRITER_H
#define TESTS_CABINET_SUPPORT_LZX_BIT_WRITER_H

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "tests/cabinet/support/canonical_codes.h"

namespace cabtest {

class LzxBitWriter {
 public:
  // Appends the low `nbits` bits of `value`, most significant first (fields, codes, extra bits).
  LzxBitWriter &bits(uint32_t value, uint32_t nbits) {
    for (uint32_t i = nbits; i-- > 0;) {
      pending_ = pending_ << 1 | ((value >> i) & 1);
      if (++npending_ == 16) {
        bytes_.push_back(static_cast<uint8_t>(pending_));
        bytes_.push_back(static_cast<uint8_t>(pending_ >> 8));
        pending_ = 0;
        npending_ = 0;
      }
    }
    return *this;
  }

  // Pads with zero bits to the next word boundary (none when already on one).
  LzxBitWriter &pad_to_word() { return npending_ == 0 ? *this : bits(0, 16 - npending_); }

  // The padding after an uncompressed block's header: 1 to 16 bits, a whole word when the header
  // ends on a word boundary.
  LzxBitWriter &pad_uncompressed() { return bits(0, 16 - npending_); }

  // Appends bytes as they are; only between words (after pad_to_word or pad_uncompressed).
  LzxBitWriter &raw(const uint8_t *data, size_t nbytes) {
    if (npending_ != 0) throw std::logic_error("raw bytes in the middle of a word");
    bytes_.insert(bytes_.end(), data, data + nbytes);
    return *this;
  }
  LzxBitWriter &raw(const std::vector<uint8_t> &data) { return raw(data.data(), data.size()); }
  LzxBitWriter &raw_le32(uint32_t value) {
    const uint8_t le[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                           static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return raw(le, 4);
  }

  // The frame's bytes, its last word padded with zero bits.
  std::vector<uint8_t> finish() {
    pad_to_word();
    return bytes_;
  }

  // Bits written so far, padding included.
  size_t nbits() const { return 8 * bytes_.size() + npending_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t pending_ = 0;
  uint32_t npending_ = 0;
};

}  // namespace cabtest

#endif
