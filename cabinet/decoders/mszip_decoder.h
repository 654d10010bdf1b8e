/* mszip_decoder.h - the MSZIP decoder: "CK" plus deflate data per block, the reader's buffer as history. */
#ifndef CAB_MSZIP_DECODER_H
#define CAB_MSZIP_DECODER_H

#include "cabinet/decoders/decoder.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Handles carry the tag DEC_TAG_MSZIP. create ignores `window` and reports a compressed
 * buffer of the maximum block size plus 12 bytes. decode reads bits past the end of a block
 * as zeros and stops without error when a block ends with no whole byte of input left; the
 * caller judges truncation by the size produced. Handles are independent and may be used
 * on different threads at once.
 */
extern const CabDecoder cab_mszip_decoder;

#ifdef __cplusplus
}
#endif

#endif
