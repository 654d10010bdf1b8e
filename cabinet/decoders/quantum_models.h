// quantum_models.h - Quantum's adaptive frequency models and its position and length slot tables.
#ifndef CAB_QUANTUM_MODELS_H
#define CAB_QUANTUM_MODELS_H

#include <array>
#include <cstdint>
#include <cstring>

namespace cab::quantum {

constexpr uint32_t kWindowBitsMin = 10;
constexpr uint32_t kWindowBitsMax = 21;

constexpr uint32_t kSelectorSymbols = 7;  // 0-3 literal models, 4 three-byte match, 5 four-byte, 6 longer
constexpr uint32_t kLiteralModels = 4;
constexpr uint32_t kLiteralSymbols = 64;  // literal model k codes the bytes 64k to 64k + 63
constexpr uint32_t kPositionSlots = 42;
constexpr uint32_t kLengthSlots = 27;
constexpr uint32_t kMaxModelSymbols = 64;

// Position-model caps: three-byte matches reach at most 4096 bytes back, four-byte ones 262144.
constexpr uint32_t kPosition3Limit = 4096;
constexpr uint32_t kPosition4Limit = 262144;

// Match lengths: selector 4 copies 3 bytes, 5 copies 4, 6 copies the length slot's value plus 5.
constexpr uint32_t kMatch3Length = 3;
constexpr uint32_t kMatch4Length = 4;
constexpr uint32_t kLongMatchMinLength = 5;

/*
 * Model adaptation. Every coded symbol adds kFrequencyStep to the cumulative frequencies of its
 * entry and all entries before it; a total above kRescaleTotal rescales the model. Rescales halve
 * the frequencies, except every kReorderInterval-th (the kFirstReorder-th for a new model), which
 * also sorts the entries by frequency so that the linear symbol search finds frequent ones first.
 */
constexpr uint32_t kFrequencyStep = 8;
constexpr uint32_t kRescaleTotal = 3800;
constexpr uint32_t kFirstReorder = 4;
constexpr uint32_t kReorderInterval = 50;
// Totals stay far below what one arithmetic-coder range (above 16384 after renormalising) can split.
static_assert(kRescaleTotal + kFrequencyStep < 0x4000);

struct SlotTable {
  std::array<uint32_t, kPositionSlots> base;
  std::array<uint8_t, kPositionSlots> extra_bits;
};

// Position slot s has s / 2 - 1 extra bits from slot 4 on (none below), length slot s has
// (s - 2) / 4 from slot 6 to 25 (none otherwise); each base is the previous one plus 2 to the
// previous slot's extra bits.
constexpr SlotTable make_slots(bool length) {
  SlotTable t{};
  uint32_t base = 0;
  const uint32_t nslots = length ? kLengthSlots : kPositionSlots;
  for (uint32_t s = 0; s < nslots; ++s) {
    uint32_t bits = 0;
    if (length) {
      bits = s >= 6 && s < 26 ? (s - 2) / 4 : 0;
    } else {
      bits = s >= 4 ? s / 2 - 1 : 0;
    }
    t.base[s] = base;
    t.extra_bits[s] = static_cast<uint8_t>(bits);
    base += 1u << bits;
  }
  return t;
}

inline constexpr SlotTable kPositionSlotTable = make_slots(false);
inline constexpr SlotTable kLengthSlotTable = make_slots(true);
static_assert(kPositionSlotTable.base[41] == 1572864 && kPositionSlotTable.extra_bits[41] == 19);
static_assert(kLengthSlotTable.base[26] == 254 && kLengthSlotTable.extra_bits[26] == 0);
// The widest read of raw bits must fit one refill of the bit reader, with a renormalisation.
constexpr uint32_t kMaxExtraBits = 19;

// The number of position slots whose base lies below `limit`.
constexpr uint32_t slots_below(uint32_t limit) {
  uint32_t n = 0;
  while (n < kPositionSlots && kPositionSlotTable.base[n] < limit) ++n;
  return n;
}

/*
 * One adaptive model of `nsymbols` symbols: entries 0 to nsymbols, each a cumulative frequency
 * and a symbol, the frequencies falling strictly from the total at entry 0 to 0 at entry
 * nsymbols. The symbol of entry i spans the frequencies [cum[i + 1], cum[i]). The frequencies
 * are kept in whole groups of kLanes entries, zero after entry nsymbols, so that a search looks
 * at kLanes entries at once.
 */
constexpr uint32_t kLanes = 8;
constexpr uint32_t kModelEntries = (kMaxModelSymbols + 1 + kLanes - 1) / kLanes * kLanes;
// Frequencies fit signed 16-bit lanes, which compare in one instruction.
static_assert(kRescaleTotal + kFrequencyStep < 0x8000);

struct Model {
  alignas(16) uint16_t cum[kModelEntries];
  uint8_t symbol[kModelEntries];
  uint16_t nsymbols;
  uint16_t countdown;  // rescales left until the next reorder
};

struct Models {
  Model selector;
  Model literal[kLiteralModels];
  Model position3;
  Model position4;
  Model position_long;
  Model length;
};

// Puts every model of a window of 2^window_bits bytes in its starting state.
void models_init(Models *models, uint32_t window_bits);

// Halves the model's frequencies, or on its reorder turn sorts the entries by frequency.
void model_rescale(Model *model);

/*
 * Finds the entry i whose frequencies hold `target` (cum[i] > target >= cum[i + 1]; target must
 * be below the total), puts cum[i] and cum[i + 1] in `*upper` and `*lower`, then counts one
 * coding of it: kFrequencyStep more for entries 0 to i, and a rescale when the total passes
 * kRescaleTotal. As the frequencies fall, entries 0 to i are exactly those above `target`: one
 * comparison of a group of entries tells how many of them belong to the symbol's span and
 * which of them to count, and the first group with one not above `target` holds entry i + 1.
 */
[[gnu::always_inline]] inline uint32_t model_find_and_count(Model *model, uint32_t target, uint32_t *upper,
                                                           uint32_t *lower) {
  using Lanes = int16_t __attribute__((vector_size(2 * kLanes)));
  using Narrow = int8_t __attribute__((vector_size(kLanes)));
  const Lanes targets = Lanes{} + static_cast<int16_t>(target);
  uint16_t *const cum = model->cum;
  uint32_t group = 0;
  Lanes values;
  Lanes above;
  uint64_t above_bytes;
  for (;; group += kLanes) {
    std::memcpy(&values, cum + group, sizeof values);
    above = values > targets;
    const Narrow narrow = __builtin_convertvector(above, Narrow);
    std::memcpy(&above_bytes, &narrow, sizeof above_bytes);
    if (above_bytes != ~uint64_t{0}) break;
    // The whole group lies above: count it now.
    values += static_cast<int16_t>(kFrequencyStep);
    std::memcpy(cum + group, &values, sizeof values);
  }
  const uint32_t entry = group + static_cast<uint32_t>(__builtin_ctzll(~above_bytes)) / 8 - 1;
  // Entry i + 1 lies in the group not yet counted; entry i may end the group before it.
  *upper = cum[entry] - (entry < group ? kFrequencyStep : 0);
  *lower = cum[entry + 1];
  const uint32_t symbol = model->symbol[entry];  // before a rescale may reorder the entries
  values += above & static_cast<int16_t>(kFrequencyStep);
  std::memcpy(cum + group, &values, sizeof values);
  if (cum[0] > kRescaleTotal) model_rescale(model);
  return symbol;
}

}  // namespace cab::quantum

#endif
