// huffman_table.h - the one builder of multi-level Huffman lookup tables for every decoder.
#ifndef CABINET_DECODERS_HUFFMAN_TABLE_H
#define CABINET_DECODERS_HUFFMAN_TABLE_H

#include <cstdint>

/*
 * Table layout. A table is an array of 32-bit entries. The first level has 2^root_bits
 * entries and is indexed by the next root_bits bits of input, taken least significant bit
 * first (the first bit of a code is bit 0 of the index). An entry is either a result or a
 * pointer to a sub-table:
 *
 *   bits  0..7   nbits: how many input bits this entry consumes at its level; for a result,
 *                the code length minus the bits consumed by the levels above it; for a
 *                pointer, the width of the level that holds it
 *   bits  8..11  pointer: the sub-table's width; result: the caller's (e.g. an extra-bit count)
 *   bits 12..14  the caller's flags
 *   bit  15      kHuffmanSubtable: the entry is a pointer
 *   bits 16..31  pointer: index of the sub-table's first entry; result: the caller's value
 *
 * A result entry is the caller's per-symbol result word with nbits added, so a decoder
 * packs whatever its hot path needs (kind, extra-bit count, base value) into the word and
 * never looks anything up a second time. Slots that no code reaches (an incomplete or empty
 * code) hold the caller's `unused_result`.
 *
 * Sub-table widths. A sub-table serves one prefix: the bits that the levels above consumed.
 * Its width is the smallest that holds every code under that prefix, i.e. the longest such
 * code minus the prefix length, capped at root_bits; codes longer than that continue in a
 * further level chosen the same way. The entry count of a table is the sum of the sizes of
 * all its levels and must fit the caller's capacity, or the code is rejected. The largest
 * counts any complete code needs under this scheme: 852 for 286 symbols, root 9, lengths
 * up to 15 (widths never reach the cap there, so this is zlib's two-level bound, confirmed
 * by a search over sub-table sequences); 154 for 30 symbols, root 6, lengths up to 15
 * (exhaustive search over all 4309772 complete codes, repeated in the tests); 128 for 19
 * symbols, root 7, lengths up to 7.
 */

namespace cab {

inline constexpr uint32_t kHuffmanSubtable = 1u << 15;
inline constexpr uint32_t kHuffmanNbitsMask = 0xFF;
inline constexpr uint32_t kHuffmanMaxCodeLen = 16;
inline constexpr uint32_t kHuffmanMaxSymbols = 1024;

enum class HuffmanStatus {
  ok,
  over_subscribed, // the lengths claim more codes than exist
  incomplete,      // codes are left unused and the code is not a single code of length 1
  over_capacity,   // the levels need more entries than the caller's space
};

struct HuffmanTableSpec {
  uint32_t root_bits;          // width of the first level, 1 to 15
  uint32_t capacity;           // entries available in `table`
  uint32_t max_code_len;       // longest code length the caller's code allows, up to 16
  bool accept_incomplete;      // take any incomplete code (e.g. a fixed code with unused slots)
  const uint32_t *results;     // one result word per symbol, bits 0..7 and 15 clear
  uint32_t unused_result;      // the entry for slots no code reaches
};

/*
 * Builds the canonical code given by `lens` (one length per symbol, 0 = unused, each at
 * most spec.max_code_len; at most kHuffmanMaxSymbols symbols) into `table`. Accepted: a
 * complete code, a code of one length-1 code, a code with no codes at all (every slot
 * holds unused_result) and, with accept_incomplete, any incomplete code. `*nentries`
 * receives the entries the code needs, also when they exceed the capacity. On failure the
 * table's contents are unspecified.
 */
HuffmanStatus huffman_table_build(uint32_t *table, const HuffmanTableSpec &spec, const uint8_t *lens,
                                  uint32_t nsymbols, uint32_t *nentries);

} // namespace cab

#endif
