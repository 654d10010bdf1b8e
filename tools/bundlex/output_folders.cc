// output_folders.cc - making the folders that stored names need before the extraction writes them.
#include "tools/bundlex/output_folders.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "platform/files/win_path.h"
#include "stored_name.h"
#include "tools/bundlex/messages.h"

namespace bundlex {

bool make_output_folders(const std::string &destination, const std::vector<entry> &entries) {
  // Each folder once; the destination itself ("") sorts first, so when it cannot be made that is
  // what gets reported.
  std::set<std::string> folders;
  if (!destination.empty()) folders.insert("");
  for (const entry &e : entries) {
    if (!is_contained_name(e.name.c_str())) continue;
    size_t cut = e.name.find_last_of("\\/");
    if (cut != std::string::npos) folders.insert(e.name.substr(0, cut));
  }
  const std::filesystem::path base = platform::posix_path(destination.c_str());
  for (const std::string &folder : folders) {
    std::filesystem::path path = folder.empty() ? base : base / platform::posix_path(folder.c_str());
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
      report(path.string(), "cannot create the folder: " + error.message());
      return false;
    }
  }
  return true;
}

}  // namespace bundlex
