// win_path.cc - turns a path in Windows syntax into the POSIX path the kernel takes.
#include "platform/files/win_path.h"

#include <algorithm>

namespace platform {

std::string posix_path(const char *windows_path) {
  std::string path(windows_path);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace platform
