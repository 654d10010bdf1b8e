// key_tree.h - one hive in memory: keys with their values and subkeys, and name lookup by Windows rules (internal).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win_types.h"

namespace hive {

// Windows limits: a key name is at most 255 characters, a value name at most 16383, and a key
// sits at most 512 levels deep. The file reader enforces them too, so a hive read back never
// holds what the API could not have written.
constexpr size_t kMaxKeyNameNbytes = 255;
constexpr size_t kMaxValueNameNbytes = 16383;
constexpr size_t kMaxDepth = 512;

struct Value {
  std::string name;  // "" is the key's default value
  DWORD type = 0;
  std::vector<BYTE> data;
};

struct Key {
  std::string name;  // as first written; the hive's root has none
  FILETIME last_write = {};
  std::vector<Value> values;  // in the order they were first set
  std::vector<Key> subkeys;   // sorted by folded name, so enumeration is stable and lookup cheap
};

// The ASCII case folding that key and value names compare under (Windows folds more of Unicode;
// the system's names are ASCII).
std::string fold(std::string_view name);

// Whether `name` may name a key: 1 to 255 bytes, no backslash, no NUL.
bool is_valid_key_name(std::string_view name);

// Splits "a\b\c" into its names. NULL and "" give no names; one trailing backslash is allowed.
// False when a name is empty (a leading or doubled backslash) or invalid.
bool split_path(const char *path, std::vector<std::string> *names);

Key *find_subkey(Key &key, std::string_view name);
// The subkey `name`, added (stamped with `now`) when there is none; `*added` says which.
Key &find_or_add_subkey(Key &key, std::string_view name, const FILETIME &now, bool *added);
// Removes the subkey `name`; false when there is none.
bool remove_subkey(Key &key, std::string_view name);

// The key at `names` below `key`, or nullptr when one of them is missing.
Key *find_path(Key &key, const std::vector<std::string> &names);

Value *find_value(Key &key, std::string_view name);
bool remove_value(Key &key, std::string_view name);

}  // namespace hive
