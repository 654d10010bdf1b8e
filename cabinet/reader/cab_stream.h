// cab_stream.h - buffered reading of one cabinet handle: reads are served from a buffer refilled in
// large reads, or from the whole file mapped when the caller allows it, and the position is kept by
// the stream, so telling it costs no call and moving it costs a seek only when a refill needs one.
#pragma once

#include <stdint.h>

#include "cabinet/include/cab_ops.h"

struct CabStream {
  const CabOps *ops;
  int32_t handle;           // -1 when closed
  uint8_t *buffer;          // owned by the caller, `capacity` bytes
  uint32_t capacity;
  int64_t buffer_offset;    // file offset of buffer[0]
  uint32_t buffered;        // valid bytes from buffer[0]
  int64_t position;         // where the next read starts
  int64_t handle_position;  // where the handle itself is, -1 when unknown
  // While the file is mapped (stream_map), its bytes are read in place instead of through `buffer`.
  const CabMapOps *map_ops;
  const uint8_t *mapped;
  uint64_t mapped_nbytes;
};

// Takes `handle` (open, at its start) for reading through `buffer`.
void stream_attach(CabStream *stream, const CabOps *ops, int32_t handle, uint8_t *buffer, uint32_t capacity);

// Maps the file through `map_ops` when it is larger than the buffer; it stays read as before if not.
void stream_map(CabStream *stream, const CabMapOps *map_ops);
// Ends the mapping, if any; before the handle is closed.
void stream_unmap(CabStream *stream);
bool stream_is_mapped(const CabStream *stream);

// Reads up to `nbytes` (fewer only at end of file). Returns the count read, or -1 on a failed read
// or seek.
int32_t stream_read(CabStream *stream, void *out, uint32_t nbytes);

// Returns a pointer to the next `nbytes` bytes inside the buffer (refilling it if needed) and moves
// past them, or null when fewer remain in the file or a read fails. Valid until the next call, or
// while the stream is mapped, until stream_unmap; then they are touched only through stream_visit
// or by the caller's writes. `nbytes` must not exceed the capacity.
const uint8_t *stream_take(CabStream *stream, uint32_t nbytes);

// Runs `visit(context)`, which reads `nbytes` at `bytes` (from stream_take, or memory of its own);
// false when the file was shortened under a mapping and the bytes are gone.
bool stream_visit(const CabStream *stream, const uint8_t *bytes, uint32_t nbytes, void (*visit)(void *context),
                  void *context);
// Whether every mapped byte is still there: false once the file has been shortened under the mapping.
bool stream_still_whole(const CabStream *stream);

// Moves the position; fails only for a negative offset (a position past the end reads short).
bool stream_seek(CabStream *stream, int64_t offset);

// Forgets where the handle is, after someone else moved it.
void stream_handle_moved(CabStream *stream);
