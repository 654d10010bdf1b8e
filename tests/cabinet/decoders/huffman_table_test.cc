// huffman_table_test.cc - catches wrong acceptance of code sets, wrong lookups across levels and in either bit order, and wrong entry counts.
#include "cabinet/decoders/huffman_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/cabinet/decoders/bit_writer.h"

namespace {

using cab::BitOrder;
using cab::HuffmanStatus;
using cab::HuffmanTableSpec;

constexpr uint32_t kUnused = 0x7000;  // all three caller flags: no symbol's result looks like it

// Result word of symbol s: the symbol as value.
std::vector<uint32_t> symbol_results(size_t nsymbols) {
  std::vector<uint32_t> results(nsymbols);
  for (uint32_t s = 0; s < nsymbols; ++s) results[s] = s << 16;
  return results;
}

// Lengths from counts per length (counts[l - 1] codes of length l), symbols in order.
std::vector<uint8_t> lens_from_counts(const std::vector<uint32_t> &counts) {
  std::vector<uint8_t> lens;
  for (uint32_t l = 1; l <= counts.size(); ++l) lens.insert(lens.end(), counts[l - 1], static_cast<uint8_t>(l));
  return lens;
}

// Counts per length (counts[l - 1] codes of length l) as the layout rule takes them.
uint32_t layout_nentries(const std::vector<uint32_t> &counts, uint32_t root_bits) {
  std::vector<uint32_t> count = {0};
  count.insert(count.end(), counts.begin(), counts.end());
  return cab::huffman_layout_nentries(count.data(), static_cast<uint32_t>(counts.size()), root_bits);
}

struct Built {
  HuffmanStatus status;
  std::vector<uint32_t> table;
};

struct Limit {
  uint32_t root_bits = 0;
  uint32_t nentries = 0;
};

Built build(const std::vector<uint8_t> &lens, uint32_t root_bits, uint32_t capacity, bool accept_incomplete = false,
            Limit limit = {}, BitOrder order = BitOrder::lsb_first) {
  const std::vector<uint32_t> results = symbol_results(lens.size());
  Built built{HuffmanStatus::ok, std::vector<uint32_t>(capacity)};
  const HuffmanTableSpec spec = {order,          root_bits, capacity,        16,            accept_incomplete,
                                 results.data(), kUnused,   limit.root_bits, limit.nentries};
  built.status = cab::huffman_table_build(built.table.data(), spec, lens.data(), static_cast<uint32_t>(lens.size()));
  return built;
}

/*
 * Walks the table as a decoder does over the code `code` of `len` bits followed by `trailing`
 * bits: returns the final entry and adds the bits it consumed to `*nbits`. Least significant
 * first, the code's first bit is bit 0 of the input; most significant first, it is the top bit.
 */
uint32_t look_up(const std::vector<uint32_t> &table, uint32_t root_bits, BitOrder order, uint32_t code, uint32_t len,
                 uint64_t trailing, uint32_t *nbits) {
  const bool lsb = order == BitOrder::lsb_first;
  uint64_t bits = 0;
  for (uint32_t i = 0; i < len; ++i) {
    const uint64_t bit = (code >> (len - 1 - i)) & 1;
    bits |= lsb ? bit << i : bit << (63 - i);
  }
  bits |= lsb ? trailing << len : trailing >> len;
  const auto peek = [&](uint32_t n) {
    return static_cast<uint32_t>(lsb ? bits & ((uint64_t{1} << n) - 1) : bits >> (64 - n));
  };
  uint32_t entry = table[peek(root_bits)];
  if (entry & cab::kHuffmanSubtable) {
    const uint32_t consumed = entry & cab::kHuffmanNbitsMask;
    bits = lsb ? bits >> consumed : bits << consumed;
    *nbits += consumed;
    entry = table[(entry >> 16) + peek(cab::huffman_level_len(entry))];
  }
  *nbits += entry & cab::kHuffmanNbitsMask;
  return entry;
}

struct StatusCase {
  const char *name;
  std::vector<uint8_t> lens;
  uint32_t root_bits;
  uint32_t capacity;
  bool accept_incomplete;
  HuffmanStatus status;
  Limit limit = {};
};

TEST(HuffmanTable, AcceptsAndRejectsCodeSets) {
  const std::vector<uint8_t> worst_dist = lens_from_counts({1, 1, 1, 0, 0, 0, 13, 5, 1, 1, 1, 0, 3, 1, 2});
  const StatusCase cases[] = {
      {"two codes of length 1", {1, 1}, 6, 150, false, HuffmanStatus::ok},
      {"three codes of length 1", {1, 1, 1}, 6, 150, false, HuffmanStatus::over_subscribed},
      {"over-subscribed at depth 3", {1, 2, 3, 3, 3}, 6, 150, false, HuffmanStatus::over_subscribed},
      {"over-subscribed by one 15-bit code", lens_from_counts({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 3}), 8, 736,
       false, HuffmanStatus::over_subscribed},
      {"incomplete by one 15-bit code", lens_from_counts({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}), 8, 736,
       false, HuffmanStatus::incomplete},
      {"one code of length 1", {0, 1, 0}, 6, 150, false, HuffmanStatus::ok},
      {"one code of length 2", {0, 2}, 6, 150, false, HuffmanStatus::incomplete},
      {"lengths 1 and 2", {1, 2}, 6, 150, false, HuffmanStatus::incomplete},
      {"no codes at all", {0, 0, 0, 0}, 6, 150, false, HuffmanStatus::ok},
      {"incomplete, taken when asked", std::vector<uint8_t>(30, 5), 5, 32, true, HuffmanStatus::ok},
      {"incomplete, refused otherwise", std::vector<uint8_t>(30, 5), 5, 32, false, HuffmanStatus::incomplete},
      {"worst distance code within a limit of 154 entries at root 6", worst_dist, 8, 736, false, HuffmanStatus::ok,
       {6, 154}},
      {"worst distance code over a limit of 153 entries at root 6", worst_dist, 8, 736, false,
       HuffmanStatus::over_capacity, {6, 153}},
      {"root level alone over capacity", {1, 1}, 9, 511, false, HuffmanStatus::over_capacity},
      {"sub-tables over capacity", worst_dist, 6, 64 + 511, false, HuffmanStatus::over_capacity},
  };
  for (const StatusCase &c : cases) {
    EXPECT_EQ(build(c.lens, c.root_bits, c.capacity, c.accept_incomplete, c.limit).status, c.status) << c.name;
  }
}

// Every symbol of random complete codes decodes to itself with its own length, whatever follows
// it, in either bit order and with sub-tables narrower or wider than the root.
TEST(HuffmanTable, LooksUpEverySymbolAcrossLevels) {
  std::mt19937 rng(7);
  for (BitOrder order : {BitOrder::lsb_first, BitOrder::msb_first}) {
    for (uint32_t root_bits : {1u, 5u, 6u, 7u, 9u, 11u}) {
      for (int round = 0; round < 40; ++round) {
        // A random complete code: split random leaves until there are enough of them.
        const uint32_t nsymbols = 2 + rng() % 200;
        std::vector<uint8_t> leaves = {0};
        while (leaves.size() < nsymbols) {
          const size_t i = rng() % leaves.size();
          if (leaves[i] == 16) continue;
          ++leaves[i];
          leaves.push_back(leaves[i]);
        }
        std::shuffle(leaves.begin(), leaves.end(), rng);
        const Built built =
            build(leaves, root_bits, cab::huffman_capacity(nsymbols, root_bits, 16), false, {}, order);
        ASSERT_EQ(built.status, HuffmanStatus::ok);
        const std::vector<uint32_t> codes = cabtest::canonical_codes(leaves);
        for (uint32_t s = 0; s < nsymbols; ++s) {
          uint32_t nbits = 0;
          const uint32_t entry =
              look_up(built.table, root_bits, order, codes[s], leaves[s], uint64_t{rng()} << 32 | rng(), &nbits);
          ASSERT_EQ(entry >> 16, s) << "root " << root_bits << " round " << round;
          ASSERT_EQ(nbits, leaves[s]) << "root " << root_bits << " symbol " << s;
        }
      }
    }
  }
}

// The caller's extra-bit count rides in bits 0..7 of its result and the code length at the
// entry's level in bits 8..11, so one shift drops both and the extra bits stay readable.
TEST(HuffmanTable, ResultsCarryCodeLengthAndExtraBits) {
  const std::vector<uint8_t> lens = lens_from_counts({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2});
  std::vector<uint32_t> results = symbol_results(lens.size());
  for (uint32_t s = 0; s < results.size(); ++s) results[s] |= s % 6;  // s % 6 extra bits
  std::vector<uint32_t> table(1024);
  const HuffmanTableSpec spec = {BitOrder::lsb_first, 8, 1024, 16, false, results.data(), kUnused, 0, 0};
  ASSERT_EQ(cab::huffman_table_build(table.data(), spec, lens.data(), static_cast<uint32_t>(lens.size())),
            HuffmanStatus::ok);
  const std::vector<uint32_t> codes = cabtest::canonical_codes(lens);
  for (uint32_t s = 0; s < lens.size(); ++s) {
    uint32_t nbits = 0;
    const uint32_t entry = look_up(table, 8, BitOrder::lsb_first, codes[s], lens[s], 0, &nbits);
    const uint32_t level_len = lens[s] > 8 ? lens[s] - 8u : lens[s];
    EXPECT_EQ(entry >> 16, s);
    EXPECT_EQ(cab::huffman_level_len(entry), level_len) << s;
    EXPECT_EQ(entry & cab::kHuffmanNbitsMask, level_len + s % 6) << s;
  }
}

TEST(HuffmanTable, UnreachedSlotsHoldTheUnusedEntry) {
  // Fixed distance code: 30 codes of 5 bits; the bit patterns of 30 and 31 reach no symbol.
  const Built fixed = build(std::vector<uint8_t>(30, 5), 5, 32, true);
  ASSERT_EQ(fixed.status, HuffmanStatus::ok);
  for (uint32_t code : {30u, 31u}) {
    uint32_t nbits = 0;
    EXPECT_EQ(look_up(fixed.table, 5, BitOrder::lsb_first, code, 5, 0, &nbits), kUnused) << code;
  }
  for (BitOrder order : {BitOrder::lsb_first, BitOrder::msb_first}) {
    const Built single = build({0, 0, 1}, 6, 150, false, {}, order);
    ASSERT_EQ(single.status, HuffmanStatus::ok);
    uint32_t nbits = 0;
    EXPECT_EQ(look_up(single.table, 6, order, 0, 1, 0, &nbits) >> 16, 2u);
    EXPECT_EQ(look_up(single.table, 6, order, 1, 1, 0, &nbits), kUnused);
    const Built empty = build({0, 0, 0}, 6, 150, false, {}, order);
    ASSERT_EQ(empty.status, HuffmanStatus::ok);
    for (uint32_t i = 0; i < 64; ++i) EXPECT_EQ(empty.table[i], kUnused) << i;
  }
}

struct CountCase {
  const char *name;
  std::vector<uint32_t> counts;  // codes per length, from length 1
  uint32_t root_bits;
  uint32_t nentries;
};

TEST(HuffmanTable, CountsEntriesOfAllLevels) {
  const CountCase cases[] = {
      {"one level", {0, 0, 0, 0, 0, 0, 0, 256}, 9, 512},
      {"one sub-table of width 1", {1, 1, 1, 1, 1, 1, 1, 1, 1, 2}, 9, 512 + 2},
      {"sub-table width set by the longest code under its prefix",
       {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2},
       9,
       512 + 64},
      {"width capped at the root width, then a third level", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2}, 6,
       64 + 64 + 8},
      {"worst literal/length code (286 symbols, root 9)", {1, 1, 1, 0, 0, 0, 0, 0, 0, 117, 1, 17, 17, 1, 130}, 9, 852},
      {"worst distance code (30 symbols, root 6)", {1, 1, 1, 0, 0, 0, 13, 5, 1, 1, 1, 0, 3, 1, 2}, 6, 154},
      {"distance code at the decoder's capacity", {0, 0, 7, 1, 0, 0, 5, 5, 1, 1, 0, 0, 7, 1, 2}, 6, 150},
  };
  for (const CountCase &c : cases) {
    EXPECT_EQ(layout_nentries(c.counts, c.root_bits), c.nentries) << c.name;
  }
}

