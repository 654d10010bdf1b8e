// install_command.cc - quillora install's command line, its installation folder, and the run of its steps.
#include "tools/quillora/install/install_command.h"

#include <stdio.h>

#include <algorithm>
#include <system_error>

#include "platform/base/data_root.h"
#include "tools/quillora/command_line.h"
#include "tools/quillora/data_folder.h"
#include "tools/quillora/install/install_steps.h"
#include "tools/quillora/messages.h"
#include "tools/quillora/own_files.h"
#include "uninstall/installation.h"

namespace install {

namespace {

namespace fs = std::filesystem;
using quillora::kExitFailed;
using quillora::kExitOk;
using quillora::kExitUsage;

constexpr quillora::OptionSpec kSpecs[] = {{"--dir", true}, {"--system", false}};

// The default folder: where the user's other Quillora data lives.
fs::path default_folder() {
  std::string root;
  platform::user_data_root(&root);  // usable: the command checks it before it needs the folder
  return fs::path(root) / "control";
}

void print_help() {
  printf(
      "Usage: quillora install [--dir DIR] [--system]\n"
      "Installs the signing control for this user: copies the control module as %s, the\n"
      "uninstaller as %s and the page bridge as %s into DIR, records the\n"
      "installation in the registry (HKEY_LOCAL_MACHINE\\%s, value %s, and the machine's\n"
      "list of installed programs), registers the control from its installed copy, and tells\n"
      "Chromium, Google Chrome and Firefox where the bridge is (their host manifests, in this\n"
      "user's browser folders; with --system, as root, in the system-wide ones for every user).\n"
      "An installation already there, in DIR or elsewhere, is replaced. Run DIR/%s to remove it again.\n"
      "DIR defaults to %s (made if missing).\n"
      "Exit codes: 0 installed, 1 a step failed (stderr says which; running again repairs it), 64 usage error.\n",
      installation::kModuleName, installation::kUninstallerName, installation::kBridgeName, installation::kKey,
      installation::kFolderValue, installation::kUninstallerName, default_folder().c_str());
}

// The folder as the registry will hold it: made if missing, absolute and canonical (the
// control registers the real path of its module), without a trailing separator, and a path
// the uninstaller can read back and extend. "" or why it cannot be used.
std::string prepare_folder(const std::string &given, fs::path *folder) {
  std::error_code error;
  const fs::path wanted = given.empty() ? default_folder() : fs::path(given);
  fs::create_directories(wanted, error);
  if (!error) *folder = fs::canonical(wanted, error);
  if (error) return wanted.string() + ": " + error.message();
  if (!fs::is_directory(*folder)) return folder->string() + ": not a folder";
  const std::string path = folder->string();
  // A backslash separates folders in the platform's paths, so a name holding one cannot be
  // named there, and a control character would garble the uninstaller's messages; the
  // uninstaller reads the folder through a fixed buffer.
  const bool has_control =
      std::any_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  if (path.find('\\') != std::string::npos || has_control)
    return path + ": the path holds a character the installation's paths cannot hold (\\ or a control character)";
  if (path.size() + 1 > installation::kFolderBufferBytes)
    return path + ": the path is longer than " + std::to_string(installation::kFolderBufferBytes - 1) + " bytes";
  return "";
}

}  // namespace

int run_install(std::span<const std::string> args) {
  std::string error;
  const auto options = quillora::parse_options(args, kSpecs, &error);
  if (options && !options->help && !options->operands.empty())
    error = "unexpected argument '" + options->operands.front() + "'";
  if (options && options->has("--dir") && options->value("--dir").empty()) error = "option --dir needs a folder";
  if (!options || !error.empty()) {
    quillora::report_usage_error(error, "install");
    return kExitUsage;
  }
  if (options->help) {
    print_help();
    return kExitOk;
  }
  if (!quillora::data_folder_usable()) return kExitFailed;
  const bridge::ManifestScope scope = options->has("--system") ? bridge::ManifestScope::kSystem
                                                                : bridge::ManifestScope::kUser;
  Installation installation{{},
                            quillora::own_file(QUILLORA_INSTALLED_CONTROL_MODULE, QUILLORA_CONTROL_MODULE),
                            quillora::own_file(QUILLORA_INSTALLED_UNINSTALL_PROGRAM, QUILLORA_UNINSTALL_PROGRAM),
                            quillora::own_file(QUILLORA_INSTALLED_BRIDGE_PROGRAM, QUILLORA_BRIDGE_PROGRAM),
                            scope,
                            installed_folder()};
  error = prepare_folder(options->value("--dir"), &installation.folder);
  if (!error.empty()) {
    quillora::report(error);
    return kExitFailed;
  }
  for (const InstallStep &step : install_steps()) {
    std::string done;
    error = step.run(installation, &done);
    if (!error.empty()) {
      quillora::report(std::string("cannot ") + step.what, error);
      return kExitFailed;
    }
    if (!done.empty()) printf("%s\n", done.c_str());
  }
  return kExitOk;
}

}  // namespace install
