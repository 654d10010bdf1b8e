// hive_store.h - where the hive files live, consistent reads of them, and locked read-modify-write updates (internal).
#pragma once

#include <functional>
#include <string>

#include "platform/base/win_types.h"
#include "platform/registry/key_tree.h"

namespace hive {

enum class HiveId { kClassesRoot, kCurrentUser, kLocalMachine };

// $QUILLORA_REGISTRY_ROOT when set and not empty, else <user data root>/registry; read anew on
// every call so that tests can point it elsewhere. 0 or the error of finding the data root.
DWORD registry_root(std::string *root);

// The file that holds a hive, under registry_root(); a lock file of the same name with ".lock"
// added sits beside it.
DWORD hive_path(HiveId id, std::string *path);

// Reads the hive as it was at one moment: an update replaces the file by rename, so an open sees
// either the old file or the new one. A missing file is an empty hive. 0, ERROR_BADDB when the
// file is damaged, ERROR_DIRECTORY when a folder on its way is something else, or the error of
// the failing read.
DWORD load(HiveId id, Key *root);

// What an update does to the hive: 0 with *changed set when the file must be rewritten, or an
// error code, which leaves the file as it was.
using Change = std::function<DWORD(Key &root, bool *changed)>;

// Runs `change` on the hive's current contents while holding the hive's lock (flock on its lock
// file, shared by every process that uses the same root), then, when it changed something,
// replaces the file atomically: a temporary file in the same folder, flushed, renamed over it.
// Two processes updating the hive at once therefore both see each other's changes. A damaged
// file gives ERROR_BADDB and is left as it is. The root folder is made private (0700) and the
// files 0600. Returns 0 or a Windows error code.
DWORD update(HiveId id, const Change &change);

}  // namespace hive
