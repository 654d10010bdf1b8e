// data_root.cc - where the user's persistent platform data lives, and the private folders under it.
#include "platform/base/data_root.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "platform/base/last_error.h"

namespace platform {

DWORD user_data_root(std::string *root) {
  root->clear();
  if (const char *own = getenv("QUILLORA_DATA_HOME")) {
    if (*own == '\0') return ERROR_BAD_ENVIRONMENT;
    *root = own;
    return ERROR_SUCCESS;
  }
  const char *xdg = getenv("XDG_DATA_HOME");
  if (xdg != nullptr && *xdg != '\0') {
    *root = std::string(xdg) + "/quillora";
    return ERROR_SUCCESS;
  }
  const char *home = getenv("HOME");
  if (home == nullptr || *home == '\0') return ERROR_BAD_ENVIRONMENT;
  *root = std::string(home) + "/.local/share/quillora";
  return ERROR_SUCCESS;
}

DWORD make_private_folders(const std::string &path) {
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_SUCCESS;  // the common case, in one call
  // Each prefix ending before a '/' is a parent; the path itself is the last one.
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string prefix = path.substr(0, end);
    if (!prefix.empty() && prefix.back() != '/' && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
      return errno == ENOTDIR ? ERROR_DIRECTORY : win_error_from_errno(errno);
    if (end == std::string::npos) break;
  }
  if (stat(path.c_str(), &st) != 0) return errno == ENOTDIR ? ERROR_DIRECTORY : win_error_from_errno(errno);
  return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_DIRECTORY;
}

DWORD check_folder_path(const std::string &path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_DIRECTORY;
  if (errno == ENOENT) return ERROR_SUCCESS;
  return errno == ENOTDIR ? ERROR_DIRECTORY : win_error_from_errno(errno);
}

}  // namespace platform
