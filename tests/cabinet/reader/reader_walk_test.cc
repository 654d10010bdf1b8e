// reader_walk_test.cc - catches a wrong notification sequence or field, wrong bytes written, a
// folder that is not restarted or restarted needlessly, and reserve areas that shift the layout.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/cabinet/harness/reader_session.h"
#include "tests/cabinet/harness/test_data.h"

namespace cabtest {
namespace {

using testing::ElementsAre;

Bytes output(const MemoryFiles &files, const std::string &name) { return files.written("out/" + name); }

TEST(ReaderWalk, NotifiesInOrderWithTheEntryFields) {
  Folder folder{kMethodMszip,
                {File{"first.txt", text_data(40000, 1), 0x5A21, 0x6000, 0x20},
                 File{"second.bin", random_data(300, 2), 0x3C8F, 0x1234, 0x01}}};
  std::vector<Cabinet> cabs = write_cabinet_set({folder});
  MemoryFiles files;
  add_cabinets(files, cabs);
  ReaderSession session(files);
  ASSERT_EQ(session.copy("set1.cab"), 1);
  EXPECT_THAT(session.kinds(), ElementsAre(NOTE_CABINET, NOTE_LIST_POSITION, NOTE_COPY, NOTE_CLOSE, NOTE_COPY,
                                           NOTE_CLOSE, NOTE_LIST_POSITION));
  const NoteRecord &cabinet = session.notes[0];
  EXPECT_EQ(cabinet.set_id, 0x1234);
  EXPECT_EQ(cabinet.cabinet_index, 0);
  EXPECT_EQ(cabinet.text1, "");
  const NoteRecord &first_position = session.notes[1];
  EXPECT_EQ(first_position.value, static_cast<int32_t>(cabs[0].file_table));
  EXPECT_EQ(first_position.folder_index, 2);
  const NoteRecord &copy = session.notes[4];
  EXPECT_EQ(copy.text1, "second.bin");
  EXPECT_EQ(copy.value, 300);
  EXPECT_EQ(copy.date, 0x3C8F);
  EXPECT_EQ(copy.time, 0x1234);
  EXPECT_EQ(copy.attributes, 0x01);
  EXPECT_EQ(copy.folder_index, 0);
  EXPECT_EQ(session.notes[6].folder_index, 0);
  EXPECT_EQ(output(files, "first.txt"), folder.files[0].data);
  EXPECT_EQ(output(files, "second.bin"), folder.files[1].data);
}

TEST(ReaderWalk, RunAfterExtractionBitBecomesTheCloseValue) {
  MemoryFiles files;
  files.add("a.cab", write_cabinet({Folder{kMethodStored, {File{"run.exe", Bytes(10, 1), 1, 2, 0x61},
                                                           File{"plain", Bytes(3, 2), 1, 2, 0x20}}}}));
  ReaderSession session(files);
  ASSERT_EQ(session.copy("a.cab"), 1);
  std::vector<NoteRecord> closes;
  for (const NoteRecord &note : session.notes)
    if (note.kind == NOTE_CLOSE) closes.push_back(note);
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_EQ(closes[0].value, 1);
  EXPECT_EQ(closes[0].attributes, 0x21);
  EXPECT_EQ(closes[1].value, 0);
  EXPECT_EQ(closes[1].attributes, 0x20);
}

TEST(ReaderWalk, EmptyFileNeedsNoFolder) {
  // The folder's method cannot be decoded, but an empty file never selects it.
  MemoryFiles files;
  files.add("a.cab", write_cabinet({Folder{0x0004, {File{"empty", {}, 1, 2, 0x21}}}}));
  ReaderSession session(files);
  ASSERT_EQ(session.copy("a.cab"), 1);
  EXPECT_THAT(session.closed_files(), ElementsAre("empty"));
  EXPECT_TRUE(output(files, "empty").empty());
}

TEST(ReaderWalk, SkippedFilesAreNotWritten) {
  MemoryFiles files;
  files.add("a.cab", write_cabinet({Folder{kMethodStored, {File{"keep", Bytes(5, 1)}, File{"skip", Bytes(5, 2)}}}}));
  ReaderSession session(files);
  session.answer = [&session](int32_t kind, CabNote *note) {
    if (kind == NOTE_COPY && std::string(note->text1) == "skip") return 0;
    return session.default_answer(kind, note);
  };
  ASSERT_EQ(session.copy("a.cab"), 1);
  EXPECT_THAT(session.closed_files(), ElementsAre("keep"));
  EXPECT_FALSE(files.exists("out/skip"));
}

struct RestartCase {
  const char *name;
  uint16_t method_word;
};

class ReaderRestart : public testing::TestWithParam<RestartCase> {};

TEST_P(ReaderRestart, FileBeforeTheHeldBlockRestartsTheFolder) {
  // Listed B then A, with A's data first: A makes the folder start over from its first block,
  // whose history the MSZIP blocks of A need.
  Folder folder{GetParam().method_word, {File{"A", text_data(70000, 5)}, File{"B", text_data(50000, 6)}}};
  folder.listing_order = {1, 0};
  MemoryFiles files;
  files.add("a.cab", write_cabinet({folder}));
  ReaderSession session(files);
  ASSERT_EQ(session.copy("a.cab"), 1) << session.error.code;
  EXPECT_THAT(session.closed_files(), ElementsAre("B", "A"));
  EXPECT_EQ(output(files, "A"), folder.files[0].data);
  EXPECT_EQ(output(files, "B"), folder.files[1].data);
}

// A folder larger than the reader's buffers: files listed in data order are served by one pass
// over the blocks, while a file listed out of order costs a second pass from the first block.
TEST_P(ReaderRestart, FilesInDataOrderReadEachBlockOnce) {
  std::vector<File> files_in_order = {File{"A", random_data(400000, 5)}, File{"B", Bytes(3, 9)},
                                      File{"C", random_data(300000, 6)}};
  for (bool reversed : {false, true}) {
    Folder folder{GetParam().method_word, files_in_order};
    if (reversed) folder.listing_order = {2, 1, 0};
    Bytes cabinet = write_cabinet({folder});
    MemoryFiles files;
    files.add("a.cab", cabinet);
    ReaderSession session(files);
    ASSERT_EQ(session.copy("a.cab"), 1);
    EXPECT_EQ(output(files, "A"), folder.files[0].data);
    EXPECT_EQ(output(files, "C"), folder.files[2].data);
    // The file table is read twice at most (the list and the data buffer may both hold it).
    if (reversed) {
      EXPECT_GT(files.bytes_read(), cabinet.size() + 400000);
    } else {
      EXPECT_LE(files.bytes_read(), cabinet.size() + 8192);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, ReaderRestart,
                         testing::Values(RestartCase{"stored", kMethodStored}, RestartCase{"mszip", kMethodMszip}),
                         [](const testing::TestParamInfo<RestartCase> &info) { return info.param.name; });

struct LayoutCase {
  const char *name;
  bool reserve_present;
  uint16_t header_reserve;
  uint8_t folder_reserve, data_reserve;
  bool checksums;
};

class ReaderLayouts : public testing::TestWithParam<LayoutCase> {};

TEST_P(ReaderLayouts, ReservesAndChecksumsKeepTheContentIntact) {
  const LayoutCase &c = GetParam();
  Layout layout;
  layout.reserve_present = c.reserve_present;
  layout.header_reserve = c.header_reserve;
  layout.folder_reserve = c.folder_reserve;
  layout.data_reserve = c.data_reserve;
  layout.checksums = c.checksums;
  std::vector<Folder> folders = {Folder{kMethodMszip, {File{"t.txt", text_data(80000, 7)}}},
                                 Folder{kMethodStored, {File{"r.bin", random_data(40000, 8)}, File{"e", {}}}}};
  MemoryFiles files;
  files.add("a.cab", write_cabinet(folders, layout));
  ReaderSession session(files);
  ASSERT_EQ(session.copy("a.cab"), 1) << session.error.code;
  EXPECT_EQ(output(files, "t.txt"), folders[0].files[0].data);
  EXPECT_EQ(output(files, "r.bin"), folders[1].files[0].data);
  EXPECT_TRUE(output(files, "e").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderLayouts,
    testing::Values(LayoutCase{"flags_0", false, 0, 0, 0, true}, LayoutCase{"reserve_flag_with_zero_sizes", true, 0, 0, 0, true},
                    LayoutCase{"all_reserves", true, 300, 7, 13, true}, LayoutCase{"data_reserve_only", true, 0, 0, 255, true},
                    LayoutCase{"no_checksums", true, 20, 3, 5, false}),
    [](const testing::TestParamInfo<LayoutCase> &info) { return info.param.name; });

TEST(ReaderWalk, ChecksumZeroIsNotComputed) {
  Layout layout;
  layout.checksums = false;
  std::vector<Cabinet> cabs = write_cabinet_set({Folder{kMethodStored, {File{"a", Bytes(100, 'a')}}}}, layout);
  cabs[0].bytes[cabs[0].blocks[0] + kDataHeaderNbytes] = 'b';
  MemoryFiles files;
  add_cabinets(files, cabs);
  ReaderSession session(files);
  ASSERT_EQ(session.copy("set1.cab"), 1);
  EXPECT_EQ(output(files, "a")[0], 'b');
}

TEST(ReaderWalk, NameOf255CharactersIsAccepted) {
  std::string name(255, 'n');
  MemoryFiles files;
  files.add("a.cab", write_cabinet({Folder{kMethodStored, {File{name, Bytes(7, 1)}}}}));
  ReaderSession session(files);
  ASSERT_EQ(session.copy("a.cab"), 1);
  EXPECT_THAT(session.closed_files(), ElementsAre(name));
}

TEST(ReaderWalk, ListPositionAnswerWalksTheEntriesAgain) {
  MemoryFiles files;
  std::vector<Cabinet> cabs = write_cabinet_set({Folder{kMethodStored, {File{"a", Bytes(5, 1)}, File{"b", Bytes(6, 2)}}}});
  add_cabinets(files, cabs);
  ReaderSession session(files);
  int positions = 0;
  session.answer = [&](int32_t kind, CabNote *note) {
    if (kind == NOTE_LIST_POSITION && ++positions == 2) {
      // Once more from the second entry.
      note->value = static_cast<int32_t>(cabs[0].file_entries[1]);
      note->folder_index = 1;
    }
    return session.default_answer(kind, note);
  };
  ASSERT_EQ(session.copy("set1.cab"), 1);
  EXPECT_THAT(session.closed_files(), ElementsAre("a", "b", "b"));
  EXPECT_EQ(output(files, "b"), Bytes(6, 2));
}

TEST(ReaderWalk, FolderInfoDuringANotificationLeavesTheWalkIntact) {
  std::vector<Folder> folders = {Folder{kMethodMszip, {File{"m", text_data(70000, 1)}}},
                                 Folder{0x1503, {File{"empty", {}}}},
                                 Folder{kMethodStored, {File{"s", random_data(40000, 2)}}}};
  MemoryFiles files;
  std::vector<Cabinet> cabs = write_cabinet_set(folders);
  add_cabinets(files, cabs);
  ReaderSession session(files);
  std::vector<std::pair<uint16_t, uint16_t>> seen;  // folder index, method word
  session.answer = [&](int32_t kind, CabNote *note) {
    if (kind == NOTE_COPY) {
      CabFolderInfo info{};
      EXPECT_EQ(cab_reader_folder_info(session.reader, note->folder_index, &info), 1);
      seen.emplace_back(info.folder_index, info.method_word);
      // The entries that name the continuing and the last folder.
      EXPECT_EQ(cab_reader_folder_info(session.reader, 0xFFFD, &info), 1);
      EXPECT_EQ(info.folder_index, 0);
      EXPECT_EQ(cab_reader_folder_info(session.reader, 0xFFFE, &info), 1);
      EXPECT_EQ(info.folder_index, 2);
      // The MSZIP folder has three blocks, the empty one none, the stored one two.
      EXPECT_EQ(info.block_count, 2);
      EXPECT_EQ(info.first_block_offset, cabs[0].blocks[3]);
      EXPECT_EQ(cab_reader_folder_info(session.reader, 3, &info), 0);
    }
    return session.default_answer(kind, note);
  };
  ASSERT_EQ(session.copy("set1.cab"), 1);
  EXPECT_THAT(seen, ElementsAre(std::make_pair(0, kMethodMszip), std::make_pair(1, 0x1503),
                                std::make_pair(2, kMethodStored)));
  EXPECT_EQ(output(files, "m"), folders[0].files[0].data);
  EXPECT_EQ(output(files, "s"), folders[2].files[0].data);
}

TEST(ReaderWalk, ContextServesSeveralCopies) {
  MemoryFiles files;
  files.add("x.cab", write_cabinet({Folder{kMethodMszip, {File{"x", text_data(50000, 1)}}}}));
  files.add("y.cab", write_cabinet({Folder{kMethodMszip, {File{"y", text_data(60000, 2)}}}}));
  ReaderSession session(files);
  ASSERT_EQ(session.copy("x.cab"), 1);
  ASSERT_EQ(session.copy("y.cab"), 1);
  EXPECT_EQ(output(files, "y"), text_data(60000, 2));
  EXPECT_EQ(files.open_handles(), 0u);
}

}  // namespace
}  // namespace cabtest
