// decoder_handle.h - what every decoder's create, decode, reset and destroy share: the block-size rule and the handle's tag check.
#ifndef CABINET_DECODERS_DECODER_HANDLE_H
#define CABINET_DECODERS_DECODER_HANDLE_H

#include <cstdint>

#include "cabinet/decoders/decoder.h"

namespace cab {

// The create step every decoder shares: a maximum block size of 0 or above
// CAB_BLOCK_MAX_NBYTES becomes CAB_BLOCK_MAX_NBYTES, and the compressed buffer must hold a
// block of that size grown by `in_slack_nbytes`, what the method adds to data that does not
// compress.
inline void clamp_block_sizes(uint32_t *max_block_nbytes, uint32_t in_slack_nbytes, uint32_t *in_capacity_nbytes) {
  if (*max_block_nbytes == 0 || *max_block_nbytes > CAB_BLOCK_MAX_NBYTES) {
    *max_block_nbytes = CAB_BLOCK_MAX_NBYTES;
  }
  *in_capacity_nbytes = *max_block_nbytes + in_slack_nbytes;
}

inline bool has_memory_ops(const CabOps *ops) {
  return ops != nullptr && ops->cab_alloc != nullptr && ops->cab_free != nullptr;
}

// The handle as the decoder's own type, or null when it does not carry the decoder's tag.
template <typename Handle>
Handle *checked_handle(void *handle, uint32_t tag) {
  auto *h = static_cast<Handle *>(handle);
  return h != nullptr && h->tag == tag ? h : nullptr;
}

}  // namespace cab

#endif
