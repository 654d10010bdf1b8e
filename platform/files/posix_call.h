// posix_call.h - how the file functions here make their POSIX calls: retried on signals, and one open
// of a path for the runtime library's and Win32's functions alike.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <sys/types.h>

namespace platform {

// Runs `call` again for as long as a signal interrupts it (result -1, errno EINTR).
template <typename Call>
auto retry_on_eintr(Call call) {
  for (;;) {
    auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

// Opens the POSIX path `path`, relative to the folder descriptor `folder` (AT_FDCWD: the current
// folder), with the POSIX `flags` and, when it creates the file, `mode` before the umask. O_CLOEXEC
// is always added (no handle here is inherited by a program this process starts), and so are
// O_NONBLOCK and O_NOCTTY: a FIFO or a device under the path must not hold the open, nor a terminal
// become the process's own. As a path names a disk file on Windows, only regular files are opened:
// a folder is refused with EISDIR, a FIFO, socket or device with ENXIO.
// Returns the descriptor, or -1 with errno set.
int open_file_at(int folder, const char *path, int flags, mode_t mode);

inline int open_file(const char *path, int flags, mode_t mode) { return open_file_at(AT_FDCWD, path, flags, mode); }

}  // namespace platform
