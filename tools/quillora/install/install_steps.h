// install_steps.h - the steps of `quillora install`, in order: what each does to the machine and what it reports.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "tools/bridge/host_manifests.h"

namespace install {

struct Installation {
  std::filesystem::path folder;  // absolute and canonical, without a trailing separator
  std::filesystem::path module_source;       // the control module to install
  std::filesystem::path uninstaller_source;  // the uninstall program to install beside it
  std::filesystem::path bridge_source;       // quillora-bridge, likewise
  bridge::ManifestScope manifest_scope;      // where the browsers' host manifests go
  // The folder the registry names for an installation already there, which this one replaces.
  std::optional<std::filesystem::path> previous_folder;
};

struct InstallStep {
  const char *what;  // for the failure message: "cannot <what>"
  // "" when done, with *done the line to print (empty for nothing), else why it failed.
  std::string (*run)(const Installation &installation, std::string *done);
};

// Remove the installation being replaced, install the module, the uninstaller and the bridge,
// record the installation in the registry, register the control from its installed copy, and
// place the browsers' host manifests naming the installed bridge. A later step relies on the
// earlier ones; a failure stops the run, and running it again repairs it.
std::span<const InstallStep> install_steps();

// The folder an installation already there recorded, or nothing.
std::optional<std::filesystem::path> installed_folder();

}  // namespace install
