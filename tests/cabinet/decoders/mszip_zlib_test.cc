// mszip_zlib_test.cc - catches wrong output on zlib-made streams, rejection of ordinary streams and unclean truncation.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "tests/cabinet/decoders/mszip_harness.h"
#include "tests/cabinet/support/sample_data.h"
#include "tests/cabinet/support/cab_writer.h"

namespace {

using cabtest::Bytes;
using cabtest::DataKind;
using cabtest::MszipHarness;
using cabtest::Block;

struct ZlibSettings {
  int level;
  int strategy;
};

struct NamedSettings {
  const char *name;
  ZlibSettings settings;
};

std::vector<Block> zlib_blocks(const Bytes &data, ZlibSettings settings) {
  return cabtest::mszip_compress(data, settings.level, settings.strategy);
}

const NamedSettings kSettings[] = {
    {"level 1", {1, Z_DEFAULT_STRATEGY}},  {"level 6", {6, Z_DEFAULT_STRATEGY}},
    {"level 9", {9, Z_DEFAULT_STRATEGY}},  {"fixed codes", {6, Z_FIXED}},
    {"huffman only", {6, Z_HUFFMAN_ONLY}}, {"run lengths", {6, Z_RLE}},
    {"filtered", {9, Z_FILTERED}},         {"stored", {0, Z_DEFAULT_STRATEGY}},
};

const DataKind kKinds[] = {DataKind::text, DataKind::random, DataKind::runs, DataKind::records};

// Decodes the blocks in order through one buffer; returns how many blocks failed or differed.
int decode_all(const Bytes &data, const std::vector<Block> &blocks, const std::string &what) {
  MszipHarness harness;
  int bad = 0;
  for (size_t i = 0; i < blocks.size(); ++i) {
    const size_t start = i * cabtest::kBlockNbytes;
    const uint32_t n = static_cast<uint32_t>(std::min(cabtest::kBlockNbytes, data.size() - start));
    const cabtest::DecodeResult result = harness.decode(blocks[i].compressed);
    if (result.rc != DEC_OK || result.nbytes != n ||
        !std::equal(data.begin() + start, data.begin() + start + n, harness.buffer().begin())) {
      ADD_FAILURE() << what << ": block " << i << " rc " << result.rc << " produced " << result.nbytes << " of " << n;
      ++bad;
    }
  }
  return bad;
}

TEST(MszipZlib, RoundTripsEveryKindAndStrategy) {
  for (DataKind kind : kKinds) {
    // Seven whole blocks and a short last one.
    const Bytes data = cabtest::sample_data(kind, 7 * 32768 + 1234, 3);
    for (const NamedSettings &s : kSettings) {
      const std::string what = std::string(cabtest::data_kind_name(kind)) + ", " + s.name;
      EXPECT_EQ(decode_all(data, zlib_blocks(data, s.settings), what), 0) << what;
    }
  }
}

// Mixtures of the kinds in one block, so matches and codes change inside a block.
TEST(MszipZlib, RoundTripsMixedData) {
  Bytes data;
  for (uint32_t seed = 0; seed < 24; ++seed) {
    const Bytes part = cabtest::sample_data(kKinds[seed % 4], 1000 + seed * 997, seed);
    data.insert(data.end(), part.begin(), part.end());
  }
  for (int level = 1; level <= 9; level += 4) {
    EXPECT_EQ(decode_all(data, zlib_blocks(data, {level, Z_DEFAULT_STRATEGY}), "mixed"), 0);
  }
}

// The table capacities may only reject codes that need more entries than exist; zlib's
// ordinary streams never do. Every level on every ordinary kind must decode.
TEST(MszipZlib, CapacityRuleRejectsNoOrdinaryStream) {
  int rejected = 0;
  int streams = 0;
  for (DataKind kind : kKinds) {
    for (uint32_t seed = 0; seed < 3; ++seed) {
      const Bytes data = cabtest::sample_data(kind, 4 * 32768, 100 + seed);
      for (int level = 1; level <= 9; ++level) {
        const std::vector<Block> blocks = zlib_blocks(data, {level, Z_DEFAULT_STRATEGY});
        streams += static_cast<int>(blocks.size());
        rejected += decode_all(data, blocks, std::string(cabtest::data_kind_name(kind)) + " level " +
                                                 std::to_string(level));
      }
    }
  }
  EXPECT_EQ(rejected, 0) << "of " << streams << " zlib streams";
}

// Cutting a block anywhere gives a clean answer: data error, or success with at most the
// size asked (the missing bits read as zeros); never a read outside the block (ASan).
TEST(MszipZlib, EveryTruncationEndsCleanly) {
  const Bytes data = cabtest::sample_data(DataKind::text, 6000, 9);
  for (const NamedSettings &s : {kSettings[1], kSettings[3], kSettings[7]}) {
    const Bytes block = zlib_blocks(data, s.settings)[0].compressed;
    MszipHarness harness;
    for (size_t cut = 0; cut < block.size(); ++cut) {
      const cabtest::DecodeResult result = harness.decode(Bytes(block.begin(), block.begin() + cut), 6000);
      ASSERT_TRUE(result.rc == DEC_OK || result.rc == DEC_DATA_ERROR) << s.name << " cut " << cut;
      if (result.rc == DEC_OK) {
        ASSERT_LE(result.nbytes, 6000u) << s.name << " cut " << cut;
      }
    }
    const cabtest::DecodeResult whole = harness.decode(block, 6000);
    EXPECT_EQ(whole.rc, DEC_OK);
    EXPECT_EQ(harness.output(whole), data) << s.name;
  }
}

} // namespace
