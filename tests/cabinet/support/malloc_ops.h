// malloc_ops.h - the memory operations the decoders' tests, benchmarks and fuzz targets hand them: malloc and free.
#ifndef TESTS_CABINET_SUPPORT_MALLOC_OPS_H
#define TESTS_CABINET_SUPPORT_MALLOC_OPS_H

#include <cstdint>
#include <cstdlib>

#include "cabinet/include/cab_ops.h"

namespace cabtest {

inline void *malloc_alloc(uint32_t nbytes) { return std::malloc(nbytes); }
inline void malloc_free(void *memory) { std::free(memory); }

// No file operations: decoders only allocate.
inline constexpr CabOps kMallocOps = {malloc_alloc, malloc_free, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace cabtest

#endif
