// class_registry.cc - HKEY_CLASSES_ROOT text values over the registry API.
#include "platform/com/class_registry.h"

#include "platform/base/last_error.h"

namespace com {

namespace {

// Owns an open key for one call.
class OpenKey {
 public:
  OpenKey() = default;
  OpenKey(const OpenKey &) = delete;
  OpenKey &operator=(const OpenKey &) = delete;
  ~OpenKey() {
    if (m_key != nullptr) RegCloseKey(m_key);
  }
  bool open(const std::string &path, REGSAM access) {
    return RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, access, &m_key) == ERROR_SUCCESS;
  }
  bool create(const std::string &path) {
    return RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                           nullptr, &m_key, nullptr) == ERROR_SUCCESS;
  }
  HKEY get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

}  // namespace

bool read_class_text(const std::string &path, const char *value_name, std::string *text) {
  OpenKey key;
  if (!key.open(path, KEY_QUERY_VALUE)) return false;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), value_name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
    return false;
  std::string data(size, '\0');
  if (size > 0 &&
      RegQueryValueExA(key.get(), value_name, nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &size) !=
          ERROR_SUCCESS)
    return false;
  data.resize(size);
  while (!data.empty() && data.back() == '\0') data.pop_back();
  *text = std::move(data);
  return true;
}

bool write_class_text(const std::string &path, const char *value_name, const std::string &text) {
  OpenKey key;
  if (!key.create(path)) return false;
  return RegSetValueExA(key.get(), value_name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool class_key_exists(const std::string &path) {
  OpenKey key;
  return key.open(path, KEY_QUERY_VALUE);
}

std::vector<std::string> class_subkeys(const std::string &path) {
  std::vector<std::string> names;
  OpenKey key;
  if (!key.open(path, KEY_ENUMERATE_SUB_KEYS)) return names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.emplace_back(name, length);
  }
  return names;
}

bool delete_class_tree(const std::string &path) {
  const LSTATUS status = RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace com
