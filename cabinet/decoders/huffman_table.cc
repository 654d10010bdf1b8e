// huffman_table.cc - builds canonical Huffman codes into multi-level lookup tables.
#include "cabinet/decoders/huffman_table.h"

#include <algorithm>

namespace cab {
namespace {

struct Level {
  uint32_t start;  // index of the level's first entry
  uint32_t width;  // log2 of its entry count
  uint32_t drop;   // bits consumed by the levels above it
  uint32_t prefix; // those bits, first bit in bit 0
};

uint32_t reverse_bits(uint32_t code, uint32_t nbits) {
  uint32_t reversed = 0;
  for (uint32_t i = 0; i < nbits; ++i) {
    reversed = (reversed << 1) | ((code >> i) & 1);
  }
  return reversed;
}

uint32_t low_mask(uint32_t nbits) { return (1u << nbits) - 1; }

// The codes in canonical order: by length, then by symbol. Each code's bits are stored
// reversed, so that its first bit is bit 0, as the input delivers it.
struct SortedCodes {
  uint16_t symbol[kHuffmanMaxSymbols];
  uint16_t reversed[kHuffmanMaxSymbols];
  uint8_t len[kHuffmanMaxSymbols];
  uint32_t ncodes;
};

void sort_codes(const uint8_t *lens, uint32_t nsymbols, const uint32_t *count, uint32_t max_len,
                SortedCodes *codes) {
  uint32_t offset[kHuffmanMaxCodeLen + 2] = {};
  for (uint32_t len = 1; len <= max_len; ++len) {
    offset[len + 1] = offset[len] + count[len];
  }
  codes->ncodes = offset[max_len + 1];
  for (uint32_t s = 0; s < nsymbols; ++s) {
    if (lens[s] != 0) {
      codes->symbol[offset[lens[s]]++] = static_cast<uint16_t>(s);
    }
  }
  uint32_t code = 0;
  uint32_t prev_len = 0;
  for (uint32_t i = 0; i < codes->ncodes; ++i) {
    uint32_t len = lens[codes->symbol[i]];
    code <<= len - prev_len;
    prev_len = len;
    codes->len[i] = static_cast<uint8_t>(len);
    codes->reversed[i] = static_cast<uint16_t>(reverse_bits(code, len));
    ++code;
  }
}

// Lays the sorted codes out level by level. Canonical order keeps the codes under any prefix
// contiguous, with the longest last, so one forward pass opens each sub-table exactly once.
// Without kWrite it only counts entries; with it, it fills `table`, which must hold them all.
template <bool kWrite>
uint32_t lay_out(uint32_t *table, const HuffmanTableSpec &spec, const SortedCodes &codes, bool incomplete) {
  Level levels[kHuffmanMaxCodeLen + 1];
  uint32_t depth = 1;
  levels[0] = {0, spec.root_bits, 0, 0};
  uint32_t nentries = 1u << spec.root_bits;
  if (kWrite && incomplete) {
    std::fill(table, table + nentries, spec.unused_result);
  }
  for (uint32_t i = 0; i < codes.ncodes; ++i) {
    const uint32_t len = codes.len[i];
    const uint32_t reversed = codes.reversed[i];
    while ((reversed & low_mask(levels[depth - 1].drop)) != levels[depth - 1].prefix) {
      --depth;
    }
    while (len > levels[depth - 1].drop + levels[depth - 1].width) {
      const Level &parent = levels[depth - 1];
      const uint32_t drop = parent.drop + parent.width;
      const uint32_t prefix = reversed & low_mask(drop);
      uint32_t last = i;
      while (last + 1 < codes.ncodes && (codes.reversed[last + 1] & low_mask(drop)) == prefix) {
        ++last;
      }
      const uint32_t width = std::min(codes.len[last] - drop, spec.root_bits);
      if (kWrite) {
        table[parent.start + (prefix >> parent.drop)] =
            kHuffmanSubtable | (width << 8) | (nentries << 16) | parent.width;
        if (incomplete) {
          std::fill(table + nentries, table + nentries + (1u << width), spec.unused_result);
        }
      }
      levels[depth++] = {nentries, width, drop, prefix};
      nentries += 1u << width;
    }
    if (kWrite) {
      const Level &level = levels[depth - 1];
      const uint32_t nbits = len - level.drop;
      const uint32_t entry = spec.results[codes.symbol[i]] | nbits;
      for (uint32_t slot = (reversed >> level.drop) & low_mask(nbits); slot < (1u << level.width);
           slot += 1u << nbits) {
        table[level.start + slot] = entry;
      }
    }
  }
  return nentries;
}

} // namespace

HuffmanStatus huffman_table_build(uint32_t *table, const HuffmanTableSpec &spec, const uint8_t *lens,
                                  uint32_t nsymbols, uint32_t *nentries) {
  uint32_t count[kHuffmanMaxCodeLen + 1] = {};
  for (uint32_t s = 0; s < nsymbols; ++s) {
    ++count[lens[s]];
  }
  // Kraft's sum, in units of the longest permitted code.
  int64_t left = 1;
  uint32_t max_len = 0;
  for (uint32_t len = 1; len <= spec.max_code_len; ++len) {
    left = 2 * left - count[len];
    if (left < 0) {
      *nentries = 0;
      return HuffmanStatus::over_subscribed;
    }
    if (count[len] != 0) {
      max_len = len;
    }
  }
  const bool incomplete = left > 0;
  if (incomplete && max_len > 1 && !spec.accept_incomplete) {
    *nentries = 0;
    return HuffmanStatus::incomplete;
  }
  SortedCodes codes;
  sort_codes(lens, nsymbols, count, max_len, &codes);
  *nentries = lay_out<false>(table, spec, codes, incomplete);
  if (*nentries > spec.capacity) {
    return HuffmanStatus::over_capacity;
  }
  lay_out<true>(table, spec, codes, incomplete);
  return HuffmanStatus::ok;
}

} // namespace cab
