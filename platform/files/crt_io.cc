// crt_io.cc - the runtime library's low-level file functions (_open, _read, _write, _lseek, _close) over POSIX.
#include "platform/files/crt_io.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "platform/files/beneath.h"
#include "platform/files/posix_call.h"
#include "platform/files/win_path.h"

namespace {

constexpr int kAccessFlags = _O_RDONLY | _O_WRONLY | _O_RDWR;
constexpr int kKnownFlags = kAccessFlags | _O_APPEND | _O_RANDOM | _O_SEQUENTIAL | _O_TEMPORARY |
                            _O_NOINHERIT | _O_CREAT | _O_TRUNC | _O_EXCL | _O_TEXT | _O_BINARY | _O_NOFOLLOW;

// The runtime flags that have a POSIX open flag of their own. _O_NOINHERIT needs none (every
// descriptor here is close-on-exec), _O_TEXT and _O_BINARY none (no translation is ever done); the
// access hints and _O_TEMPORARY act after the open.
constexpr struct {
  int runtime;
  int posix;
} kOpenFlags[] = {
    {_O_APPEND, O_APPEND}, {_O_CREAT, O_CREAT}, {_O_TRUNC, O_TRUNC}, {_O_EXCL, O_EXCL}, {_O_NOFOLLOW, O_NOFOLLOW},
};

// The POSIX open flags for the runtime's `flags`, or -1 for flags the runtime would refuse (an
// access mode of 3, an unknown bit).
int posix_open_flags(int flags) {
  if ((flags & ~kKnownFlags) != 0) return -1;
  int posix;
  switch (flags & kAccessFlags) {
    case _O_RDONLY: posix = O_RDONLY; break;
    case _O_WRONLY: posix = O_WRONLY; break;
    case _O_RDWR: posix = O_RDWR; break;
    default: return -1;
  }
  for (const auto &flag : kOpenFlags) {
    if ((flags & flag.runtime) != 0) posix |= flag.posix;
  }
  return posix;
}

mode_t posix_mode(int permission) {
  return ((permission & _S_IREAD) != 0 ? 0444 : 0) | ((permission & _S_IWRITE) != 0 ? 0222 : 0);
}

// Opens `path` in the folder `folder` (AT_FDCWD or a folder handle) and applies the runtime flags
// that act after the open.
int open_in(int folder, const char *path, int flags, int permission) {
  const int posix_flags = posix_open_flags(flags);
  if (posix_flags < 0 || path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  const std::string posix = platform::posix_path(path);
  const int fd = platform::open_file_at(folder, posix.c_str(), posix_flags, posix_mode(permission));
  if (fd < 0) return -1;

  // The file disappears from its folder now and from the disk at its last close, as a temporary
  // file does on Windows when its last handle closes.
  if ((flags & _O_TEMPORARY) != 0 && platform::posix_unlinkat(folder, posix.c_str()) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  // As the runtime library does, _O_SEQUENTIAL wins over _O_RANDOM. A hint the file system cannot
  // take is no reason to fail the open. The hints steer read-ahead, so a write-only file skips them.
  if ((flags & kAccessFlags) == _O_WRONLY) return fd;
  if ((flags & _O_SEQUENTIAL) != 0) {
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  } else if ((flags & _O_RANDOM) != 0) {
    posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  }
  return fd;
}

}  // namespace

int _open(const char *path, int flags, int permission) { return open_in(AT_FDCWD, path, flags, permission); }

int _open_folder(const char *path) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  return platform::open_folder(path);
}

int _open_beneath(int folder, const char *path, int flags, int permission) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  const std::string_view whole(path);
  const size_t cut = whole.find_last_of("\\/");
  const std::string name(cut == std::string_view::npos ? whole : whole.substr(cut + 1));
  // The last part too is a name, never a way up.
  if (name == "..") {
    errno = EINVAL;
    return -1;
  }
  if (cut == std::string_view::npos) return open_in(folder, name.c_str(), flags | _O_NOFOLLOW, permission);
  const int parent = platform::open_folder_beneath(folder, whole.substr(0, cut), false);
  if (parent < 0) return -1;
  const int fd = open_in(parent, name.c_str(), flags | _O_NOFOLLOW, permission);
  const int error = errno;
  close(parent);
  errno = error;
  return fd;
}

int _read(int handle, void *buffer, unsigned count) {
  // The count read comes back as an int, so a larger request cannot be answered.
  if (count > INT_MAX) {
    errno = EINVAL;
    return -1;
  }
  char *const bytes = static_cast<char *>(buffer);
  unsigned done = 0;
  while (done < count) {
    const ssize_t n = platform::retry_on_eintr([&] { return read(handle, bytes + done, count - done); });
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<unsigned>(n);
  }
  return static_cast<int>(done);
}

int _write(int handle, const void *buffer, unsigned count) {
  if (count > INT_MAX) {
    errno = EINVAL;
    return -1;
  }
  const char *const bytes = static_cast<const char *>(buffer);
  unsigned done = 0;
  while (done < count) {
    const ssize_t n = platform::posix_write(handle, bytes + done, count - done);
    if (n < 0) return -1;
    // A write that takes nothing and reports no error would loop forever; only a full disk does it.
    if (n == 0) {
      errno = ENOSPC;
      return -1;
    }
    done += static_cast<unsigned>(n);
  }
  return static_cast<int>(done);
}

int _write_pieces(int handle, const struct iovec *pieces, int count) {
  size_t total = 0;
  if (count >= 0 && count <= IOV_MAX) {
    for (int i = 0; i < count; ++i) total += pieces[i].iov_len;
  }
  if (count < 0 || count > IOV_MAX || total > INT_MAX) {
    errno = EINVAL;
    return -1;
  }
  const ssize_t written = platform::posix_writev(handle, pieces, count);
  if (written < 0) return -1;
  // What a short write (a signal, a full disk) left goes out piece by piece.
  auto done = static_cast<size_t>(written);
  for (int i = 0; i < count; ++i) {
    const size_t nbytes = pieces[i].iov_len;
    if (done >= nbytes) {
      done -= nbytes;
      continue;
    }
    if (_write(handle, static_cast<const char *>(pieces[i].iov_base) + done, static_cast<unsigned>(nbytes - done)) < 0)
      return -1;
    done = 0;
  }
  return static_cast<int>(total);
}

int64_t _lseek(int handle, int64_t offset, int origin) {
  static_assert(sizeof(off_t) == sizeof(int64_t), "large files need a 64-bit off_t");
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) {
    errno = EINVAL;
    return -1;
  }
  return lseek(handle, offset, kWhence[origin]);
}

// close is not retried on EINTR: Linux has released the descriptor by then, and a retry could
// close a descriptor that another thread has just been given.
int _close(int handle) { return close(handle); }
