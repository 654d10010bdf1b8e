// data_root.cc - where the user's persistent platform data lives, and the private folders under it.
#include "platform/base/data_root.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "platform/base/last_error.h"

namespace platform {
namespace {

std::string env_or_empty(const char *name) {
  const char *value = getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string user_data_root() {
  const std::string own = env_or_empty("QUILLORA_DATA_HOME");
  if (!own.empty()) return own;
  const std::string xdg = env_or_empty("XDG_DATA_HOME");
  if (!xdg.empty()) return xdg + "/quillora";
  return env_or_empty("HOME") + "/.local/share/quillora";
}

DWORD make_private_folders(const std::string &path) {
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  // Each prefix ending before a '/' is a parent; the path itself is the last one.
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string prefix = path.substr(0, end);
    if (!prefix.empty() && prefix.back() != '/' && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
      return win_error_from_errno(errno);
    if (end == std::string::npos) break;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return win_error_from_errno(errno);
  return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

}  // namespace platform
