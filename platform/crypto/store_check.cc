// store_check.cc - finds damaged entries and orphaned keys under the folders' locks, and removes them when asked.
#include "platform/crypto/store_check.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/crypto/software_keys.h"
#include "platform/crypto/store_folder.h"
#include "platform/crypto/store_model.h"

namespace certstore {
namespace {

// The container the entry's key-provider property names, if any.
void add_named_container(const FolderEntry &entry, std::set<std::string> *named) {
  if (!entry.properties.key_prov || !entry.properties.key_prov->container) return;
  const std::u16string &container = *entry.properties.key_prov->container;
  named->insert(std::string(container.begin(), container.end()));
}

// The containers the certificates of another store name.
void add_named_containers(const std::string &folder, std::set<std::string> *named) {
  Listing listing;
  if (list_folder(folder, &listing) != ERROR_SUCCESS) return;
  for (uint32_t sequence : listing.certificates) {
    FolderEntry entry;
    if (read_entry(folder, sequence, &entry) == ERROR_SUCCESS) add_named_container(entry, named);
  }
}

// The current user's other stores, beside `folder`.
std::vector<std::string> other_store_folders(const std::string &folder) {
  std::vector<std::string> folders;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(std::filesystem::path(folder).parent_path(), error)) {
    if (entry.is_directory(error) && entry.path() != folder) folders.push_back(entry.path());
  }
  return folders;
}

}  // namespace

DWORD check_store(const std::string &upper_name, bool repair, std::vector<Finding> *findings) {
  findings->clear();
  std::string folder;
  if (DWORD error = store_folder(upper_name, &folder)) return error;
  // In the order installers take them: the key folder's, then the store's.
  softkeys::FolderLock keys_lock;
  if (DWORD error = keys_lock.acquire()) return error;
  if (DWORD error = platform::make_private_folders(folder)) return error;
  privfile::Lock store_lock;
  if (DWORD error = store_lock.acquire(lock_path(folder), true)) return error;

  Listing listing;
  if (DWORD error = list_folder(folder, &listing)) return error;
  remove_leftovers(folder, listing);
  softkeys::remove_stale_files();

  // A key that only a damaged certificate names is of no use any more: it counts as orphaned.
  std::set<std::string> named;
  std::vector<std::pair<uint32_t, std::string>> damaged;  // number and thumbprint of damaged certificates
  for (uint32_t sequence : listing.certificates) {
    FolderEntry entry;
    const bool readable = read_entry(folder, sequence, &entry) == ERROR_SUCCESS;
    if (!readable || !make_record(entry.der.data(), entry.der.size())) {
      findings->push_back({Finding::Kind::kDamagedCertificate, certificate_path(folder, sequence)});
      damaged.emplace_back(sequence, readable ? thumbprint_of(entry.der.data(), entry.der.size()) : "");
    } else if (entry.properties_damaged) {
      findings->push_back({Finding::Kind::kDamagedProperties, properties_path(folder, sequence)});
      if (repair) write_properties(folder, sequence, certprops::Properties{});
    } else {
      add_named_container(entry, &named);
    }
  }
  for (const std::string &other : other_store_folders(folder)) add_named_containers(other, &named);
  std::vector<std::string> containers;
  if (DWORD error = softkeys::list_containers(&containers)) return error;
  for (const std::string &container : containers) {
    if (named.count(container) != 0) continue;
    findings->push_back({Finding::Kind::kOrphanedKey, softkeys::container_path(container)});
    if (repair) softkeys::remove_key(container);
  }
  if (repair) {
    for (const auto &[sequence, thumbprint] : damaged) remove_entry(folder, sequence, thumbprint);
  }
  return ERROR_SUCCESS;
}

}  // namespace certstore
