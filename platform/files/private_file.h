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

}  // namespace privfile
