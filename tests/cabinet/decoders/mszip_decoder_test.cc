// mszip_decoder_test.cc - catches wrong framing, block and code-set rules, history and wrap errors, clamping and interface faults.
#include "cabinet/decoders/mszip_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/cabinet/decoders/bit_writer.h"
#include "tests/cabinet/decoders/mszip_harness.h"

namespace {

using cabtest::BitWriter;
using cabtest::Bytes;
using cabtest::CodelenOp;
using cabtest::MszipHarness;

constexpr uint32_t kFull = CAB_BLOCK_MAX_NBYTES;

Bytes str(const std::string &s) { return Bytes(s.begin(), s.end()); }

BitWriter &fixed_text(BitWriter &w, const std::string &text) {
  for (unsigned char c : text) w.fixed_litlen(c);
  return w;
}

// A complete literal/length code using every symbol up to 285: literals 9 bits, 256 and 257
// 5 bits, 258 to 285 6 bits; and a complete distance code over all 30 symbols.
std::vector<uint8_t> full_litlen_lens() {
  std::vector<uint8_t> lens(286, 6);
  std::fill(lens.begin(), lens.begin() + 256, 9);
  lens[256] = lens[257] = 5;
  return lens;
}
std::vector<uint8_t> full_dist_lens() {
  std::vector<uint8_t> lens(30, 5);
  lens[0] = lens[1] = 4;
  return lens;
}

// Writes the symbols of one dynamic block with its own codes.
class DynamicCoder {
 public:
  DynamicCoder(BitWriter &w, std::vector<uint8_t> litlen, std::vector<uint8_t> dist)
      : w_(w), litlen_(std::move(litlen)), dist_(std::move(dist)), litlen_codes_(cabtest::canonical_codes(litlen_)),
        dist_codes_(cabtest::canonical_codes(dist_)) {}

  DynamicCoder &header(bool final_block) {
    std::vector<uint8_t> all = litlen_;
    all.insert(all.end(), dist_.begin(), dist_.end());
    cabtest::dynamic_header(w_, final_block, static_cast<uint32_t>(litlen_.size()), static_cast<uint32_t>(dist_.size()),
                            cabtest::plain_lengths(all));
    return *this;
  }
  DynamicCoder &symbol(uint32_t s) {
    w_.code(litlen_codes_[s], litlen_[s]);
    return *this;
  }
  DynamicCoder &text(const std::string &t) {
    for (unsigned char c : t) symbol(c);
    return *this;
  }
  DynamicCoder &match(uint32_t len, uint32_t dist) {
    const cabtest::SymbolAndExtra l = cabtest::length_symbol(len);
    const cabtest::SymbolAndExtra d = cabtest::dist_symbol(dist);
    symbol(l.symbol).w_.bits(l.extra, l.nextra).code(dist_codes_[d.symbol], dist_[d.symbol]).bits(d.extra, d.nextra);
    return *this;
  }
  DynamicCoder &end() { return symbol(256); }

