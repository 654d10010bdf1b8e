// private_file_test.cc - catches writes that replace a name they must leave, lose the mode to the umask, leave temporary files behind or a part of a file after a failed step, reads that accept oversized or special files (or block on them), and removals that fail on missing files.
#include "platform/files/private_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "platform/base/last_error.h"
#include "test_support.h"
#include "tests/support/fault_loop.h"

namespace {

using privfile::Placement;

std::vector<BYTE> bytes_of(const std::string &text) { return std::vector<BYTE>(text.begin(), text.end()); }

class PrivateFileTest : public FolderTest {
 protected:
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto &entry : std::filesystem::directory_iterator(folder_)) found.push_back(entry.path().filename());
    std::sort(found.begin(), found.end());
    return found;
  }
};

TEST_F(PrivateFileTest, PlacementsReplaceOrKeepTheNamedFileAndLeaveNoTemporaryFile) {
  const struct {
    Placement placement;
    bool exists;  // "old" is there beforehand
    DWORD error;
    std::string content;
  } cases[] = {
      {Placement::kReplace, false, ERROR_SUCCESS, "new"},
      {Placement::kReplace, true, ERROR_SUCCESS, "new"},
      {Placement::kNew, false, ERROR_SUCCESS, "new"},
      {Placement::kNew, true, ERROR_FILE_EXISTS, "old"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "kNew " << (c.placement == Placement::kNew) << " exists " << c.exists);
    std::filesystem::remove(path("f"));
    if (c.exists) write_file(path("f"), "old");
    EXPECT_EQ(privfile::write_file(folder_, "f", bytes_of("new"), 0600, c.placement), c.error);
    EXPECT_EQ(read_file(path("f")), c.content);
    EXPECT_EQ(names(), std::vector<std::string>{"f"});
  }
}

TEST_F(PrivateFileTest, ModeIsTheOneAskedWhateverTheUmask) {
  const ScopedUmask umask(0077);
  for (mode_t mode : {0600, 0644, 0400}) {
    const std::string name = numbered("m", mode);
    ASSERT_EQ(privfile::write_file(folder_, name, bytes_of("x"), mode, Placement::kReplace), ERROR_SUCCESS);
    EXPECT_EQ(mode_of(path(name)), mode);
  }
}

TEST_F(PrivateFileTest, WritesIntoAMissingFolderFailAndCreateNothing) {
  EXPECT_EQ(privfile::write_file(path("missing"), "f", bytes_of("x"), 0600, Placement::kReplace),
            ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(names().empty());
}

TEST_F(PrivateFileTest, ReadsTakeWholeRegularFilesUpToTheirLimit) {
  ASSERT_EQ(privfile::write_file(folder_, "four", bytes_of("abcd"), 0600, Placement::kReplace), ERROR_SUCCESS);
  ASSERT_EQ(privfile::write_file(folder_, "empty", {}, 0600, Placement::kReplace), ERROR_SUCCESS);
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(path("folder").c_str(), 0700), 0);
  const struct {
    const char *name;
    size_t max_nbytes;
    DWORD error;
    std::string content;
  } cases[] = {
      {"four", 4, ERROR_SUCCESS, "abcd"},
      {"four", 3, ERROR_READ_FAULT, ""},
      {"empty", 0, ERROR_SUCCESS, ""},
      {"missing", 4, ERROR_FILE_NOT_FOUND, ""},
      {"fifo", 4, ERROR_READ_FAULT, ""},  // a reader that opened it would wait for a writer
      {"folder", 4, ERROR_ACCESS_DENIED, ""},
  };
  for (const auto &c : cases) {
    std::vector<BYTE> bytes = bytes_of("stale");
    EXPECT_EQ(privfile::read_file(path(c.name), c.max_nbytes, &bytes), c.error) << c.name;
    EXPECT_EQ(bytes, bytes_of(c.content)) << c.name;
  }
}

TEST_F(PrivateFileTest, AFailedStepLeavesTheOldFileOrTheNewOneAndTheNextWriteSucceeds) {
  for (Placement placement : {Placement::kReplace, Placement::kNew}) {
    SCOPED_TRACE(placement == Placement::kNew ? "kNew" : "kReplace");
    testsupport::FaultLoopWork work;
    work.folder = folder_;
    work.reset = [&] {
      std::filesystem::remove_all(folder_);
      std::filesystem::create_directory(folder_);
      if (placement == Placement::kReplace) write_file(path("f"), "old");
    };
    work.run = [&] {
      const DWORD error = privfile::write_file(folder_, "f", bytes_of("new"), 0600, placement);
      // For kNew an existing name is the caller's business; holding the new bytes, the work is done.
      return error == ERROR_SUCCESS || (error == ERROR_FILE_EXISTS && read_file(path("f")) == "new");
    };
    work.state = [&] {
      std::string state;
      for (const std::string &name : names()) {
        if (!name.starts_with(privfile::kTemporaryPrefix))
          state += name + "=" + read_file(path(name)).value_or("?") + " mode " + std::to_string(mode_of(path(name))) + ";";
      }
      return state;
    };
    testsupport::record_fault_loop(testsupport::fail_every_call(work, ENOSPC));
  }
}

TEST_F(PrivateFileTest, RemovingAMissingFileIsNoError) {
  write_file(path("f"), "x");
  EXPECT_EQ(privfile::remove_file(path("f")), ERROR_SUCCESS);
  EXPECT_EQ(privfile::remove_file(path("f")), ERROR_SUCCESS);
  EXPECT_TRUE(names().empty());
  EXPECT_EQ(privfile::remove_file(path("folder/f")), ERROR_SUCCESS);
}

}  // namespace
