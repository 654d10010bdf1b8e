// class_registry.h - the text values COM keeps under HKEY_CLASSES_ROOT, read and written by key path.
#pragma once

#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace com {

// value_name NULL is the key's default value. Reads succeed only for REG_SZ values.
bool read_class_text(const std::string &path, const char *value_name, std::string *text);
// Creates the key (and its parents) when missing.
bool write_class_text(const std::string &path, const char *value_name, const std::string &text);
bool class_key_exists(const std::string &path);
// The names of the key's direct subkeys; empty when the key is missing.
std::vector<std::string> class_subkeys(const std::string &path);
// Deletes the key and everything under it; a missing key counts as deleted.
bool delete_class_tree(const std::string &path);

}  // namespace com
