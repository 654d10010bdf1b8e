// data_problems.h - why the user's data folder or the registry in it cannot be used, said so that the user knows what to do.
#pragma once

#include <string>

namespace host {

// "" when the data folder can be used (it exists as a folder or can be made); otherwise a
// sentence naming the variable or folder at fault and what to do about it.
std::string data_folder_problem();

// "" when HKEY_CLASSES_ROOT can be read; otherwise a sentence naming the registry file or folder
// at fault (damaged, or a file where a folder must be) and what to do about it.
std::string registry_problem();

}  // namespace host
