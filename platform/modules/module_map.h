// module_map.h - which loaded object a module handle or an address belongs to (internal).
#pragma once

#include <link.h>

#include "platform/modules/modules.h"

namespace modules {

// The loader's record of the object that holds `address`, or nullptr when no loaded object does.
const link_map *object_of(const void *address);

// The loader's record of the object behind hModule; NULL is the main program. hModule must be a
// handle from this layer (LoadLibraryExA, module_handle_of).
const link_map *object_of_handle(HMODULE hModule);

// The main program's record.
const link_map *main_program();

}  // namespace modules
