// output_folders.cc - making the folders that stored names need before the extraction writes them.
#include "tools/bundlex/output_folders.h"

#include <errno.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <system_error>

#include "platform/files/beneath.h"
#include "stored_name.h"
#include "platform/files/win_path.h"
#include "stored_name.h"
#include "tools/bundlex/messages.h"

namespace bundlex {

bool make_output_folders(const std::string &destination, const std::vector<entry> &entries) {
  // The destination is the user's to name, a link included; what the cabinet names below it is
  // made one part at a time through no link.
  const std::filesystem::path base = platform::posix_path(destination.c_str());
  if (!destination.empty()) {
    std::error_code error;
    std::filesystem::create_directories(base, error);
    if (error) {
      report(base.string(), "cannot create the folder: " + error.message());
      return false;
    }
  }
  // Each folder once, by the UTF-8 name it gets; names the extraction refuses get none.
  std::set<std::string> folders;
  for (const entry &e : entries) {
    std::string name;
    if (!is_contained_name(e.name.c_str()) || !utf8_name(e.name.c_str(), e.attributes, &name)) continue;
    size_t cut = name.find_last_of("\\/");
    if (cut != std::string::npos) folders.insert(name.substr(0, cut));
  }
  if (folders.empty()) return true;
  const int top = platform::open_folder(destination.c_str());
  bool made = top >= 0;
  for (auto folder = folders.begin(); made && folder != folders.end(); ++folder) {
    const int fd = platform::open_folder_beneath(top, *folder, true);
    if (fd < 0) {
      report((base / platform::posix_path(folder->c_str())).string(), "cannot create the folder: " + open_cause(errno));
      made = false;
    } else {
      close(fd);
    }
  }
  if (top >= 0) close(top);
  return made;
}

}  // namespace bundlex
