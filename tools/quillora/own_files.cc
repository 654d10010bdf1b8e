// own_files.cc - the installed or the built path of a file quillora loads, by where the program runs from.
#include "tools/quillora/own_files.h"

#include <limits.h>
#include <stdlib.h>

#include <filesystem>

namespace quillora {
namespace {

// The path with every link resolved, or "" when it does not exist.
std::string real_path(const char *path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) != nullptr ? resolved : "";
}

}  // namespace

std::string own_file(const char *installed, const char *built) {
  // The build tree names its program by its build path, so a copy or an installed program that
  // shares nothing with it takes the path relative to itself.
  const std::string self = real_path("/proc/self/exe");
  if (self.empty() || self == real_path(QUILLORA_BUILT_PROGRAM)) return built;
  // The program's folder is a real path, so "bin/.." may be taken away by the letters alone.
  return (std::filesystem::path(self).parent_path() / installed).lexically_normal();
}

}  // namespace quillora
