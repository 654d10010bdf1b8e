// lzx_frame_builder.h - hand-built LZX frames for the decoder's tests: codes over chosen symbols,
// tree lengths sent as given pre-tree symbols, literals and matches by position slot.
#ifndef TESTS_CABINET_DECODERS_LZX_FRAME_BUILDER_H
#define TESTS_CABINET_DECODERS_LZX_FRAME_BUILDER_H

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "tests/cabinet/support/cab_writer.h"
#include "tests/cabinet/support/lzx_bit_writer.h"

namespace cabtest {

inline constexpr uint32_t kLzxLiterals = 256;
inline constexpr uint32_t kLzxLengthSymbols = 249;
inline constexpr uint32_t kLzxVerbatim = 1;
inline constexpr uint32_t kLzxAligned = 2;
inline constexpr uint32_t kLzxUncompressed = 3;

// Extra offset bits of a position slot, from the format's rule (none up to slot 3, then one more
// every two slots, at most 17).
inline uint32_t lzx_extra_bits(uint32_t slot) { return slot < 4 ? 0 : std::min<uint32_t>((slot - 2) / 2, 17); }

// The main-tree element of a match of `len` bytes in position slot `slot`.
inline uint32_t lzx_match_element(uint32_t slot, uint32_t len) {
  return kLzxLiterals + 8 * slot + std::min<uint32_t>(len - 2, 7);
}

// Lengths of a complete code over the `used` symbols (two or more) of `nsymbols`: with
// 2^(k-1) < m <= 2^k used symbols, 2^k - m of them get k - 1 bits and the rest k.
inline std::vector<uint8_t> complete_lengths(uint32_t nsymbols, std::vector<uint32_t> used) {
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());
  const uint32_t m = static_cast<uint32_t>(used.size());
  uint32_t k = 1;
  while ((1u << k) < m) ++k;
  std::vector<uint8_t> lens(nsymbols, 0);
  for (uint32_t i = 0; i < m; ++i) lens[used[i]] = static_cast<uint8_t>(i < (1u << k) - m ? k - 1 : k);
  return lens;
}

// All literals and the given extra symbols.
inline std::vector<uint32_t> literals_and(std::vector<uint32_t> extra) {
  for (uint32_t b = 0; b < kLzxLiterals; ++b) extra.push_back(b);
  return extra;
}

// One pre-tree symbol as sent: a change 0 to 16, or a run 17, 18, 19 with its extra bits and,
// for 19, the symbol that follows.
struct PretreeOp {
  uint32_t symbol;
  uint32_t extra = 0;
  uint32_t second = 0;
};

/*
 * Writes the frames of one folder. The trees are sent with a fixed pre-tree (symbols 0 to 11
 * of 4 bits, 12 to 19 of 5) unless a test gives its own, and each tree's lengths are remembered
 * as the previous ones for the next block, as the decoder does.
 */
class LzxFrameBuilder {
 public:
  explicit LzxFrameBuilder(unsigned window_bits) : nmain(kLzxLiterals + 8 * slot_count(window_bits)) {
    main_.assign(nmain, 0);
    length_.assign(kLzxLengthSymbols, 0);
  }

  static uint32_t slot_count(unsigned window_bits) {
    uint32_t slots = 0;
    for (uint64_t position = 0; position < (uint64_t{1} << window_bits); ++slots) {
      position += uint64_t{1} << lzx_extra_bits(slots);
    }
    return slots;
  }

  static std::vector<uint8_t> fixed_pretree() {
    std::vector<uint8_t> lens(20);
    for (uint32_t s = 0; s < 20; ++s) lens[s] = s < 12 ? 4 : 5;
    return lens;
  }

  // The folder's first header starts with the translation bit and, when set, its size.
  LzxFrameBuilder &translation(std::optional<uint32_t> nbytes) {
    if (!nbytes) return bits(0, 1);
    return bits(1, 1).bits(*nbytes >> 16, 16).bits(*nbytes & 0xFFFF, 16);
  }

  LzxFrameBuilder &header(uint32_t kind, uint32_t nbytes) { return bits(kind, 3).bits(nbytes, 24); }

  LzxFrameBuilder &aligned_tree(const std::vector<uint8_t> &lens) {
    for (uint8_t len : lens) bits(len, 3);
    aligned_ = lens;
    aligned_codes_ = canonical_codes(lens);
    return *this;
  }

