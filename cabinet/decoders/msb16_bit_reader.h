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
 * long as zero bits cannot keep it busy for long.
 *
 * The words from `start` on are first copied into the caller's scratch buffer `words` with the
 * two bytes of each swapped, a last odd byte as a word with a zero high byte, then kPadNbytes
 * zero bytes. That makes the stream one run of bytes, each read most significant bit first, so
 * a refill loads 8 bytes at once, with one byte swap and no word shuffling, and any whole
 * number of bytes. The input itself is only read by the copy.
 *
 * Bits of `bits` below the `nbits` valid ones are either 0 or the input bits that follow, so
 * a refill may OR the same bits in again.
 */
struct Msb16BitReader {
  // The most bits a caller may consume after one refill().
  static constexpr uint32_t kRefillMinBits = 56;
  // Zero bytes after the copied words; `words` must hold in_nbytes + 1 + kPadNbytes bytes.
  static constexpr size_t kPadNbytes = 16;

  const uint8_t *in = nullptr;
  size_t in_nbytes = 0;
  uint8_t *words = nullptr;
  size_t words_nbytes = 0;  // copied bytes and padding (0: none yet): loads below this stay in the buffer
  size_t copied_from = 0;   // where the copy starts; it serves every start on its word grid after it
  size_t start = 0;         // first byte of the current run of words
  size_t pos = 0;           // next byte to load; may run past in_nbytes
  uint64_t bits = 0;        // the buffered bits, next one in bit 63
  uint32_t nbits = 0;       // how many of them are valid, 0 to 63

  // Starts a run of words at byte `at`. An earlier copy serves when `at` lies after its start on
  // the same word grid; otherwise the bytes from `at` on are copied again.
  void restart(size_t at) {
    if (words_nbytes == 0 || at < copied_from || ((at ^ copied_from) & 1) != 0) {
      copy_words(at);
    }
    start = at;
    pos = at;
    bits = 0;
    nbits = 0;
  }

  // The refill for a caller that keeps 8 bytes within words_nbytes beyond `pos`.
  void refill_unchecked() {
    uint64_t chunk;
    std::memcpy(&chunk, words + pos, 8);
    bits |= __builtin_bswap64(chunk) >> nbits;
    pos += (63 - nbits) >> 3;
    nbits |= 56;
  }

  // Makes at least kRefillMinBits bits valid.
  void refill() {
    if (pos + 8 <= words_nbytes) {
      refill_unchecked();
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
    const size_t words_used = (consumed_bits() + 15) / 16;
    return start + 2 * words_used > in_nbytes;
  }

 private:
  void copy_words(size_t at) {
    size_t i = at;
    for (; i + 8 <= in_nbytes; i += 8) {
      uint64_t chunk;
      std::memcpy(&chunk, in + i, 8);
      chunk = ((chunk & 0x00FF00FF00FF00FFu) << 8) | ((chunk >> 8) & 0x00FF00FF00FF00FFu);
      std::memcpy(words + i, &chunk, 8);
    }
    for (; i + 1 < in_nbytes; i += 2) {
      words[i] = in[i + 1];
      words[i + 1] = in[i];
    }
    if (i < in_nbytes) {
      words[i++] = 0;
      words[i++] = in[in_nbytes - 1];
    }
    // A start past the input leaves only zeros to read, from the padding or past it.
    const size_t end = i < in_nbytes + 1 ? i : in_nbytes + 1;
    std::memset(words + end, 0, kPadNbytes);
    words_nbytes = end + kPadNbytes;
    copied_from = at;
  }

  void refill_slowly() {
    while (nbits < kRefillMinBits) {
      const uint64_t byte = pos < words_nbytes ? words[pos] : 0;
      bits |= byte << (56 - nbits);
      ++pos;
      nbits += 8;
    }
  }
};

} // namespace cab

#endif
