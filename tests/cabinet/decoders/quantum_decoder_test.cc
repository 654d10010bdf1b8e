// quantum_decoder_test.cc - catches interface faults of the Quantum decoder: wrong window limits and
// buffer sizes, missing tag and argument checks, leaks or crashes when memory runs out, and coding
// state shared between handles.
#include "cabinet/decoders/quantum_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/cabinet/decoders/quantum_harness.h"
#include "tests/cabinet/support/quantum_compressor.h"
#include "tests/cabinet/support/sample_data.h"

namespace cabtest {
namespace {

// Allocation accounting with a failure on the Nth call (from 1; 0 never).
struct AllocLog {
  int calls = 0;
  int fail_at = 0;
  int live = 0;
  std::vector<uint32_t> sizes;
};
AllocLog g_log;

void *logged_alloc(uint32_t nbytes) {
  if (++g_log.calls == g_log.fail_at) return nullptr;
  g_log.sizes.push_back(nbytes);
  ++g_log.live;
  return std::malloc(nbytes);
}
void logged_free(void *memory) {
  if (memory != nullptr) --g_log.live;
  std::free(memory);
}
constexpr CabOps kLoggedOps = {logged_alloc, logged_free, nullptr, nullptr, nullptr, nullptr, nullptr};

struct WindowCase {
  uint32_t window_bits;
  int rc;
};

class QuantumWindow : public testing::TestWithParam<WindowCase> {};

TEST_P(QuantumWindow, OnlyExponentsTenToTwentyOneAreAccepted) {
  const WindowCase &c = GetParam();
  uint32_t max_nbytes = 0;
  uint32_t capacity = 0;
  EXPECT_EQ(cab_quantum_decoder.create(&max_nbytes, c.window_bits, &kLoggedOps, &capacity, nullptr), c.rc)
      << "size query";
  g_log = {};
  void *handle = nullptr;
  EXPECT_EQ(cab_quantum_decoder.create(&max_nbytes, c.window_bits, &kLoggedOps, &capacity, &handle), c.rc);
  if (c.rc == DEC_OK) {
    // The window is one allocation of exactly its size.
    EXPECT_NE(std::find(g_log.sizes.begin(), g_log.sizes.end(), 1u << c.window_bits), g_log.sizes.end());
    EXPECT_EQ(cab_quantum_decoder.destroy(handle), DEC_OK);
  }
  EXPECT_EQ(g_log.live, 0);
}

INSTANTIATE_TEST_SUITE_P(Exponents, QuantumWindow,
                         testing::Values(WindowCase{0, DEC_BAD_WINDOW}, WindowCase{9, DEC_BAD_WINDOW},
                                         WindowCase{10, DEC_OK}, WindowCase{15, DEC_OK}, WindowCase{21, DEC_OK},
                                         WindowCase{22, DEC_BAD_WINDOW}, WindowCase{1u << 15, DEC_BAD_WINDOW}),
                         [](const testing::TestParamInfo<WindowCase> &info) {
                           return "exponent_" + std::to_string(info.param.window_bits);
                         });

TEST(QuantumCreate, ClampsTheBlockSizeAndReportsTheCompressedBufferWithoutAllocating) {
  struct {
    uint32_t asked, max, capacity;
  } cases[] = {{0, 32768, 43008}, {1, 1, 10241}, {32768, 32768, 43008}, {32769, 32768, 43008}, {1000, 1000, 11240}};
  for (const auto &c : cases) {
    g_log = {};
    uint32_t max_nbytes = c.asked;
    uint32_t capacity = 0;
    ASSERT_EQ(cab_quantum_decoder.create(&max_nbytes, 21, &kLoggedOps, &capacity, nullptr), DEC_OK);
    EXPECT_EQ(max_nbytes, c.max) << c.asked;
    EXPECT_EQ(capacity, c.capacity) << c.asked;
    EXPECT_EQ(g_log.calls, 0) << "a size query allocates nothing";
  }
}

TEST(QuantumCreate, EveryFailedAllocationIsNoMemoryAndLeavesNothing) {
  for (int nth = 1; nth <= 2; ++nth) {
    g_log = {};
    g_log.fail_at = nth;
    uint32_t max_nbytes = 0;
    uint32_t capacity = 0;
    void *handle = nullptr;
    EXPECT_EQ(cab_quantum_decoder.create(&max_nbytes, 21, &kLoggedOps, &capacity, &handle), DEC_NO_MEMORY) << nth;
    EXPECT_EQ(handle, nullptr) << nth;
    EXPECT_EQ(g_log.live, 0) << nth;
  }
}

TEST(QuantumInterface, HandlesWithoutTheTagAreRefused) {
  QuantumHarness harness(15);
  uint32_t fake[64] = {0x4349444D};  // another decoder's tag first
  uint8_t in[4] = {};
  uint8_t out[16];
  for (void *handle : {static_cast<void *>(nullptr), static_cast<void *>(fake)}) {
    uint32_t nbytes = 1;
    EXPECT_EQ(cab_quantum_decoder.decode(handle, in, sizeof in, out, &nbytes), DEC_BAD_CONTEXT);
    EXPECT_EQ(cab_quantum_decoder.reset(handle), DEC_BAD_CONTEXT);
    EXPECT_EQ(cab_quantum_decoder.destroy(handle), DEC_BAD_CONTEXT);
  }
  EXPECT_EQ(harness.reset(), DEC_OK);
}

TEST(QuantumInterface, BadArgumentsAreRefusedBeforeDecoding) {
  uint32_t max_nbytes = 1000;
  uint32_t capacity = 0;
  void *handle = nullptr;
  ASSERT_EQ(cab_quantum_decoder.create(&max_nbytes, 10, &cabtest::kMallocOps, &capacity, &handle), DEC_OK);
  QuantumEncoder encoder(10);
  for (int i = 0; i < 1001; ++i) encoder.literal(static_cast<uint8_t>(i));
  const Bytes block = encoder.finish_block();
  std::vector<uint8_t> out(CAB_BLOCK_MAX_NBYTES);
  uint32_t nbytes = 1001;
  EXPECT_EQ(cab_quantum_decoder.decode(handle, block.data(), static_cast<uint32_t>(block.size()), out.data(), &nbytes),
            DEC_BAD_ARGUMENT)
      << "more than the maximum asked";
  EXPECT_EQ(cab_quantum_decoder.decode(handle, block.data(), static_cast<uint32_t>(block.size()), out.data(), nullptr),
            DEC_BAD_ARGUMENT);
  nbytes = 1;
  EXPECT_EQ(cab_quantum_decoder.decode(handle, block.data(), static_cast<uint32_t>(block.size()), nullptr, &nbytes),
            DEC_BAD_ARGUMENT);
  EXPECT_EQ(cab_quantum_decoder.decode(handle, nullptr, 5, out.data(), &nbytes), DEC_BAD_ARGUMENT);
  nbytes = 1000;
  EXPECT_EQ(cab_quantum_decoder.decode(handle, block.data(), static_cast<uint32_t>(block.size()), out.data(), &nbytes),
            DEC_OK)
      << "the maximum itself";
  EXPECT_EQ(nbytes, 1000u);
  for (uint32_t i = 0; i < 1000; ++i) ASSERT_EQ(out[i], static_cast<uint8_t>(i)) << i;
  EXPECT_EQ(cab_quantum_decoder.destroy(handle), DEC_OK);
}

// Each handle keeps its own models, window and position: folders decoded in turn through two
// handles come out as they do alone.
TEST(QuantumHandles, InterleavedFoldersDoNotDisturbEachOther) {
  struct Stream {
    unsigned window_bits;
    Bytes data;
    std::vector<Block> blocks;
  };
  std::vector<Stream> streams = {{12, sample_data(DataKind::text, 150000, 1), {}},
                                 {21, sample_data(DataKind::records, 150000, 2), {}},
                                 {21, sample_data(DataKind::runs, 150000, 3), {}}};
  for (Stream &s : streams) s.blocks = quantum_compress(s.data, s.window_bits);
  std::vector<std::unique_ptr<QuantumHarness>> harnesses;
  for (const Stream &s : streams) harnesses.push_back(std::make_unique<QuantumHarness>(s.window_bits));
  for (size_t b = 0; b < streams[0].blocks.size(); ++b) {
    for (size_t i = 0; i < streams.size(); ++i) {
      const Block &block = streams[i].blocks[b];
      Bytes out;
      ASSERT_EQ(harnesses[i]->decode(block.compressed, block.uncompressed_nbytes, &out), DEC_OK)
          << "stream " << i << " block " << b;
      ASSERT_TRUE(std::equal(out.begin(), out.end(), streams[i].data.begin() + b * kBlockNbytes))
          << "stream " << i << " block " << b;
    }
  }
}

}  // namespace
}  // namespace cabtest
