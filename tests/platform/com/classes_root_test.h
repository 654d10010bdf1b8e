// classes_root_test.h - a test whose registry is a fresh folder, and reading HKEY_CLASSES_ROOT values back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/com/class_registry.h"
#include "tests/support/scratch_folder.h"

namespace comtest {

class ClassesRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.emplace("quillora_registry", "QUILLORA_REGISTRY_ROOT");
    root_ = scratch_->path();
  }
  void TearDown() override { scratch_.reset(); }

  // The text of a value, or nothing when the key or the value is missing.
  static std::optional<std::string> value(const std::string &key, const char *name = nullptr) {
    std::string text;
    if (!com::read_class_text(key, name, &text)) return std::nullopt;
    return text;
  }

  std::optional<testsupport::ScratchFolder> scratch_;
  std::string root_;
};

}  // namespace comtest
