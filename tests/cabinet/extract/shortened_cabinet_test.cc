// shortened_cabinet_test.cc - catches a large cabinet, read in place, that ends the process or
// passes for a failed output when another process cuts it during the extraction.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "cabinet/include/extract_job.h"
#include "tests/cabinet/harness/test_data.h"
#include "tests/cabinet/support/cab_writer.h"
#include "tests/support/scratch_folder.h"

namespace cabtest {
namespace {

// Where the cabinet is cut when the second file is asked for, and the file that must come out whole.
struct Cut {
  std::string cabinet;
  off_t keep_nbytes;
};

int32_t cut_at_second_file(int32_t kind, CabNote *note) {
  const auto *job = static_cast<const ExtractJob *>(note->user);
  const auto *cut = static_cast<const Cut *>(job->caller);
  if (kind == NOTE_COPY && strcmp(note->text1, "large") == 0 && truncate(cut->cabinet.c_str(), cut->keep_nbytes) != 0)
    return -1;
  return extract_notify(kind, note);
}

// Cut in the middle of the last block: with checksums the check notices, without them the write.
TEST(ShortenedCabinet, IsDamageAndTheFileBeforeItIsWhole) {
  for (const bool checksums : {true, false}) {
    SCOPED_TRACE(checksums ? "checked blocks" : "unchecked blocks");
    testsupport::ScratchFolder scratch("shortened_cabinet");
    const std::vector<Folder> folders = {
        Folder{kMethodStored, {File{"head", random_data(20000, 1)}, File{"large", random_data(700000, 2)}}}};
    Layout layout;
    layout.checksums = checksums;
    const Cabinet cabinet = write_cabinet_set(folders, layout).at(0);
    const Cut cut{scratch.path() + "/in.cab", static_cast<off_t>(cabinet.blocks.back() + 1000)};
    std::ofstream(cut.cabinet, std::ios::binary)
        .write(reinterpret_cast<const char *>(cabinet.bytes.data()), static_cast<std::streamsize>(cabinet.bytes.size()));

    EXPECT_EQ(run_extract(cut.cabinet.c_str(), scratch.path().c_str(), &runtime_cab_ops, &runtime_map_ops,
                          cut_at_second_file, const_cast<Cut *>(&cut)),
              ERR_CORRUPT);
    std::ifstream head(scratch.path() + "/head", std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(head), std::istreambuf_iterator<char>()), folders[0].files[0].data);
  }
}

}  // namespace
}  // namespace cabtest
