// store_folder.cc - listing, reading, writing and removing the numbered files of a certificate store's folder.
#include "platform/crypto/store_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/crypto/store_model.h"
#include "platform/files/posix_call.h"

namespace certstore {
namespace {

constexpr std::string_view kCertificateSuffix = ".cer";
constexpr std::string_view kPropertiesSuffix = ".props";
constexpr std::string_view kMarkSuffix = ".sha1";

std::string path_of(const std::string &folder, uint32_t sequence, std::string_view suffix) {
  return folder + "/" + number_text(sequence) + std::string(suffix);
}

std::string mark_name(uint32_t sequence, const std::string &thumbprint) {
  return number_text(sequence) + "." + thumbprint + std::string(kMarkSuffix);
}

// The number of a name that is exactly eight digits and the suffix.
std::optional<uint32_t> sequence_of(std::string_view name, std::string_view suffix) {
  if (name.size() != kNumberDigits + suffix.size() || name.substr(kNumberDigits) != suffix) return std::nullopt;
  return number_of(name.substr(0, kNumberDigits));
}

// The number of a mark's name, "NNNNNNNN.<40 uppercase hex digits>.sha1", and its thumbprint.
std::optional<uint32_t> mark_of(std::string_view name, std::string *thumbprint) {
  constexpr size_t kHexAt = kNumberDigits + 1;
  if (name.size() != kHexAt + kThumbprintDigits + kMarkSuffix.size() || name[kNumberDigits] != '.' ||
      !name.ends_with(kMarkSuffix))
    return std::nullopt;
  const std::string_view hex = name.substr(kHexAt, kThumbprintDigits);
  const auto is_hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
  if (!std::all_of(hex.begin(), hex.end(), is_hex)) return std::nullopt;
  std::optional<uint32_t> sequence = number_of(name.substr(0, kNumberDigits));
  if (sequence) thumbprint->assign(hex);
  return sequence;
}

struct DirClose {
  void operator()(DIR *dir) const { closedir(dir); }
};

}  // namespace

std::string number_text(uint32_t sequence) {
  char digits[kNumberDigits + 1];
  snprintf(digits, sizeof digits, "%08u", static_cast<unsigned>(sequence));
  return digits;
}

std::optional<uint32_t> number_of(std::string_view digits) {
  if (digits.size() != kNumberDigits) return std::nullopt;
  uint32_t sequence = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    sequence = sequence * 10 + static_cast<uint32_t>(c - '0');
  }
  return sequence;
}

DWORD store_folder(const std::string &upper_name, std::string *folder) {
  if (DWORD error = platform::user_data_root(folder)) return error;
  *folder += "/certificates/" + upper_name;
  return ERROR_SUCCESS;
}

std::string lock_path(const std::string &folder) { return folder + "/" + privfile::kFolderLockName; }

std::string certificate_path(const std::string &folder, uint32_t sequence) {
  return path_of(folder, sequence, kCertificateSuffix);
}

std::string properties_path(const std::string &folder, uint32_t sequence) {
  return path_of(folder, sequence, kPropertiesSuffix);
}

std::string thumbprint_text(const BYTE *sha1) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < kSha1Nbytes; ++i) {
    text += kHex[sha1[i] >> 4];
    text += kHex[sha1[i] & 0x0F];
  }
  return text;
}

std::string thumbprint_of(const BYTE *der, size_t der_nbytes) {
  BYTE sha1[kSha1Nbytes];
  if (EVP_Digest(der, der_nbytes, sha1, nullptr, EVP_sha1(), nullptr) != 1) return "";
  return thumbprint_text(sha1);
}

