// quantum_models.cc - starting states and rescaling of Quantum's adaptive models.
#include "cabinet/decoders/quantum_models.h"

#include <algorithm>
#include <utility>

namespace cab::quantum {
namespace {

// Every symbol starts with frequency 1, symbol i at entry i.
void model_init(Model *model, uint32_t nsymbols) {
  *model = Model{};
  model->nsymbols = static_cast<uint16_t>(nsymbols);
  model->countdown = kFirstReorder;
  for (uint32_t i = 0; i <= nsymbols; ++i) {
    model->cum[i] = static_cast<uint16_t>(nsymbols - i);
    model->symbol[i] = static_cast<uint8_t>(i);
  }
}

}  // namespace

void models_init(Models *models, uint32_t window_bits) {
  const uint32_t window_nbytes = 1u << window_bits;
  model_init(&models->selector, kSelectorSymbols);
  for (Model &literal : models->literal) model_init(&literal, kLiteralSymbols);
  model_init(&models->position3, slots_below(std::min(window_nbytes, kPosition3Limit)));
  model_init(&models->position4, slots_below(std::min(window_nbytes, kPosition4Limit)));
  model_init(&models->position_long, slots_below(window_nbytes));
  model_init(&models->length, kLengthSlots);
}

void model_rescale(Model *model) {
  const uint32_t n = model->nsymbols;
  uint16_t *const cum = model->cum;
  if (--model->countdown > 0) {
    // Halve, keeping every symbol's frequency at 1 or more.
    for (uint32_t i = n; i-- > 0;) {
      cum[i] = static_cast<uint16_t>(cum[i] >> 1);
      if (cum[i] <= cum[i + 1]) cum[i] = static_cast<uint16_t>(cum[i + 1] + 1);
    }
    return;
  }
  model->countdown = kReorderInterval;
  // Cumulative to own frequencies, each halved rounding up; entry i + 1 is still cumulative here.
  for (uint32_t i = 0; i < n; ++i) cum[i] = static_cast<uint16_t>((cum[i] - cum[i + 1] + 1) >> 1);
  // This exact exchange order decides how equal frequencies end up, which the encoder mirrors.
  for (uint32_t i = 0; i + 1 < n; ++i) {
    for (uint32_t j = i + 1; j < n; ++j) {
      if (cum[i] < cum[j]) {
        std::swap(cum[i], cum[j]);
        std::swap(model->symbol[i], model->symbol[j]);
      }
    }
  }
  for (uint32_t i = n; i-- > 0;) cum[i] = static_cast<uint16_t>(cum[i] + cum[i + 1]);
}

}  // namespace cab::quantum
