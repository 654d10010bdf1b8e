// decoder_handle.h - what every decoder's create, decode, reset and destroy share: the create prologue and the handle's tag check.
#ifndef CABINET_DECODERS_DECODER_HANDLE_H
#define CABINET_DECODERS_DECODER_HANDLE_H

#include <cstdint>

#include "cabinet/decoders/decoder.h"

namespace cab {

/*
 * The create steps every decoder shares before it allocates: the size arguments must be given;
 * a maximum block size of 0 or above CAB_BLOCK_MAX_NBYTES becomes CAB_BLOCK_MAX_NBYTES; the
 * compressed buffer must hold a block of that size grown by `in_slack_nbytes`, what the method
 * adds to data that does not compress; a size query (no `handle`) ends there; a handle needs
 * the memory operations. Sets `*allocate` when the caller is to make the handle, and otherwise
 * returns what create answers.
 */
inline int begin_create(uint32_t *max_block_nbytes, uint32_t in_slack_nbytes, const CabOps *ops,
                        uint32_t *in_capacity_nbytes, void **handle, bool *allocate) {
  *allocate = false;
  if (max_block_nbytes == nullptr || in_capacity_nbytes == nullptr) {
    return DEC_BAD_ARGUMENT;
  }
  if (*max_block_nbytes == 0 || *max_block_nbytes > CAB_BLOCK_MAX_NBYTES) {
    *max_block_nbytes = CAB_BLOCK_MAX_NBYTES;
  }
  *in_capacity_nbytes = *max_block_nbytes + in_slack_nbytes;
  if (handle == nullptr) {
    return DEC_OK;
  }
  if (ops == nullptr || ops->cab_alloc == nullptr || ops->cab_free == nullptr) {
    return DEC_BAD_ARGUMENT;
  }
  *allocate = true;
  return DEC_OK;
}

// The handle as the decoder's own type, or null when it does not carry the decoder's tag.
template <typename Handle>
Handle *checked_handle(void *handle, uint32_t tag) {
  auto *h = static_cast<Handle *>(handle);
  return h != nullptr && h->tag == tag ? h : nullptr;
}

}  // namespace cab

#endif
