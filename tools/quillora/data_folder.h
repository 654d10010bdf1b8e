// data_folder.h - stops a command early, with what to do, when the data folder cannot be used.
#pragma once

namespace quillora {

// Reports on stderr why the data folder cannot be used, when it cannot; false then.
bool data_folder_usable();

}  // namespace quillora
