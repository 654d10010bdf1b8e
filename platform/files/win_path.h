// win_path.h - turns a path in Windows syntax into the POSIX path the kernel takes.
#pragma once

#include <string>

namespace platform {

// Every backslash becomes "/"; nothing else changes (drive letters are ordinary names here).
std::string posix_path(const char *windows_path);

}  // namespace platform
