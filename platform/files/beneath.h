// beneath.h - folders opened and made below a folder one part at a time, never through a symbolic
// link, so that a name from outside input cannot lead out of the folder its caller chose.
#pragma once

#include <string_view>

namespace platform {

// Opens the folder `path` ("" is the current folder) for the function below. A symbolic link there
// is followed: whoever names the folder chose it. Returns a descriptor, or -1 with errno set.
int open_folder(const char *path);

// Opens the folder `relative` below the folder descriptor `folder`, one part at a time ("\" or "/"
// between parts, empty and "." parts skipped, "" is `folder` itself): a part that is a symbolic
// link is refused with ELOOP, one that is not a folder with ENOTDIR, and ".." with EINVAL. With
// `create`, missing parts are made (mode 0777 before the umask). Returns a new descriptor, or -1
// with errno set.
int open_folder_beneath(int folder, std::string_view relative, bool create);

}  // namespace platform
