// huffman_table.h - the one builder of Huffman lookup tables for every decoder, and the entry-count rule MSZIP accepts codes by.
#ifndef CABINET_DECODERS_HUFFMAN_TABLE_H
#define CABINET_DECODERS_HUFFMAN_TABLE_H

#include <cstdint>

/*
 * Table layout. A table is an array of 32-bit entries. The first level has 2^root_bits
 * entries and is indexed by the next root_bits bits of input, in the bit order its HuffmanTableSpec names:
 * least significant first (the first bit of a code is bit 0 of the index) or most significant
 * first (the first bit is the index's top bit). Codes longer than root_bits continue in one
 * sub-table per root prefix, indexed the same way by the bits after the root's; a table has
 * at most these two levels. An entry is either a result or a pointer to a sub-table:
 *
 *   bits  0..7   result: the code length at its level plus the caller's extra-bit count, so
 *                one shift drops a code and its extra bits together; pointer: root_bits
 *   bits  8..11  result: the code length at its level (below it lie the extra bits in a saved
 *                bit buffer); pointer: the sub-table's width
 *   bits 12..14  the caller's flags
 *   bit  15      kHuffmanSubtable: the entry is a pointer
 *   bits 16..31  pointer: index of the sub-table's first entry; result: the caller's value
 *
 * A result entry is the caller's per-symbol result word (its extra-bit count in bits 0..7,
 * bits 8..11 and 15 clear) plus the code length at the entry's level in bits 0..7 and 8..11,
 * so a decoder packs whatever its hot path needs into the word and never looks anything up a
 * second time. Slots that no code reaches (an incomplete or empty code) hold `unused_result`.
 *
 * A sub-table's width is the longest code under its prefix less root_bits: the codes under a
 * prefix of a complete code fill its sub-table exactly. A decoder that picks root_bits of at
 * least half its longest code keeps sub-tables no wider than the root.
 */

namespace cab {

inline constexpr uint32_t kHuffmanSubtable = 1u << 15;
inline constexpr uint32_t kHuffmanNbitsMask = 0xFF;
inline constexpr uint32_t kHuffmanLevelLenShift = 8;
inline constexpr uint32_t kHuffmanMaxCodeLen = 16;
inline constexpr uint32_t kHuffmanMaxSymbols = 1024;

// The code length at an entry's level (result) or its sub-table's width (pointer).
constexpr uint32_t huffman_level_len(uint32_t entry) { return (entry >> kHuffmanLevelLenShift) & 0xF; }

enum class HuffmanStatus {
  ok,
  over_subscribed, // the lengths claim more codes than exist
  incomplete,      // codes are left unused and the code is not a single code of length 1
  over_capacity,   // the table needs more entries than the caller's space, or than its limit
};

enum class BitOrder { lsb_first, msb_first };

struct HuffmanTableSpec {
  BitOrder order;
  uint32_t root_bits;      // width of the first level, 1 to 15
  uint32_t capacity;       // entries available in `table`
  uint32_t max_code_len;   // longest code length the caller's code allows, up to 16
  bool accept_incomplete;  // take any incomplete code (e.g. a fixed code with unused slots)
  const uint32_t *results; // one result word per symbol
  uint32_t unused_result;  // the entry for slots no code reaches
  // When not 0: a code is also rejected (over_capacity) when huffman_layout_nentries with a
  // first level of limit_root_bits exceeds limit_nentries. This keeps a decoder's acceptance
  // rule apart from the root width it decodes with.
  uint32_t limit_root_bits;
  uint32_t limit_nentries;
};

/*
 * Builds the canonical code given by `lens` (one length per symbol, 0 = unused, each at most
 * spec.max_code_len; at most kHuffmanMaxSymbols symbols) into `table`. Accepted: a complete
 * code, a code of one length-1 code, a code with no codes at all (every slot holds
 * unused_result) and, with accept_incomplete, any incomplete code whose sub-tables fit. On
 * failure the table's contents are unspecified.
 */
HuffmanStatus huffman_table_build(uint32_t *table, const HuffmanTableSpec &spec, const uint8_t *lens,
                                  uint32_t nsymbols);

/*
 * The acceptance rule of a multi-level layout that may nest deeper than two levels: the
 * entries a canonical code with count[len] codes of each length 1 to max_len needs when its
 * first level has 2^root_bits entries and every sub-table serving a prefix has the width of
 * the longest code under that prefix less the prefix length, capped at root_bits (longer codes
 * continue in a further level chosen the same way). The largest counts any complete code
 * needs: 852 for 286 symbols, root 9, lengths up to 15 (zlib's two-level bound, confirmed by a
 * search over sub-table sequences); 154 for 30 symbols, root 6, lengths up to 15 (exhaustive
 * search over all 4309772 complete codes, repeated in the tests); 128 for 19 symbols, root 7,
 * lengths up to 7. `count` has max_len + 1 elements; count[0] is ignored.
 */
uint32_t huffman_layout_nentries(const uint32_t *count, uint32_t max_len, uint32_t root_bits);

/*
 * Space that any complete code (or a code without sub-tables) of `nsymbols` symbols and
 * lengths up to max_code_len needs under this builder. A sub-table of width k serves one
 * prefix of a complete code, so it holds at least k + 1 codes (the fewest leaves a complete
 * tree of depth k has), and k is at most w = max_code_len - root_bits. As 2^k / (k + 1) grows
 * with k, no code needs more than the root level plus nsymbols * 2^w / (w + 1) entries.
 */
constexpr uint32_t huffman_capacity(uint32_t nsymbols, uint32_t root_bits, uint32_t max_code_len) {
  if (max_code_len <= root_bits) return 1u << root_bits;
  const uint32_t w = max_code_len - root_bits;
  return (1u << root_bits) + (nsymbols * (1u << w) + w) / (w + 1);
}

} // namespace cab

#endif
