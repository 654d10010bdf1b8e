/* quantum_decoder.h - the Quantum decoder: arithmetic-coded LZ77 over a window of 2^10 to 2^21 bytes. */
#ifndef CAB_QUANTUM_DECODER_H
#define CAB_QUANTUM_DECODER_H

#include "cabinet/decoders/decoder.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Handles carry the tag DEC_TAG_QUANTUM. create takes the window's power of two (10 to 21,
 * else DEC_BAD_WINDOW) and reports a compressed buffer of the maximum block size plus 10240
 * bytes; a window that cannot be allocated is DEC_NO_MEMORY (there is no spill file). decode
 * produces exactly the size asked or fails with DEC_DATA_ERROR: a block must hold every bit its
 * symbols and their renormalisation read, and no match may run past the size asked. Models and
 * window carry from block to block until reset, which keeps the window's contents. All state
 * lives in the handle: handles are independent and may be used on different threads at once.
 */
extern const CabDecoder cab_quantum_decoder;

#ifdef __cplusplus
}
#endif

#endif
