// lzx_interface_test.cc - catches faults at the LZX decoder's interface and in its per-folder state:
// wrong buffer sizes, windows accepted or refused wrongly, tag and size checks, leaks on failed
// allocations, main trees of the wrong size for a window, tables too small for valid codes, and
// state that survives a failure or a reset.
#include <gtest/gtest.h>

#include "tests/cabinet/decoders/lzx_frame_builder.h"
#include "tests/cabinet/decoders/lzx_harness.h"

namespace cabtest {
namespace {

Bytes bytes_of(const std::string &text) { return Bytes(text.begin(), text.end()); }

TEST(LzxCreate, ReportsTheCompressedBufferAndClampsTheMaximum) {
  const struct {
    uint32_t max_in, max_out;
  } cases[] = {{0, 32768}, {32768, 32768}, {40000, 32768}, {1000, 1000}};
  for (const auto &c : cases) {
    uint32_t max = c.max_in, capacity = 0;
    ASSERT_EQ(cab_lzx_decoder.create(&max, 1u << 21, &kMallocOps, &capacity, nullptr), DEC_OK);
    EXPECT_EQ(max, c.max_out) << c.max_in;
    EXPECT_EQ(capacity, c.max_out + 6144) << c.max_in;
  }
}

TEST(LzxCreate, TakesOnlyWindowsOf2To15Through2To21) {
  const struct {
    uint32_t window;
    int rc;
  } cases[] = {{1u << 15, DEC_OK},
               {1u << 16, DEC_OK},
               {1u << 21, DEC_OK},
               {1u << 14, DEC_BAD_WINDOW},
               {1u << 22, DEC_BAD_WINDOW},
               {0, DEC_BAD_WINDOW},
               {3u << 15, DEC_BAD_WINDOW},
               {0x80000000u, DEC_BAD_WINDOW},
               {(1u << 16) + 1, DEC_BAD_WINDOW}};
  for (const auto &c : cases) {
    uint32_t max = 0, capacity = 0;
    void *handle = nullptr;
    EXPECT_EQ(cab_lzx_decoder.create(&max, c.window, &kMallocOps, &capacity, &handle), c.rc) << c.window;
    if (handle != nullptr) {
      EXPECT_EQ(cab_lzx_decoder.destroy(handle), DEC_OK);
    }
  }
}

// Fails the nth allocation and counts what is still held.
struct FailingAllocator {
  static inline int fail_at = 0;
  static inline int calls = 0;
  static inline int live = 0;
  static void *alloc(uint32_t nbytes) {
    if (++calls == fail_at) return nullptr;
    ++live;
    return std::malloc(nbytes);
  }
  static void release(void *memory) {
    --live;
    std::free(memory);
  }
};

TEST(LzxCreate, FailedAllocationsLeaveNothingBehind) {
  const CabOps ops = {FailingAllocator::alloc, FailingAllocator::release, nullptr, nullptr, nullptr, nullptr, nullptr};
  for (int n = 1; n <= 3; ++n) {
    FailingAllocator::fail_at = n;
    FailingAllocator::calls = 0;
    FailingAllocator::live = 0;
    uint32_t max = 0, capacity = 0;
    void *handle = nullptr;
    const int rc = cab_lzx_decoder.create(&max, 1u << 17, &ops, &capacity, &handle);
    if (rc == DEC_OK) {
      EXPECT_EQ(n, 3) << "create makes two allocations";
      EXPECT_EQ(cab_lzx_decoder.destroy(handle), DEC_OK);
    } else {
      EXPECT_EQ(rc, DEC_NO_MEMORY);
      EXPECT_EQ(handle, nullptr);
    }
    EXPECT_EQ(FailingAllocator::live, 0) << "allocation " << n << " failed";
  }
}

TEST(LzxHandle, RefusesAForeignTagAndSizesAboveItsMaximum) {
  uint32_t foreign[64] = {DEC_TAG_MSZIP};
  uint8_t in[8] = {}, out[16];
  uint32_t n = 4;
  EXPECT_EQ(cab_lzx_decoder.decode(foreign, in, 8, out, &n), DEC_BAD_CONTEXT);
  EXPECT_EQ(cab_lzx_decoder.reset(foreign), DEC_BAD_CONTEXT);
  EXPECT_EQ(cab_lzx_decoder.destroy(foreign), DEC_BAD_CONTEXT);
  EXPECT_EQ(cab_lzx_decoder.decode(nullptr, in, 8, out, &n), DEC_BAD_CONTEXT);

  uint32_t max = 1000, capacity = 0;
  void *handle = nullptr;
  ASSERT_EQ(cab_lzx_decoder.create(&max, 1u << 15, &kMallocOps, &capacity, &handle), DEC_OK);
  std::vector<uint8_t> big_in(capacity + 1), big_out(32768);
  n = 1001;
  EXPECT_EQ(cab_lzx_decoder.decode(handle, big_in.data(), 8, big_out.data(), &n), DEC_BAD_ARGUMENT);
  n = 1000;
  EXPECT_EQ(cab_lzx_decoder.decode(handle, big_in.data(), capacity + 1, big_out.data(), &n), DEC_BAD_ARGUMENT);
  // At the limits the data is looked at: zeros are block kind 0, a data error.
  EXPECT_EQ(cab_lzx_decoder.decode(handle, big_in.data(), capacity, big_out.data(), &n), DEC_DATA_ERROR);
  EXPECT_EQ(cab_lzx_decoder.destroy(handle), DEC_OK);
}

// Each window's main tree holds 256 literals and 8 elements per position slot; a decoder that
// reads another number of main-tree lengths misreads the length tree and the literals after it.
TEST(LzxWindows, MainTreeHasEightElementsPerSlot) {
  const struct {
    unsigned bits;
    uint32_t slots;
  } cases[] = {{15, 30}, {16, 32}, {17, 34}, {18, 36}, {19, 38}, {20, 42}, {21, 50}};
  for (const auto &c : cases) {
    LzxFrameBuilder b(c.bits);
    ASSERT_EQ(b.nmain, 256 + 8 * c.slots) << c.bits;
    const uint32_t last = b.nmain - 1;
    b.translation(std::nullopt).header(kLzxVerbatim, 5);
    b.trees(complete_lengths(b.nmain, literals_and({last, last - 9})), complete_lengths(kLzxLengthSymbols, {0, 248}));
    b.literals(bytes_of("hello"));
    LzxHarness harness(c.bits);
    const DecodeResult result = harness.decode(b.frame(), 5);
    ASSERT_EQ(result.rc, DEC_OK) << c.bits;
    EXPECT_EQ(harness.output(result), bytes_of("hello")) << c.bits;
  }
}

/*
 * A complete code of `nsymbols` with as many 16-bit codes as fit: c codes of 16 bits leave
 * 2^16 - c units of code space, one shorter code per set bit. Symbols 0, 1, ... get the short
 * codes, longest last, then the 16-bit ones. Canonical codes put all the 16-bit codes in the
 * last sub-tables, so these need the most table entries a real code can.
 */
std::vector<uint8_t> long_tailed_code(uint32_t nsymbols) {
  uint32_t c = nsymbols;
  while (c + static_cast<uint32_t>(__builtin_popcount(65536 - c)) > nsymbols) --c;
  std::vector<uint8_t> lens(nsymbols, 0);
  uint32_t s = 0;
  for (int bit = 15; bit >= 0; --bit) {
    if (((65536 - c) >> bit) & 1) lens[s++] = static_cast<uint8_t>(16 - bit);
  }
  for (uint32_t i = 0; i < c; ++i) lens[s++] = 16;
  return lens;
}

TEST(LzxTables, TakeCompleteCodesWithTheMostLongestCodes) {
  LzxFrameBuilder b(21);
  const std::vector<uint8_t> main = long_tailed_code(b.nmain);
  const std::vector<uint8_t> length = long_tailed_code(kLzxLengthSymbols);
  const uint32_t long_match_element = lzx_match_element(3, 9);
  ASSERT_EQ(main[0], 1);
  ASSERT_EQ(main[200], 16);
  ASSERT_EQ(main[long_match_element], 16);
  ASSERT_EQ(length[0], 1);
  ASSERT_EQ(length[248], 16);
  // Literals of 1 and 16 bits, then offset-1 matches whose length symbols have 16 and 1 bits.
  b.translation(std::nullopt).header(kLzxVerbatim, 2 + 257 + 9).trees(main, length);
  b.literal(0).literal(200).match(257, 3).match(9, 3);
  // Sized at once: g++ 12 at -O3 warns falsely (array-bounds) on an insert after two bytes.
  Bytes expected(2 + 257 + 9, 200);
  expected[0] = 0;
  LzxHarness harness(21);
  const DecodeResult result = harness.decode(b.frame(), 2 + 257 + 9);
  ASSERT_EQ(result.rc, DEC_OK);
  EXPECT_EQ(harness.output(result), expected);
}

// A failed frame leaves the folder's stream unusable until a reset; a reset starts a new folder:
// no history, trees coded against zeros, repeated offsets back to 1.
TEST(LzxReset, FailureLastsUntilResetAndResetStartsAFolder) {
  LzxFrameBuilder first(15);
  first.translation(std::nullopt).header(kLzxVerbatim, 3);
  first.trees(complete_lengths(first.nmain, literals_and({lzx_match_element(3, 2)})),
              std::vector<uint8_t>(kLzxLengthSymbols, 0));
  first.literals(bytes_of("abc"));
  const Bytes good = first.frame();
  LzxHarness harness(15);
  ASSERT_EQ(harness.decode(good, 3).rc, DEC_OK);
  EXPECT_EQ(harness.decode(Bytes{0x00, 0x00}, 3).rc, DEC_DATA_ERROR);  // block kind 0
  EXPECT_EQ(harness.decode(good, 3).rc, DEC_DATA_ERROR) << "a failed stream stays failed";
  ASSERT_EQ(harness.reset(), DEC_OK);
  const DecodeResult again = harness.decode(good, 3);
  ASSERT_EQ(again.rc, DEC_OK) << "trees coded against zeros again";
  EXPECT_EQ(harness.output(again), bytes_of("abc"));

  // After a reset R0 is 1 and nothing came before: a repeated-offset match at the start fails.
  LzxFrameBuilder second(15);
  second.translation(std::nullopt).header(kLzxVerbatim, 2);
  second.trees(complete_lengths(second.nmain, literals_and({lzx_match_element(0, 2)})),
               std::vector<uint8_t>(kLzxLengthSymbols, 0));
  second.match(2, 0);
  ASSERT_EQ(harness.reset(), DEC_OK);
  EXPECT_EQ(harness.decode(second.frame(), 2).rc, DEC_DATA_ERROR);
}

}  // namespace
}  // namespace cabtest
