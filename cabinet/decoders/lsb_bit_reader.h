// lsb_bit_reader.h - reads a byte buffer as bits, least significant bit of each byte first.
#ifndef CABINET_DECODERS_LSB_BIT_READER_H
#define CABINET_DECODERS_LSB_BIT_READER_H

#include <cstdint>
#include <cstring>

namespace cab {

/*
 * A 64-bit bit buffer over one input buffer. Bit 0 of `bits` is the next bit of input.
 * Past the end of the input every bit reads as 0 and nothing fails: `pos` keeps counting
 * the zero bytes taken, so byte alignment stays exact. The reader never touches memory
 * outside [in, in + in_nbytes): it loads 8 bytes at once only while 8 real bytes remain.
 *
 * Bits of `bits` at and above `nbits` are either 0 or the input bytes that follow, so a
 * refill may OR the same bytes in again.
 */
struct LsbBitReader {
  // The most bits a caller may consume after one refill().
  static constexpr uint32_t kRefillMinBits = 56;

  const uint8_t *in;
  size_t in_nbytes;
  size_t pos;      // index of the next byte to load; may run past in_nbytes
  uint64_t bits;   // the buffered bits, next one in bit 0
  uint32_t nbits;  // how many of them are valid, 0 to 63

  LsbBitReader(const uint8_t *input, size_t input_nbytes)
      : in(input), in_nbytes(input_nbytes), pos(0), bits(0), nbits(0) {}

  // Makes at least kRefillMinBits bits valid.
  void refill() {
    if (pos + 8 <= in_nbytes) {
      uint64_t word;
      std::memcpy(&word, in + pos, 8);
      bits |= word << nbits;
      pos += (63 - nbits) >> 3;
      nbits |= 56;
    } else {
      refill_slowly();
    }
  }

  // The next n bits (n <= nbits, at most 32) without consuming them.
  uint32_t peek(uint32_t n) const { return static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1)); }

  void consume(uint32_t n) {
    bits >>= n;
    nbits -= n;
  }

  uint32_t take(uint32_t n) {
    const uint32_t value = peek(n);
    consume(n);
    return value;
  }

  // Drops the bits up to the next byte boundary and hands the buffered whole bytes back to
  // the input, so that `pos` is the next byte to read byte by byte.
  void align_to_byte() {
    pos -= nbits >> 3;
    bits = 0;
    nbits = 0;
  }

  // True when no whole unread byte is left: at most the padding of a partly read last byte.
  bool at_end() const { return pos - nbits / 8 >= in_nbytes; }

  // Copies `n` bytes from a byte-aligned position (after align_to_byte), zeros past the end.
  void copy_bytes(uint8_t *out, size_t n) {
    const size_t real = pos < in_nbytes ? (in_nbytes - pos < n ? in_nbytes - pos : n) : 0;
    if (real != 0) {
      std::memcpy(out, in + pos, real);
    }
    std::memset(out + real, 0, n - real);
    pos += n;
  }

 private:
  void refill_slowly() {
    while (nbits < kRefillMinBits) {
      const uint64_t byte = pos < in_nbytes ? in[pos] : 0;
      bits |= byte << nbits;
      ++pos;
      nbits += 8;
    }
  }
};

} // namespace cab

#endif
