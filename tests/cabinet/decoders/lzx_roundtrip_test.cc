// lzx_roundtrip_test.cc - catches LZX faults that only whole streams show: errors in any window,
// block kind, block or frame layout, far or repeated offset, or call translation that the
// test-side compressor's output exposes; and crashes or wrong output on cut or damaged frames.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "tests/cabinet/decoders/lzx_harness.h"
#include "tests/cabinet/support/lzx_compressor.h"
#include "tests/cabinet/support/sample_data.h"

namespace cabtest {
namespace {

// Compresses, checks the frames fit the reader's buffer, and decodes with a fresh decoder.
LzxStats round_trip(const Bytes &data, const LzxOptions &options, const std::string &what) {
  const LzxCompressed compressed = lzx_compress(data, options);
  for (const Block &frame : compressed.frames) {
    EXPECT_LE(frame.compressed.size(), 32768u + 6144u) << what;
  }
  LzxHarness harness(options.window_bits);
  const std::optional<Bytes> out = harness.decode_all(compressed.frames);
  EXPECT_TRUE(out.has_value()) << what;
  if (out) {
    EXPECT_TRUE(*out == data) << what << ": output differs";
  }
  return compressed.stats;
}

struct WindowAndKind {
  unsigned window_bits;
  DataKind kind;
};

void PrintTo(const WindowAndKind &c, std::ostream *os) { *os << c.window_bits << "/" << data_kind_name(c.kind); }

class LzxEveryWindow : public testing::TestWithParam<WindowAndKind> {};

TEST_P(LzxEveryWindow, RoundTrips) {
  const auto [bits, kind] = GetParam();
  const Bytes data = sample_data(kind, 150000, bits);
  LzxOptions options;
  options.window_bits = bits;
  round_trip(data, options, data_kind_name(kind));
}

std::vector<WindowAndKind> every_window_and_kind() {
  std::vector<WindowAndKind> cases;
  for (unsigned bits = 15; bits <= 21; ++bits) {
    for (DataKind kind : {DataKind::text, DataKind::random, DataKind::runs, DataKind::records}) {
      cases.push_back({bits, kind});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Windows, LzxEveryWindow, testing::ValuesIn(every_window_and_kind()),
                         [](const testing::TestParamInfo<WindowAndKind> &info) {
                           // Appended: g++ 12 at -O3 warns falsely (restrict) on "w" + std::to_string(...).
                           return std::string("w").append(std::to_string(info.param.window_bits)).append("_") +
                                  data_kind_name(info.param.kind);
                         });

// Block and frame layouts, each checked to produce what it is meant to.
struct BlockLayout {
  const char *name;
  LzxOptions options;
  std::function<void(const LzxStats &)> check;
};

LzxOptions with(std::vector<LzxBlockPlan> blocks, LzxBlockKind default_kind, uint32_t default_nbytes,
                uint32_t frame_nbytes = 32768) {
  LzxOptions options;
  options.window_bits = 16;
  options.blocks = std::move(blocks);
  options.default_kind = default_kind;
  options.default_block_nbytes = default_nbytes;
  options.frame_nbytes = frame_nbytes;
  return options;
}

const LzxBlockKind kV = LzxBlockKind::verbatim, kA = LzxBlockKind::aligned, kU = LzxBlockKind::uncompressed;

const BlockLayout kLayouts[] = {
    {"many_verbatim_blocks_per_frame", with({}, kV, 3000),
     [](const LzxStats &s) {
       EXPECT_GT(s.frames_with_several_headers, 0u);
       EXPECT_EQ(s.blocks[2] + s.blocks[3], 0u);
     }},
    {"aligned_blocks", with({}, kA, 20000), [](const LzxStats &s) { EXPECT_EQ(s.blocks[1] + s.blocks[3], 0u); }},
    {"one_block_over_every_frame", with({}, kV, (1u << 24) - 1),
     [](const LzxStats &s) {
       EXPECT_EQ(s.blocks[1], 1u);
       EXPECT_EQ(s.blocks_spanning_frames, 1u);
     }},
    {"odd_uncompressed_blocks", with({{kU, 1}, {kV, 2}, {kU, 3}, {kU, 5}, {kA, 1000}, {kU, 4001}, {kV, 1}}, kU, 7777),
     [](const LzxStats &s) { EXPECT_GE(s.odd_uncompressed_blocks, 5u); }},
    // A verbatim byte, then an odd uncompressed block that ends exactly at the first frame's end:
    // its padding byte opens the second frame.
    {"odd_uncompressed_block_ending_a_frame", with({{kV, 1}, {kU, 32767}, {kV, 100}}, kU, 30001),
     [](const LzxStats &s) { EXPECT_GE(s.odd_uncompressed_blocks, 2u); }},
    {"uncompressed_blocks_spanning_frames", with({{kV, 10}}, kU, 70001),
     [](const LzxStats &s) { EXPECT_GT(s.blocks_spanning_frames, 0u); }},
    {"mixed_kinds",
     with({{kA, 5000}, {kV, 7000}, {kU, 999}, {kA, 40000}, {kU, 2}, {kV, 33000}}, LzxBlockKind::smallest, 11111),
     [](const LzxStats &s) {
       EXPECT_GT(s.blocks[1], 0u);
       EXPECT_GT(s.blocks[2], 0u);
       EXPECT_GT(s.blocks[3], 0u);
     }},
    {"small_odd_frames", with({{kU, 333}}, LzxBlockKind::smallest, 5000, 1001),
     [](const LzxStats &s) { EXPECT_GT(s.blocks_spanning_frames, 0u); }},
};

void PrintTo(const BlockLayout &c, std::ostream *os) { *os << c.name; }

class LzxLayouts : public testing::TestWithParam<BlockLayout> {};

TEST_P(LzxLayouts, RoundTrip) {
  Bytes data = sample_data(DataKind::text, 90000, 1);
  const Bytes records = sample_data(DataKind::records, 60000, 2);
  data.insert(data.end(), records.begin(), records.end());
  GetParam().check(round_trip(data, GetParam().options, GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(Blocks, LzxLayouts, testing::ValuesIn(kLayouts),
                         [](const testing::TestParamInfo<BlockLayout> &info) { return info.param.name; });

// The compressor's own output reaches every pre-tree symbol, every repeated offset, the longest
// match and the farthest offset of the smallest window; if it did not, the round trips above
// would leave those paths of the decoder untried.
TEST(LzxCoverage, RoundTripsUseEveryCodingFeature) {
  std::mt19937 rng(5);
  Bytes head(32765);
  for (uint8_t &b : head) b = static_cast<uint8_t>(rng());
  Bytes data(head.size() + 4000);
  std::copy(head.begin(), head.end(), data.begin());
  std::copy(head.begin(), head.begin() + 4000, data.begin() + 32765);  // matches 2^15 - 3 back
  for (DataKind kind : {DataKind::text, DataKind::records, DataKind::runs, DataKind::random, DataKind::text}) {
    const Bytes part = sample_data(kind, 40000, static_cast<uint32_t>(data.size()));
    data.insert(data.end(), part.begin(), part.end());
  }
  LzxOptions options;
  options.window_bits = 15;
  options.default_block_nbytes = 9000;
  const LzxStats s = round_trip(data, options, "mixed");
  for (uint32_t symbol = 0; symbol < 20; ++symbol)
    EXPECT_GT(s.pretree_symbols[symbol], 0u) << "pre-tree symbol " << symbol;
  for (uint32_t r = 0; r < 3; ++r) EXPECT_GT(s.repeat_matches[r], 0u) << "R" << r;
  EXPECT_EQ(s.longest_match, 257u);
  EXPECT_EQ(s.farthest_offset, 32765u);
}

// The machine's executables, or records where there are none, under the call translation; and
// data dense with 0xE8 bytes at every offset near frame ends.
TEST(LzxCoverage, TranslatedExecutablesRoundTrip) {
  Bytes executables;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator("/usr/bin", error)) {
    if (executables.size() >= (1u << 20)) break;
    if (!entry.is_regular_file(error) || entry.file_size(error) > (1u << 19)) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    executables.insert(executables.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (executables.empty()) executables = sample_data(DataKind::records, 1u << 20, 3);
  Bytes calls(200000);
  std::mt19937 rng(6);
  for (uint8_t &b : calls) b = rng() % 3 == 0 ? 0xE8 : static_cast<uint8_t>(rng() % 8);
  for (const auto &[data, name] : {std::pair{executables, "executables"}, std::pair{calls, "calls"}}) {
    for (uint32_t size : {12000000u, 4096u}) {
      LzxOptions options;
      options.window_bits = 17;
      options.translation_nbytes = size;
      const LzxStats s = round_trip(data, options, name);
      EXPECT_GT(s.translated_calls, 0u) << name;
    }
  }
}

// A stream of several small frames with every block kind, and its decoded frames.
struct SmallStream {
  std::vector<Block> frames;
  std::vector<Bytes> outputs;
};

SmallStream small_stream() {
  Bytes data = sample_data(DataKind::text, 6000, 8);
  const Bytes random = sample_data(DataKind::random, 1500, 9);
  data.insert(data.end(), random.begin(), random.end());
  LzxOptions options = with({{kV, 2500}, {kU, 1501}, {kA, 3000}}, kV, 2000, 2000);
  options.translation_nbytes = 1000;
  SmallStream s{lzx_compress(data, options).frames, {}};
  for (size_t at = 0; const Block &frame : s.frames) {
    s.outputs.emplace_back(data.begin() + at, data.begin() + at + frame.uncompressed_nbytes);
    at += frame.uncompressed_nbytes;
  }
  return s;
}

// Every cut of every frame, after the frames before it: the cut frame fails cleanly or, when
// only unread padding went, decodes to the same bytes. The harness hands the decoder a buffer of
// exactly the cut size, so a read past it stops the test under ASan.
TEST(LzxDamage, EveryCutFrameFailsCleanlyOrLosesOnlyPadding) {
  const SmallStream s = small_stream();
  ASSERT_GE(s.frames.size(), 4u);
  for (size_t k = 0; k < s.frames.size(); ++k) {
    for (size_t cut = 0; cut < s.frames[k].compressed.size(); ++cut) {
      LzxHarness harness(16);
      for (size_t i = 0; i < k; ++i)
        ASSERT_EQ(harness.decode(s.frames[i].compressed, s.frames[i].uncompressed_nbytes).rc, DEC_OK);
      const Bytes cut_frame(s.frames[k].compressed.begin(), s.frames[k].compressed.begin() + cut);
      const DecodeResult result = harness.decode(cut_frame, s.frames[k].uncompressed_nbytes);
      if (result.rc == DEC_OK) {
        EXPECT_EQ(harness.output(result), s.outputs[k]) << "frame " << k << " cut to " << cut;
      } else {
        ASSERT_EQ(result.rc, DEC_DATA_ERROR);
        EXPECT_EQ(result.nbytes, 0u);
      }
    }
  }
}

TEST(LzxDamage, FlippedBitsGiveDataErrorsOrOutputOfTheAskedSize) {
  const SmallStream s = small_stream();
  std::mt19937 rng(7);
  for (int round = 0; round < 1500; ++round) {
    LzxHarness harness(16);
    const size_t damaged = rng() % s.frames.size();
    for (size_t i = 0; i < s.frames.size(); ++i) {
      Bytes frame = s.frames[i].compressed;
      if (i == damaged) frame[rng() % frame.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
      const DecodeResult result = harness.decode(frame, s.frames[i].uncompressed_nbytes);
      ASSERT_TRUE(result.rc == DEC_OK || result.rc == DEC_DATA_ERROR) << result.rc;
      EXPECT_EQ(result.nbytes, result.rc == DEC_OK ? s.frames[i].uncompressed_nbytes : 0u);
      if (result.rc != DEC_OK) break;
    }
  }
}

}  // namespace
}  // namespace cabtest
