// data_root.h - the folder under which the platform keeps the user's persistent data (certificate stores, keys, registry).
#pragma once

#include <string>

#include "platform/base/win_types.h"

namespace platform {

// $QUILLORA_DATA_HOME when set and not empty, else $XDG_DATA_HOME/quillora, else
// $HOME/.local/share/quillora. Read anew on every call, so tests can point it elsewhere.
std::string user_data_root();

// Creates `path` and any missing parent folders with mode 0700. 0 or a Windows error code.
DWORD make_private_folders(const std::string &path);

}  // namespace platform
