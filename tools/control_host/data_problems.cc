// data_problems.cc - the data folder's and the registry's problems in words: which variable or file, what is wrong, what to do.
#include "tools/control_host/data_problems.h"

#include <stdlib.h>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/registry/registry.h"

namespace host {

std::string data_folder_problem() {
  std::string root;
  if (platform::user_data_root(&root) != ERROR_SUCCESS) {
    const char *own = getenv("QUILLORA_DATA_HOME");
    if (own != nullptr)
      return "QUILLORA_DATA_HOME is set but empty; set it to the data folder to use, or unset it for the default";
    return "HOME is not set, so there is no default data folder; set QUILLORA_DATA_HOME to a folder";
  }
  if (platform::check_folder_path(root) == ERROR_DIRECTORY)
    return "the data folder " + root +
           " is not a folder (it, or a part of its path, is a file); point QUILLORA_DATA_HOME at a folder";
  return "";
}

std::string registry_problem() {
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &key);
  if (key != nullptr) RegCloseKey(key);
  const std::string file = registry::hive_file(HKEY_CLASSES_ROOT);
  if (status == ERROR_BADDB)
    return "the registry file " + file +
           " is damaged; move it away (it is left as it is for inspection) and run 'quillora register' again";
  if (status == ERROR_DIRECTORY)
    return "the registry file " + file +
           " cannot be reached: a part of its path is a file, not a folder; point QUILLORA_DATA_HOME (or "
           "QUILLORA_REGISTRY_ROOT) at a folder";
  if (status == ERROR_BAD_ENVIRONMENT) return data_folder_problem();
  return "";
}

}  // namespace host
