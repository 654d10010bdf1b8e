// quantum_models.h - Quantum's adaptive frequency models and its position and length slot tables.
#ifndef CAB_QUANTUM_MODELS_H
#define CAB_QUANTUM_MODELS_H

#include <array>
#include <cstdint>
#include <immintrin.h>

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
// A frequency times a range (at most 2^16) fits a signed 32-bit lane.
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
 * The arithmetic decoder's target is floor((scaled_code - 1) / range) for
 * scaled_code = (code - low + 1) * total, and a frequency lies above it exactly when the
 * frequency times `range` is at least scaled_code: comparing products keeps a division off the
 * path from one symbol to the next. `range` is 1 to 2^16 and scaled_code at least 1, so every
 * product and the threshold fit signed 32-bit lanes.
 *
 * Each kind below tells how many of kLanes frequencies, counted from the first, lie above the
 * target: one with SSE2, which every x86-64 processor has, one with AVX2's 32-bit multiplies.
 */
class Sse2AboveCount {
 public:
  [[gnu::always_inline]] Sse2AboveCount(uint32_t range, uint32_t scaled_code)
      : range_less_one_(_mm_set1_epi16(static_cast<int16_t>(range - 1))),
        threshold_(_mm_set1_epi32(static_cast<int32_t>(scaled_code - 1))) {}

  [[gnu::always_inline]] uint32_t operator()(const uint16_t *frequencies) const {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i *>(frequencies));
    // Each product as value * (range - 1) + value: range - 1 fits a 16-bit lane.
    const __m128i low_halves = _mm_mullo_epi16(values, range_less_one_);
    const __m128i high_halves = _mm_mulhi_epu16(values, range_less_one_);
    const __m128i zero = _mm_setzero_si128();
    const __m128i first = _mm_add_epi32(_mm_unpacklo_epi16(low_halves, high_halves), _mm_unpacklo_epi16(values, zero));
    const __m128i second = _mm_add_epi32(_mm_unpackhi_epi16(low_halves, high_halves), _mm_unpackhi_epi16(values, zero));
    const __m128i above = _mm_packs_epi32(_mm_cmpgt_epi32(first, threshold_), _mm_cmpgt_epi32(second, threshold_));
    // Two mask bits per frequency, and the frequencies fall: the first clear bit ends the count.
    return static_cast<uint32_t>(__builtin_ctz(~static_cast<uint32_t>(_mm_movemask_epi8(above)))) / 2;
  }

 private:
  __m128i range_less_one_;
  __m128i threshold_;
};

class Avx2AboveCount {
 public:
  [[gnu::target("avx2")]] Avx2AboveCount(uint32_t range, uint32_t scaled_code)
      : ranges_(_mm256_set1_epi32(static_cast<int32_t>(range))),
        threshold_(_mm256_set1_epi32(static_cast<int32_t>(scaled_code - 1))) {}

  [[gnu::target("avx2,bmi")]] uint32_t operator()(const uint16_t *frequencies) const {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i *>(frequencies));
    const __m256i products = _mm256_mullo_epi32(_mm256_cvtepu16_epi32(values), ranges_);
    const __m256i above = _mm256_cmpgt_epi32(products, threshold_);
    return static_cast<uint32_t>(__builtin_ctz(~static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(above)))));
  }

 private:
  __m256i ranges_;
  __m256i threshold_;
};

/*
 * Finds the entry i whose frequencies hold the target (see above), puts cum[i] and cum[i + 1]
 * in `*upper` and `*lower`, then counts one coding of it: kFrequencyStep more for entries 0 to
 * i, and a rescale when the total passes kRescaleTotal. As the frequencies fall, entries 0 to i
 * are exactly those above the target, so the first group with one not above it holds entry
 * i + 1, and its count of those above tells which of its entries to count.
 */
template <typename AboveCount>
[[gnu::always_inline]] inline uint32_t model_find_and_count(Model *model, uint32_t range, uint32_t scaled_code,
                                                           uint32_t *upper, uint32_t *lower) {
  // kFrequencyStep for the first n of a group's entries starts at kSteps + kLanes - n.
  static constexpr int16_t kSteps[2 * kLanes] = {kFrequencyStep, kFrequencyStep, kFrequencyStep, kFrequencyStep,
                                                 kFrequencyStep, kFrequencyStep, kFrequencyStep, kFrequencyStep};
  const AboveCount count_above(range, scaled_code);
  uint16_t *const cum = model->cum;
  uint32_t group = 0;
  uint32_t count;
  while ((count = count_above(cum + group)) == kLanes) {
    // The whole group lies above: count it now.
    auto *const frequencies = reinterpret_cast<__m128i *>(cum + group);
    _mm_storeu_si128(frequencies, _mm_add_epi16(_mm_loadu_si128(frequencies), _mm_set1_epi16(kFrequencyStep)));
    group += kLanes;
  }
  const uint32_t entry = group + count - 1;
  // Entry i + 1 lies in the group not yet counted; entry i may end the group before it.
  *upper = cum[entry] - (count == 0 ? kFrequencyStep : 0);
  *lower = cum[entry + 1];
  const uint32_t symbol = model->symbol[entry];  // before a rescale may reorder the entries
  auto *const frequencies = reinterpret_cast<__m128i *>(cum + group);
  const __m128i steps = _mm_loadu_si128(reinterpret_cast<const __m128i *>(kSteps + kLanes - count));
  _mm_storeu_si128(frequencies, _mm_add_epi16(_mm_loadu_si128(frequencies), steps));
  if (cum[0] > kRescaleTotal) model_rescale(model);
  return symbol;
}

}  // namespace cab::quantum

#endif
