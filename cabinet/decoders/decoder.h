/* decoder.h - the interface every folder decoder (MSZIP, Quantum, LZX) offers the cabinet reader. */
#ifndef CAB_DECODER_H
#define CAB_DECODER_H

#include <stdint.h>

#include "cabinet/include/cab_ops.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Decoder result codes: pinned values. */
enum {
  DEC_OK = 0,
  DEC_NO_MEMORY = 1,    /* an allocation failed */
  DEC_BAD_CONTEXT = 2,  /* the handle does not carry the decoder's tag */
  DEC_BAD_ARGUMENT = 3, /* a size above the decoder's maximum */
  DEC_DATA_ERROR = 4,   /* the compressed data cannot be decoded */
  DEC_BAD_WINDOW = 5    /* a window size the decoder does not accept */
};

/* Every handle begins with its decoder's 4-byte tag, the letters as a little-endian word. */
enum {
  DEC_TAG_MSZIP = 0x4349444D,   /* "MDIC" */
  DEC_TAG_QUANTUM = 0x43494451, /* "QDIC" */
  DEC_TAG_LZX = 0x4349444C      /* "LDIC" */
};

/* The largest block of uncompressed data any decoder produces in one call. */
#define CAB_BLOCK_MAX_NBYTES 32768u

typedef struct CabDecoder {
  /*
   * `max_block_nbytes` (in and out): 0 or more than CAB_BLOCK_MAX_NBYTES become CAB_BLOCK_MAX_NBYTES.
   * `window` is the method's window parameter. `in_capacity_nbytes` receives the size the
   * compressed buffer must have. With `handle` null this is a size query and allocates nothing;
   * otherwise `*handle` receives the new decoder, which keeps `ops` (it must outlive the handle).
   */
  int (*create)(uint32_t *max_block_nbytes, uint32_t window, const CabOps *ops, uint32_t *in_capacity_nbytes,
                void **handle);
  /*
   * Decodes one block of `in_nbytes` compressed bytes into `out`, the reader's buffer of
   * CAB_BLOCK_MAX_NBYTES bytes, which still holds the previous block's output. `out_nbytes` holds
   * the size asked for and receives the size produced.
   */
  int (*decode)(void *handle, const uint8_t *in, uint32_t in_nbytes, uint8_t *out, uint32_t *out_nbytes);
  /* Makes the decoder ready for the first block of a new folder. */
  int (*reset)(void *handle);
  /* Clears the handle's tag and releases everything the decoder allocated. */
  int (*destroy)(void *handle);
} CabDecoder;

#ifdef __cplusplus
}
#endif

#endif
