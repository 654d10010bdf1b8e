// quantum_stream_test.cc - catches faults in decoding Quantum streams: wrong arithmetic decoding or
// renormalisation, wrong model sizes, adaptation, rescaling or reordering, wrong slot tables, match
// copies that break at the window's wrap, state lost between blocks or kept across a reset, and
// blocks that should fail (a match too long for its block, missing bits) but do not.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/cabinet/decoders/quantum_harness.h"
#include "tests/cabinet/support/quantum_compressor.h"

namespace cabtest {
namespace {

// One coded step: a literal byte, or a match of `length` bytes from `distance` bytes back.
struct Step {
  uint32_t length;  // 0 for a literal
  uint32_t value;   // the byte, or the distance
};
Step lit(uint8_t byte) { return {0, byte}; }
Step copy(uint32_t length, uint32_t distance) { return {length, distance}; }

using Steps = std::vector<Step>;

void encode(QuantumEncoder &encoder, const Steps &steps) {
  for (const Step &s : steps) {
    if (s.length == 0) {
      encoder.literal(static_cast<uint8_t>(s.value));
    } else {
      encoder.match(s.length, s.value);
    }
  }
}

// What the steps must produce: a window that starts zeroed, whose write position only a reset
// moves back to its start.
class Expected {
 public:
  explicit Expected(unsigned window_bits) : window_(size_t{1} << window_bits) {}

  Bytes play(const Steps &steps) {
    Bytes out;
    const size_t mask = window_.size() - 1;
    for (const Step &s : steps) {
      if (s.length == 0) {
        put(out, static_cast<uint8_t>(s.value));
        continue;
      }
      for (uint32_t i = 0; i < s.length; ++i) put(out, window_[(pos_ + window_.size() - s.value) & mask]);
    }
    return out;
  }
  void reset() { pos_ = 0; }

