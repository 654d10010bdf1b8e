// uninstall_fixture.h - what the uninstaller's tests share: a scratch registry and installation folder with a test module as quillora.ocx, and one run of CUninstallApp.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/com/com_types.h"
#include "platform/modules/modules.h"
#include "tests/support/scratch_folder.h"

namespace uninstalltest {

// Sets up an installation as the installer leaves it (the module file, the installation key with
// "CWD", the uninstall entry) in a fresh data root, and reads back what the uninstaller left.
class Installation {
 public:
  Installation();
  ~Installation();

  const std::string &folder() const { return folder_; }
  // The path the uninstaller logs: the folder, a backslash and the module's name.
  std::string logged_module_path() const { return folder_ + "\\quillora.ocx"; }

  // Copies the test module in as quillora.ocx; its DllUnregisterServer runs `unregister`
  // (S_OK for null). The copy stays loaded by the fixture, so that the uninstaller's load finds
  // the same module, until the fixture goes.
  void add_module(HRESULT (*unregister)() = nullptr);
  // The installation key with "CWD" set to `folder` (REG_SZ), and the uninstall entry key.
  void record(const std::string &folder);
  void record() { record(folder_); }
  // Makes the folder refuse the deletion of the files in it, also to root; undone by the fixture.
  void forbid_deletions();

  bool module_exists() const;
  static bool key_exists(const char *key);

 private:
  std::optional<testsupport::ScratchFolder> data_;
  std::string folder_;
  HMODULE module_ = nullptr;
  bool deletions_forbidden_ = false;
};

}  // namespace uninstalltest
