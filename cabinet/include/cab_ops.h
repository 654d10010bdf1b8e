/* cab_ops.h - the memory and file operations a caller gives the cabinet reader and its decoders. */
#ifndef CAB_OPS_H
#define CAB_OPS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Returns a block of `nbytes`, or null when no memory is left. */
typedef void *(*cab_alloc_fn)(uint32_t nbytes);
typedef void (*cab_free_fn)(void *memory);
/* `flags` and `permission` take the runtime library's _O_ and _S_ values. Returns a handle >= 0, or -1. */
typedef int32_t (*cab_open_fn)(const char *path, int32_t flags, int32_t permission);
/* Returns the count read (fewer only at end of file), or -1. */
typedef int32_t (*cab_read_fn)(int32_t handle, void *buffer, uint32_t nbytes);
/* Returns the count written, or -1. */
typedef int32_t (*cab_write_fn)(int32_t handle, const void *buffer, uint32_t nbytes);
/* Returns 0, or -1. */
typedef int32_t (*cab_close_fn)(int32_t handle);
/* `origin` 0 is the start of the file, 1 the current position. Returns the new position, or -1. */
typedef int64_t (*cab_seek_fn)(int32_t handle, int64_t offset, int32_t origin);

typedef struct CabOps {
  cab_alloc_fn cab_alloc;
  cab_free_fn cab_free;
  cab_open_fn cab_open;
  cab_read_fn cab_read;
  cab_write_fn cab_write;
  cab_close_fn cab_close;
  cab_seek_fn cab_seek;
} CabOps;

struct iovec;

/* What a caller whose handles are files that can be mapped adds (cab_reader_allow_mapping): the
 * reader then reads a large cabinet in place instead of copying it, and writes stored files
 * straight from there. The caller's writes may then be given mapped bytes, which they pass to the
 * system untouched: the cabinet may be shortened meanwhile, and only cab_read_mapped survives that. */
typedef struct CabMapOps {
  /* Maps the whole of `handle` read-only if it holds at least `min_nbytes`: returns its first byte
   * and sets *nbytes, or null, and the reader reads the file as usual. */
  const void *(*cab_map)(int32_t handle, uint64_t min_nbytes, uint64_t *nbytes);
  void (*cab_unmap)(const void *bytes, uint64_t nbytes);
  /* Runs read(context), which touches mapped bytes only in [bytes, bytes + nbytes). Returns 1, or 0
   * when a page there was gone (the file was shortened) and `read` was cut short. */
  int32_t (*cab_read_mapped)(const void *bytes, uint64_t nbytes, void (*read)(void *context), void *context);
  /* Writes the `count` pieces in order, as cab_write does. Returns their total, or -1. */
  int32_t (*cab_write_pieces)(int32_t handle, const struct iovec *pieces, int32_t count);
} CabMapOps;

/* The runtime library's open flags and permissions that the reader passes. */
enum {
  CAB_O_RDONLY = 0x0000,
  CAB_O_BINARY = 0x8000,
  CAB_S_IREAD = 0x0100,
  CAB_S_IWRITE = 0x0080
};

#ifdef __cplusplus
}
#endif

#endif
