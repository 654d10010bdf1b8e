// posix_call.h - how the file functions here make their POSIX calls: retried on signals, and one open
// of a path for the runtime library's and Win32's functions alike.
#pragma once

#include <errno.h>
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

// Opens the POSIX path `path` with the POSIX `flags` (O_CLOEXEC is always added: no handle here is
// inherited by a program this process starts) and, when it creates the file, `mode` before the
// umask. A folder is refused as Windows refuses it (errno EACCES), whatever the flags.
// Returns the descriptor, or -1 with errno set.
int open_file(const char *path, int flags, mode_t mode);

}  // namespace platform
