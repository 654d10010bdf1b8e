// posix_call.cc - the one open of a path that the runtime library's and Win32's file functions share.
#include "platform/files/posix_call.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Handles 0 to 2 are the standard streams on Windows and never come back from an open; callers
// such as the cabinet reader's handlers read 0 as "no file". A process started with a standard
// stream closed would otherwise be handed one of them.
int off_the_standard_streams(int fd) {
  if (fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int moved_error = errno;
  close(fd);
  errno = moved_error;
  return moved;
}

}  // namespace

int open_file_at(int folder, const char *path, int flags, mode_t mode) {
  // A file this open makes is a new regular file, so nothing can wait and nothing needs a look:
  // an open that may create tries that first, which is what extracting into a new folder does.
  if ((flags & (O_CREAT | O_EXCL)) == O_CREAT) {
    const int fd = retry_on_eintr([&] { return openat(folder, path, flags | O_EXCL | O_CLOEXEC | O_NOCTTY, mode); });
    if (fd >= 0 || errno != EEXIST) return fd < 0 ? -1 : off_the_standard_streams(fd);
  }
  const int fd =
      retry_on_eintr([&] { return openat(folder, path, flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, mode); });
  if (fd < 0) return -1;
  // A read-only open of a folder succeeds on Linux, and a special file opens without waiting now;
  // both are refused here.
  struct stat st;
  int error = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : !S_ISREG(st.st_mode) ? ENXIO : 0;
  // Only the open was not to wait: reads and writes of the file behave as the caller asked.
  if (error == 0 && (flags & O_NONBLOCK) == 0 && fcntl(fd, F_SETFL, flags & (O_APPEND | O_DIRECT | O_NOATIME)) != 0)
    error = errno;
  if (error != 0) {
    close(fd);
    errno = error;
    return -1;
  }
  return off_the_standard_streams(fd);
}

}  // namespace platform
