// quantum_search_test.cc - catches a model search that finds another entry than the division by the
// range gives, or counts other entries, in either of its comparisons (SSE2 and AVX2), at the ends
// of the range a renormalised coder can have and in models of one group and of many.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "cabinet/decoders/quantum_models.h"

namespace {

using namespace cab::quantum;

uint32_t find_sse2(Model *model, uint32_t range, uint32_t scaled_code, uint32_t *upper, uint32_t *lower) {
  return model_find_and_count<Sse2AboveCount>(model, range, scaled_code, upper, lower);
}

[[gnu::target("avx2,bmi"), gnu::flatten]] uint32_t find_avx2(Model *model, uint32_t range, uint32_t scaled_code,
                                                             uint32_t *upper, uint32_t *lower) {
  return model_find_and_count<Avx2AboveCount>(model, range, scaled_code, upper, lower);
}

using FindFn = uint32_t (*)(Model *, uint32_t, uint32_t, uint32_t *, uint32_t *);

// The search as the coder defines it: the target by division, then a walk down the entries.
uint32_t find_by_division(Model *model, uint32_t range, uint32_t scaled_code, uint32_t *upper, uint32_t *lower) {
  const uint32_t target = (scaled_code - 1) / range;
  uint32_t entry = 0;
  while (model->cum[entry + 1] > target) ++entry;
  *upper = model->cum[entry];
  *lower = model->cum[entry + 1];
  const uint32_t symbol = model->symbol[entry];
  for (uint32_t i = 0; i <= entry; ++i) model->cum[i] = static_cast<uint16_t>(model->cum[i] + kFrequencyStep);
  if (model->cum[0] > kRescaleTotal) model_rescale(model);
  return symbol;
}

// Ranges from just above a quarter of the scale, the least a renormalised coder has, to 2^16,
// and for each entry the code values just below and at the one where the target reaches its
// lower frequency, over models whose frequencies grow apart and reorder as they are coded: each
// search must agree with the division and leave the model as the division's count does.
TEST(QuantumSearch, BothComparisonsAgreeWithTheDivisionAtEveryEdge) {
  std::vector<FindFn> searches{find_sse2};
  if (__builtin_cpu_supports("avx2")) searches.push_back(find_avx2);
  const uint32_t ranges[] = {0x4001, 0x5555, 0x8000, 0xC001, 0xFFFF, 0x10000};
  Models start;
  models_init(&start, 21);
  for (Model *const initial : {&start.selector, &start.literal[0], &start.position_long}) {
    for (FindFn search : searches) {
      Model expected = *initial;
      Model actual = *initial;
      uint32_t step = 0;
      for (int round = 0; round < 16; ++round) {
        for (uint32_t range : ranges) {
          for (uint32_t entry = 1; entry <= expected.nsymbols; ++entry) {
            for (const uint32_t past_edge : {0u, 1u}) {
              // The code position just below the least one whose target reaches this entry's
              // frequency, then that one, each in the model as the step before left it.
              const uint32_t total = expected.cum[0];
              const uint32_t position = (expected.cum[entry] * range + total) / total - 1 + past_edge;
              if (position < 1 || position > range) continue;
              const uint32_t scaled_code = position * total;
              uint32_t expected_upper = 0;
              uint32_t expected_lower = 0;
              uint32_t upper = 0;
              uint32_t lower = 0;
              const uint32_t symbol = find_by_division(&expected, range, scaled_code, &expected_upper, &expected_lower);
              ASSERT_EQ(search(&actual, range, scaled_code, &upper, &lower), symbol) << "step " << step;
              ASSERT_EQ(upper, expected_upper) << "step " << step;
              ASSERT_EQ(lower, expected_lower) << "step " << step;
              ASSERT_EQ(std::vector<uint16_t>(actual.cum, actual.cum + kModelEntries),
                        std::vector<uint16_t>(expected.cum, expected.cum + kModelEntries))
                  << "step " << step;
              ++step;
            }
          }
        }
      }
    }
  }
}

}  // namespace
