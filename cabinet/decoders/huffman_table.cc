// huffman_table.cc - builds canonical Huffman codes into two-level lookup tables, and counts the entries of deeper layouts.
#include "cabinet/decoders/huffman_table.h"

#include <algorithm>
#include <cstring>

namespace cab {
namespace {

// Adding this times a level's code length puts it in bits 0..7 and 8..11 of a result.
constexpr uint32_t kLevelLen = 1u | (1u << kHuffmanLevelLenShift);

uint32_t low_mask(uint32_t nbits) { return (1u << nbits) - 1; }

/*
 * The next canonical code after `reversed`, a code of `len` bits stored with its first bit in
 * bit 0. Adding 1 to a code turns its trailing ones into zeros and its lowest zero into a one;
 * reversed, that is the top run of ones and the highest zero below bit len. After the last code
 * (all ones) there is none, and 0 is returned. A longer code that follows keeps the same bits:
 * appending a zero to the code's end adds a zero above the reversed bits.
 */
uint32_t next_reversed(uint32_t reversed, uint32_t len) {
  const uint32_t zeros = reversed ^ low_mask(len);
  if (zeros == 0) return 0;
  const uint32_t bit = 1u << (31 - __builtin_clz(zeros));
  return (reversed & (bit - 1)) | bit;
}

// The width of the sub-table that the next code, of `len` bits, opens: the codes still to place
// are in canonical order, so all those shorter than the longest under this prefix lie under it,
// and the width grows until they fill the sub-table (or the longest code is reached).
uint32_t subtable_width(const uint32_t *left, uint32_t len, uint32_t root_bits, uint32_t max_len) {
  uint32_t width = len - root_bits;
  uint32_t used = left[len];
  while (used < (1u << width) && root_bits + width < max_len) {
    ++width;
    used = (used << 1) + left[root_bits + width];
  }
  return width;
}

struct Codes {
  uint16_t sorted[kHuffmanMaxSymbols];  // symbols with a code, by length and then by symbol
  uint32_t left[kHuffmanMaxCodeLen + 1]; // codes of each length not yet placed
  uint32_t min_len;
  uint32_t max_len;
  bool incomplete;
};

/*
 * Fills the table. Least significant bit first, each code is kept reversed and the first level
 * grows by doubling: a table for codes up to len bits, copied onto its upper half, is the table
 * for len + 1 bits before the codes of that length are written. Most significant bit first,
 * each code's slots form one run. Codes longer than the root go to sub-tables, opened in code
 * order; the pointer to each is written into the root slot of its prefix.
 */
template <BitOrder kOrder>
HuffmanStatus fill(uint32_t *table, const HuffmanTableSpec &spec, Codes &codes) {
  const uint32_t root = spec.root_bits;
  const uint32_t root_nentries = 1u << root;
  const uint32_t max_len = codes.max_len;
  const uint32_t *const results = spec.results;
  uint32_t code = 0;  // the next code: reversed for lsb_first, as it stands for msb_first
  uint32_t i = 0;     // its index in codes.sorted
  uint32_t len = codes.min_len;
  if (max_len == 0 || len > root) {
    std::fill(table, table + root_nentries, spec.unused_result);
  } else if constexpr (kOrder == BitOrder::lsb_first) {
    uint32_t nentries = 1u << len;
    if (codes.incomplete) std::fill(table, table + nentries, spec.unused_result);
    for (const uint32_t last = std::min(max_len, root);; ++len) {
      for (; codes.left[len] > 0; --codes.left[len]) {
        table[code] = results[codes.sorted[i++]] + len * kLevelLen;
        code = next_reversed(code, len);
      }
      if (len == last) break;
      std::memcpy(table + nentries, table, nentries * sizeof *table);
      nentries <<= 1;
    }
    for (; nentries < root_nentries; nentries <<= 1) std::memcpy(table + nentries, table, nentries * sizeof *table);
    ++len;
  } else {
    for (const uint32_t last = std::min(max_len, root);; ++len, code <<= 1) {
      for (; codes.left[len] > 0; --codes.left[len], ++code) {
        const uint32_t first = code << (root - len);
        std::fill(table + first, table + first + (1u << (root - len)), results[codes.sorted[i++]] + len * kLevelLen);
      }
      if (len == last) break;
    }
    // What follows the last code is the prefixes of longer codes, or nothing.
    const uint32_t end = code << (root - len);
    if (codes.incomplete) std::fill(table + end, table + root_nentries, spec.unused_result);
    ++len;
    code <<= 1;
  }
  uint32_t next_free = root_nentries;
  uint32_t prefix = ~0u;
  uint32_t start = 0;
  uint32_t width = 0;
  for (; len <= max_len; ++len) {
    const uint32_t sub_len = len - root;
    for (; codes.left[len] > 0; --codes.left[len]) {
      const uint32_t this_prefix = kOrder == BitOrder::lsb_first ? code & low_mask(root) : code >> sub_len;
      if (this_prefix != prefix) {
        prefix = this_prefix;
        width = subtable_width(codes.left, len, root, max_len);
        if (next_free + (1u << width) > spec.capacity) return HuffmanStatus::over_capacity;
        start = next_free;
        next_free += 1u << width;
        if (codes.incomplete) std::fill(table + start, table + next_free, spec.unused_result);
        table[prefix] = kHuffmanSubtable | (start << 16) | (width << kHuffmanLevelLenShift) | root;
      }
      const uint32_t entry = results[codes.sorted[i++]] + sub_len * kLevelLen;
      if constexpr (kOrder == BitOrder::lsb_first) {
        for (uint32_t slot = code >> root; slot < (1u << width); slot += 1u << sub_len) table[start + slot] = entry;
        code = next_reversed(code, len);
      } else {
        const uint32_t first = start + ((code & low_mask(sub_len)) << (width - sub_len));
        std::fill(table + first, table + first + (1u << (width - sub_len)), entry);
        ++code;
      }
    }
    if constexpr (kOrder == BitOrder::msb_first) code <<= 1;
  }
  return HuffmanStatus::ok;
}

} // namespace

HuffmanStatus huffman_table_build(uint32_t *table, const HuffmanTableSpec &spec, const uint8_t *lens,
                                  uint32_t nsymbols) {
  Codes codes;
  uint32_t *const count = codes.left;
  std::fill(count, count + kHuffmanMaxCodeLen + 1, 0);
  for (uint32_t s = 0; s < nsymbols; ++s) {
    ++count[lens[s]];
  }
  // Kraft's sum, in units of the longest permitted code.
  int64_t left = 1;
  codes.min_len = 0;
  codes.max_len = 0;
  for (uint32_t len = 1; len <= spec.max_code_len; ++len) {
    left = 2 * left - count[len];
    if (left < 0) {
      return HuffmanStatus::over_subscribed;
    }
    if (count[len] != 0) {
      codes.max_len = len;
      codes.min_len = codes.min_len == 0 ? len : codes.min_len;
    }
  }
  codes.incomplete = left > 0;
  if (codes.incomplete && codes.max_len > 1 && !spec.accept_incomplete) {
    return HuffmanStatus::incomplete;
  }
  if ((spec.limit_root_bits != 0 &&
       huffman_layout_nentries(count, codes.max_len, spec.limit_root_bits) > spec.limit_nentries) ||
      (1u << spec.root_bits) > spec.capacity) {
    return HuffmanStatus::over_capacity;
  }
  uint32_t offset[kHuffmanMaxCodeLen + 2] = {};
  for (uint32_t len = 1; len <= codes.max_len; ++len) {
    offset[len + 1] = offset[len] + count[len];
  }
  for (uint32_t s = 0; s < nsymbols; ++s) {
    if (lens[s] != 0) {
      codes.sorted[offset[lens[s]]++] = static_cast<uint16_t>(s);
    }
  }
  count[0] = 0;
  return spec.order == BitOrder::lsb_first ? fill<BitOrder::lsb_first>(table, spec, codes)
                                           : fill<BitOrder::msb_first>(table, spec, codes);
}

/*
 * Walks the codes longer than the root from the last to the first. Under any prefix the codes
 * are contiguous with the longest last, so going backwards the first code met under a new
 * prefix is its longest, which sets the width of the level opened for it.
 */
uint32_t huffman_layout_nentries(const uint32_t *count, uint32_t max_len, uint32_t root_bits) {
  uint32_t first[kHuffmanMaxCodeLen + 1] = {};
  uint32_t code = 0;
  for (uint32_t len = 2; len <= max_len; ++len) {
    code = (code + count[len - 1]) << 1;
    first[len] = code;
  }
  struct Level {
    uint32_t drop;    // bits consumed by the levels above it
    uint32_t width;   // log2 of its entry count
    uint32_t prefix;  // the code's first `drop` bits
  };
  Level levels[kHuffmanMaxCodeLen + 1];
  uint32_t depth = 1;
  levels[0] = {0, root_bits, 0};
  uint32_t nentries = 1u << root_bits;
  for (uint32_t len = max_len; len > root_bits; --len) {
    for (uint32_t k = count[len]; k-- > 0;) {
      const uint32_t c = first[len] + k;
      // A code no longer than a level's prefix is not under it (no code is a prefix of another).
      while (depth > 1 && (len <= levels[depth - 1].drop ||
                           c >> (len - levels[depth - 1].drop) != levels[depth - 1].prefix)) {
        --depth;
      }
      while (len > levels[depth - 1].drop + levels[depth - 1].width) {
        const uint32_t drop = levels[depth - 1].drop + levels[depth - 1].width;
        const uint32_t width = std::min(len - drop, root_bits);
        levels[depth++] = {drop, width, c >> (len - drop)};
        nentries += 1u << width;
      }
    }
  }
  return nentries;
}

} // namespace cab
