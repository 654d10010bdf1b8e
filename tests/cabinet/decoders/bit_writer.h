// bit_writer.h - test-only writer of exact deflate bit streams, least significant bit first.
#ifndef TESTS_CABINET_DECODERS_BIT_WRITER_H
#define TESTS_CABINET_DECODERS_BIT_WRITER_H

#include <cstdint>
#include <vector>

#include "tests/cabinet/support/canonical_codes.h"

namespace cabtest {

using Bytes = std::vector<uint8_t>;

class BitWriter {
 public:
  // Appends the low `nbits` bits of `value`, least significant first (header fields, extra bits).
  BitWriter &bits(uint32_t value, uint32_t nbits) {
    for (uint32_t i = 0; i < nbits; ++i) {
      put_bit((value >> i) & 1);
    }
    return *this;
  }

  // Appends a Huffman code of `len` bits, most significant bit first, as deflate sends codes.
  BitWriter &code(uint32_t code, uint32_t len) {
    for (uint32_t i = len; i-- > 0;) {
      put_bit((code >> i) & 1);
    }
    return *this;
  }

  // Pads with zero bits to the next byte boundary.
  BitWriter &align() {
    while (nbits_ % 8 != 0) {
      put_bit(0);
    }
    return *this;
  }

  BitWriter &byte(uint8_t value) { return align().bits(value, 8); }

  // Block header: the final flag and the two type bits.
  BitWriter &header(bool final_block, uint32_t type) { return bits(final_block ? 1 : 0, 1).bits(type, 2); }

  // A stored block: header, alignment, LEN, NLEN (given explicitly to build bad ones) and the bytes.
  BitWriter &stored(bool final_block, const std::vector<uint8_t> &data, uint32_t len, uint32_t nlen) {
    header(final_block, 0).align().bits(len, 16).bits(nlen, 16);
    for (uint8_t b : data) {
      bits(b, 8);
    }
    return *this;
  }

  // Fixed-code symbols (RFC 1951's fixed literal/length code).
  BitWriter &fixed_litlen(uint32_t symbol) {
    if (symbol < 144) return code(0x30 + symbol, 8);
    if (symbol < 256) return code(0x190 + symbol - 144, 9);
    if (symbol < 280) return code(symbol - 256, 7);
    return code(0xC0 + symbol - 280, 8);
  }
  BitWriter &fixed_dist(uint32_t symbol) { return code(symbol, 5); }

  // The finished bytes behind "CK"; a partial last byte is padded with zeros.
  std::vector<uint8_t> mszip() const {
    std::vector<uint8_t> block = {'C', 'K'};
    block.insert(block.end(), bytes_.begin(), bytes_.end());
    return block;
  }

  size_t nbits() const { return nbits_; }

 private:
  void put_bit(uint32_t bit) {
    if (nbits_ % 8 == 0) {
      bytes_.push_back(0);
    }
    bytes_.back() |= static_cast<uint8_t>(bit << (nbits_ % 8));
    ++nbits_;
  }

  std::vector<uint8_t> bytes_;
  size_t nbits_ = 0;
};

// A length (3..258) or distance (1..32768) as its deflate symbol and extra bits, from RFC 1951's rule
// that the extra-bit count grows by one every four length codes and every two distance codes.
struct SymbolAndExtra {
  uint32_t symbol;
  uint32_t nextra;
  uint32_t extra;
};

inline SymbolAndExtra length_symbol(uint32_t len) {
  if (len == 258) return {285, 0, 0};
  uint32_t base = 3;
  for (uint32_t i = 0;; ++i) {
    const uint32_t nextra = i < 8 ? 0 : (i - 4) / 4;
    if (len < base + (1u << nextra)) return {257 + i, nextra, len - base};
    base += 1u << nextra;
  }
}

inline SymbolAndExtra dist_symbol(uint32_t dist) {
  uint32_t base = 1;
  for (uint32_t i = 0;; ++i) {
    const uint32_t nextra = i < 4 ? 0 : (i - 2) / 2;
    if (dist < base + (1u << nextra)) return {i, nextra, dist - base};
    base += 1u << nextra;
  }
}

// A match in the fixed code.
inline BitWriter &fixed_match(BitWriter &w, uint32_t len, uint32_t dist) {
  const SymbolAndExtra l = length_symbol(len);
  const SymbolAndExtra d = dist_symbol(dist);
  return w.fixed_litlen(l.symbol).bits(l.extra, l.nextra).fixed_dist(d.symbol).bits(d.extra, d.nextra);
}

/*
 * The header of a dynamic block. The code-length code is fixed here: symbols 0 to 12 have 4
 * bits, 13 to 18 have 5. `ops` are code-length symbols with their extra-bit values, written
 * as given, so tests can write invalid repeats; plain_lengths() makes them from lengths.
 */
struct CodelenOp {
  uint32_t symbol;
  uint32_t extra;
};

inline std::vector<CodelenOp> plain_lengths(const std::vector<uint8_t> &lens) {
  std::vector<CodelenOp> ops;
  for (uint8_t len : lens) ops.push_back({len, 0});
  return ops;
}

inline std::vector<uint8_t> default_codelen_lens() {
  std::vector<uint8_t> lens(19);
  for (uint32_t s = 0; s < 19; ++s) lens[s] = s <= 12 ? 4 : 5;
  return lens;
}

// `codelen_lens` (indexed by symbol) are sent for the first `ncodelen` positions of the
// transmission order; the ops must only use symbols that have a code.
inline BitWriter &dynamic_header(BitWriter &w, bool final_block, uint32_t nlitlen, uint32_t ndist,
                                 const std::vector<CodelenOp> &ops,
                                 const std::vector<uint8_t> &codelen_lens = default_codelen_lens(),
                                 uint32_t ncodelen = 19) {
  static const uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  const std::vector<uint32_t> codes = canonical_codes(codelen_lens);
  w.header(final_block, 2).bits(nlitlen - 257, 5).bits(ndist - 1, 5).bits(ncodelen - 4, 4);
  for (uint32_t i = 0; i < ncodelen; ++i) w.bits(codelen_lens[kOrder[i]], 3);
  for (const CodelenOp &op : ops) {
    w.code(codes[op.symbol], codelen_lens[op.symbol]);
    if (op.symbol == 16) w.bits(op.extra, 2);
    if (op.symbol == 17) w.bits(op.extra, 3);
    if (op.symbol == 18) w.bits(op.extra, 7);
  }
  return w;
}

} // namespace cabtest

#endif