 private:
  void put(Bytes &out, uint8_t byte) {
    out.push_back(byte);
    window_[pos_] = byte;
    pos_ = (pos_ + 1) & (window_.size() - 1);
  }
  Bytes window_;
  size_t pos_ = 0;
};

size_t produced_by(const Steps &steps) {
  size_t n = 0;
  for (const Step &s : steps) n += s.length == 0 ? 1 : s.length;
  return n;
}

// Encodes, decodes and compares each block of one folder in turn.
void round_trip(unsigned window_bits, const std::vector<Steps> &blocks, const std::string &what) {
  QuantumEncoder encoder(window_bits);
  QuantumHarness decoder(window_bits);
  Expected expected(window_bits);
  for (size_t b = 0; b < blocks.size(); ++b) {
    encode(encoder, blocks[b]);
    const Bytes coded = encoder.finish_block();
    const Bytes want = expected.play(blocks[b]);
    Bytes out;
    ASSERT_EQ(decoder.decode(coded, static_cast<uint32_t>(want.size()), &out), DEC_OK) << what << " block " << b;
    ASSERT_EQ(out, want) << what << " block " << b;
  }
}

/*
 * Blocks of random steps producing `nbytes`: literals of any byte and matches of every kind at
 * any distance their model reaches within what the folder has produced. Each block holds 32768
 * bytes but the last.
 */
std::vector<Steps> random_blocks(unsigned window_bits, size_t nbytes, uint32_t seed, double literal_share = 0.3) {
  std::mt19937 rng(seed);
  std::bernoulli_distribution literal(literal_share);
  std::vector<Steps> blocks;
  size_t produced = 0;
  while (produced < nbytes) {
    Steps steps;
    size_t left = std::min(kBlockNbytes, nbytes - produced);
    while (left > 0) {
      uint32_t length = 0;
      if (!literal(rng)) {
        switch (rng() % 4) {
          case 0: length = 3; break;
          case 1: length = 4; break;
          case 2: length = 5 + rng() % 20; break;
          default: length = 5 + rng() % 255; break;
        }
      }
      const uint32_t reach =
          length == 0 ? 0 : std::min<uint32_t>(quantum_max_distance(window_bits, length), uint32_t(produced));
      if (length == 0 || length > left || reach == 0) {
        steps.push_back(lit(static_cast<uint8_t>(rng())));
        ++produced;
        --left;
        continue;
      }
      // Mostly near, as in real data, but the far end of the reach too.
      const uint32_t span = rng() % 2 != 0 ? std::min(reach, 64u) : reach;
      const uint32_t distance = rng() % 3 == 0 ? reach - rng() % std::min(reach, 16u) : 1 + rng() % span;
      steps.push_back(copy(length, distance));
      produced += length;
      left -= length;
    }
    blocks.push_back(std::move(steps));
  }
  return blocks;
}

class QuantumWindowSizes : public testing::TestWithParam<unsigned> {};

TEST_P(QuantumWindowSizes, RandomStepsRoundTripAcrossBlocksAndTheWindowWrap) {
  const unsigned bits = GetParam();
  // Past the window's end even for the smallest windows, so that matches straddle the wrap.
  round_trip(bits, random_blocks(bits, std::max<size_t>(3 * kBlockNbytes, (size_t{1} << bits) + kBlockNbytes), bits),
             "window " + std::to_string(bits));
}

// Every position slot of every match kind at its nearest and its farthest distance, after a
// history longer than the window: a position model of the wrong size, a wrong base or a wrong
// count of extra bits puts the decoder out of step with the coder.
TEST_P(QuantumWindowSizes, EveryPositionSlotAtBothEnds) {
  const unsigned bits = GetParam();
  std::vector<Steps> blocks = random_blocks(bits, (size_t{1} << bits) + 5000, 100 + bits, 0.2);
  Steps edges;
  uint32_t base = 0;
  for (uint32_t slot = 0; slot < 42; ++slot) {
    const uint32_t extra_bits = slot < 4 ? 0 : slot / 2 - 1;
    for (uint32_t length : {3u, 4u, 5u, 259u}) {
      for (uint32_t distance : {base + 1, base + (1u << extra_bits)}) {
        if (distance <= quantum_max_distance(bits, length)) edges.push_back(copy(length, distance));
      }
    }
    base += 1u << extra_bits;
  }
  // Slots past the model's end are refused by the coder, so the model sizes are those of the format.
  const uint32_t expected_reach[3] = {std::min(1u << bits, 4096u), std::min(1u << bits, 262144u), 1u << bits};
  EXPECT_EQ(quantum_max_distance(bits, 3), expected_reach[0]);
  EXPECT_EQ(quantum_max_distance(bits, 4), expected_reach[1]);
  EXPECT_EQ(quantum_max_distance(bits, 5), expected_reach[2]);
  ASSERT_LE(produced_by(edges), kBlockNbytes);
  blocks.push_back(edges);
  round_trip(bits, blocks, "window " + std::to_string(bits));
}

INSTANTIATE_TEST_SUITE_P(Exponents, QuantumWindowSizes, testing::Range(10u, 22u),
                         [](const testing::TestParamInfo<unsigned> &info) { return "window_" + std::to_string(info.param); });

TEST(QuantumStream, EveryLengthSlotAtBothEndsAndOverlappingCopies) {
  // Lengths 5 to 259 over two blocks: slot 26 (259) reads no extra bits, slot 25 ends at 258.
  std::vector<Steps> blocks = {{lit('a'), lit('b'), lit('c'), lit('d'), lit('e')}, {}};
  for (uint32_t length = 5; length <= 259; ++length) blocks[length <= 180 ? 0 : 1].push_back(copy(length, 1 + length % 5));
  blocks[1].push_back(copy(259, 1));
  blocks[1].push_back(copy(3, 1));
  blocks[1].push_back(copy(4, 2));
  round_trip(12, blocks, "lengths");
}

// Literal model 0 counts 467 codings of byte 63 to a total of exactly 3800, which is kept; the
// next makes 3808 and rescales. Thousands more from a skewed spread of its symbols drive it past
// its fourth rescale (the first reorder) and the 54th (the second), and every other model past
// rescales of its own. A decoder that rescales or reorders at another time decodes other symbols.
TEST(QuantumModels, RescaleAtTheThresholdAndReorderOnTheFourthAndEveryFiftiethAfter) {
  std::mt19937 rng(7);
  std::geometric_distribution<uint32_t> skew(0.15);
  std::vector<Steps> blocks(1);
  for (int i = 0; i < 467; ++i) blocks[0].push_back(lit(63));
  for (int i = 0; i < 8; ++i) blocks[0].push_back(lit(static_cast<uint8_t>(i)));
  size_t produced = produced_by(blocks[0]);
  size_t in_block = produced;
  for (int i = 0; i < 40000; ++i) {
    if (in_block > kBlockNbytes - 300) {
      blocks.emplace_back();
      in_block = 0;
    }
    // Within the folder and the 4096-byte window.
    auto near = [&](uint32_t scale) { return 1 + std::min({skew(rng) * scale, uint32_t(produced) - 1, 4095u}); };
    Step step = lit(static_cast<uint8_t>(63 - std::min(skew(rng), 63u)));
    switch (rng() % 10) {
      case 7: step = copy(3, near(1)); break;
      case 8: step = copy(4, near(7)); break;
      case 9: step = copy(5 + std::min(skew(rng) * 3, 254u), near(100)); break;
      default: break;
    }
    blocks.back().push_back(step);
    const size_t n = step.length == 0 ? 1 : step.length;
    produced += n;
    in_block += n;
  }
  round_trip(12, blocks, "skewed");
}

struct BlockCase {
  const char *name;
  Steps steps;      // one block on a fresh handle
  uint32_t want;    // the size asked
  Bytes appended;   // bytes put behind the coded block
  int rc;
};

// A match may not run past the size asked; symbols after it are never read.
std::vector<BlockCase> block_cases() {
  const Steps abcd = {lit('a'), lit('b'), lit('c'), lit('d')};
  auto with = [&](Step last) {
    Steps s = abcd;
    s.push_back(last);
    return s;
  };
  return {
      {"three_byte_match_fits", with(copy(3, 3)), 7, {}, DEC_OK},
      {"three_byte_match_one_too_long", with(copy(3, 3)), 6, {}, DEC_DATA_ERROR},
      {"four_byte_match_fits", with(copy(4, 4)), 8, {}, DEC_OK},
      {"four_byte_match_one_too_long", with(copy(4, 4)), 7, {}, DEC_DATA_ERROR},
      {"longest_match_fits", with(copy(259, 1)), 263, {}, DEC_OK},
      {"longest_match_one_too_long", with(copy(259, 1)), 262, {}, DEC_DATA_ERROR},
      {"match_reaching_before_the_folder_reads_zeros", {lit('x'), copy(5, 3)}, 6, {}, DEC_OK},
      {"steps_past_the_size_asked_are_not_read", with(copy(259, 1)), 3, {}, DEC_OK},
      {"trailing_bytes_are_ignored", abcd, 4, {0xFF, 0x00, 0x55}, DEC_OK},
  };
}

class QuantumBlocks : public testing::TestWithParam<BlockCase> {};

TEST_P(QuantumBlocks, SucceedOrFailAsTheSizeAskedAllows) {
  const BlockCase &c = GetParam();
  QuantumEncoder encoder(10);
  encode(encoder, c.steps);
  Bytes coded = encoder.finish_block();
  coded.insert(coded.end(), c.appended.begin(), c.appended.end());
  QuantumHarness decoder(10);
  Bytes out;
  ASSERT_EQ(decoder.decode(coded, c.want, &out), c.rc);
  if (c.rc == DEC_OK) {
    Bytes want = Expected(10).play(c.steps);
    want.resize(c.want);
    EXPECT_EQ(out, want);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, QuantumBlocks, testing::ValuesIn(block_cases()),
                         [](const testing::TestParamInfo<BlockCase> &info) { return info.param.name; });

TEST(QuantumStream, TheCodeValueIsReadEvenWhenNothingIsAsked) {
  QuantumHarness decoder(10);
  EXPECT_EQ(decoder.decode({}, 0), DEC_DATA_ERROR);
  EXPECT_EQ(decoder.decode({0x00}, 0), DEC_DATA_ERROR);
  EXPECT_EQ(decoder.decode({0x00, 0x00}, 0), DEC_OK);
  EXPECT_EQ(decoder.decode({}, 1), DEC_DATA_ERROR);
}

// The decoder needs every bit it reads, the last renormalisation's included: the coded bits are
// made to end one bit into their last byte, and without that byte the block fails. So does every
// other cut, with a literal or a match's raw bits last.
TEST(QuantumStream, EveryTruncationFailsDownToOneBitShort) {
  for (bool match_last : {false, true}) {
    std::mt19937 rng(match_last ? 2 : 1);
    Steps steps;
    Bytes coded;
    size_t nbits = 0;
    do {
      if (steps.size() > 200) FAIL() << "no step count ends one bit into a byte";
      steps.insert(steps.end() - (match_last && !steps.empty() ? 1 : 0), lit(static_cast<uint8_t>(rng())));
      if (match_last && steps.back().length == 0) steps.push_back(copy(200, 1));
      QuantumEncoder encoder(16);
      encode(encoder, steps);
      coded = encoder.finish_block(&nbits);
    } while (nbits % 8 != 1);
    const uint32_t want = static_cast<uint32_t>(produced_by(steps));
    // A fresh handle for each cut: a failed block leaves the models wherever it stopped.
    ASSERT_EQ(QuantumHarness(16).decode(coded, want), DEC_OK) << "whole block";
    for (size_t n = coded.size(); n-- > 0;) {
      EXPECT_EQ(QuantumHarness(16).decode(Bytes(coded.begin(), coded.begin() + n), want), DEC_DATA_ERROR)
          << n << " of " << coded.size() << " bytes";
    }
  }
}

// A reset restarts the models and the window position but keeps the window's bytes: a match that
// reaches before the new folder's start reads the old folder's bytes at the window's end.
TEST(QuantumReset, RestartsModelsAndPositionButKeepsTheWindow) {
  const unsigned bits = 10;
  const std::vector<Steps> first = random_blocks(bits, 3000, 5);
  const Steps second = {copy(3, 10), copy(200, 1024), lit(7), copy(5, 1)};
  QuantumEncoder encoder(bits);
  QuantumHarness decoder(bits);
  Expected expected(bits);
  for (int folder = 0; folder < 2; ++folder) {
    for (const Steps &block : first) {
      encode(encoder, block);
      Bytes out;
      const Bytes want = expected.play(block);
      ASSERT_EQ(decoder.decode(encoder.finish_block(), static_cast<uint32_t>(want.size()), &out), DEC_OK);
      ASSERT_EQ(out, want) << "folder " << folder;
    }
    encoder.reset();
    expected.reset();
    ASSERT_EQ(decoder.reset(), DEC_OK);
  }
  encode(encoder, second);
  const Bytes want = expected.play(second);
  Bytes out;
  ASSERT_EQ(decoder.decode(encoder.finish_block(), static_cast<uint32_t>(want.size()), &out), DEC_OK);
  EXPECT_EQ(out, want);
}

}  // namespace
}  // namespace cabtest
