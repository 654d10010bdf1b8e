// registry_test_support.h - what the registry tests share: a fresh registry root per test, value helpers, and running code in a child process.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/registry/registry.h"
#include "tests/support/scratch_folder.h"

namespace regtest {

// A test whose registry root ($QUILLORA_REGISTRY_ROOT) is a folder not yet made, inside a fresh
// temporary folder that is removed afterwards.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.emplace("platform_registry", "QUILLORA_REGISTRY_ROOT", "registry");
    base_ = scratch_->path();
    root_ = scratch_->named();
  }
  void TearDown() override { scratch_.reset(); }

  std::string hive_file(const char *name) const { return root_ + "/" + name; }

  std::optional<testsupport::ScratchFolder> scratch_;
  std::string base_;
  std::string root_;
};

// Sets the REG_SZ `name` (with its NUL) of hKey\path, creating the key.
inline LSTATUS set_string(HKEY hKey, const char *path, const char *name, const std::string &text) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExA(hKey, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return status;
}

// The bytes and type of the value `name` of hKey\path, or the error that stopped the read.
struct ReadValue {
  LSTATUS status = ERROR_SUCCESS;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;

  std::string text() const { return std::string(data.begin(), data.end()); }
};

inline ReadValue read_value(HKEY hKey, const char *path, const char *name) {
  ReadValue read;
  HKEY key = nullptr;
  read.status = RegOpenKeyExA(hKey, path, 0, KEY_READ, &key);
  if (read.status != ERROR_SUCCESS) return read;
  DWORD nbytes = 0;
  read.status = RegQueryValueExA(key, name, nullptr, &read.type, nullptr, &nbytes);
  if (read.status == ERROR_SUCCESS) {
    read.data.resize(nbytes);
    read.status = RegQueryValueExA(key, name, nullptr, &read.type, read.data.data(), &nbytes);
    read.data.resize(nbytes);
  }
  RegCloseKey(key);
  return read;
}

// The names of hKey\path's subkeys in enumeration order; empty when the key cannot be opened.
inline std::vector<std::string> subkey_names(HKEY hKey, const char *path) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(hKey, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nchars = sizeof name;
    if (RegEnumKeyExA(key, i, name, &nchars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, nchars);
  }
  RegCloseKey(key);
  return names;
}

inline std::optional<std::string> file_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void put_file(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Runs `body` in a forked process and returns its exit status (body's result), or -1 when the
// child did not exit normally. The child leaves through _exit, so gtest's state stays the parent's.
inline int run_in_child(const std::function<int()> &body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace regtest
