// hive_store.cc - hive files on disk: snapshot reads, and updates under flock through the platform's crash-safe writer.
#include "platform/registry/hive_store.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <vector>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/files/posix_call.h"
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

DWORD errno_error() { return win_error_from_errno(errno); }

// A descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// An update renames a new file over the old one, so one read sees one of them whole. A file that
// is no regular file, is too large to be a hive, or grows while read is damaged.
DWORD load_from(const std::string &path, Key *root) {
  std::vector<BYTE> bytes;
  const DWORD error = privfile::read_file(path, kMaxFileNbytes, &bytes);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    *root = Key{};
    return ERROR_SUCCESS;
  }
  if (error == ERROR_READ_FAULT) return ERROR_BADDB;
  if (error != ERROR_SUCCESS) return error;
  return parse(bytes.data(), bytes.size(), root) ? ERROR_SUCCESS : ERROR_BADDB;
}

}  // namespace

std::string registry_root() {
  const char *own = getenv("QUILLORA_REGISTRY_ROOT");
  if (own != nullptr && *own != '\0') return own;
  return platform::user_data_root() + "/registry";
}

std::string hive_path(HiveId id) { return registry_root() + "/" + file_name(id); }

DWORD load(HiveId id, Key *root) { return load_from(hive_path(id), root); }

DWORD update(HiveId id, const Change &change) {
  const std::string folder = registry_root();
  if (DWORD error = platform::make_private_folders(folder)) return error;
  const std::string path = folder + "/" + file_name(id);
  Fd lock(platform::open_file((path + ".lock").c_str(), O_RDWR | O_CREAT, 0600));
  if (lock.get() < 0) return errno_error();
  if (platform::retry_on_eintr([&] { return flock(lock.get(), LOCK_EX); }) != 0) return errno_error();
  // The lock is released when its descriptor closes, after the new file has its name.
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
