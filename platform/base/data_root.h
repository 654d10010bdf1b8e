// data_root.h - the folder under which the platform keeps the user's persistent data (certificate stores, keys, registry).
#pragma once

#include <string>

#include "platform/base/win_types.h"

namespace platform {

// $QUILLORA_DATA_HOME when set, else $XDG_DATA_HOME/quillora, else $HOME/.local/share/quillora;
// read anew on every call, so tests can point it elsewhere. A QUILLORA_DATA_HOME that is set but
// empty is a mistake rather than a wish for the default, which is someone's real store, so it
// gives ERROR_BAD_ENVIRONMENT, as does a default with no HOME to put it under. 0 or that code.
DWORD user_data_root(std::string *root);

// Creates `path` and any missing parent folders with mode 0700. 0, ERROR_DIRECTORY when a file
// is in the way, or another Windows error code.
DWORD make_private_folders(const std::string &path);

// Whether `path` is a folder or can be made one (it or some parents are missing): 0, else
// ERROR_DIRECTORY when it or a folder on the way to it is something else, or the error of looking.
DWORD check_folder_path(const std::string &path);

}  // namespace platform
