// module_resources.cc - each module's registered resource tables, and FindResourceA, LoadResource and LoadStringA over them.
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/modules/module_map.h"

namespace {

struct Table {
  const link_map *module;
  const ResourceEntry *entries;
  size_t count;
};

// Tables are registered while modules load, which may be on any thread, and unregistered by
// static destructors, which may run after this file's own: so the list is never destroyed.
std::mutex &tables_mutex() {
  static auto *mutex = new std::mutex;
  return *mutex;
}
std::vector<Table> &tables() {
  static auto *list = new std::vector<Table>;
  return *list;
}

// A name or type given as "#123" means the integer 123, as MAKEINTRESOURCEA(123) does.
LPCSTR integer_form(LPCSTR name) {
  if (IS_INTRESOURCE(name) || name[0] != '#' || name[1] == '\0') return name;
  char *end = nullptr;
  const unsigned long value = std::strtoul(name + 1, &end, 10);
  return *end == '\0' && value <= 0xFFFF ? MAKEINTRESOURCEA(value) : name;
}

bool same_type(LPCSTR a, LPCSTR b) {
  if (IS_INTRESOURCE(a) || IS_INTRESOURCE(b)) return a == b;
  return strcasecmp(a, b) == 0;
}

}  // namespace

void register_module_resources(const ResourceEntry *entries, size_t count, const void *address_in_module) {
  // An address outside every loaded object cannot happen for a table in a module; should it, the
  // table is the program's.
  const link_map *module = modules::object_of(address_in_module);
  std::lock_guard<std::mutex> lock(tables_mutex());
  tables().push_back(Table{module != nullptr ? module : modules::main_program(), entries, count});
}

void unregister_module_resources(const ResourceEntry *entries) {
  std::lock_guard<std::mutex> lock(tables_mutex());
  std::erase_if(tables(), [&](const Table &table) { return table.entries == entries; });
}

HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
  const link_map *module = modules::object_of_handle(hModule);
  if (lpName == nullptr || lpType == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const LPCSTR name = integer_form(lpName);
  const LPCSTR type = integer_form(lpType);
  bool module_has_resources = false;
  bool type_found = false;
  std::lock_guard<std::mutex> lock(tables_mutex());
  for (const Table &table : tables()) {
    if (table.module != module) continue;
    module_has_resources = true;
    for (size_t i = 0; i < table.count; ++i) {
      const ResourceEntry &entry = table.entries[i];
      if (!same_type(entry.type, type)) continue;
      type_found = true;
      // Resources here are numbered; a name that is a string names none of them.
      if (IS_INTRESOURCE(name) && entry.id == reinterpret_cast<uintptr_t>(name))
        return reinterpret_cast<HRSRC>(const_cast<ResourceEntry *>(&entry));
    }
  }
  SetLastError(!module_has_resources ? ERROR_RESOURCE_DATA_NOT_FOUND
               : !type_found         ? ERROR_RESOURCE_TYPE_NOT_FOUND
                                     : ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC hResInfo) {
  if (hResInfo == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<void *>(reinterpret_cast<const ResourceEntry *>(hResInfo)->data);
}

void *LockResource(HGLOBAL hResData) { return hResData; }

DWORD SizeofResource(HMODULE, HRSRC hResInfo) {
  if (hResInfo == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return reinterpret_cast<const ResourceEntry *>(hResInfo)->size;
}

int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  *lpBuffer = '\0';
  HRSRC found = FindResourceA(hInstance, MAKEINTRESOURCEA(uID), RT_STRING);
  if (found == nullptr) return 0;
  const auto &entry = *reinterpret_cast<const ResourceEntry *>(found);
  // The text ends at its NUL or at the entry's size, whichever comes first.
  const char *text = static_cast<const char *>(entry.data);
  const size_t length = text != nullptr ? strnlen(text, entry.size) : 0;
  const size_t copied = std::min(length, static_cast<size_t>(cchBufferMax) - 1);
  if (copied > 0) std::memcpy(lpBuffer, text, copied);
  lpBuffer[copied] = '\0';
  return static_cast<int>(copied);
}
