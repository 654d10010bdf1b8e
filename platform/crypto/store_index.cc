// store_index.cc - reading, rebuilding and appending to a certificate store folder's index.
#include "platform/crypto/store_index.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/base/last_error.h"
#include "platform/crypto/store_folder.h"
#include "platform/files/posix_call.h"
#include "platform/files/private_file.h"

namespace certstore {
namespace {

constexpr std::string_view kHeaderFormat = "index 1 highest %08u count %08u\n";
constexpr size_t kHeaderNbytes = kHeaderFormat.size() - 2 * 4 + 2 * kNumberDigits;
// Where the header's two numbers begin.
constexpr size_t kHighestAt = kHeaderFormat.find('%');
constexpr size_t kCountAt = kHeaderFormat.find('%', kHighestAt + 1) - 4 + kNumberDigits;
constexpr size_t kMaxIndexNbytes = 16 * 1024 * 1024;
// Lines left by removals are dropped when the index has grown past twice its certificates and this.
constexpr uint32_t kCompactionSlack = 1024;

std::string index_path(const std::string &folder) { return folder + "/" + kIndexName; }

std::string line_of(uint32_t sequence, const std::string &thumbprint) {
  return number_text(sequence) + " " + thumbprint + "\n";
}

std::string header_text(uint32_t highest, uint32_t count) {
  char header[kHeaderNbytes + 1];
  snprintf(header, sizeof header, kHeaderFormat.data(), static_cast<unsigned>(highest), static_cast<unsigned>(count));
  return header;
}

bool file_exists(const std::string &path) { return access(path.c_str(), F_OK) == 0 || errno != ENOENT; }

}  // namespace

bool FolderIndex::parse(std::string_view text) {
  if (text.size() < kHeaderNbytes || (text.size() - kHeaderNbytes) % kIndexLineNbytes != 0) return false;
  const std::optional<uint32_t> highest = number_of(text.substr(kHighestAt, kNumberDigits));
  const std::optional<uint32_t> count = number_of(text.substr(kCountAt, kNumberDigits));
  if (!highest || !count) return false;
  if (text.substr(0, kHeaderNbytes) != header_text(*highest, *count)) return false;
  lines_.assign(text.substr(kHeaderNbytes));
  const size_t nlines = lines_.size() / kIndexLineNbytes;
  if (nlines > 2 * static_cast<size_t>(*count) + kCompactionSlack) return false;
  last_ = 0;
  if (nlines > 0) {
    const std::optional<uint32_t> last = number_of(std::string_view(lines_).substr(lines_.size() - kIndexLineNbytes, kNumberDigits));
    if (!last) return false;
    last_ = *last;
  }
  highest_ = std::max(*highest, last_);
  return highest_ < kMaxSequence;
}

bool FolderIndex::load(const std::string &folder) {
  std::vector<BYTE> bytes;
  if (privfile::read_file(index_path(folder), kMaxIndexNbytes, &bytes) != ERROR_SUCCESS ||
      !parse(std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size())))
    return false;
  // A writer killed before its certificate took its number, or a removal of the newest one.
  if (!lines_.empty() && !file_exists(certificate_path(folder, last_))) return false;
  // A certificate the index does not know of, put there behind its back.
  return !file_exists(certificate_path(folder, highest_ + 1));
}

DWORD FolderIndex::rebuild(const std::string &folder) {
  Listing listing;
  if (DWORD error = list_folder(folder, &listing)) return error;
  remove_leftovers(folder, listing);
  std::vector<std::pair<uint32_t, std::string>> entries;
  for (const auto &[thumbprint, sequence] : listing.marks) entries.emplace_back(sequence, thumbprint);
  for (uint32_t sequence : listing.unmarked) {
    std::vector<BYTE> der;
    if (read_certificate(folder, sequence, &der) != ERROR_SUCCESS) continue;
    const std::string thumbprint = thumbprint_of(der.data(), der.size());
    write_mark(folder, sequence, thumbprint);
    entries.emplace_back(sequence, thumbprint);
  }
  std::sort(entries.begin(), entries.end());
  highest_ = listing.highest_sequence;
  lines_.clear();
  for (const auto &[sequence, thumbprint] : entries) lines_ += line_of(sequence, thumbprint);
  // The old index goes first: one left behind by a failed write would miss what came since.
  if (DWORD error = privfile::remove_file(index_path(folder))) return error;
  const std::string text = header_text(highest_, static_cast<uint32_t>(entries.size())) + lines_;
  // Without an index the next writer lists the folder again, so a failed write costs only time.
  privfile::write_file(folder, kIndexName, std::vector<BYTE>(text.begin(), text.end()), kStoreFileMode,
                       privfile::Placement::kReplace);
  return ERROR_SUCCESS;
}

std::vector<uint32_t> FolderIndex::numbers_of(const std::string &thumbprint) const {
  std::vector<uint32_t> numbers;
  const std::string_view lines(lines_);
  for (size_t at = 0; at + kIndexLineNbytes <= lines.size(); at += kIndexLineNbytes) {
    if (lines.substr(at + kNumberDigits + 1, kThumbprintDigits) != thumbprint) continue;
    if (const std::optional<uint32_t> sequence = number_of(lines.substr(at, kNumberDigits))) numbers.push_back(*sequence);
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

DWORD FolderIndex::note_addition(const std::string &folder, uint32_t sequence, const std::string &thumbprint) {
  const std::string line = line_of(sequence, thumbprint);
  const int fd = platform::open_file(index_path(folder).c_str(), O_WRONLY | O_APPEND, 0);
  if (fd < 0) return errno == ENOENT ? ERROR_SUCCESS : win_error_from_errno(errno);
  const ssize_t written = write(fd, line.data(), line.size());
  const int error = errno;
  close(fd);
  if (written != static_cast<ssize_t>(line.size())) return written < 0 ? win_error_from_errno(error) : ERROR_WRITE_FAULT;
  lines_ += line;
  highest_ = std::max(highest_, sequence);
  return ERROR_SUCCESS;
}

}  // namespace certstore