  // Sends one range of tree lengths: the 20 pre-tree lengths, then the ops coded with them.
  LzxFrameBuilder &tree_range(const std::vector<PretreeOp> &ops,
                              const std::vector<uint8_t> &pre_lens = fixed_pretree()) {
    const std::vector<uint32_t> codes = canonical_codes(pre_lens);
    for (uint8_t len : pre_lens) bits(len, 4);
    for (const PretreeOp &op : ops) {
      bits(codes[op.symbol], pre_lens[op.symbol]);
      if (op.symbol == 17) bits(op.extra, 4);
      if (op.symbol == 18) bits(op.extra, 5);
      if (op.symbol == 19) bits(op.extra, 1).bits(codes[op.second], pre_lens[op.second]);
    }
    return *this;
  }

  // The ops that send `lens` as one change per element against `previous`.
  static std::vector<PretreeOp> changes(const std::vector<uint8_t> &previous, const std::vector<uint8_t> &lens,
                                        size_t first, size_t end) {
    std::vector<PretreeOp> ops;
    for (size_t i = first; i < end; ++i) ops.push_back({(previous[i] + 17u - lens[i]) % 17u});
    return ops;
  }

  // Sends the main and length trees as changes against the previous block's lengths.
  LzxFrameBuilder &trees(const std::vector<uint8_t> &main, const std::vector<uint8_t> &length) {
    tree_range(changes(main_, main, 0, kLzxLiterals));
    tree_range(changes(main_, main, kLzxLiterals, nmain));
    tree_range(changes(length_, length, 0, kLzxLengthSymbols));
    return use_trees(main, length);
  }

  // Takes `main` and `length` as the trees the following symbols are coded with, and as the
  // previous lengths of the next block, when a test has sent them by hand.
  LzxFrameBuilder &use_trees(const std::vector<uint8_t> &main, const std::vector<uint8_t> &length) {
    main_ = main;
    length_ = length;
    main_codes_ = canonical_codes(main);
    length_codes_ = canonical_codes(length);
    return *this;
  }

  LzxFrameBuilder &literal(uint8_t byte) { return main_symbol(byte); }

  LzxFrameBuilder &literals(const std::vector<uint8_t> &bytes) {
    for (uint8_t b : bytes) literal(b);
    return *this;
  }

  // A match in a verbatim block (or one whose slot has fewer than 3 extra bits): its element,
  // its length symbol when the length is 9 or more, and its extra bits as they stand.
  LzxFrameBuilder &match(uint32_t len, uint32_t slot, uint32_t extra_value = 0) {
    return match_symbols(len, slot).bits(extra_value, lzx_extra_bits(slot));
  }

  // A match in an aligned-offset block whose slot has 3 or more extra bits.
  LzxFrameBuilder &aligned_match(uint32_t len, uint32_t slot, uint32_t extra_value) {
    match_symbols(len, slot).bits(extra_value >> 3, lzx_extra_bits(slot) - 3);
    return bits(aligned_codes_[extra_value & 7], aligned_[extra_value & 7]);
  }

  // A match's element and, when its length is 9 or more, its length symbol; its offset bits are
  // the caller's.
  LzxFrameBuilder &match_symbols(uint32_t len, uint32_t slot) {
    main_symbol(lzx_match_element(slot, len));
    return len >= 9 ? bits(length_codes_[len - 9], length_[len - 9]) : *this;
  }

  LzxFrameBuilder &bits(uint32_t value, uint32_t nbits) {
    w.bits(value, nbits);
    return *this;
  }

  // The frame so far, padded to a word; the next frame starts empty.
  Bytes frame() {
    Bytes bytes = w.finish();
    w = LzxBitWriter();
    return bytes;
  }

  const uint32_t nmain;
  LzxBitWriter w;

 private:
  LzxFrameBuilder &main_symbol(uint32_t element) { return bits(main_codes_[element], main_[element]); }

  // The last trees sent: what symbols are coded with, and what the next trees are sent against.
  std::vector<uint8_t> main_;
  std::vector<uint8_t> length_;
  std::vector<uint8_t> aligned_;
  std::vector<uint32_t> main_codes_;
  std::vector<uint32_t> length_codes_;
  std::vector<uint32_t> aligned_codes_;
};

}  // namespace cabtest

#endif
