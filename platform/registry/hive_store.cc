// hive_store.cc - hive files on disk: snapshot reads, and updates under flock through the platform's crash-safe writer.
#include "platform/registry/hive_store.h"

#include <stdlib.h>

#include <vector>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/files/private_file.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"

namespace hive {
namespace {

const char *file_name(HiveId id) {
  switch (id) {
    case HiveId::kClassesRoot: return "classes_root";
    case HiveId::kCurrentUser: return "current_user";
    case HiveId::kLocalMachine: return "local_machine";
  }
  return "";
}

// An update renames a new file over the old one, so one read sees one of them whole. A file that
// is no regular file, is too large to be a hive, or grows while read is damaged.
DWORD load_from(const std::string &path, Key *root) {
  std::vector<BYTE> bytes;
  const DWORD error = privfile::read_file(path, kMaxFileNbytes, &bytes);
  if (error == ERROR_FILE_NOT_FOUND) {
    *root = Key{};
    return ERROR_SUCCESS;
  }
  // ENOTDIR: the data or registry folder is a file, which must not read as an empty registry.
  if (error == ERROR_PATH_NOT_FOUND) return ERROR_DIRECTORY;
  if (error == ERROR_READ_FAULT) return ERROR_BADDB;
  if (error != ERROR_SUCCESS) return error;
  return parse(bytes.data(), bytes.size(), root) ? ERROR_SUCCESS : ERROR_BADDB;
}

}  // namespace

DWORD registry_root(std::string *root) {
  const char *own = getenv("QUILLORA_REGISTRY_ROOT");
  if (own != nullptr && *own != '\0') {
    *root = own;
    return ERROR_SUCCESS;
  }
  if (DWORD error = platform::user_data_root(root)) return error;
  *root += "/registry";
  return ERROR_SUCCESS;
}

DWORD hive_path(HiveId id, std::string *path) {
  if (DWORD error = registry_root(path)) return error;
  *path += std::string("/") + file_name(id);
  return ERROR_SUCCESS;
}

DWORD load(HiveId id, Key *root) {
  std::string path;
  if (DWORD error = hive_path(id, &path)) return error;
  return load_from(path, root);
}

DWORD update(HiveId id, const Change &change) {
  std::string folder;
  if (DWORD error = registry_root(&folder)) return error;
  if (DWORD error = platform::make_private_folders(folder)) return error;
  const std::string path = folder + "/" + file_name(id);
  privfile::Lock lock;
  if (DWORD error = lock.acquire(path + ".lock", true)) return error;
  // The lock is released when it goes out of scope, after the new file has its name.
  Key root;
  if (DWORD error = load_from(path, &root)) return error;
  bool changed = false;
  if (DWORD error = change(root, &changed)) return error;
  if (!changed) return ERROR_SUCCESS;
  const std::vector<BYTE> bytes = serialize(root);
  // A file the reader would refuse must never be written: it would read back as damaged.
  if (bytes.size() > kMaxFileNbytes) return ERROR_NOT_ENOUGH_MEMORY;
  return privfile::write_file(folder, file_name(id), bytes, 0600, privfile::Placement::kReplace);
}

}  // namespace hive
