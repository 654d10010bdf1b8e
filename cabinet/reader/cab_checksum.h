// cab_checksum.h - the data-block checksum of the cabinet format.
#pragma once

#include <stddef.h>
#include <stdint.h>

// XOR of the range's little-endian 32-bit words into `seed`, the 1 to 3 trailing bytes folded in
// big-endian order (b0 b1 b2 -> b0 << 16 | b1 << 8 | b2).
uint32_t cab_checksum(const uint8_t *data, size_t nbytes, uint32_t seed);
