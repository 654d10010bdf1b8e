// module_test_library.cc - a module loaded by the module tests: its own resource table and two exports.
#include "platform/modules/modules.h"

extern "C" int base_only_export();

namespace {

const char kTypeLib[] = {'T', 'L', 'B', '\0', 'x'};
const char kBitmap[] = "BM-library";

const ResourceEntry kResources[] = {
    {RT_STRING, 1, "library string one", sizeof "library string one"},
    {RT_STRING, 2, "", 1},
    {"TYPELIB", 1, kTypeLib, sizeof kTypeLib},
    {RT_BITMAP, 131, kBitmap, sizeof kBitmap},
};
PLATFORM_MODULE_RESOURCES(kResources);

}  // namespace

extern "C" __attribute__((visibility("default"))) int library_answer() { return base_only_export() + 35; }
extern "C" __attribute__((visibility("default"))) const void *library_address() { return kResources; }
