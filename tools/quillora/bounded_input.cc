// bounded_input.cc - whole-file and first-line reads with a maximum, over POSIX descriptors.
#include "tools/quillora/bounded_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillora {

namespace {

constexpr size_t kChunkNbytes = 64 * 1024;

std::string unreadable() { return std::string("cannot be read: ") + strerror(errno); }

// A descriptor for `path`, or standard input for "-"; closed when it goes out of scope unless it
// is standard input.
class Input {
 public:
  explicit Input(const std::string &path)
      : fd_(path == "-" ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC)), owned_(path != "-") {}
  ~Input() {
    if (owned_ && fd_ >= 0) close(fd_);
  }
  Input(const Input &) = delete;
  Input &operator=(const Input &) = delete;

  // False with *error set when there is nothing to read from: it cannot be opened, or it is a folder.
  bool usable(std::string *error, struct stat *st) const {
    if (fd_ < 0 || fstat(fd_, st) != 0) {
      *error = unreadable();
      return false;
    }
    if (S_ISDIR(st->st_mode)) {
      *error = "is a folder";
      return false;
    }
    return true;
  }

  ssize_t read_some(void *buffer, size_t nbytes) const {
    for (;;) {
      const ssize_t n = read(fd_, buffer, nbytes);
      if (n >= 0 || errno != EINTR) return n;
    }
  }

 private:
  int fd_;
  bool owned_;
};

}  // namespace

std::string size_text(size_t nbytes) {
  if (nbytes >= (size_t{1} << 20) && nbytes % (size_t{1} << 20) == 0) return std::to_string(nbytes >> 20) + " MiB";
  return std::to_string(nbytes) + " bytes";
}

bool read_whole(const std::string &path, size_t max_nbytes, std::string *bytes, std::string *error) {
  bytes->clear();
  Input input(path);
  struct stat st;
  if (!input.usable(error, &st)) return false;
  const std::string too_large = "is larger than the maximum of " + size_text(max_nbytes);
  if (S_ISREG(st.st_mode)) {
    if (static_cast<size_t>(st.st_size) > max_nbytes) {
      *error = too_large;
      return false;
    }
    // Room for the size and one more read, which finds the end without moving the bytes.
    bytes->reserve(static_cast<size_t>(st.st_size) + kChunkNbytes);
  }
  // One byte past the maximum tells an input that is too large, whatever it is.
  for (;;) {
    const size_t old_size = bytes->size();
    const size_t want = std::min(kChunkNbytes, max_nbytes + 1 - old_size);
    // Doubling, but never past what the maximum needs.
    if (bytes->capacity() < old_size + want)
      bytes->reserve(std::min(max_nbytes + 1, std::max(2 * bytes->capacity(), old_size + want)));
    bytes->resize(old_size + want);
    const ssize_t n = input.read_some(bytes->data() + old_size, want);
    bytes->resize(old_size + static_cast<size_t>(n > 0 ? n : 0));
    if (n < 0) {
      *error = unreadable();
      return false;
    }
    if (n == 0) return true;
    if (bytes->size() > max_nbytes) {
      bytes->clear();
      *error = too_large;
      return false;
    }
  }
}

bool read_first_line(const std::string &path, size_t max_nbytes, std::string *line, std::string *error) {
  line->clear();
  Input input(path);
  struct stat st;
  if (!input.usable(error, &st)) return false;
  // A byte at a time: a line is short, and standard input must not be read past it.
  for (char c; line->size() <= max_nbytes;) {
    const ssize_t n = input.read_some(&c, 1);
    if (n < 0) {
      *error = unreadable();
      return false;
    }
    if (n == 0 || c == '\n') {
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return true;
    }
    line->push_back(c);
  }
  line->clear();
  *error = "the first line is longer than the maximum of " + size_text(max_nbytes);
  return false;
}

}  // namespace quillora
