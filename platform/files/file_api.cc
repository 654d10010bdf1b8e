// file_api.cc - the Win32 file functions (CreateFileA, CloseHandle, SetFileTime, GetFileTime, the
// attribute functions, DeleteFileA) over POSIX descriptors and paths.
#include "platform/files/file_api.h"

#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/files/crt_io.h"
#include "platform/files/file_time.h"
#include "platform/files/posix_call.h"
#include "platform/files/win_path.h"

namespace {

// A HANDLE is the descriptor plus one, so that no valid handle is null (descriptor 0) and none is
// INVALID_HANDLE_VALUE (-1).
HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1); }

// The descriptor of a handle that CreateFileA returned, or -1 for a value it never returns.
int fd_of(HANDLE handle) {
  const intptr_t fd = reinterpret_cast<intptr_t>(handle) - 1;
  return fd < 0 || fd > INT_MAX ? -1 : static_cast<int>(fd);
}

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// The Windows code for a call on the POSIX path `path` that failed with `error`. Windows tells a
// missing file (the folder exists) from a missing folder, where POSIX says ENOENT for both; EINVAL is
// only ever a name the file system refuses (vfat's "?" or "*").
DWORD path_error(const std::string &path, int error) {
  if (error == EINVAL) return ERROR_INVALID_NAME;
  if (error == ENOENT) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  }
  return win_error_from_errno(error);
}

// The POSIX path for `windows_path` into `*out`; false, with the last error set, for no path at all.
bool to_posix_path(LPCSTR windows_path, std::string *out) {
  if (windows_path == nullptr) return fail(ERROR_INVALID_NAME);
  *out = platform::posix_path(windows_path);
  return true;
}

}  // namespace

