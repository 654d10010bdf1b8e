// private_file.h - whole-file reads and crash-safe writes of the platform's own small files: hives, certificates, keys (internal).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/base/win_types.h"

namespace privfile {

// Temporary files start with this; whoever lists a folder of such files skips them.
constexpr char kTemporaryPrefix[] = ".tmp-";

// Reads a regular file of at most max_nbytes. 0, ERROR_FILE_NOT_FOUND when it does not exist,
// ERROR_READ_FAULT when it is larger or not a regular file, or the error of the failing call.
DWORD read_file(const std::string &path, size_t max_nbytes, std::vector<BYTE> *bytes);

enum class Placement {
  kReplace,  // renamed over whatever has the name
  kNew,      // linked to the name, which must be free (else ERROR_FILE_EXISTS)
};

// Writes folder/name with permission bits `mode` through a temporary file in the same folder that
// is flushed to disk before it takes the name, so the name holds the old bytes or the new ones,
// never a part; the folder is flushed after, so the name survives a crash. The temporary file is
// gone afterwards on every path. 0 or a Windows error code.
DWORD write_file(const std::string &folder, const std::string &name, const std::vector<BYTE> &bytes,
                 mode_t mode, Placement placement);

// Removes a file; one that does not exist is not an error. 0 or a Windows error code.
DWORD remove_file(const std::string &path);

// An exclusive lock on a lock file, held from acquire() until destruction and shared by every
// process that names the same file (flock). Writers of a folder hold its lock for as long as their
// temporary files exist, so whoever gets the lock knows that every temporary file there is stale.
class Lock {
 public:
  Lock() = default;
  ~Lock();
  Lock(const Lock &) = delete;
  Lock &operator=(const Lock &) = delete;

  // Takes the lock on `path`, creating the file (0600) when it is missing. With `wait` false a
  // lock held elsewhere gives ERROR_LOCK_VIOLATION at once. 0 or a Windows error code.
  DWORD acquire(const std::string &path, bool wait);
  void release();

 private:
  int fd_ = -1;
};

// The name of a folder's lock file beside the files it guards; listings of numbered files skip it.
constexpr char kFolderLockName[] = ".lock";

// Removes the temporary files that writers killed half-way left in `folder`. The caller holds the
// folder's lock. 0 or the Windows error code of listing the folder.
DWORD remove_temporaries(const std::string &folder);

}  // namespace privfile