// Visits every complete code of at most `max_symbols` codes up to 15 bits as counts per length.
template <typename Visit>
void for_each_complete_code(uint32_t max_symbols, Visit visit) {
  std::vector<uint32_t> counts(15);
  auto recurse = [&](auto &self, uint32_t len, uint32_t open, uint32_t used) -> void {
    const uint32_t most = std::min(open, max_symbols - used);
    if (open > max_symbols - used) return;  // every open slot needs a code of its own
    for (uint32_t c = 0; c <= most; ++c) {
      counts[len - 1] = c;
      if (c == open) {
        std::fill(counts.begin() + len, counts.end(), 0);
        visit(counts);
      } else if (len < 15) {
        self(self, len + 1, 2 * (open - c), used + c);
      }
    }
  };
  recurse(recurse, 1, 2, 0);
}

// The largest entry count any distance code needs; the header documents the result.
TEST(HuffmanTable, LargestDistanceTableByExhaustiveSearch) {
  uint32_t largest = 0;
  uint64_t ncodes = 0;
  for_each_complete_code(30, [&](const std::vector<uint32_t> &counts) {
    largest = std::max(largest, layout_nentries(counts, 6));
    ++ncodes;
  });
  EXPECT_EQ(ncodes, 4309772u);
  EXPECT_EQ(largest, 154u);
}

} // namespace
