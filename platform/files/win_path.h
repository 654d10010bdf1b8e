// win_path.h - turns a path in Windows syntax into the POSIX path the kernel takes.
#pragma once

#include <string>

namespace platform {

// Every backslash becomes "/"; nothing else changes (drive letters are ordinary names here).
std::string posix_path(const char *windows_path);

// Whether `windows_path` can name a file at all: it is not null and holds none of the characters
// Windows refuses in names (the wildcards * and ?, " < > | and control characters). Linux would
// accept them, so without this check an open of "*" would create a file that Windows never could.
bool is_valid_windows_path(const char *windows_path);

}  // namespace platform
