// mapped_file.h - a whole file mapped read-only, so that large files are read in place, not copied.
//
// Another process may shorten a mapped file at any time, and touching a mapped page past the new
// end raises SIGBUS. So mapped bytes are touched only inside read_mapped, which turns that signal
// into a failed read, or by the kernel (a write from them then fails with EFAULT).
#pragma once

#include <stdint.h>

namespace platform {

// Maps the whole of the open file `fd` read-only when it is a regular file of at least
// `min_nbytes` (and of at least one byte). Returns its first byte and sets `*nbytes`; null when it
// is smaller or cannot be mapped, and the caller then reads it as usual.
const uint8_t *map_file(int fd, uint64_t min_nbytes, uint64_t *nbytes);
void unmap_file(const uint8_t *bytes, uint64_t nbytes);

// Runs `read(context)`, which may touch bytes of a map_file mapping only in [bytes, bytes + nbytes). Returns false
// when a page there was gone (the file was shortened meanwhile): `read` was then cut short at that
// page, so it must hold no lock and own nothing that a jump out of it would leak.
// The first mapping installs a SIGBUS handler for the process; a bus error it does not own goes on
// to the handler it replaced, or ends the process as before.
bool read_mapped(const void *bytes, uint64_t nbytes, void (*read)(void *context), void *context);

}  // namespace platform
