// output_folders.h - making the folders that stored names need before the extraction writes them.
#pragma once

#include <string>
#include <vector>

#include "tools/bundlex/cabinet_listing.h"

namespace bundlex {

// Makes `destination` (unless it is empty, the current folder) and, under it, every folder the
// entries' names need, under their UTF-8 names and through no symbolic link. Names the extraction
// refuses get none. Reports and returns false at the first folder that cannot be made.
bool make_output_folders(const std::string &destination, const std::vector<entry> &entries);

}  // namespace bundlex
