// posix_call.h - the one layer through which the platform makes its POSIX file calls: retried on
// signals, one open of a path for the runtime library's and Win32's functions alike, and the seam
// where tests make any open, write, fsync, rename, link or unlink fail.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/uio.h>

namespace platform {

// Runs `call` again for as long as a signal interrupts it (result -1, errno EINTR).
template <typename Call>
auto retry_on_eintr(Call call) {
  for (;;) {
    auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

// The calls that create, change, name or flush files. Each wrapper below counts as one call of its
// kind, however often a signal makes it retry, and returns -1 with errno set as its POSIX call does.
// Descriptors that are no files (the controlling terminal, the signal pipe, a window queue's
// wake-up descriptor) are read and written directly.
enum class FileCall : unsigned { kOpen, kWrite, kFsync, kRename, kLink, kUnlink };

// open with O_CLOEXEC added: no handle here is inherited by a program this process starts.
int posix_open(const char *path, int flags, mode_t mode);
// mkostemp with O_CLOEXEC added; an open of kind kOpen.
int posix_mkostemp(char *path_template);
// One write; it may take fewer bytes than offered.
ssize_t posix_write(int fd, const void *bytes, size_t nbytes);
// One gathering write, of kind kWrite; it too may take fewer bytes than offered.
ssize_t posix_writev(int fd, const struct iovec *pieces, int count);
int posix_fsync(int fd);
int posix_rename(const char *from, const char *to);
int posix_link(const char *existing, const char *name);
int posix_unlink(const char *path);
// unlinkat of a file (no folder) relative to the folder descriptor `folder`; of kind kUnlink.
int posix_unlinkat(int folder, const char *path);

// Opens the POSIX path `path`, relative to the folder descriptor `folder` (AT_FDCWD: the current
// folder), with the POSIX `flags` and, when it creates the file, `mode` before the umask; an open
// of kind kOpen. O_CLOEXEC is always added (no handle here is inherited by a program this process starts), and so are
// O_NONBLOCK and O_NOCTTY: a FIFO or a device under the path must not hold the open, nor a terminal
// become the process's own. As a path names a disk file on Windows, only regular files are opened:
// a folder is refused with EISDIR, a FIFO, socket or device with ENXIO.
// Returns the descriptor, or -1 with errno set.
int open_file_at(int folder, const char *path, int flags, mode_t mode);

inline int open_file(const char *path, int flags, mode_t mode) { return open_file_at(AT_FDCWD, path, flags, mode); }

// The fault seam, for tests of what a failed step leaves on disk. Process-wide and thread-safe.
namespace fault {

constexpr unsigned call_bit(FileCall call) { return 1u << static_cast<unsigned>(call); }
constexpr unsigned kAnyCall = call_bit(FileCall::kUnlink) * 2 - 1;  // kUnlink is the last kind

// Counts the calls of the kinds in the mask `calls` from now on and makes the `nth` of them
// (counted from 1) fail with `error` instead of being made; the calls after it are made as usual.
void fail_nth_call(unsigned nth, int error, unsigned calls = kAnyCall);

// Stops counting and failing; returns how many calls were counted since fail_nth_call, so a
// result below the n asked for means the work ended before its nth call and nothing failed.
unsigned stop_failing();

}  // namespace fault
}  // namespace platform
