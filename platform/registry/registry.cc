// registry.cc - the registry functions: key handles, access rights, and each call as a read of a hive or a locked update.
#include "platform/registry/registry.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/base/system_time.h"
#include "platform/registry/hive_store.h"

namespace {

using hive::HiveId;
using hive::Key;

// An opened key: the hive, the names from the hive's root down to it as they were written, and
// the rights asked for. Every call finds the key again by its path in the current file, so a
// handle sees what other handles and processes wrote since it was opened.
struct OpenKey {
  HiveId hive;
  std::vector<std::string> path;
  REGSAM access;
};

// Handles given out and not yet closed, so that a stale or foreign HKEY is refused instead of
// being dereferenced. Never destroyed: modules may close keys from their static destructors.
std::mutex &handles_mutex() {
  static auto *mutex = new std::mutex;
  return *mutex;
}
std::unordered_set<const OpenKey *> &handles() {
  static auto *set = new std::unordered_set<const OpenKey *>;
  return *set;
}

bool is_predefined(HKEY hKey) {
  return hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE;
}

constexpr REGSAM kGenericRead = 0x80000000u;
constexpr REGSAM kGenericWrite = 0x40000000u;
constexpr REGSAM kGenericAll = 0x10000000u;

REGSAM effective_rights(REGSAM sam) {
  if (sam & (MAXIMUM_ALLOWED | kGenericAll)) return KEY_ALL_ACCESS;
  if (sam & kGenericRead) sam |= KEY_READ;
  if (sam & kGenericWrite) sam |= KEY_WRITE;
  return sam;
}

// Copies out the handle's key so that a RegCloseKey on another thread cannot pull it away.
DWORD resolve(HKEY hKey, OpenKey *out) {
  if (is_predefined(hKey)) {
    out->hive = hKey == HKEY_CLASSES_ROOT    ? HiveId::kClassesRoot
                : hKey == HKEY_CURRENT_USER ? HiveId::kCurrentUser
                                            : HiveId::kLocalMachine;
    out->path.clear();
    out->access = KEY_ALL_ACCESS;
    return ERROR_SUCCESS;
  }
  std::lock_guard<std::mutex> lock(handles_mutex());
  const auto *open = reinterpret_cast<const OpenKey *>(hKey);
  if (handles().count(open) == 0) return ERROR_INVALID_HANDLE;
  *out = *open;
  return ERROR_SUCCESS;
}

HKEY new_handle(OpenKey key) {
  auto *open = new OpenKey(std::move(key));
  std::lock_guard<std::mutex> lock(handles_mutex());
  handles().insert(open);
  return reinterpret_cast<HKEY>(open);
}

bool allows(const OpenKey &key, REGSAM needed) { return (effective_rights(key.access) & needed) == needed; }

FILETIME now() {
  FILETIME time;
  GetSystemTimeAsFileTime(&time);
  return time;
}

// The handle's own key in `root`; ERROR_KEY_DELETED when it is gone.
DWORD locate(Key &root, const OpenKey &open, Key **key) {
  *key = hive::find_path(root, open.path);
  return *key != nullptr ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// Runs `read` on the handle's key as the hive is now.
template <typename Read>
DWORD read_key(const OpenKey &open, Read read) {
  Key root;
  Key *key = nullptr;
  if (DWORD error = hive::load(open.hive, &root)) return error;
  if (DWORD error = locate(root, open, &key)) return error;
  return read(*key);
}

// Runs `change` on the handle's key under the hive's lock and writes back what it changed.
template <typename Change>
DWORD change_key(const OpenKey &open, Change change) {
  return hive::update(open.hive, [&](Key &root, bool *changed) -> DWORD {
    Key *key = nullptr;
    if (DWORD error = locate(root, open, &key)) return error;
    return change(*key, changed);
  });
}

DWORD split(const OpenKey &open, LPCSTR lpSubKey, std::vector<std::string> *names) {
  if (!hive::split_path(lpSubKey, names) || open.path.size() + names->size() > hive::kMaxDepth)
    return ERROR_BAD_PATHNAME;
  return ERROR_SUCCESS;
}

// Appends to *path the names, as written, of the existing key `names` below the handle's key;
// ERROR_FILE_NOT_FOUND when one is missing.
DWORD find_existing(const OpenKey &base, const std::vector<std::string> &names, std::vector<std::string> *path) {
  return read_key(base, [&](Key &key) -> DWORD {
    Key *at = &key;
    for (const std::string &name : names) {
      at = hive::find_subkey(*at, name);
      if (at == nullptr) return ERROR_FILE_NOT_FOUND;
      path->push_back(at->name);
    }
    return ERROR_SUCCESS;
  });
}

// The subkey `names` below `key`, each missing one created; its path as written is appended to
// *path and *created says whether anything was made.
Key &create_path(Key &key, const std::vector<std::string> &names, std::vector<std::string> *path, bool *created) {
  const FILETIME time = now();
  Key *at = &key;
  *created = false;
  for (const std::string &name : names) {
    bool added = false;
    at = &hive::find_or_add_subkey(*at, name, time, &added);
    *created = *created || added;
    path->push_back(at->name);
  }
  return *at;
}

void set_value(Key &key, LPCSTR name, DWORD type, const BYTE *data, DWORD nbytes) {
  const std::string value_name = name != nullptr ? name : "";
  hive::Value *value = hive::find_value(key, value_name);
  if (value == nullptr) {
    key.values.push_back(hive::Value{value_name, 0, {}});
    value = &key.values.back();
  }
  value->type = type;
  value->data.assign(data, data + nbytes);
  key.last_write = now();
}

// What opening and creating share: the result cleared, the base key resolved and the path split.
DWORD begin_open(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult, OpenKey *base, std::vector<std::string> *names) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (DWORD error = resolve(hKey, base)) return error;
  return split(*base, lpSubKey, names);
}

}  // namespace

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired, const void *,
                        PHKEY phkResult, DWORD *lpdwDisposition) {
  OpenKey base;
  std::vector<std::string> names;
  if (DWORD error = begin_open(hKey, lpSubKey, phkResult, &base, &names)) return error;
  OpenKey result{base.hive, base.path, samDesired};
  DWORD error = find_existing(base, names, &result.path);
  bool created = false;
  if (error == ERROR_FILE_NOT_FOUND) {
    // Another process may create the key meanwhile; the update then opens what it finds.
    if (!allows(base, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    result.path = base.path;
    error = change_key(base, [&](Key &key, bool *changed) -> DWORD {
      create_path(key, names, &result.path, changed);
      created = *changed;
      return ERROR_SUCCESS;
    });
  }
  if (error != ERROR_SUCCESS) return error;
  if (lpdwDisposition != nullptr) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *phkResult = new_handle(std::move(result));
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr, phkResult,
                         nullptr);
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  OpenKey base;
  std::vector<std::string> names;
  if (DWORD error = begin_open(hKey, lpSubKey, phkResult, &base, &names)) return error;
  OpenKey result{base.hive, base.path, samDesired};
  DWORD error = find_existing(base, names, &result.path);
  if (error != ERROR_SUCCESS) return error;
  *phkResult = new_handle(std::move(result));
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey) {
  // A predefined key is never in the table and stays open.
  if (is_predefined(hKey)) return ERROR_SUCCESS;
  const auto *open = reinterpret_cast<const OpenKey *>(hKey);
  std::lock_guard<std::mutex> lock(handles_mutex());
  if (handles().erase(open) == 0) return ERROR_INVALID_HANDLE;
  delete open;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData) {
  OpenKey open;
  if (DWORD error = resolve(hKey, &open)) return error;
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  if (lpValueName != nullptr && std::strlen(lpValueName) > hive::kMaxValueNameNbytes) return ERROR_INVALID_PARAMETER;
  if (!allows(open, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return change_key(open, [&](Key &key, bool *changed) -> DWORD {
    set_value(key, lpValueName, dwType, lpData, cbData);
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData, DWORD) {
  if (dwType != REG_SZ || lpData == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey open;
  std::vector<std::string> names;
  if (DWORD error = resolve(hKey, &open)) return error;
  if (DWORD error = split(open, lpSubKey, &names)) return error;
  if (!allows(open, names.empty() ? KEY_SET_VALUE : KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  // The length comes from the text, as Windows takes it: cbData is ignored.
  const DWORD nbytes = static_cast<DWORD>(std::strlen(lpData) + 1);
  return change_key(open, [&](Key &key, bool *changed) -> DWORD {
    std::vector<std::string> path;
    bool created = false;
    set_value(create_path(key, names, &path, &created), "", REG_SZ, reinterpret_cast<const BYTE *>(lpData), nbytes);
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, DWORD *lpReserved, DWORD *lpType, BYTE *lpData,
                         DWORD *lpcbData) {
  OpenKey open;
  if (DWORD error = resolve(hKey, &open)) return error;
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
  if (!allows(open, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  return read_key(open, [&](Key &key) -> DWORD {
    const hive::Value *value = hive::find_value(key, lpValueName != nullptr ? lpValueName : "");
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    if (lpType != nullptr) *lpType = value->type;
    if (lpcbData == nullptr) return ERROR_SUCCESS;
    const DWORD needed = static_cast<DWORD>(value->data.size());
    const DWORD room = *lpcbData;
    *lpcbData = needed;
    if (lpData == nullptr) return ERROR_SUCCESS;
    if (room < needed) return ERROR_MORE_DATA;
    std::copy(value->data.begin(), value->data.end(), lpData);
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  OpenKey open;
  if (DWORD error = resolve(hKey, &open)) return error;
  if (!allows(open, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return change_key(open, [&](Key &key, bool *changed) -> DWORD {
    *changed = hive::remove_value(key, lpValueName != nullptr ? lpValueName : "");
    if (!*changed) return ERROR_FILE_NOT_FOUND;
    key.last_write = now();
    return ERROR_SUCCESS;
  });
}

// Removes the key at `names` below `key` (which must be non-empty) after `allowed` accepts it.
template <typename Allowed>
DWORD remove_key(Key &key, const std::vector<std::string> &names, Allowed allowed, bool *changed) {
  Key *parent = hive::find_path(key, std::vector<std::string>(names.begin(), names.end() - 1));
  Key *target = parent != nullptr ? hive::find_subkey(*parent, names.back()) : nullptr;
  if (target == nullptr) return ERROR_FILE_NOT_FOUND;
  if (DWORD error = allowed(*target)) return error;
  hive::remove_subkey(*parent, names.back());
  parent->last_write = now();
  *changed = true;
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey open;
  std::vector<std::string> names;
  if (DWORD error = resolve(hKey, &open)) return error;
  if (DWORD error = split(open, lpSubKey, &names)) return error;
  if (names.empty()) {
    // "" deletes hKey's own key; a hive's root cannot go.
    if (open.path.empty()) return ERROR_ACCESS_DENIED;
    names = open.path;
    open.path.clear();
  }
  return hive::update(open.hive, [&](Key &root, bool *changed) -> DWORD {
    Key *key = nullptr;
    if (DWORD error = locate(root, open, &key)) return error;
    return remove_key(
        *key, names,
        [](const Key &target) -> DWORD { return target.subkeys.empty() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED; },
        changed);
  });
}

LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
  OpenKey open;
  std::vector<std::string> names;
  if (DWORD error = resolve(hKey, &open)) return error;
  if (DWORD error = split(open, lpSubKey, &names)) return error;
  if (names.empty() && !allows(open, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return change_key(open, [&](Key &key, bool *changed) -> DWORD {
    if (!names.empty()) return remove_key(key, names, [](const Key &) -> DWORD { return ERROR_SUCCESS; }, changed);
    key.values.clear();
    key.subkeys.clear();
    key.last_write = now();
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD *lpcchName, DWORD *lpReserved, LPSTR lpClass,
                      DWORD *lpcchClass, FILETIME *lpftLastWriteTime) {
  OpenKey open;
  if (DWORD error = resolve(hKey, &open)) return error;
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr))
    return ERROR_INVALID_PARAMETER;
  if (!allows(open, KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  return read_key(open, [&](Key &key) -> DWORD {
    if (dwIndex >= key.subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const Key &subkey = key.subkeys[dwIndex];
    // Sizes count characters; the buffer must hold the terminating NUL too.
    if (*lpcchName < subkey.name.size() + 1 || (lpClass != nullptr && *lpcchClass < 1))
      return ERROR_MORE_DATA;
    std::memcpy(lpName, subkey.name.c_str(), subkey.name.size() + 1);
    *lpcchName = static_cast<DWORD>(subkey.name.size());
    if (lpClass != nullptr) {
      *lpClass = '\0';  // keys here carry no class
      *lpcchClass = 0;
    }
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = subkey.last_write;
    return ERROR_SUCCESS;
  });
}

std::string registry::hive_file(HKEY predefined) {
  OpenKey open;
  std::string path;
  if (!is_predefined(predefined) || resolve(predefined, &open) != ERROR_SUCCESS ||
      hive::hive_path(open.hive, &path) != ERROR_SUCCESS)
    return "";
  return path;
}