DWORD list_folder(const std::string &folder, Listing *listing) {
  *listing = Listing{};
  std::unique_ptr<DIR, DirClose> dir(opendir(folder.c_str()));
  if (!dir) return win_error_from_errno(errno);
  std::vector<uint32_t> properties;
  std::vector<std::pair<uint32_t, std::string>> marks;
  for (errno = 0; const dirent *entry = readdir(dir.get()); errno = 0) {
    const std::string_view name = entry->d_name;
    std::string thumbprint;
    std::optional<uint32_t> sequence;
    if (name.starts_with(privfile::kTemporaryPrefix)) {
      listing->leftovers.emplace_back(name);
    } else if ((sequence = sequence_of(name, kCertificateSuffix))) {
      listing->certificates.push_back(*sequence);
    } else if ((sequence = sequence_of(name, kPropertiesSuffix))) {
      properties.push_back(*sequence);
    } else if ((sequence = mark_of(name, &thumbprint))) {
      marks.emplace_back(*sequence, std::move(thumbprint));
    }
    if (sequence) listing->highest_sequence = std::max(listing->highest_sequence, *sequence);
  }
  if (errno != 0) return win_error_from_errno(errno);
  std::sort(listing->certificates.begin(), listing->certificates.end());
  const auto has_certificate = [&](uint32_t sequence) {
    return std::binary_search(listing->certificates.begin(), listing->certificates.end(), sequence);
  };
  std::set<uint32_t> marked;
  for (auto &[sequence, thumbprint] : marks) {
    if (!has_certificate(sequence)) {
      listing->leftovers.push_back(mark_name(sequence, thumbprint));
      continue;
    }
    marked.insert(sequence);
    listing->marks.emplace(std::move(thumbprint), sequence);
  }
  for (uint32_t sequence : properties) {
    if (!has_certificate(sequence)) listing->leftovers.push_back(number_text(sequence) + std::string(kPropertiesSuffix));
  }
  for (uint32_t sequence : listing->certificates) {
    if (marked.count(sequence) == 0) listing->unmarked.push_back(sequence);
  }
  return ERROR_SUCCESS;
}

DWORD read_certificate(const std::string &folder, uint32_t sequence, std::vector<BYTE> *der) {
  return privfile::read_file(certificate_path(folder, sequence), kMaxCertificateNbytes, der);
}

DWORD read_entry(const std::string &folder, uint32_t sequence, FolderEntry *entry) {
  *entry = FolderEntry{};
  entry->sequence = sequence;
  if (DWORD error = read_certificate(folder, sequence, &entry->der)) return error;
  std::vector<BYTE> bytes;
  const DWORD error = privfile::read_file(path_of(folder, sequence, kPropertiesSuffix), certprops::kMaxFileNbytes, &bytes);
  if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  entry->properties_damaged = error != ERROR_SUCCESS || !certprops::parse(bytes.data(), bytes.size(), &entry->properties);
  if (entry->properties_damaged) entry->properties = certprops::Properties{};
  return ERROR_SUCCESS;
}

DWORD write_entry(const std::string &folder, uint32_t sequence, const std::string &thumbprint,
                  const std::vector<BYTE> &der, const certprops::Properties &properties,
                  privfile::Placement placement) {
  if (DWORD error = write_properties(folder, sequence, properties)) return error;
  if (DWORD error = write_mark(folder, sequence, thumbprint)) return error;
  return privfile::write_file(folder, number_text(sequence) + std::string(kCertificateSuffix), der, kStoreFileMode,
                              placement);
}

DWORD write_mark(const std::string &folder, uint32_t sequence, const std::string &thumbprint) {
  // A mark only saves reading the certificate, so it is not flushed: one lost in a crash is
  // found missing and written again.
  const int fd = platform::open_file((folder + "/" + mark_name(sequence, thumbprint)).c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, kStoreFileMode);
  if (fd < 0) return win_error_from_errno(errno);
  close(fd);
  return ERROR_SUCCESS;
}

DWORD write_properties(const std::string &folder, uint32_t sequence, const certprops::Properties &properties) {
  if (properties == certprops::Properties{}) return privfile::remove_file(path_of(folder, sequence, kPropertiesSuffix));
  return privfile::write_file(folder, number_text(sequence) + std::string(kPropertiesSuffix),
                              certprops::serialize(properties), kStoreFileMode, privfile::Placement::kReplace);
}

DWORD remove_entry(const std::string &folder, uint32_t sequence, const std::string &thumbprint) {
  if (DWORD error = privfile::remove_file(path_of(folder, sequence, kCertificateSuffix))) return error;
  if (DWORD error = privfile::remove_file(folder + "/" + mark_name(sequence, thumbprint))) return error;
  return privfile::remove_file(path_of(folder, sequence, kPropertiesSuffix));
}

void remove_leftovers(const std::string &folder, const Listing &listing) {
  for (const std::string &name : listing.leftovers) privfile::remove_file(folder + "/" + name);
}

}  // namespace certstore
