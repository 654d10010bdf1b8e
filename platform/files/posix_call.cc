// posix_call.cc - the platform's POSIX file calls, each first asking the fault seam whether to fail.
#include "platform/files/posix_call.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace platform {
namespace {

// Set by fail_nth_call before counting starts, so a call that sees the counting also sees them.
std::atomic<bool> g_counting{false};
std::atomic<unsigned> g_calls_counted{0};
std::atomic<unsigned> g_nth{0};
std::atomic<int> g_error{0};
std::atomic<unsigned> g_call_mask{0};

// Whether this call is the one the seam was asked to fail; errno is then set. One relaxed load
// when no test is counting, which is nothing beside the system call it guards.
bool injected(FileCall call) {
  if (!g_counting.load(std::memory_order_acquire)) return false;
  if ((g_call_mask.load(std::memory_order_relaxed) & fault::call_bit(call)) == 0) return false;
  if (g_calls_counted.fetch_add(1, std::memory_order_relaxed) + 1 != g_nth.load(std::memory_order_relaxed))
    return false;
  errno = g_error.load(std::memory_order_relaxed);
  return true;
}

}  // namespace

namespace fault {

void fail_nth_call(unsigned nth, int error, unsigned calls) {
  g_counting.store(false, std::memory_order_relaxed);
  g_calls_counted.store(0, std::memory_order_relaxed);
  g_nth.store(nth, std::memory_order_relaxed);
  g_error.store(error, std::memory_order_relaxed);
  g_call_mask.store(calls, std::memory_order_relaxed);
  g_counting.store(true, std::memory_order_release);
}

unsigned stop_failing() {
  g_counting.store(false, std::memory_order_release);
  return g_calls_counted.load(std::memory_order_relaxed);
}

}  // namespace fault

int posix_open(const char *path, int flags, mode_t mode) {
  if (injected(FileCall::kOpen)) return -1;
  return retry_on_eintr([&] { return open(path, flags | O_CLOEXEC, mode); });
}

int posix_mkostemp(char *path_template) {
  if (injected(FileCall::kOpen)) return -1;
  // Not retried: a failed attempt may have changed the template's last six characters.
  return mkostemp(path_template, O_CLOEXEC);
}

ssize_t posix_write(int fd, const void *bytes, size_t nbytes) {
  if (injected(FileCall::kWrite)) return -1;
  return retry_on_eintr([&] { return write(fd, bytes, nbytes); });
}

ssize_t posix_writev(int fd, const struct iovec *pieces, int count) {
  if (injected(FileCall::kWrite)) return -1;
  return retry_on_eintr([&] { return writev(fd, pieces, count); });
}

int posix_fsync(int fd) {
  if (injected(FileCall::kFsync)) return -1;
  return retry_on_eintr([&] { return fsync(fd); });
}

int posix_rename(const char *from, const char *to) {
  if (injected(FileCall::kRename)) return -1;
  return rename(from, to);
}

int posix_link(const char *existing, const char *name) {
  if (injected(FileCall::kLink)) return -1;
  return link(existing, name);
}

int posix_unlink(const char *path) {
  if (injected(FileCall::kUnlink)) return -1;
  return unlink(path);
}

int posix_unlinkat(int folder, const char *path) {
  if (injected(FileCall::kUnlink)) return -1;
  return unlinkat(folder, path, 0);
}

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
  if (injected(FileCall::kOpen)) return -1;  // one open for the seam, however many attempts it makes
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
