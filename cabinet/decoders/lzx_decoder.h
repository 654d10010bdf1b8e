/* lzx_decoder.h - the LZX decoder: one frame per data block, a window that runs on across a folder. */
#ifndef CAB_LZX_DECODER_H
#define CAB_LZX_DECODER_H

#include "cabinet/decoders/decoder.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Handles carry the tag DEC_TAG_LZX. create takes the window size in bytes, which must be 2^15
 * to 2^21 (anything else gives DEC_BAD_WINDOW, size queries aside), and reports a compressed
 * buffer of the maximum block size plus 6144 bytes. decode produces exactly the size asked for
 * or fails with DEC_DATA_ERROR and 0 bytes; after a failure every decode fails until reset.
 * decode reads nothing outside [in, in + in_nbytes). Handles are independent and may be used on
 * different threads at once.
 */
extern const CabDecoder cab_lzx_decoder;

#ifdef __cplusplus
}
#endif

#endif
