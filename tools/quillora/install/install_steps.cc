// install_steps.cc - the installer's steps: replacing an installation, installing the files, the registry keys and the registration.
#include "tools/quillora/install/install_steps.h"

#include <string.h>

#include <system_error>

#include "platform/registry/registry.h"
#include "tools/quillora/host/registration_command.h"
#include "uninstall/installation.h"

namespace install {

namespace {

namespace fs = std::filesystem;

constexpr char kDisplayName[] = "quillora";
constexpr char kDisplayVersion[] = "2.1.04S1R2";  // the version the uninstaller's question names
constexpr char kPublisher[] = "KESTRAVON";

std::string registry_error(const char *key, LSTATUS status) {
  return std::string("HKEY_LOCAL_MACHINE\\") + key + ": registry error " + std::to_string(status);
}

// Copies `source` over `target` through a temporary name in the target's folder, so that the
// name holds the old file or the new one, never a part, and a program that has the old one
// loaded keeps it.
std::string install_file(const fs::path &source, const fs::path &target, fs::perms perms) {
  const fs::path temporary = target.parent_path() / (".tmp-" + target.filename().string());
  std::error_code error, ignored;
  if (fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, error) &&
      (fs::permissions(temporary, perms, error), !error) && (fs::rename(temporary, target, error), !error))
    return "";
  fs::remove(temporary, ignored);
  return source.string() + " to " + target.string() + ": " + error.message();
}

// Values are REG_SZ with their NUL, as the platform's own programs read them.
LSTATUS set_string(HKEY key, const char *name, const std::string &value) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
}

std::string replace_previous(const Installation &installation, std::string *done) {
  if (!installation.previous_folder) return "";
  const fs::path &previous = *installation.previous_folder;
  const fs::path previous_module = previous / installation::kModuleName;
  // The new registration would overwrite the old; removing it first leaves nothing of an older
  // module that registered more.
  if (fs::exists(previous_module)) host::call_module_export(previous_module.string(), "DllUnregisterServer");
  if (previous != installation.folder) {
    std::error_code ignored;
    fs::remove(previous_module, ignored);
    fs::remove(previous / installation::kUninstallerName, ignored);
    fs::remove(previous / installation::kBridgeName, ignored);
    // Manifests this installation does not overwrite (the other scope's) would name a program gone.
    bridge::remove_host_manifests_naming((previous / installation::kBridgeName).string());
  }
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, installation::kKey);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, installation::kUninstallEntryKey);
  *done = "replaced the installation in " + previous.string();
  return "";
}

std::string copy_module(const Installation &installation, std::string *done) {
  const fs::path target = installation.folder / installation::kModuleName;
  *done = "installed " + target.string();
  return install_file(installation.module_source, target,
                      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

// A program, runnable by everyone, into the installation folder.
std::string install_program(const fs::path &source, const Installation &installation, const char *name,
                            std::string *done) {
  const fs::path target = installation.folder / name;
  *done = "installed " + target.string();
  return install_file(source, target,
                      fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                          fs::perms::others_exec);
}

std::string copy_uninstaller(const Installation &installation, std::string *done) {
  return install_program(installation.uninstaller_source, installation, installation::kUninstallerName, done);
}

std::string copy_bridge(const Installation &installation, std::string *done) {
  return install_program(installation.bridge_source, installation, installation::kBridgeName, done);
}

std::string record_installation(const Installation &installation, std::string *done) {
  const std::string folder = installation.folder.string();
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, installation::kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_WRITE, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status = set_string(key, installation::kFolderValue, folder);
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) return registry_error(installation::kKey, status);

  status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, installation::kUninstallEntryKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return registry_error(installation::kUninstallEntryKey, status);
  const DWORD one = 1;
  const std::pair<const char *, std::string> strings[] = {
      {"DisplayName", kDisplayName},
      {"DisplayVersion", kDisplayVersion},
      {"Publisher", kPublisher},
      {"InstallLocation", folder},
      {"UninstallString", (installation.folder / installation::kUninstallerName).string()},
  };
  for (const auto &[name, value] : strings)
    if (status == ERROR_SUCCESS) status = set_string(key, name, value);
  // Nothing to change or repair in place: the entry offers removal only.
  for (const char *name : {"NoModify", "NoRepair"})
    if (status == ERROR_SUCCESS)
      status = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), sizeof one);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return registry_error(installation::kUninstallEntryKey, status);
  *done = "recorded the installation in HKEY_LOCAL_MACHINE\\" + std::string(installation::kKey);
  return "";
}

std::string register_control(const Installation &installation, std::string *done) {
  const std::string module = (installation.folder / installation::kModuleName).string();
  const std::string error = host::call_module_export(module, "DllRegisterServer");
  if (!error.empty()) return module + ": " + error;
  *done = "registered the control from " + module;
  return "";
}

// One line per manifest placed; every place is tried before a failure is reported.
std::string place_manifests(const Installation &installation, std::string *done) {
  const std::string bridge_path = (installation.folder / installation::kBridgeName).string();
  std::string placed, failures;
  const auto outcomes = bridge::place_host_manifests(installation.manifest_scope, bridge_path);
  for (const bridge::ManifestOutcome &outcome : outcomes) {
    if (outcome.error.empty()) {
      if (!placed.empty()) placed += '\n';
      placed.append("placed the ").append(outcome.place.browser).append(" host manifest ").append(outcome.place.path);
    } else {
      if (!failures.empty()) failures += "; ";
      failures.append(outcome.place.path).append(": ").append(outcome.error);
    }
  }
  *done = placed;
  return failures;
}

constexpr InstallStep kSteps[] = {
    {"replace the installation there", replace_previous},
    {"install the control module", copy_module},
    {"install the uninstaller", copy_uninstaller},
    {"install the page bridge", copy_bridge},
    {"record the installation in the registry", record_installation},
    {"register the control", register_control},
    {"place the browsers' host manifests", place_manifests},
};

}  // namespace

std::span<const InstallStep> install_steps() { return kSteps; }

std::optional<fs::path> installed_folder() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, installation::kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  char folder[installation::kFolderBufferBytes];
  DWORD size = sizeof folder;
  const LSTATUS status =
      RegQueryValueExA(key, installation::kFolderValue, nullptr, nullptr, reinterpret_cast<BYTE *>(folder), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  const std::string path(folder, strnlen(folder, size));
  if (path.empty()) return std::nullopt;
  return fs::path(path);
}

}  // namespace install
