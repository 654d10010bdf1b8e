// hive_store.cc - hive files on disk: snapshot reads, and updates under flock with write-temporary-then-rename.
#include "platform/registry/hive_store.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/files/posix_call.h"
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
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// The file's bytes; ERROR_FILE_NOT_FOUND when it does not exist, ERROR_BADDB when it is no
// regular file or too large to be a hive.
DWORD read_whole(const std::string &path, std::vector<BYTE> *bytes) {
  Fd fd(platform::open_file(path.c_str(), O_RDONLY, 0));
  if (fd.get() < 0) return errno_error();
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return errno_error();
  if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > kMaxFileNbytes) return ERROR_BADDB;
  // The file never changes once it has its name (updates rename a new one over it), so its size
  // stays what fstat said; reading one byte more proves it.
  bytes->resize(static_cast<size_t>(st.st_size) + 1);
  size_t done = 0;
  for (;;) {
    const ssize_t n = platform::retry_on_eintr([&] { return read(fd.get(), bytes->data() + done, bytes->size() - done); });
    if (n < 0) return ERROR_READ_FAULT;
    if (n == 0) break;
    done += static_cast<size_t>(n);
    if (done == bytes->size()) return ERROR_BADDB;
  }
  bytes->resize(done);
  return ERROR_SUCCESS;
}

DWORD load_from(const std::string &path, Key *root) {
  std::vector<BYTE> bytes;
  const DWORD error = read_whole(path, &bytes);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    *root = Key{};
    return ERROR_SUCCESS;
  }
  if (error != ERROR_SUCCESS) return error;
  return parse(bytes.data(), bytes.size(), root) ? ERROR_SUCCESS : ERROR_BADDB;
}

DWORD write_all(int fd, const std::vector<BYTE> &bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = platform::retry_on_eintr([&] { return write(fd, bytes.data() + done, bytes.size() - done); });
    if (n < 0) return errno_error();
    done += static_cast<size_t>(n);
  }
  return ERROR_SUCCESS;
}

// Puts `bytes` at `path` so that the name holds the old file or the new one, never a part, even
// across a crash: the temporary file is flushed before the rename and the folder after it.
DWORD replace_file(const std::string &folder, const std::string &path, const std::vector<BYTE> &bytes) {
  std::string temporary = path + ".tmp-XXXXXX";
  Fd fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0) return errno_error();
  DWORD error = write_all(fd.get(), bytes);
  if (error == ERROR_SUCCESS && (fchmod(fd.get(), 0600) != 0 || fsync(fd.get()) != 0)) error = errno_error();
  if (error == ERROR_SUCCESS && close(fd.release()) != 0) error = errno_error();
  if (error == ERROR_SUCCESS && rename(temporary.c_str(), path.c_str()) != 0) error = errno_error();
  if (error != ERROR_SUCCESS) {
    unlink(temporary.c_str());
    return error;
  }
  // The rename lives in the folder; flushing it is what makes the new name survive a crash.
  Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
  return ERROR_SUCCESS;
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
  return replace_file(folder, path, bytes);
}

}  // namespace hive
