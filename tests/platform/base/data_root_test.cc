// data_root_test.cc - catches the wrong data folder for an environment (an empty override taken for the real store), folders others can read, silent failures to create one, and a clock with the wrong epoch.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/base/system_time.h"
#include "tests/support/scratch_folder.h"

namespace {

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, const char *value) : name_(name) {
    if (const char *old = getenv(name)) saved_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (saved_) {
      setenv(name_, saved_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char *name_;
  std::optional<std::string> saved_;
};

struct RootCase {
  const char *own;
  const char *xdg;
  const char *home;
  const char *expected;  // NULL: ERROR_BAD_ENVIRONMENT
};

class DataRoot : public testing::TestWithParam<RootCase> {};

TEST_P(DataRoot, FollowsTheEnvironment) {
  ScopedEnv home("HOME", GetParam().home);
  ScopedEnv own("QUILLORA_DATA_HOME", GetParam().own);
  ScopedEnv xdg("XDG_DATA_HOME", GetParam().xdg);
  std::string root = "stale";
  const DWORD error = platform::user_data_root(&root);
  EXPECT_EQ(error, GetParam().expected ? 0u : static_cast<DWORD>(ERROR_BAD_ENVIRONMENT));
  EXPECT_EQ(root, GetParam().expected ? GetParam().expected : "");
}

constexpr char kHome[] = "/home/tester";
INSTANTIATE_TEST_SUITE_P(Environment, DataRoot,
                         testing::Values(RootCase{"/own", "/xdg", kHome, "/own"},
                                         RootCase{nullptr, "/xdg", kHome, "/xdg/quillora"},
                                         RootCase{"", "/xdg", kHome, nullptr},
                                         RootCase{nullptr, "", kHome, "/home/tester/.local/share/quillora"},
                                         RootCase{nullptr, nullptr, kHome, "/home/tester/.local/share/quillora"},
                                         RootCase{nullptr, nullptr, "", nullptr}));

class PrivateFolders : public testing::Test {
 protected:
  testsupport::ScratchFolder scratch_{"platform_base"};
  std::string root_ = scratch_.path();
};

mode_t mode_of(const std::string &path) {
  struct stat st = {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST_F(PrivateFolders, CreatesEveryMissingLevelPrivately) {
  EXPECT_EQ(platform::make_private_folders(root_ + "/a/b/c"), 0u);
  EXPECT_EQ(mode_of(root_ + "/a"), 0700u);
  EXPECT_EQ(mode_of(root_ + "/a/b/c"), 0700u);
  EXPECT_EQ(platform::make_private_folders(root_ + "/a/b/c"), 0u);  // existing is fine
  EXPECT_EQ(platform::make_private_folders(root_ + "//a//b/"), 0u);
}

TEST_F(PrivateFolders, AFileInTheWayIsAnError) {
  std::ofstream(root_ + "/file") << "x";
  for (const std::string &path : {root_ + "/file", root_ + "/file/sub"}) {
    EXPECT_EQ(platform::make_private_folders(path), static_cast<DWORD>(ERROR_DIRECTORY)) << path;
    EXPECT_EQ(platform::check_folder_path(path), static_cast<DWORD>(ERROR_DIRECTORY)) << path;
  }
  EXPECT_EQ(platform::check_folder_path(root_ + "/missing/sub"), 0u);
  EXPECT_EQ(platform::make_private_folders(""), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(SystemTime, CountsFrom1601) {
  // time() reads a coarser clock that may lag behind, so the bounds come from the same clock.
  struct timespec before, after;
  FILETIME now;
  clock_gettime(CLOCK_REALTIME, &before);
  GetSystemTimeAsFileTime(&now);
  clock_gettime(CLOCK_REALTIME, &after);
  const uint64_t ticks = uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
  const int64_t seconds = static_cast<int64_t>(ticks / 10'000'000) - 11'644'473'600;
  EXPECT_GE(seconds, before.tv_sec);
  EXPECT_LE(seconds, after.tv_sec);
}

}  // namespace
