// classes_root_test.h - a test whose registry is a fresh folder, and reading HKEY_CLASSES_ROOT values back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/com/class_registry.h"

namespace comtest {

class ClassesRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillora_registry_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    setenv("QUILLORA_REGISTRY_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QUILLORA_REGISTRY_ROOT");
    std::filesystem::remove_all(root_);
  }

  // The text of a value, or nothing when the key or the value is missing.
  static std::optional<std::string> value(const std::string &key, const char *name = nullptr) {
    std::string text;
    if (!com::read_class_text(key, name, &text)) return std::nullopt;
    return text;
  }

  std::string root_;
};

}  // namespace comtest
