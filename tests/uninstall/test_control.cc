// test_control.cc - a stand-in for the control module that the uninstaller loads: its DllUnregisterServer does what the test asks.
#include "platform/com/com_types.h"

namespace {

HRESULT (*g_unregister)() = nullptr;

}  // namespace

extern "C" {

// S_OK unless a test set another behaviour on this copy of the module.
HRESULT DllUnregisterServer() { return g_unregister != nullptr ? g_unregister() : S_OK; }

void set_unregister_behaviour(HRESULT (*unregister)()) { g_unregister = unregister; }

}  // extern "C"
