// scratch_folder.h - a fresh temporary folder owned by one test, optionally named to the code under test through an environment variable.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace testsupport {

// Makes the folder on construction; with `variable`, points that environment variable at the
// folder (followed by `subpath`, which need not exist) until destruction, which unsets it and
// removes the folder with everything in it.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char *prefix, const char *variable = nullptr, const std::string &subpath = "")
      : variable_(variable) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "_XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << pattern;
    path_ = pattern;
    named_ = subpath.empty() ? path_ : path_ + "/" + subpath;
    if (variable_ != nullptr) setenv(variable_, named_.c_str(), 1);
  }
  ~ScratchFolder() {
    if (variable_ != nullptr) unsetenv(variable_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder &) = delete;
  ScratchFolder &operator=(const ScratchFolder &) = delete;

  const std::string &path() const { return path_; }
  // The path the environment variable names.
  const std::string &named() const { return named_; }

 private:
  const char *variable_;
  std::string path_;
  std::string named_;
};

}  // namespace testsupport
