// private_file.cc - whole-file reads and temporary-file-then-rename writes over POSIX.
#include "platform/files/private_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string_view>

#include "platform/base/last_error.h"
#include "platform/files/posix_call.h"

namespace privfile {
namespace {

// A temporary file in a given folder, closed and removed when it goes out of scope (after a
// rename there is nothing left to remove; after a link the temporary name still has to go).
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string &folder) : path_(folder + "/" + kTemporaryPrefix + "XXXXXX") {
    fd_ = platform::posix_mkostemp(path_.data());
    created_ = fd_ >= 0;
  }
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (created_) platform::posix_unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile &) = delete;
  TemporaryFile &operator=(const TemporaryFile &) = delete;

  int fd() const { return fd_; }
  const std::string &path() const { return path_; }

  bool close_file() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool created_ = false;
};

DWORD last_errno_error() { return win_error_from_errno(errno); }

DWORD write_all(int fd, const std::vector<BYTE> &bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = platform::posix_write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) return last_errno_error();
    done += static_cast<size_t>(n);
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD read_file(const std::string &path, size_t max_nbytes, std::vector<BYTE> *bytes) {
  bytes->clear();
  const int fd = platform::open_file(path.c_str(), O_RDONLY, 0);
  // A FIFO or device in the folder is refused by the open, as it is no file of ours.
  if (fd < 0) return errno == ENXIO ? ERROR_READ_FAULT : last_errno_error();
  struct stat st;
  DWORD error = ERROR_SUCCESS;
  if (fstat(fd, &st) != 0) {
    error = last_errno_error();
  } else if (static_cast<size_t>(st.st_size) > max_nbytes) {
    error = ERROR_READ_FAULT;
  } else {
    // One byte more than the size shows a file that grew meanwhile.
    bytes->resize(static_cast<size_t>(st.st_size) + 1);
    size_t done = 0;
    for (;;) {
      const ssize_t n = platform::retry_on_eintr([&] { return read(fd, bytes->data() + done, bytes->size() - done); });
      if (n < 0) error = last_errno_error();
      if (n <= 0) break;
      done += static_cast<size_t>(n);
      if (done == bytes->size()) {
        error = ERROR_READ_FAULT;
        break;
      }
    }
    bytes->resize(done);
  }
  close(fd);
  if (error != ERROR_SUCCESS) bytes->clear();
  return error;
}

DWORD write_file(const std::string &folder, const std::string &name, const std::vector<BYTE> &bytes,
                 mode_t mode, Placement placement) {
  TemporaryFile temporary(folder);
  if (temporary.fd() < 0) return last_errno_error();
  if (DWORD error = write_all(temporary.fd(), bytes)) return error;
  if (fchmod(temporary.fd(), mode) != 0 || platform::posix_fsync(temporary.fd()) != 0) return last_errno_error();
  if (!temporary.close_file()) return last_errno_error();
  const std::string path = folder + "/" + name;
  const int placed = placement == Placement::kReplace ? platform::posix_rename(temporary.path().c_str(), path.c_str())
                                                      : platform::posix_link(temporary.path().c_str(), path.c_str());
  if (placed != 0) return last_errno_error();
  // The new name is an entry of the folder: until the folder is flushed a crash may lose it. The
  // name is in place either way, so a folder that cannot be flushed is no failure.
  const int dir = platform::posix_open(folder.c_str(), O_RDONLY | O_DIRECTORY, 0);
  if (dir >= 0) {
    platform::posix_fsync(dir);
    close(dir);
  }
  return ERROR_SUCCESS;
}

DWORD remove_file(const std::string &path) {
  if (platform::posix_unlink(path.c_str()) == 0 || errno == ENOENT) return ERROR_SUCCESS;
  return last_errno_error();
}

Lock::~Lock() { release(); }

void Lock::release() {
  if (fd_ >= 0) close(fd_);  // closing the descriptor releases the lock
  fd_ = -1;
}

DWORD Lock::acquire(const std::string &path, bool wait) {
  const int fd = platform::open_file(path.c_str(), O_RDWR | O_CREAT, 0600);
  if (fd < 0) return last_errno_error();
  if (platform::retry_on_eintr([&] { return flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)); }) != 0) {
    const DWORD error = errno == EWOULDBLOCK ? ERROR_LOCK_VIOLATION : last_errno_error();
    close(fd);
    return error;
  }
  release();
  fd_ = fd;
  return ERROR_SUCCESS;
}

DWORD remove_temporaries(const std::string &folder) {
  struct DirClose {
    void operator()(DIR *dir) const { closedir(dir); }
  };
  std::unique_ptr<DIR, DirClose> dir(opendir(folder.c_str()));
  if (!dir) return last_errno_error();
  for (errno = 0; const dirent *entry = readdir(dir.get()); errno = 0) {
    if (std::string_view(entry->d_name).starts_with(kTemporaryPrefix)) remove_file(folder + "/" + entry->d_name);
  }
  return errno != 0 ? last_errno_error() : ERROR_SUCCESS;
}

}  // namespace privfile
