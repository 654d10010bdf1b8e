// registration_command.h - quillora register and unregister: the control module's own self-registration exports.
#pragma once

#include <span>
#include <string>

namespace host {

int run_register(std::span<const std::string> args);
int run_unregister(std::span<const std::string> args);

// Loads the module, calls its self-registration export (DllRegisterServer or DllUnregisterServer)
// and unloads it, as regsvr32 does. "" on success, else why it failed.
std::string call_module_export(const std::string &module, const char *export_name);

}  // namespace host
