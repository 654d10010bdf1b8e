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
