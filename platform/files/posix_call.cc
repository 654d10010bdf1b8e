// posix_call.cc - the one open of a path that the runtime library's and Win32's file functions share.
#include "platform/files/posix_call.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

int open_file(const char *path, int flags, mode_t mode) {
  const int fd = retry_on_eintr([&] { return open(path, flags | O_CLOEXEC, mode); });
  if (fd < 0) {
    // Linux refuses a folder only for writing (EISDIR); Windows says "access denied" either way.
    if (errno == EISDIR) errno = EACCES;
    return -1;
  }
  // A read-only open of a folder succeeds on Linux, so only that case costs a look at the file.
  if ((flags & O_ACCMODE) == O_RDONLY) {
    struct stat st;
    const int error = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EACCES : 0;
    if (error != 0) {
      close(fd);
      errno = error;
      return -1;
    }
  }
  // Handles 0 to 2 are the standard streams on Windows and never come back from an open; callers
  // such as the cabinet reader's handlers read 0 as "no file". A process started with a standard
  // stream closed would otherwise be handed one of them.
  if (fd <= STDERR_FILENO) {
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int error = errno;
    close(fd);
    errno = error;
    return moved;
  }
  return fd;
}

}  // namespace platform