HANDLE CreateFileA(LPCSTR path, DWORD desired_access, DWORD /*share_mode*/, void * /*security_attributes*/,
                   DWORD creation_disposition, DWORD flags_and_attributes, HANDLE /*template_file*/) {
  const bool writes = (desired_access & GENERIC_WRITE) != 0;
  // Without GENERIC_READ or GENERIC_WRITE the caller only wants to look at the file; reading does that.
  int flags = (desired_access & GENERIC_READ) != 0 && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
  switch (creation_disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    // Windows refuses to truncate through a handle that cannot write; Linux would do it.
    case TRUNCATE_EXISTING:
      if (!writes) {
        fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_TRUNC;
      break;
    default: fail(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  if ((flags_and_attributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0) flags |= O_NOFOLLOW;
  const mode_t mode = (flags_and_attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;

  std::string posix;
  if (!to_posix_path(path, &posix)) return INVALID_HANDLE_VALUE;
  const int fd = platform::open_file(posix.c_str(), flags, mode);
  if (fd < 0) {
    fail(path_error(posix, errno));
    return INVALID_HANDLE_VALUE;
  }
  return handle_of(fd);
}

intptr_t _get_osfhandle(int handle) {
  return handle < 0 ? reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE) : reinterpret_cast<intptr_t>(handle_of(handle));
}

BOOL CloseHandle(HANDLE handle) {
  const int fd = fd_of(handle);
  if (fd < 0) return fail(ERROR_INVALID_HANDLE);
  // Not retried on EINTR: the descriptor is released by then (see _close).
  return close(fd) == 0 ? TRUE : fail(win_error_from_errno(errno));
}

namespace {

// The futimens entry for one time of SetFileTime. Windows leaves a time alone when its pointer is
// null or the FILETIME is zero; all ones asks it also to stop updating that time through the handle,
// which Linux cannot do, so here it too only leaves the time alone.
bool file_time_update(const FILETIME *time, struct timespec *out) {
  if (time == nullptr || (time->dwLowDateTime == 0 && time->dwHighDateTime == 0) ||
      (time->dwLowDateTime == 0xFFFFFFFFu && time->dwHighDateTime == 0xFFFFFFFFu)) {
    *out = {0, UTIME_OMIT};
    return true;
  }
  return platform::timespec_from_filetime(*time, out);
}

}  // namespace

BOOL SetFileTime(HANDLE file, const FILETIME * /*creation_time*/, const FILETIME *last_access_time,
                 const FILETIME *last_write_time) {
  const int fd = fd_of(file);
  if (fd < 0) return fail(ERROR_INVALID_HANDLE);
  struct timespec times[2];
  if (!file_time_update(last_access_time, &times[0]) || !file_time_update(last_write_time, &times[1])) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  return futimens(fd, times) == 0 ? TRUE : fail(win_error_from_errno(errno));
}

BOOL GetFileTime(HANDLE file, FILETIME *creation_time, FILETIME *last_access_time, FILETIME *last_write_time) {
  const int fd = fd_of(file);
  if (fd < 0) return fail(ERROR_INVALID_HANDLE);
  struct stat st;
  if (fstat(fd, &st) != 0) return fail(win_error_from_errno(errno));
  const struct {
    FILETIME *out;
    const struct timespec &time;
  } times[] = {{creation_time, st.st_ctim}, {last_access_time, st.st_atim}, {last_write_time, st.st_mtim}};
  for (const auto &time : times) {
    if (time.out != nullptr && !platform::filetime_from_timespec(time.time, time.out)) {
      return fail(ERROR_INVALID_PARAMETER);
    }
  }
  return TRUE;
}

namespace {

// The permission bits that `attributes` asks for, from the file's current ones.
mode_t wanted_mode(mode_t mode, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return mode & ~mode_t{0222};
  return (mode & 0222) == 0 ? mode | 0200 : mode;
}

// Gives the open file `fd` the permission bits `attributes` asks for; 0 or the errno.
int apply_attributes(int fd, DWORD attributes) {
  struct stat st;
  if (fstat(fd, &st) != 0) return errno;
  const mode_t mode = st.st_mode & 07777;
  const mode_t wanted = wanted_mode(mode, attributes);
  return wanted == mode || fchmod(fd, wanted) == 0 ? 0 : errno;
}

}  // namespace

// Runs once per extracted file, so the common case (nothing to change) costs one lstat; a change
// goes through a handle opened without following links (nor waiting, as for a FIFO), so a link
// swapped in meanwhile is refused.
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
  std::string posix;
  if (!to_posix_path(path, &posix)) return FALSE;
  struct stat st;
  if (lstat(posix.c_str(), &st) != 0) return fail(path_error(posix, errno));
  if (S_ISLNK(st.st_mode)) return fail(ERROR_CANT_ACCESS_FILE);
  if (wanted_mode(st.st_mode & 07777, attributes) == (st.st_mode & 07777)) return TRUE;

  const int fd = platform::posix_open(posix.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0);
  if (fd < 0) return fail(path_error(posix, errno));
  const int error = apply_attributes(fd, attributes);
  close(fd);
  return error == 0 ? TRUE : fail(win_error_from_errno(error));
}

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS information_class, void *information,
                                DWORD nbytes) {
  if (information_class != FileBasicInfo || information == nullptr || nbytes < sizeof(FILE_BASIC_INFO))
    return fail(ERROR_INVALID_PARAMETER);
  const auto *basic = static_cast<const FILE_BASIC_INFO *>(information);
  const auto filetime = [](const LARGE_INTEGER &time) {
    return FILETIME{static_cast<DWORD>(time.QuadPart), static_cast<DWORD>(static_cast<uint64_t>(time.QuadPart) >> 32)};
  };
  const FILETIME access = filetime(basic->LastAccessTime);
  const FILETIME write = filetime(basic->LastWriteTime);
  // Times first, so that a file that becomes read-only still gets them.
  if (!SetFileTime(file, nullptr, &access, &write)) return FALSE;
  if (basic->FileAttributes == 0) return TRUE;
  const int error = apply_attributes(fd_of(file), basic->FileAttributes);
  return error == 0 ? TRUE : fail(win_error_from_errno(error));
}

DWORD GetFileAttributesA(LPCSTR path) {
  std::string posix;
  if (!to_posix_path(path, &posix)) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (stat(posix.c_str(), &st) != 0) {
    SetLastError(path_error(posix, errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = 0;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// unlink refuses a folder (EISDIR), which Windows reports as access denied, as win_error_from_errno does.
BOOL DeleteFileA(LPCSTR path) {
  std::string posix;
  if (!to_posix_path(path, &posix)) return FALSE;
  return platform::posix_unlink(posix.c_str()) == 0 ? TRUE : fail(path_error(posix, errno));
}
