// msb16_bit_reader.h - reads a byte buffer as 16-bit little-endian words, most significant bit first.
#ifndef CABINET_DECODERS_MSB16_BIT_READER_H
#define CABINET_DECODERS_MSB16_BIT_READER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace cab {

/*
 * A 64-bit bit buffer over one input buffer. Bit 63 of `bits` is the next bit of input. Words
 * are counted from `start`, the byte where the current run of words began (a reader may be
 * restarted at any byte, odd ones included). Past the end of the input every byte reads as 0
 * and nothing fails at once: the caller asks overran() at its checkpoints, which is enough as
 * long as zero bits cannot keep it busy for long. The reader never touches memory outside
 * [in, in + in_nbytes): it loads 8 bytes at once only while 8 real bytes remain.
 *
 * Bits of `bits` below the `nbits` valid ones are either 0 or the input bits that follow, so
 * a refill may OR the same bits in again.
 */
struct Msb16BitReader {
  // The most bits a caller may consume after one refill().
  static constexpr uint32_t kRefillMinBits = 48;

  const uint8_t *in = nullptr;
  size_t in_nbytes = 0;
  size_t start = 0;   // first byte of the current run of words
  size_t pos = 0;     // next byte to load; may run past in_nbytes
  uint64_t bits = 0;  // the buffered bits, next one in bit 63
  uint32_t nbits = 0; // how many of them are valid, 0 to 63

  void restart(size_t at) {
    start = at;
    pos = at;
    bits = 0;
    nbits = 0;
  }

  // Makes at least kRefillMinBits bits valid.
  void refill() {
    if (pos + 8 <= in_nbytes) {
      uint64_t chunk;
      std::memcpy(&chunk, in + pos, 8);
      // Four little-endian words, the first in the top 16 bits.
      chunk = __builtin_bswap64(chunk);
      chunk = ((chunk & 0x00FF00FF00FF00FFu) << 8) | ((chunk >> 8) & 0x00FF00FF00FF00FFu);
      bits |= chunk >> nbits;
      const uint32_t nwords = (63 - nbits) >> 4;
      pos += 2 * nwords;
      nbits += 16 * nwords;
    } else {
      refill_slowly();
    }
  }

  // The next n bits (n <= nbits) without consuming them; n may be 0.
  uint32_t peek(uint32_t n) const { return static_cast<uint32_t>((bits >> 1) >> (63 - n)); }

  void consume(uint32_t n) {
    bits <<= n;
    nbits -= n;
  }

  uint32_t take(uint32_t n) {
    const uint32_t value = peek(n);
    consume(n);
    return value;
  }

  // Bits consumed since the last restart.
  size_t consumed_bits() const { return 8 * (pos - start) - nbits; }

  // True once a consumed bit came from a word that does not lie wholly within the input: writers
  // send whole words, so a frame cut inside one is cut short.
  bool overran() const {
    const size_t words = (consumed_bits() + 15) / 16;
    return start + 2 * words > in_nbytes;
  }

 private:
  void refill_slowly() {
    while (nbits < kRefillMinBits) {
      const uint64_t low = pos < in_nbytes ? in[pos] : 0;
      const uint64_t high = pos + 1 < in_nbytes ? in[pos + 1] : 0;
      bits |= (low | high << 8) << (48 - nbits);
      pos += 2;
      nbits += 16;
    }
  }
};

} // namespace cab

#endif
