// key_tree.cc - name folding, path splitting and lookup in one hive's keys.
#include "platform/registry/key_tree.h"

#include <algorithm>

namespace hive {
namespace {

char fold_char(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return fold_char(x) == fold_char(y);
         });
}

bool folded_less(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(fold_char(x)) < static_cast<unsigned char>(fold_char(y));
  });
}

std::vector<Key>::iterator lower_bound_of(Key &key, std::string_view name) {
  return std::lower_bound(key.subkeys.begin(), key.subkeys.end(), name,
                          [](const Key &k, std::string_view n) { return folded_less(k.name, n); });
}

}  // namespace

std::string fold(std::string_view name) {
  std::string folded(name);
  std::transform(folded.begin(), folded.end(), folded.begin(), fold_char);
  return folded;
}

bool is_valid_key_name(std::string_view name) {
  return !name.empty() && name.size() <= kMaxKeyNameNbytes && name.find('\\') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

bool split_path(const char *path, std::vector<std::string> *names) {
  names->clear();
  if (path == nullptr || *path == '\0') return true;
  std::string_view rest(path);
  if (rest.back() == '\\') rest.remove_suffix(1);
  for (;;) {
    const size_t end = rest.find('\\');
    const std::string_view name = rest.substr(0, end);
    if (!is_valid_key_name(name)) return false;
    names->emplace_back(name);
    if (end == std::string_view::npos) return names->size() <= kMaxDepth;
    rest.remove_prefix(end + 1);
  }
}

Key *find_subkey(Key &key, std::string_view name) {
  auto it = lower_bound_of(key, name);
  return it != key.subkeys.end() && same_name(it->name, name) ? &*it : nullptr;
}

Key &find_or_add_subkey(Key &key, std::string_view name, const FILETIME &now, bool *added) {
  auto it = lower_bound_of(key, name);
  *added = it == key.subkeys.end() || !same_name(it->name, name);
  if (*added) {
    Key fresh;
    fresh.name = std::string(name);
    fresh.last_write = now;
    it = key.subkeys.insert(it, std::move(fresh));
    key.last_write = now;
  }
  return *it;
}

bool remove_subkey(Key &key, std::string_view name) {
  auto it = lower_bound_of(key, name);
  if (it == key.subkeys.end() || !same_name(it->name, name)) return false;
  key.subkeys.erase(it);
  return true;
}

Key *find_path(Key &key, const std::vector<std::string> &names) {
  Key *at = &key;
  for (const std::string &name : names) {
    at = find_subkey(*at, name);
    if (at == nullptr) return nullptr;
  }
  return at;
}

Value *find_value(Key &key, std::string_view name) {
  auto it = std::find_if(key.values.begin(), key.values.end(), [&](const Value &v) { return same_name(v.name, name); });
  return it != key.values.end() ? &*it : nullptr;
}

bool remove_value(Key &key, std::string_view name) {
  auto it = std::find_if(key.values.begin(), key.values.end(), [&](const Value &v) { return same_name(v.name, name); });
  if (it == key.values.end()) return false;
  key.values.erase(it);
  return true;
}

}  // namespace hive
