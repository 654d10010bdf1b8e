// lzx_translation_test.cc - catches faults in undoing the call translation: a wrong size from the
// header, a wrong output position, a wrong choice between the two value ranges, values scanned
// that lie in the frame's last bytes or inside an earlier value, short frames translated, and
// translation past the frame limit.
#include <gtest/gtest.h>

#include "tests/cabinet/decoders/lzx_frame_builder.h"
#include "tests/cabinet/decoders/lzx_harness.h"

namespace cabtest {
namespace {

Bytes le32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

Bytes call(uint32_t value) {
  Bytes bytes = {0xE8};
  const Bytes v = le32(value);
  bytes.insert(bytes.end(), v.begin(), v.end());
  return bytes;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes &part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

/*
 * Decodes `frames` as one uncompressed block that runs over all of them, after the translation
 * header `translation` (none: the bit is 0), and returns each frame's output.
 */
std::vector<Bytes> decode_stored(std::optional<uint32_t> translation, const std::vector<Bytes> &frames) {
  uint32_t total = 0;
  for (const Bytes &frame : frames) total += static_cast<uint32_t>(frame.size());
  LzxFrameBuilder b(16);
  b.translation(translation).header(kLzxUncompressed, total);
  b.w.pad_uncompressed().raw_le32(1).raw_le32(1).raw_le32(1);
  LzxHarness harness(16);
  std::vector<Bytes> outputs;
  for (const Bytes &frame : frames) {
    b.w.raw(frame);
    const DecodeResult result = harness.decode(b.frame(), static_cast<uint32_t>(frame.size()));
    EXPECT_EQ(result.rc, DEC_OK);
    outputs.push_back(harness.output(result));
  }
  return outputs;
}

Bytes decode_one(std::optional<uint32_t> translation, const Bytes &frame) {
  return decode_stored(translation, {frame})[0];
}

TEST(LzxTranslation, HeaderBitAndSize) {
  // 0x0000 then 0x1000: the size is 4096. A value of 3000 at position 0 is below it and made
  // absolute (3000 - 0); with position 100 it becomes 2900. Without the header bit nothing changes.
  const Bytes pad(100, 0x11);
  const Bytes frame = cat({pad, call(3000), Bytes(16, 0)});
  EXPECT_EQ(decode_one(4096, frame), cat({pad, call(2900), Bytes(16, 0)}));
  EXPECT_EQ(decode_one(std::nullopt, frame), frame);
  EXPECT_EQ(decode_one(2999, frame), frame) << "3000 is not below a size of 2999";
}

TEST(LzxTranslation, ValueRanges) {
  // Size 1000, the 0xE8 at output position 50.
  const struct {
    uint32_t stored, restored;
  } cases[] = {
      {100, 50},              // below the size: relative to the position
      {0, 0xFFFFFFCE},        // 0 - 50
      {999, 949},
      {0xFFFFFFF0, 984},      // -16: within the position below zero, moved up by the size
      {0xFFFFFFCE, 950},      // -50, exactly the position
      {0xFFFFFFCD, 0xFFFFFFCD},  // -51: beyond the position, kept
      {1000, 1000},           // the size itself: kept
      {2000, 2000},
  };
  const Bytes pad(50, 0);
  for (const auto &c : cases) {
    EXPECT_EQ(decode_one(1000, cat({pad, call(c.stored), Bytes(20, 0)})), cat({pad, call(c.restored), Bytes(20, 0)}))
        << std::hex << c.stored;
  }
}

TEST(LzxTranslation, ScanSkipsEachValueAndStopsBeforeTheLast6Bytes) {
  // The 0xE8 inside the first value is not a call of its own (its value, 100, would change).
  EXPECT_EQ(decode_one(1000, cat({call(0x000064E8), Bytes(20, 0)})), cat({call(0x000064E8), Bytes(20, 0)}));
  // A 16-byte frame at position 0 of size 1000: an 0xE8 at offset 5 has its whole value in the
  // frame (100 becomes 95). At offset 6 its value reaches into the last 6 bytes, which read as
  // 0xE8: 0xE8000064 is far above the size and stays. At offset 10 and beyond nothing is read.
  EXPECT_EQ(decode_one(1000, cat({Bytes(5, 0), call(100), Bytes(6, 0)})), cat({Bytes(5, 0), call(95), Bytes(6, 0)}));
  EXPECT_EQ(decode_one(1000, cat({Bytes(6, 0), call(100), Bytes(5, 0)})), cat({Bytes(6, 0), call(100), Bytes(5, 0)}));
  EXPECT_EQ(decode_one(1000, cat({Bytes(10, 0), Bytes{0xE8, 0, 0, 0, 0, 0}})),
            cat({Bytes(10, 0), Bytes{0xE8, 0, 0, 0, 0, 0}}));
}

TEST(LzxTranslation, ShortFramesStayButCountTowardsThePosition) {
  // Frames of 10, 5 and 16 bytes: the 5-byte frame is not translated, yet the third frame's call
  // at offset 0 is at position 15.
  const std::vector<Bytes> outputs =
      decode_stored(1000, {Bytes(10, 0), call(100), cat({call(100), Bytes(11, 0)})});
  EXPECT_EQ(outputs[1], call(100));
  EXPECT_EQ(outputs[2], cat({call(85), Bytes(11, 0)}));
}

TEST(LzxTranslation, EndsAfter32768Frames) {
  // 32769 frames of 11 bytes, each a call of 1000 (below the size of 2^20): frame k is at
  // position 11 k, and only the first 32768 frames are translated.
  const Bytes frame = cat({call(1000), Bytes(6, 0)});
  const std::vector<Bytes> outputs = decode_stored(1u << 20, std::vector<Bytes>(32769, frame));
  EXPECT_EQ(outputs[0], frame);
  EXPECT_EQ(outputs[1], cat({call(1000 - 11), Bytes(6, 0)}));
  EXPECT_EQ(outputs[32767], cat({call(1000 - 11 * 32767), Bytes(6, 0)}));
  EXPECT_EQ(outputs[32768], frame);
}

}  // namespace
}  // namespace cabtest
