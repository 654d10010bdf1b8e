// beneath.cc - folders opened and made below a folder one part at a time, never through a symbolic link.
#include "platform/files/beneath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/files/posix_call.h"
#include "platform/files/win_path.h"

namespace platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens the part `name` of a path in `folder`, making it first when asked and missing.
int open_part(int folder, const char *name, bool create) {
  int fd = retry_on_eintr([&] { return openat(folder, name, kFolderFlags); });
  if (fd >= 0 || errno != ENOENT || !create) return fd;
  // Another process may make it meanwhile: that is as good.
  if (mkdirat(folder, name, 0777) != 0 && errno != EEXIST) return -1;
  return retry_on_eintr([&] { return openat(folder, name, kFolderFlags); });
}

}  // namespace

int open_folder(const char *path) {
  const std::string posix = posix_path(path);
  return retry_on_eintr([&] { return open(posix.empty() ? "." : posix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
}

int open_folder_beneath(int folder, std::string_view relative, bool create) {
  int current = retry_on_eintr([&] { return fcntl(folder, F_DUPFD_CLOEXEC, 0); });
  while (current >= 0 && !relative.empty()) {
    const size_t end = std::min(relative.find_first_of("\\/"), relative.size());
    const std::string part(relative.substr(0, end));
    relative.remove_prefix(std::min(end + 1, relative.size()));
    if (part.empty() || part == ".") continue;
    int next;
    if (part == "..") {
      errno = EINVAL;
      next = -1;
    } else {
      next = open_part(current, part.c_str(), create);
    }
    // O_NOFOLLOW on a link to a folder fails with ENOTDIR when O_DIRECTORY is checked first.
    if (next < 0 && errno == ENOTDIR) {
      struct stat st;
      if (fstatat(current, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) errno = ELOOP;
    }
    const int error = errno;
    close(current);
    errno = error;
    current = next;
  }
  return current;
}

}  // namespace platform
