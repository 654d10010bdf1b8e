// store_folder.cc - listing, writing and removing the numbered files of a certificate store's folder.
#include "platform/crypto/store_folder.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/files/private_file.h"

namespace certstore {
namespace {

constexpr std::string_view kCertificateSuffix = ".cer";
constexpr std::string_view kPropertiesSuffix = ".props";
constexpr size_t kDigits = 8;
constexpr mode_t kFileMode = 0600;
// Numbers taken meanwhile by another process are skipped; this many in a row means something else is wrong.
constexpr int kMaxAddAttempts = 1000;

std::string file_name(uint32_t sequence, std::string_view suffix) {
  char digits[kDigits + 1];
  snprintf(digits, sizeof digits, "%08u", static_cast<unsigned>(sequence));
  return std::string(digits) + std::string(suffix);
}

// The number of a name that is exactly eight digits and the suffix.
std::optional<uint32_t> sequence_of(std::string_view name, std::string_view suffix) {
  if (name.size() != kDigits + suffix.size() || name.substr(kDigits) != suffix) return std::nullopt;
  uint32_t sequence = 0;
  for (size_t i = 0; i < kDigits; ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    sequence = sequence * 10 + static_cast<uint32_t>(name[i] - '0');
  }
  return sequence;
}

struct DirClose {
  void operator()(DIR *dir) const { closedir(dir); }
};

certprops::Properties read_properties(const std::string &folder, uint32_t sequence) {
  std::vector<BYTE> bytes;
  certprops::Properties properties;
  if (privfile::read_file(folder + "/" + file_name(sequence, kPropertiesSuffix), certprops::kMaxFileNbytes,
                          &bytes) != ERROR_SUCCESS ||
      !certprops::parse(bytes.data(), bytes.size(), &properties))
    return certprops::Properties{};
  return properties;
}

}  // namespace

std::string store_folder(const std::string &upper_name) {
  return platform::user_data_root() + "/certificates/" + upper_name;
}

DWORD load_folder(const std::string &folder, std::vector<FolderEntry> *entries, uint32_t *highest_sequence) {
  entries->clear();
  *highest_sequence = 0;
  std::unique_ptr<DIR, DirClose> dir(opendir(folder.c_str()));
  if (!dir) return win_error_from_errno(errno);
  std::vector<uint32_t> certificates;
  for (errno = 0; const dirent *entry = readdir(dir.get()); errno = 0) {
    const std::string_view name = entry->d_name;
    std::optional<uint32_t> sequence = sequence_of(name, kCertificateSuffix);
    if (sequence) certificates.push_back(*sequence);
    if (!sequence) sequence = sequence_of(name, kPropertiesSuffix);
    if (sequence) *highest_sequence = std::max(*highest_sequence, *sequence);
  }
  if (errno != 0) return win_error_from_errno(errno);
  std::sort(certificates.begin(), certificates.end());
  for (uint32_t sequence : certificates) {
    FolderEntry entry;
    entry.sequence = sequence;
    if (privfile::read_file(folder + "/" + file_name(sequence, kCertificateSuffix), kMaxCertificateNbytes,
                            &entry.der) != ERROR_SUCCESS)
      continue;
    entry.properties = read_properties(folder, sequence);
    entries->push_back(std::move(entry));
  }
  return ERROR_SUCCESS;
}

DWORD add_files(const std::string &folder, const std::vector<BYTE> &der, uint32_t *sequence) {
  for (int attempt = 0; attempt < kMaxAddAttempts; ++attempt) {
    if (*sequence >= kMaxSequence) return ERROR_DISK_FULL;
    const uint32_t candidate = *sequence + 1;
    const DWORD error = privfile::write_file(folder, file_name(candidate, kCertificateSuffix), der, kFileMode,
                                             privfile::Placement::kNew);
    *sequence = candidate;
    if (error == ERROR_FILE_EXISTS) continue;
    if (error != ERROR_SUCCESS) return error;
    // Replaces any property file left behind by a certificate removed half-way.
    const DWORD props_error = write_properties(folder, candidate, certprops::Properties{});
    if (props_error != ERROR_SUCCESS) remove_files(folder, candidate);
    return props_error;
  }
  return ERROR_FILE_EXISTS;
}

DWORD replace_files(const std::string &folder, uint32_t sequence, const std::vector<BYTE> &der) {
  if (DWORD error = write_properties(folder, sequence, certprops::Properties{})) return error;
  return privfile::write_file(folder, file_name(sequence, kCertificateSuffix), der, kFileMode,
                              privfile::Placement::kReplace);
}

DWORD write_properties(const std::string &folder, uint32_t sequence, const certprops::Properties &properties) {
  return privfile::write_file(folder, file_name(sequence, kPropertiesSuffix), certprops::serialize(properties),
                              kFileMode, privfile::Placement::kReplace);
}

DWORD remove_files(const std::string &folder, uint32_t sequence) {
  if (DWORD error = privfile::remove_file(folder + "/" + file_name(sequence, kCertificateSuffix))) return error;
  return privfile::remove_file(folder + "/" + file_name(sequence, kPropertiesSuffix));
}

}  // namespace certstore
