// own_files.h - where quillora finds the files that come with it (the control module, the uninstaller): beside itself in an installed tree, in its build tree when run from there.
#pragma once

#include <string>

namespace quillora {

// `built` (an absolute path in the build tree) when this program is the one its build tree made,
// else `installed` (a path relative to the folder this program runs from).
std::string own_file(const char *installed, const char *built);

}  // namespace quillora
