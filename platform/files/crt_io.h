// crt_io.h - the runtime library's low-level file functions (_open, _read, _write, _lseek, _close) over POSIX.
//
// Paths are Linux paths, except that a backslash separates folders as "/" does: any other byte
// is part of a name, "?" and "*" included. Only regular files are opened (see open_file_at): a
// folder fails with EISDIR, a FIFO, socket or device with ENXIO, and no open waits. Flag and
// permission values are the runtime library's own, so callers pass the numbers they were written
// with. A function that fails returns -1 and leaves errno set.
#pragma once

#include <stdint.h>
#include <sys/uio.h>

#ifdef __cplusplus
extern "C" {
#endif

#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_RDWR 0x0002
#define _O_APPEND 0x0008
#define _O_RANDOM 0x0010
#define _O_SEQUENTIAL 0x0020
#define _O_TEMPORARY 0x0040
#define _O_NOINHERIT 0x0080
#define _O_CREAT 0x0100
#define _O_TRUNC 0x0200
#define _O_EXCL 0x0400
#define _O_TEXT 0x4000
#define _O_BINARY 0x8000
// This platform's addition: fail rather than open the last part of the path through a
// symbolic link.
#define _O_NOFOLLOW 0x100000

#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080

// Opens `path`; returns a handle of 0 or more, or -1. With _O_CREAT, `permission` says whether
// the new file may be read and written (_S_IREAD, _S_IWRITE), before the process umask.
// _O_TEXT is treated as _O_BINARY: no translation is done.
int _open(const char *path, int flags, int permission);

// This platform's additions, for names from outside input that must stay below a folder:
// _open_folder opens the folder `path` ("" is the current folder) and returns a handle for
// _open_beneath, to be closed with _close; a symbolic link there is followed, as its caller named it.
int _open_folder(const char *path);
// _open_beneath opens `path` below the folder handle `folder` as _open does, but follows no
// symbolic link in any part of it (ELOOP) and refuses a ".." part (EINVAL); its folders must exist.
int _open_beneath(int folder, const char *path, int flags, int permission);

// Reads up to `count` bytes; fewer only at end of file. Returns the count read, or -1.
int _read(int handle, void *buffer, unsigned count);

// Writes all `count` bytes or fails. Returns `count`, or -1 (errno ENOSPC when the disk is full).
int _write(int handle, const void *buffer, unsigned count);

// This platform's addition: writes the `count` pieces in order as _write does, in one call when it
// can. Returns their total, or -1 (EINVAL when it exceeds INT_MAX or `count` exceeds IOV_MAX).
int _write_pieces(int handle, const struct iovec *pieces, int count);

// Moves to `offset` from the start (origin 0), the current position (1) or the end (2).
// Returns the new position, or -1.
int64_t _lseek(int handle, int64_t offset, int origin);

// Closes the handle. Returns 0, or -1.
int _close(int handle);

// The Win32 handle of the open file `handle`, for SetFileTime and the like; it is the same file and
// stays valid until _close. INVALID_HANDLE_VALUE (as an integer) for a negative handle.
intptr_t _get_osfhandle(int handle);

#ifdef __cplusplus
}
#endif