 private:
  BitWriter &w_;
  std::vector<uint8_t> litlen_, dist_;
  std::vector<uint32_t> litlen_codes_, dist_codes_;
};

// A dynamic block with the full codes and a raw sequence of code-length symbols.
Bytes dynamic_with_ops(uint32_t nlitlen, uint32_t ndist, const std::vector<CodelenOp> &ops) {
  BitWriter w;
  cabtest::dynamic_header(w, true, nlitlen, ndist, ops);
  return w.mszip();
}

std::vector<CodelenOp> ops_of(const std::vector<uint8_t> &litlen, const std::vector<uint8_t> &dist) {
  std::vector<uint8_t> all = litlen;
  all.insert(all.end(), dist.begin(), dist.end());
  return cabtest::plain_lengths(all);
}

// Literal/length lengths from counts per length, EOB first, then literals.
std::vector<uint8_t> litlen_from_counts(const std::vector<uint32_t> &counts) {
  std::vector<uint8_t> by_length;
  for (uint32_t l = 1; l <= counts.size(); ++l) by_length.insert(by_length.end(), counts[l - 1], l);
  std::vector<uint8_t> lens(by_length.size());
  lens[256] = by_length[0];
  for (uint32_t s = 0, i = 1; s < lens.size(); ++s) {
    if (s != 256) lens[s] = by_length[i++];
  }
  return lens;
}

struct BlockCase {
  std::string name;
  Bytes block;
  uint32_t want;
  int rc;
  Bytes expected;  // checked when rc is DEC_OK
};

std::vector<BlockCase> framing_and_block_cases() {
  std::vector<BlockCase> cases;
  auto add = [&](std::string name, Bytes block, uint32_t want, int rc, Bytes expected = {}) {
    cases.push_back({std::move(name), std::move(block), want, rc, std::move(expected)});
  };
  const Bytes fixed_abc = [] {
    BitWriter w;
    fixed_text(w.header(true, 1), "abc").fixed_litlen(256);
    return w.mszip();
  }();
  add("fixed literals", fixed_abc, kFull, DEC_OK, str("abc"));
  add("empty input", {}, kFull, DEC_DATA_ERROR);
  add("C alone", {'C'}, kFull, DEC_DATA_ERROR);
  Bytes c_then_x = fixed_abc;
  c_then_x[1] = 'X';
  add("C followed by not K", c_then_x, kFull, DEC_DATA_ERROR);
  Bytes k_then_c = fixed_abc;
  std::swap(k_then_c[0], k_then_c[1]);
  add("KC instead of CK", k_then_c, kFull, DEC_DATA_ERROR);
  add("CK and no data", {'C', 'K'}, kFull, DEC_OK, {});
  add("block type 3", BitWriter().header(true, 3).bits(0, 16).mszip(), kFull, DEC_DATA_ERROR);
  add("block type 3 after a good block",
      [] {
        BitWriter w;
        fixed_text(w.header(false, 1), "ab").fixed_litlen(256).header(true, 3).bits(0, 16);
        return w.mszip();
      }(),
      kFull, DEC_DATA_ERROR);
  add("stored LEN 5 NLEN 0xFFFA", BitWriter().stored(true, str("hello"), 5, 0xFFFA).mszip(), kFull, DEC_OK,
      str("hello"));
  add("stored LEN 5 NLEN 0xFFFB", BitWriter().stored(true, str("hello"), 5, 0xFFFB).mszip(), kFull, DEC_DATA_ERROR);
  add("stored LEN 0 NLEN 0", BitWriter().stored(true, {}, 0, 0).mszip(), kFull, DEC_DATA_ERROR);
  add("stored after fixed, realigned",
      [] {
        BitWriter w;
        fixed_text(w.header(false, 1), "x").fixed_litlen(256).stored(true, str("yz"), 2, 0xFFFD);
        return w.mszip();
      }(),
      kFull, DEC_OK, str("xyz"));
  add("fixed matches, distances 1 and 3",
      [] {
        BitWriter w;
        fixed_text(w.header(true, 1), "a");
        cabtest::fixed_match(w, 4, 1);
        fixed_text(w, "bc");
        cabtest::fixed_match(w, 10, 3);
        return w.fixed_litlen(256).mszip();
      }(),
      kFull, DEC_OK, str("aaaaabcabcabcabca"));
  for (uint32_t symbol : {286u, 287u}) {
    BitWriter w;
    fixed_text(w.header(true, 1), "a").fixed_litlen(symbol).bits(0, 16);
    add("fixed literal/length symbol " + std::to_string(symbol), w.mszip(), kFull, DEC_DATA_ERROR);
  }
  for (uint32_t symbol : {30u, 31u}) {
    BitWriter w;
    fixed_text(w.header(true, 1), "a").fixed_litlen(257).fixed_dist(symbol).bits(0, 16);
    add("fixed distance symbol " + std::to_string(symbol), w.mszip(), kFull, DEC_DATA_ERROR);
  }
  // Endings: a final block ends the call; so does running out of input, read as zero bits.
  add("garbage after the final block",
      [] {
        BitWriter w;
        fixed_text(w.header(true, 1), "a").fixed_litlen(256).bits(0xFFFFFF, 24);
        return w.mszip();
      }(),
      kFull, DEC_OK, str("a"));
  add("non-final block ending with the input",
      [] {
        BitWriter w;
        fixed_text(w.header(false, 1), "ab").fixed_litlen(256);
        return w.mszip();
      }(),
      kFull, DEC_OK, str("ab"));
  add("fixed block cut before its end code (zero bits end it)",
      [] {
        BitWriter w;
        fixed_text(w.header(false, 1), "ab");
        return w.mszip();
      }(),
      kFull, DEC_OK, str("ab"));
  add("stored block longer than its input (zeros follow)",
      [] {
        BitWriter w;
        w.stored(true, str("abcd"), 10, 0xFFF5);
        return w.mszip();
      }(),
      kFull, DEC_OK, Bytes{'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0});
  {
    Bytes expected = str("abc");
    expected.resize(kFull, 0);
    add("non-final stored block cut short fills to 32768",
        BitWriter().stored(false, str("abc"), 0xFFFF, 0).mszip(), kFull, DEC_OK, expected);
  }
  {
    // Zero bits decode to the all-zero code: literal 'z' here (its only 1-bit code).
    std::vector<uint8_t> litlen(257, 0);
    litlen['z'] = 1;
    litlen[256] = 1;
    BitWriter w;
    DynamicCoder(w, litlen, {0}).header(false).text("zz");
    add("dynamic block cut short decodes zeros up to the size asked", w.mszip(), 1000, DEC_OK, Bytes(1000, 'z'));
  }
  // Clamping: output stops at the size asked, even inside a literal run or a match.
  add("clamp inside literals", fixed_abc, 2, DEC_OK, str("ab"));
  add("clamp to nothing", fixed_abc, 0, DEC_OK, {});
  add("clamp inside a match",
      [] {
        BitWriter w;
        fixed_text(w.header(true, 1), "abc");
        cabtest::fixed_match(w, 100, 3);
        return w.fixed_litlen(256).mszip();
      }(),
      8, DEC_OK, str("abcabcab"));
  add("clamp inside a stored block", BitWriter().stored(true, str("hello"), 5, 0xFFFA).mszip(), 3, DEC_OK,
      str("hel"));
  return cases;
}

std::vector<BlockCase> dynamic_header_cases() {
  std::vector<BlockCase> cases;
  auto add = [&](std::string name, Bytes block, int rc, Bytes expected = {}) {
    cases.push_back({std::move(name), std::move(block), kFull, rc, std::move(expected)});
  };
  const std::vector<uint8_t> litlen = full_litlen_lens();
  const std::vector<uint8_t> dist = full_dist_lens();
  {
    BitWriter w;
    DynamicCoder(w, litlen, dist).header(true).text("abcd").match(5, 4).match(258, 1).end();
    Bytes expected = str("abcdabcda");
    expected.resize(expected.size() + 258, 'a');
    add("HLIT 286 and HDIST 30 with every code used", w.mszip(), DEC_OK, expected);
  }
  std::vector<uint8_t> litlen287 = litlen;
  litlen287.push_back(0);
  add("HLIT 287", dynamic_with_ops(287, 30, ops_of(litlen287, dist)), DEC_DATA_ERROR);
  litlen287.push_back(0);
  add("HLIT 288", dynamic_with_ops(288, 30, ops_of(litlen287, dist)), DEC_DATA_ERROR);
  std::vector<uint8_t> dist31 = dist;
  dist31.push_back(0);
  add("HDIST 31", dynamic_with_ops(286, 31, ops_of(litlen, dist31)), DEC_DATA_ERROR);
  dist31.push_back(0);
  add("HDIST 32", dynamic_with_ops(286, 32, ops_of(litlen, dist31)), DEC_DATA_ERROR);
  {
    BitWriter w;
    DynamicCoder(w, litlen, {1}).header(true).text("xy").match(6, 1).end();
    add("distance code of one length-1 code", w.mszip(), DEC_OK, str("xyyyyyyy"));
  }
  {
    BitWriter w;
    DynamicCoder(w, litlen, {1}).header(true).text("xy").symbol(257);
    w.code(1, 1).bits(0, 16);
    add("the unused code of a one-code distance code", w.mszip(), DEC_DATA_ERROR);
  }
  {
    BitWriter w;
    DynamicCoder(w, litlen, {0}).header(true).text("lit").end();
    add("empty distance code, literals only", w.mszip(), DEC_OK, str("lit"));
  }
  {
    BitWriter w;
    DynamicCoder(w, litlen, {0}).header(true).text("lit").symbol(257);
    w.bits(0, 16);
    add("empty distance code, a match", w.mszip(), DEC_DATA_ERROR);
  }
  {
    std::vector<uint8_t> eob_only(257, 0);
    eob_only[256] = 1;
    BitWriter w;
    DynamicCoder(w, eob_only, {0}).header(true).end();
    add("literal/length code of one length-1 code", w.mszip(), DEC_OK, {});
  }
  add("over-subscribed literal/length code", dynamic_with_ops(257, 1, ops_of({1, 1, 1}, {1})), DEC_DATA_ERROR);
  {
    std::vector<uint8_t> lens(257, 0);
    lens[0] = 1;
    lens[256] = 2;
    add("incomplete literal/length code", dynamic_with_ops(257, 1, ops_of(lens, {1})), DEC_DATA_ERROR);
  }
  {
    std::vector<uint8_t> two(2, 0);
    two[0] = 1;
    two[1] = 2;
    add("incomplete distance code", dynamic_with_ops(286, 2, ops_of(litlen, two)), DEC_DATA_ERROR);
  }
  // Repeats: 16 repeats the previous length 3-6 times, 17 and 18 give zeros; none may run past the end.
  {
    std::vector<CodelenOp> ops = ops_of(litlen, dist);
    ops.insert(ops.begin(), {16, 0});
    add("repeat 16 with no previous length", dynamic_with_ops(286, 30, ops), DEC_DATA_ERROR);
  }
  {
    // Literal/length code ending in two 5s; the distance code starts with 5s. One 16 makes
    // symbol 285 and the first five distance lengths.
    std::vector<uint8_t> ll = full_litlen_lens();
    std::swap(ll[256], ll[284]);
    std::swap(ll[257], ll[285]);
    std::vector<uint8_t> dd = full_dist_lens();
    std::swap(dd[0], dd[28]);
    std::swap(dd[1], dd[29]);
    std::vector<CodelenOp> ops = cabtest::plain_lengths(std::vector<uint8_t>(ll.begin(), ll.begin() + 285));
    ops.push_back({16, 3});
    const std::vector<CodelenOp> rest = cabtest::plain_lengths(std::vector<uint8_t>(dd.begin() + 5, dd.end()));
    ops.insert(ops.end(), rest.begin(), rest.end());
    BitWriter w;
    cabtest::dynamic_header(w, true, 286, 30, ops);
    DynamicCoder(w, ll, dd).text("ab").match(3, 2).match(3, 29).end();
    add("repeat 16 across the literal/distance boundary", w.mszip(), DEC_OK, Bytes{'a', 'b', 'a', 'b', 'a', 0, 0, 0});
  }
  {
    // 257 literal/length and 2 distance lengths: 'q' and 256 of 1 bit, distances 1 and 1.
    std::vector<uint8_t> lits(257, 0);
    lits['q'] = 1;
    lits[256] = 1;
    std::vector<CodelenOp> ops = {{18, 'q' - 11}, {1, 0}, {18, 138 - 11}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {1, 0}};
    ops.push_back({16, 0});  // three 1s where two places are left
    add("repeat 16 past the end", dynamic_with_ops(257, 2, ops), DEC_DATA_ERROR);
    ops.back() = {1, 0};
    ops.push_back({1, 0});
    BitWriter w;
    cabtest::dynamic_header(w, true, 257, 2, ops);
    DynamicCoder(w, lits, {1, 1}).symbol('q').symbol('q').end();
    add("zero runs and lengths ending exactly at HLIT+HDIST", w.mszip(), DEC_OK, str("qq"));
  }
  {
    std::vector<CodelenOp> ops = ops_of(litlen, {});
    ops.push_back({17, 7});   // 10 zeros of 30 distance lengths
    ops.push_back({18, 10});  // 21 zeros where 20 are left
    add("repeat 18 past the end", dynamic_with_ops(286, 30, ops), DEC_DATA_ERROR);
    ops.back() = {17, 7};  // 20 zeros
    ops.insert(ops.end(), {{0, 0}, {0, 0}, {0, 0}, {17, 7}});  // 23, then 10 more where 7 are left
    add("repeat 17 past the end", dynamic_with_ops(286, 30, ops), DEC_DATA_ERROR);
  }
  // The code-length code itself obeys the same rules.
  {
    std::vector<uint8_t> cl(19, 0);
    cl[1] = cl[2] = cl[3] = 1;
    add("over-subscribed code-length code", [&] {
      BitWriter w;
      return cabtest::dynamic_header(w, true, 257, 1, {}, cl).mszip();
    }(), DEC_DATA_ERROR);
    cl[3] = 0;
    cl[2] = 2;
    add("incomplete code-length code", [&] {
      BitWriter w;
      return cabtest::dynamic_header(w, true, 257, 1, {}, cl).mszip();
    }(), DEC_DATA_ERROR);
    add("empty code-length code", [&] {
      BitWriter w;
      return cabtest::dynamic_header(w, true, 257, 1, {}, std::vector<uint8_t>(19, 0), 4).bits(0, 16).mszip();
    }(), DEC_DATA_ERROR);
  }
  // Table capacities: 800 literal/length entries, 150 distance entries.
  {
    const std::vector<uint8_t> worst = litlen_from_counts({1, 1, 1, 0, 0, 0, 0, 0, 0, 117, 1, 17, 17, 1, 130});
    add("literal/length code needing 852 entries", dynamic_with_ops(286, 30, ops_of(worst, dist)), DEC_DATA_ERROR);
    // Distance lengths from counts per length, symbol 0 shortest.
    auto dist_lens = [](const std::vector<uint32_t> &counts) {
      std::vector<uint8_t> lens;
      for (uint32_t l = 1; l <= counts.size(); ++l) lens.insert(lens.end(), counts[l - 1], static_cast<uint8_t>(l));
      return lens;
    };
    auto block_with = [&](const std::vector<uint8_t> &d) {
      BitWriter w;
      DynamicCoder(w, litlen, d).header(true).text("ab").match(3, 1).end();
      return w.mszip();
    };
    add("distance code needing 150 entries", block_with(dist_lens({0, 0, 7, 1, 0, 0, 5, 5, 1, 1, 0, 0, 7, 1, 2})),
        DEC_OK, str("abbbb"));
    add("distance code needing 154 entries", block_with(dist_lens({1, 1, 1, 0, 0, 0, 13, 5, 1, 1, 1, 0, 3, 1, 2})),
        DEC_DATA_ERROR);
  }
  return cases;
}

void run_cases(const std::vector<BlockCase> &cases) {
  for (const BlockCase &c : cases) {
    MszipHarness harness;
    const cabtest::DecodeResult result = harness.decode(c.block, c.want);
    EXPECT_EQ(result.rc, c.rc) << c.name;
    if (c.rc == DEC_OK && result.rc == DEC_OK) {
      EXPECT_EQ(harness.output(result), c.expected) << c.name;
    }
  }
}

TEST(MszipDecoder, FramingBlocksEndingsAndClamps) { run_cases(framing_and_block_cases()); }

TEST(MszipDecoder, DynamicHeadersAndCodeSets) { run_cases(dynamic_header_cases()); }

/*
 * History: the second block of a folder reaches into the first block's output at the end of
 * the buffer. The model copies byte by byte from (position - distance) modulo 32768, which is
 * the format's meaning; the whole buffer is compared, so a write past the position shows.
 */
struct Op {
  uint32_t len;   // 0: a literal
  uint32_t dist;  // or the literal byte
};

void apply_model(Bytes &buffer, uint32_t &at, const Op &op) {
  if (op.len == 0) {
    buffer[at++] = static_cast<uint8_t>(op.dist);
    return;
  }
  for (uint32_t i = 0; i < op.len; ++i, ++at) buffer[at] = buffer[(at + kFull - op.dist) % kFull];
}

struct HistoryCase {
  std::string name;
  std::vector<Op> ops;
};

std::vector<HistoryCase> history_cases() {
  std::vector<HistoryCase> cases = {
      {"distance 100 as the first symbol", {{10, 100}}},
      {"distance 32768 at offset 0", {{5, 32768}}},
      {"distance 32768 after a literal", {{0, 'L'}, {258, 32768}}},
      {"wrap across offset 32767", {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {0, 8}, {0, 9}, {0, 10},
                                    {20, 15}}},
      {"source ending exactly at offset 32767", {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {5, 10}}},
      {"wrap with a short distance", {{0, 1}, {0, 2}, {200, 5}}},
      {"reads ahead of the position still see the first block",
       {{0, 'x'}, {258, 1}, {258, 32768 - 300}, {100, 9}, {258, 32768 - 10}, {50, 8}, {3, 32768}}},
  };
  // Every short distance and word-copy boundary, in block.
  HistoryCase sweep{"distances 1-20 with lengths 3-20", {}};
  for (uint32_t c = 0; c < 32; ++c) sweep.ops.push_back({0, 'a' + c % 26});
  for (uint32_t dist = 1; dist <= 20; ++dist) {
    for (uint32_t len = 3; len <= 20; ++len) sweep.ops.push_back({len, dist});
  }
  cases.push_back(sweep);
  std::mt19937 rng(11);
  for (int round = 0; round < 8; ++round) {
    HistoryCase random{"random ops " + std::to_string(round), {}};
    uint32_t at = 0;
    while (at < 30000) {
      const uint32_t kind = rng() % 4;
      if (kind == 0) {
        random.ops.push_back({0, static_cast<uint32_t>(rng() % 256)});
        ++at;
      } else {
        const uint32_t len = 3 + rng() % 256;
        const uint32_t dist = kind == 1 ? 1 + rng() % 16 : kind == 2 ? 1 + rng() % 2000 : 1 + rng() % kFull;
        random.ops.push_back({len, dist});
        at += len;
      }
    }
    cases.push_back(random);
  }
  return cases;
}

TEST(MszipDecoder, SecondBlockReachesIntoTheFirst) {
  for (const HistoryCase &c : history_cases()) {
    MszipHarness harness;
    // First block: 32768 bytes that do not repeat within short spans.
    Bytes first(kFull);
    for (uint32_t i = 0; i < kFull; ++i) first[i] = static_cast<uint8_t>(i * 7 + i / 251);
    ASSERT_EQ(harness.decode(BitWriter().stored(true, first, kFull, 0xFFFF ^ kFull).mszip()).rc, DEC_OK);

    BitWriter w;
    w.header(true, 1);
    Bytes expected = first;
    uint32_t at = 0;
    for (const Op &op : c.ops) {
      if (op.len == 0) {
        w.fixed_litlen(op.dist);
      } else {
        cabtest::fixed_match(w, op.len, op.dist);
      }
      apply_model(expected, at, op);
    }
    w.fixed_litlen(256);
    const cabtest::DecodeResult result = harness.decode(w.mszip());
    ASSERT_EQ(result.rc, DEC_OK) << c.name;
    EXPECT_EQ(result.nbytes, at) << c.name;
    EXPECT_TRUE(harness.buffer() == expected) << c.name;
  }
}

// Interface: sizes, tags, arguments and allocation, through the function table.
int g_allocs = 0;
int g_fail_alloc = 0;
void *counting_alloc(uint32_t nbytes) {
  ++g_allocs;
  return g_fail_alloc != 0 ? nullptr : std::malloc(nbytes);
}
void *g_freed = nullptr;
void keeping_free(void *memory) { g_freed = memory; }  // the test frees it after looking at it

const CabOps kCountingOps = {counting_alloc, keeping_free, nullptr, nullptr, nullptr, nullptr, nullptr};

TEST(MszipDecoder, SizeQueryReportsAndAllocatesNothing) {
  struct SizeCase {
    uint32_t max_in, max_out, capacity;
  };
  for (const SizeCase &c : {SizeCase{0, 32768, 32780}, SizeCase{40000, 32768, 32780}, SizeCase{32768, 32768, 32780},
                            SizeCase{1000, 1000, 1012}}) {
    g_allocs = 0;
    uint32_t max_nbytes = c.max_in;
    uint32_t capacity = 0;
    EXPECT_EQ(cab_mszip_decoder.create(&max_nbytes, 0, &kCountingOps, &capacity, nullptr), DEC_OK);
    EXPECT_EQ(max_nbytes, c.max_out) << c.max_in;
    EXPECT_EQ(capacity, c.capacity) << c.max_in;
    EXPECT_EQ(g_allocs, 0);
  }
}

TEST(MszipDecoder, CreateFailsCleanlyWithoutMemory) {
  g_fail_alloc = 1;
  uint32_t max_nbytes = 0, capacity = 0;
  void *handle = nullptr;
  EXPECT_EQ(cab_mszip_decoder.create(&max_nbytes, 0, &kCountingOps, &capacity, &handle), DEC_NO_MEMORY);
  EXPECT_EQ(handle, nullptr);
  g_fail_alloc = 0;
}

TEST(MszipDecoder, TagIsCheckedAndClearedOnDestroy) {
  uint32_t max_nbytes = 0, capacity = 0;
  void *handle = nullptr;
  ASSERT_EQ(cab_mszip_decoder.create(&max_nbytes, 0, &kCountingOps, &capacity, &handle), DEC_OK);
  EXPECT_EQ(*static_cast<uint32_t *>(handle), uint32_t{DEC_TAG_MSZIP});
  EXPECT_EQ(cab_mszip_decoder.reset(handle), DEC_OK);

  uint32_t wrong_tag[64] = {DEC_TAG_LZX};
  Bytes out(kFull);
  uint32_t n = kFull;
  const uint8_t ck[] = {'C', 'K'};
  EXPECT_EQ(cab_mszip_decoder.decode(wrong_tag, ck, 2, out.data(), &n), DEC_BAD_CONTEXT);
  EXPECT_EQ(cab_mszip_decoder.reset(wrong_tag), DEC_BAD_CONTEXT);
  EXPECT_EQ(cab_mszip_decoder.destroy(wrong_tag), DEC_BAD_CONTEXT);
  EXPECT_EQ(cab_mszip_decoder.decode(nullptr, ck, 2, out.data(), &n), DEC_BAD_CONTEXT);

  g_freed = nullptr;
  EXPECT_EQ(cab_mszip_decoder.destroy(handle), DEC_OK);
  EXPECT_EQ(g_freed, handle);
  EXPECT_EQ(*static_cast<uint32_t *>(handle), 0u);
  EXPECT_EQ(cab_mszip_decoder.decode(handle, ck, 2, out.data(), &n), DEC_BAD_CONTEXT);
  std::free(handle);
}

TEST(MszipDecoder, CompressedLengthLimit) {
  // A stored block of 32768 bytes padded after its end to the exact length.
  Bytes block = BitWriter().stored(true, Bytes(kFull, 0x5A), kFull, 0xFFFF ^ kFull).mszip();
  block.resize(32780, 0xEE);
  MszipHarness harness;
  const cabtest::DecodeResult at_limit = harness.decode(block);
  EXPECT_EQ(at_limit.rc, DEC_OK);
  EXPECT_EQ(at_limit.nbytes, kFull);
  block.push_back(0);
  EXPECT_EQ(harness.decode(block).rc, DEC_BAD_ARGUMENT);
}

TEST(MszipDecoder, SmallerMaximumClampsAndLimits) {
  uint32_t max_nbytes = 1000, capacity = 0;
  void *handle = nullptr;
  ASSERT_EQ(cab_mszip_decoder.create(&max_nbytes, 0, &cabtest::kMallocOps, &capacity, &handle), DEC_OK);
  Bytes out(kFull, 0xCC);
  const Bytes block = BitWriter().stored(true, Bytes(2000, 7), 2000, 0xFFFF ^ 2000).mszip();
  uint32_t n = kFull;
  EXPECT_EQ(cab_mszip_decoder.decode(handle, block.data(), 1012, out.data(), &n), DEC_OK);
  EXPECT_EQ(n, 1000u);
  EXPECT_EQ(out[999], 7);
  EXPECT_EQ(out[1000], 0xCC);
  n = kFull;
  EXPECT_EQ(cab_mszip_decoder.decode(handle, block.data(), 1013, out.data(), &n), DEC_BAD_ARGUMENT);
  EXPECT_EQ(cab_mszip_decoder.destroy(handle), DEC_OK);
}

} // namespace
