// lzx_tables.h - the LZX format's constants: windows, position slots, tree sizes and block kinds.
#ifndef CABINET_DECODERS_LZX_TABLES_H
#define CABINET_DECODERS_LZX_TABLES_H

#include <array>
#include <cstdint>

namespace cab::lzx {

inline constexpr uint32_t kMinWindowBits = 15;
inline constexpr uint32_t kMaxWindowBits = 21;

// A cabinet data block holds one frame: at most this many output bytes.
inline constexpr uint32_t kFrameNbytes = 32768;
// Only the first frames of a folder undo the call translation.
inline constexpr uint32_t kTranslatedFrames = 32768;

enum BlockKind : uint32_t { kVerbatim = 1, kAligned = 2, kUncompressed = 3 };
inline constexpr uint32_t kBlockKindBits = 3;
inline constexpr uint32_t kBlockSizeBits = 24;  // sent as three 8-bit groups, most significant first

/*
 * Main tree elements: 256 literals, then for each position slot eight length headers. Header 7
 * says a length-tree symbol follows. A match is at least 2 bytes long and at most 2 + 7 + 248.
 */
inline constexpr uint32_t kLiterals = 256;
inline constexpr uint32_t kLengthHeaders = 8;
inline constexpr uint32_t kLengthSymbols = 249;
inline constexpr uint32_t kMinMatch = 2;
inline constexpr uint32_t kMaxMatch = kMinMatch + kLengthHeaders - 1 + kLengthSymbols - 1;
static_assert(kMaxMatch == 257);

inline constexpr uint32_t kPretreeSymbols = 20;
inline constexpr uint32_t kPretreeLenBits = 4;
inline constexpr uint32_t kAlignedSymbols = 8;
inline constexpr uint32_t kAlignedLenBits = 3;
inline constexpr uint32_t kAlignedBits = 3;  // the low offset bits an aligned-tree symbol supplies
inline constexpr uint32_t kMaxCodeLen = 16;  // main and length trees: pre-tree symbols give 0 to 16

// Pre-tree symbols: 0 to 16 change a length by (previous - symbol) mod 17; the rest are runs.
inline constexpr uint32_t kPretreeZeros4 = 17;   // 4 + (4 bits) zero lengths
inline constexpr uint32_t kPretreeZeros20 = 18;  // 20 + (5 bits) zero lengths
inline constexpr uint32_t kPretreeSame4 = 19;    // 4 + (1 bit) copies of one changed length

inline constexpr uint32_t kSlotTableSize = 51;

// Extra offset bits of each position slot: 0 for slots 0 to 3, then one more every two slots,
// capped at 17.
constexpr std::array<uint8_t, kSlotTableSize> make_extra_bits() {
  std::array<uint8_t, kSlotTableSize> extra{};
  for (uint32_t s = 4; s < kSlotTableSize; ++s) {
    extra[s] = static_cast<uint8_t>(s < 36 ? (s - 2) / 2 : 17);
  }
  return extra;
}
inline constexpr std::array<uint8_t, kSlotTableSize> kExtraBits = make_extra_bits();

// The first position of each slot; a slot's offset is its position less 2, since positions 0
// to 2 are the three repeated offsets.
constexpr std::array<uint32_t, kSlotTableSize> make_slot_positions() {
  std::array<uint32_t, kSlotTableSize> position{};
  for (uint32_t s = 1; s < kSlotTableSize; ++s) {
    position[s] = position[s - 1] + (1u << kExtraBits[s - 1]);
  }
  return position;
}
inline constexpr std::array<uint32_t, kSlotTableSize> kSlotPositions = make_slot_positions();
inline constexpr uint32_t kPositionToOffset = 2;
inline constexpr uint32_t kRepeatedSlots = 3;

// The slots a window of 2^window_bits bytes uses: enough for their positions to cover the window.
constexpr uint32_t slots_for_window(uint32_t window_bits) {
  const uint64_t window_nbytes = uint64_t{1} << window_bits;
  uint32_t nslots = 4;
  uint64_t total = 4;
  while (total < window_nbytes && nslots < kSlotTableSize) {
    total += uint64_t{1} << kExtraBits[nslots];
    ++nslots;
  }
  return nslots;
}

inline constexpr uint32_t kMaxSlots = slots_for_window(kMaxWindowBits);
inline constexpr uint32_t kMaxMainSymbols = kLiterals + kLengthHeaders * kMaxSlots;
static_assert(kMaxSlots == 50 && kMaxMainSymbols == 656);
// The farthest offset of the largest window is its size less 3, so no slot is ever unused.
static_assert(kSlotPositions[kMaxSlots] == 1u << kMaxWindowBits);

} // namespace cab::lzx

#endif
