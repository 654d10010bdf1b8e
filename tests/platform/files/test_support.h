// test_support.h - what the file tests share: a fresh folder per test, whole-file reads and writes,
// and scoped settings of the umask and the time zone.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "tests/support/scratch_folder.h"

// A test in a folder of its own, removed with everything in it afterwards.
class FolderTest : public ::testing::Test {
 protected:
  std::string path(const std::string &name) const { return folder_ + "/" + name; }
  // The same path in Windows syntax, every separator a backslash.
  std::string windows_path(const std::string &name) const {
    std::string windows = path(name);
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
  }

  testsupport::ScratchFolder scratch_{"platform_files"};
  std::string folder_ = scratch_.path();
};

// `name` followed by the decimal `number`. Appended, because g++ 12 at -O3 warns falsely
// (restrict, in the inlined insert) on a string literal plus std::to_string.
inline std::string numbered(std::string name, long long number) { return name += std::to_string(number); }

inline void write_file(const std::string &path, const std::string &content) {
  std::ofstream(path, std::ios::binary) << content;
}

// The file's bytes, or nothing when it cannot be read (it does not exist).
inline std::optional<std::string> read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline mode_t mode_of(const std::string &path) {
  struct stat st = {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : saved_(umask(mask)) {}
  ~ScopedUmask() { umask(saved_); }

 private:
  mode_t saved_;
};

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char *zone) {
    if (const char *old = getenv("TZ")) saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};
