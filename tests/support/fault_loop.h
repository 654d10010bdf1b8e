// fault_loop.h - runs a writer's work once for every file call it makes, failing that call, and checks that the disk then holds the old state or the new one and that the next try succeeds.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/files/posix_call.h"
#include "platform/files/private_file.h"
#include "tests/support/scratch_folder.h"

namespace testsupport {

// A copy of a folder as it is now, put back by restore() however the folder changed meanwhile.
class FolderSnapshot {
 public:
  explicit FolderSnapshot(const std::string &folder) : folder_(folder), copy_("snapshot") {
    std::filesystem::copy(folder_, copy_.path(), std::filesystem::copy_options::recursive);
  }
  void restore() const {
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directory(folder_, copy_.path());
    std::filesystem::copy(copy_.path(), folder_, std::filesystem::copy_options::recursive);
  }

 private:
  std::string folder_;
  ScratchFolder copy_;
};

// A writer's work as the loop sees it.
struct FaultLoopWork {
  std::function<void()> reset;  // puts the old state on disk
  // Optional: readies the work without faults (opens and finds what it changes), so that the
  // calls counted are the writer's own steps.
  std::function<void()> prepare;
  // Does the work once through the writer's public calls; true on success. It must also succeed,
  // changing nothing, when the new state is already there, as "the next try" may find it.
  std::function<bool()> run;
  std::function<std::string()> state;  // what is on disk, read back, as a text that equal states share
  std::string folder;                  // where the writer keeps its temporary files
};

struct FaultLoopCounts {
  unsigned steps_failed = 0;
  unsigned states_checked = 0;
};

inline unsigned temporary_files_in(const std::string &folder) {
  unsigned count = 0;
  std::error_code ignored;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(folder, ignored)) {
    if (entry.path().filename().string().starts_with(privfile::kTemporaryPrefix)) ++count;
  }
  return count;
}

// Learns the old and the new state from one run without faults, then for every kind of file call
// and every n up to the number of such calls the work makes: resets, makes the nth call of that
// kind fail with `error`, runs, and requires the old or the new state (the new one when the work
// reported success) with no temporary file left, unless the failed call was the unlink that
// removes it; then runs again without faults and requires success and the new state.
inline FaultLoopCounts fail_every_call(const FaultLoopWork &work, int error) {
  using platform::FileCall;
  FaultLoopCounts counts;
  const auto run = [&] {
    if (work.prepare) work.prepare();
    return work.run();
  };
  work.reset();
  const std::string old_state = work.state();
  EXPECT_TRUE(run());
  const std::string new_state = work.state();
  EXPECT_NE(old_state, new_state) << "the work changes nothing, so no failure can be seen";
  for (FileCall call : {FileCall::kOpen, FileCall::kWrite, FileCall::kFsync, FileCall::kRename, FileCall::kLink,
                        FileCall::kUnlink}) {
    for (unsigned nth = 1;; ++nth) {
      SCOPED_TRACE(testing::Message() << "call kind " << static_cast<unsigned>(call) << ", failing call " << nth);
      work.reset();
      if (work.prepare) work.prepare();
      platform::fault::fail_nth_call(nth, error, platform::fault::call_bit(call));
      const bool succeeded = work.run();
      if (platform::fault::stop_failing() < nth) {
        EXPECT_TRUE(succeeded);
        break;
      }
      ++counts.steps_failed;
      const std::string state = work.state();
      EXPECT_TRUE(state == new_state || (!succeeded && state == old_state)) << state;
      if (call != FileCall::kUnlink) {
        EXPECT_EQ(temporary_files_in(work.folder), 0u);
      }
      EXPECT_TRUE(run());
      EXPECT_EQ(work.state(), new_state);
      counts.states_checked += 2;
    }
  }
  EXPECT_GT(counts.steps_failed, 0u) << "no file call of the work went through the seam";
  return counts;
}

// Puts the counts in the test's XML record and on stdout, for whoever reports on the loop.
inline void record_fault_loop(const FaultLoopCounts &counts) {
  testing::Test::RecordProperty("steps_failed", static_cast<int>(counts.steps_failed));
  testing::Test::RecordProperty("states_checked", static_cast<int>(counts.states_checked));
  std::printf("fault loop: %u steps failed, %u states checked\n", counts.steps_failed, counts.states_checked);
}

}  // namespace testsupport
