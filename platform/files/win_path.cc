// win_path.cc - turns a path in Windows syntax into the POSIX path the kernel takes.
#include "platform/files/win_path.h"

#include <algorithm>
#include <cstring>

namespace platform {

std::string posix_path(const char *windows_path) {
  std::string path(windows_path);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool is_valid_windows_path(const char *windows_path) {
  if (windows_path == nullptr) return false;
  for (const char *p = windows_path; *p != '\0'; ++p) {
    if (static_cast<unsigned char>(*p) < 0x20 || std::strchr("*?\"<>|", *p) != nullptr) return false;
  }
  return true;
}

}  // namespace platform
