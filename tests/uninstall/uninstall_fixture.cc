// uninstall_fixture.cc - a scratch installation for the uninstaller's tests: registry keys, the test module, a folder whose files cannot be deleted.
#include "tests/uninstall/uninstall_fixture.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/registry/registry.h"
#include "uninstall/installation.h"

namespace uninstalltest {

namespace {

// The append-only attribute keeps even root from deleting a folder's files; the mode keeps
// everyone else from it.
bool set_append_only(const std::string &folder, bool on) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL;
  done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  close(fd);
  return done;
}

void create_key(const char *key, const char *value_name, const std::string &value) {
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(handle, value_name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(handle);
}

}  // namespace

Installation::Installation() {
  data_.emplace("uninstall_test", "QUILLORA_DATA_HOME");
  folder_ = data_->path() + "/installed";
  std::filesystem::create_directory(folder_);
}

Installation::~Installation() {
  if (deletions_forbidden_) {
    set_append_only(folder_, false);
    chmod(folder_.c_str(), 0755);
  }
  if (module_ != nullptr) FreeLibrary(module_);
}

void Installation::add_module(HRESULT (*unregister)()) {
  const std::string path = folder_ + "/quillora.ocx";
  std::filesystem::copy_file(TEST_CONTROL_PATH, path);
  module_ = LoadLibraryExA(path.c_str(), nullptr, 0);
  ASSERT_NE(module_, nullptr);
  const auto set = reinterpret_cast<void (*)(HRESULT (*)())>(
      reinterpret_cast<void (*)()>(GetProcAddress(module_, "set_unregister_behaviour")));
  ASSERT_NE(set, nullptr);
  set(unregister);
}

void Installation::record(const std::string &folder) {
  create_key(installation::kKey, installation::kFolderValue, folder);
  create_key(installation::kUninstallEntryKey, "DisplayName", "quillora");
}

void Installation::forbid_deletions() {
  deletions_forbidden_ = true;
  chmod(folder_.c_str(), 0555);
  if (geteuid() == 0 && !set_append_only(folder_, true)) GTEST_SKIP() << "no append-only attribute here for root";
}

bool Installation::module_exists() const { return std::filesystem::exists(folder_ + "/quillora.ocx"); }

bool Installation::key_exists(const char *key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

}  // namespace uninstalltest
