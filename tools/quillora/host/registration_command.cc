// registration_command.cc - loads the control module and calls DllRegisterServer or DllUnregisterServer, as regsvr32 does.
#include "tools/quillora/host/registration_command.h"

#include <stdio.h>

#include <string_view>

#include "platform/base/last_error.h"
#include "platform/com/com_types.h"
#include "platform/modules/modules.h"
#include "platform/registry/registry.h"
#include "tools/quillora/command_line.h"
#include "tools/control_host/control_client.h"
#include "tools/control_host/data_problems.h"
#include "tools/quillora/data_folder.h"
#include "tools/quillora/error_text.h"
#include "tools/quillora/messages.h"
#include "tools/quillora/own_files.h"

namespace host {

namespace {

using quillora::kExitFailed;
using quillora::kExitOk;
using quillora::kExitUsage;

constexpr quillora::OptionSpec kSpecs[] = {{"--module", true}};

// The module path HKEY_CLASSES_ROOT gives for the control's ProgID, or "" when it is not registered.
std::string registered_module() {
  char clsid[64] = {};
  DWORD size = sizeof clsid;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "KESTRAVON.Quillora.1\\CLSID", 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
  const LSTATUS status = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE *>(clsid), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return "";
  const std::string server_key = "CLSID\\" + std::string(clsid) + "\\InprocServer32";
  char path[4096] = {};
  size = sizeof path;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, server_key.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
  const LSTATUS path_status = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE *>(path), &size);
  RegCloseKey(key);
  return path_status == ERROR_SUCCESS ? std::string(path) : "";
}

void print_help(std::string_view command, std::string_view what) {
  const std::string name(command);
  printf(
      "Usage: quillora %s [--module PATH]\n"
      "%.*s\n"
      "PATH defaults to %s.\n"
      "The registry lives under $QUILLORA_REGISTRY_ROOT, else under the data folder's registry/.\n"
      "Exit codes: 0 done, 1 the module could not be loaded or its export failed, 64 usage error.\n",
      name.c_str(), static_cast<int>(what.size()), what.data(),
      command == "register" ? "the control module that came with this quillora"
                            : "the module the registry names for the control, else the one that came with this quillora");
}

// The export's HRESULT decides the exit code.
int call_export(const std::string &module, const char *export_name) {
  const std::string error = call_module_export(module, export_name);
  if (!error.empty()) {
    quillora::report(module, error);
    return kExitFailed;
  }
  printf("%s: %s succeeded\n", module.c_str(), export_name);
  return kExitOk;
}

int run(std::string_view command, std::span<const std::string> args) {
  std::string error;
  const auto options = quillora::parse_options(args, kSpecs, &error);
  if (options && !options->help && !options->operands.empty()) error = "unexpected argument '" + options->operands.front() + "'";
  if (options && !options->help && options->has("--module") && options->value("--module").empty())
    error = "option --module needs a path";
  if (!options || !error.empty()) {
    quillora::report_usage_error(error, command);
    return kExitUsage;
  }
  const bool registering = command == "register";
  if (options->help) {
    print_help(command, registering ? "Registers the signing control: its type library, its class and its ProgID."
                                    : "Removes the signing control's registration.");
    return kExitOk;
  }
  if (!quillora::data_folder_usable()) return kExitFailed;
  std::string module = options->value("--module");
  if (module.empty() && !registering) module = registered_module();
  if (module.empty()) module = quillora::own_file(QUILLORA_INSTALLED_CONTROL_MODULE, QUILLORA_CONTROL_MODULE);
  return call_export(module, registering ? "DllRegisterServer" : "DllUnregisterServer");
}

}  // namespace

std::string call_module_export(const std::string &module, const char *export_name) {
  HMODULE handle = LoadLibraryExA(module.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (handle == nullptr) return "cannot be loaded as a module: " + quillora::error_text(GetLastError(), module);
  using ExportFunction = HRESULT (*)();
  const auto function = reinterpret_cast<ExportFunction>(reinterpret_cast<void (*)()>(GetProcAddress(handle, export_name)));
  if (function == nullptr) {
    FreeLibrary(handle);
    return std::string("has no export ") + export_name;
  }
  const HRESULT hr = function();
  FreeLibrary(handle);
  if (SUCCEEDED(hr)) return "";
  // Registration fails on the registry as a rule; what is wrong with it says more than the code.
  const std::string problem = registry_problem();
  return std::string(export_name) + " failed: " +
         (problem.empty() ? quillora::error_text(static_cast<uint32_t>(hr)) : problem);
}

int run_register(std::span<const std::string> args) { return run("register", args); }
int run_unregister(std::span<const std::string> args) { return run("unregister", args); }

}  // namespace host
