// reader_mapping_test.cc - catches a mapped cabinet read wrong: output differing from a read one,
// writes that leave the page grid of the output, a cabinet shortened under the walk taken for a
// failed output (or read past its end), and mappings left behind.
#include <gtest/gtest.h>

#include <string>

#include "tests/cabinet/harness/reader_session.h"
#include "tests/cabinet/harness/test_data.h"

namespace cabtest {
namespace {

constexpr uint32_t kWriteNbytes = 256 * 1024;

// Stored blocks hold 32 KiB: the second file starts in the middle of one and runs through many.
std::vector<Folder> two_files() {
  return {Folder{kMethodStored, {File{"head", random_data(20000, 1)}, File{"large", random_data(700000, 2)}}}};
}

// Whether read or mapped, every write of a file but its last is a whole number of pages.
TEST(ReaderMapping, SameFilesInWritesOnThePageGrid) {
  for (const bool mapped : {false, true}) {
    SCOPED_TRACE(mapped ? "mapped" : "read");
    const std::vector<Folder> folders = two_files();
    MemoryFiles files;
    files.add("a.cab", write_cabinet(folders));
    ReaderSession session(files);
    if (mapped) session.allow_mapping();
    ASSERT_EQ(session.copy("a.cab"), 1) << session.error.code;
    const std::vector<uint32_t> &sizes = files.write_sizes();
    ASSERT_EQ(sizes.size(), 4u);  // head in one; large in three whole writes and the rest
    for (size_t i = 1; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], kWriteNbytes) << i;
    for (const File &file : folders[0].files) EXPECT_EQ(files.written("out/" + file.name), file.data);
    EXPECT_EQ(files.live_mappings(), 0u);
  }
}

struct ShrinkCase {
  const char *name;
  bool checksums;
  // The cabinet is cut when the second file is asked for, this far into a block's header: the
  // block counted from the last back.
  size_t block_from_last;
  size_t into_header;
};

class ReaderMappingShrunk : public testing::TestWithParam<ShrinkCase> {};

// A cabinet cut under the walk is damaged whichever read of it notices (a header, a checksum, or
// the write of the file's unchecked last block); the first file, already out, is whole.
TEST_P(ReaderMappingShrunk, IsDamageAndLeavesNoMapping) {
  const ShrinkCase &c = GetParam();
  Layout layout;
  layout.checksums = c.checksums;
  const Cabinet cabinet = write_cabinet_set(two_files(), layout).at(0);
  MemoryFiles files;
  files.add("a.cab", cabinet.bytes);
  ReaderSession session(files);
  session.allow_mapping();
  session.answer = [&](int32_t kind, CabNote *note) {
    if (kind == NOTE_COPY && std::string(note->text1) == "large")
      files.shrink("a.cab", cabinet.blocks.at(cabinet.blocks.size() - 1 - c.block_from_last) + c.into_header);
    return session.default_answer(kind, note);
  };
  EXPECT_EQ(session.copy("a.cab"), 0);
  EXPECT_EQ(session.error.code, ERR_CORRUPT);
  EXPECT_EQ(files.written("out/head"), two_files()[0].files[0].data);
  EXPECT_EQ(files.live_mappings(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, ReaderMappingShrunk,
    // Past a header, its block's data is cut.
    testing::Values(ShrinkCase{"in_a_checked_block", true, 0, 1000}, ShrinkCase{"in_an_unchecked_block", false, 0, 1000},
                    ShrinkCase{"inside_a_block_header", true, 5, 4}),
    [](const testing::TestParamInfo<ShrinkCase> &info) { return info.param.name; });

// A gathered write that fails while the cabinet is whole is the output's failure.
TEST(ReaderMapping, FailedGatheredWriteIsAnOutputError) {
  MemoryFiles files;
  files.add("a.cab", write_cabinet(two_files()));
  files.fail_at(Op::write, 3);
  ReaderSession session(files);
  session.allow_mapping();
  EXPECT_EQ(session.copy("a.cab"), 0);
  EXPECT_EQ(session.error.code, ERR_OUTPUT);
  EXPECT_EQ(files.live_mappings(), 0u);
}

}  // namespace
}  // namespace cabtest
