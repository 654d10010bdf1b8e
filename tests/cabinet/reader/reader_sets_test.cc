// reader_sets_test.cc - catches files and blocks lost, doubled or garbled across the cabinets of a
// set, continuations that ignore the set's identity, and retries of a next cabinet that go wrong.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "tests/cabinet/harness/reader_session.h"
#include "tests/cabinet/harness/test_data.h"

namespace cabtest {
namespace {

using testing::ElementsAre;

std::vector<Folder> set_folders(uint16_t first_method, uint16_t second_method) {
  return {Folder{first_method,
                 {File{"a.txt", text_data(30000, 1)}, File{"b.bin", random_data(70000, 2)},
                  File{"c.txt", text_data(5, 3)}, File{"d.txt", text_data(90000, 4)}}},
          Folder{second_method, {File{"e.dat", run_data(50000, 5)}, File{"f.txt", text_data(20000, 6)}}}};
}

struct SetCase {
  const char *name;
  uint16_t first_method, second_method;
  uint32_t capacity;
  bool split_blocks;
};

class ReaderSets : public testing::TestWithParam<SetCase> {};

// Extracting each cabinet of the set in turn gives every file exactly once, intact.
TEST_P(ReaderSets, EveryFileOnceAcrossTheCopiesOfTheSet) {
  const SetCase &c = GetParam();
  std::vector<Folder> folders = set_folders(c.first_method, c.second_method);
  Layout layout;
  layout.cabinet_data_capacity = c.capacity;
  layout.split_blocks = c.split_blocks;
  std::vector<Cabinet> cabs = write_cabinet_set(folders, layout);
  ASSERT_GE(cabs.size(), 3u);

  MemoryFiles files;
  add_cabinets(files, cabs, "disk/");
  std::multiset<std::string> extracted;
  for (const Cabinet &cab : cabs) {
    ReaderSession session(files);
    ASSERT_EQ(session.copy(cab.name, "disk/"), 1) << cab.name << " error " << session.error.code;
    for (const std::string &name : session.closed_files()) extracted.insert(name);
  }
  std::multiset<std::string> expected;
  for (const Folder &folder : folders)
    for (const File &file : folder.files) {
      expected.insert(file.name);
      EXPECT_EQ(files.written("out/" + file.name), file.data) << file.name;
    }
  EXPECT_EQ(extracted, expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ReaderSets,
                         testing::Values(SetCase{"stored_split_blocks", kMethodStored, kMethodStored, 40000, true},
                                         SetCase{"stored_whole_blocks", kMethodStored, kMethodStored, 40000, false},
                                         SetCase{"mszip_split_blocks", kMethodMszip, kMethodMszip, 25000, true},
                                         SetCase{"mszip_whole_blocks", kMethodMszip, kMethodStored, 30000, false},
                                         SetCase{"one_block_per_cabinet", kMethodMszip, kMethodMszip, 33000, true}),
                         [](const testing::TestParamInfo<SetCase> &info) { return info.param.name; });

TEST(ReaderSets, ContinuationAnnouncesTheNextCabinetAndEndsAtANewFolder) {
  // One file spans the boundary; the second cabinet also starts a folder of its own.
  std::vector<Folder> folders = {Folder{kMethodStored, {File{"span", text_data(60000, 1)}}},
                                 Folder{kMethodStored, {File{"later", text_data(100, 2)}}}};
  Layout layout;
  layout.cabinet_data_capacity = 40000;
  std::vector<Cabinet> cabs = write_cabinet_set(folders, layout);
  ASSERT_EQ(cabs.size(), 2u);
  MemoryFiles files;
  add_cabinets(files, cabs);
  ReaderSession session(files);
  ASSERT_EQ(session.copy("set1.cab"), 1);
  EXPECT_THAT(session.kinds(), ElementsAre(NOTE_CABINET, NOTE_LIST_POSITION, NOTE_COPY, NOTE_NEXT_CABINET,
                                           NOTE_CABINET, NOTE_CLOSE, NOTE_LIST_POSITION));
  const NoteRecord &next = session.notes[3];
  EXPECT_EQ(next.text1, "set2.cab");
  EXPECT_EQ(next.text2, "Disk 2");
  EXPECT_EQ(next.set_id, 0x1234);
  EXPECT_EQ(next.cabinet_index, 1);
  EXPECT_EQ(next.error, 0);
  EXPECT_EQ(session.notes[4].cabinet_index, 1);
  EXPECT_THAT(session.closed_files(), ElementsAre("span"));
}

TEST(ReaderSets, CabinetOpenedAloneReportsContinuedFilesAsPartial) {
  std::vector<Folder> folders = {Folder{kMethodStored, {File{"span", text_data(60000, 1)}}},
                                 Folder{kMethodStored, {File{"later", text_data(100, 2)}}}};
  Layout layout;
  layout.cabinet_data_capacity = 40000;
  std::vector<Cabinet> cabs = write_cabinet_set(folders, layout);
  MemoryFiles files;
  add_cabinets(files, cabs);
  ReaderSession session(files);
  ASSERT_EQ(session.copy("set2.cab"), 1);
  ASSERT_EQ(session.notes[2].kind, NOTE_PARTIAL);
  EXPECT_EQ(session.notes[2].text1, "span");
  EXPECT_EQ(session.notes[2].text2, "set1.cab");
  EXPECT_EQ(session.notes[2].text3, "Disk 1");
  EXPECT_THAT(session.closed_files(), ElementsAre("later"));
}

struct RetryCase {
  const char *name;
  // Replaces or removes the second cabinet.
  void (*spoil)(MemoryFiles &, std::vector<Cabinet> &);
  int32_t error;
};

const RetryCase kRetryCases[] = {
    {"missing", [](MemoryFiles &, std::vector<Cabinet> &) {}, ERR_OPEN_CABINET},
    {"other_set_id",
     [](MemoryFiles &files, std::vector<Cabinet> &cabs) {
       cabs[1].bytes[32] ^= 1;
       files.add("set2.cab", cabs[1].bytes);
     },
     ERR_WRONG_CABINET},
    {"other_index",
     [](MemoryFiles &files, std::vector<Cabinet> &cabs) {
       cabs[1].bytes[34] = 7;
       files.add("set2.cab", cabs[1].bytes);
     },
     ERR_WRONG_CABINET},
    {"not_a_cabinet", [](MemoryFiles &files, std::vector<Cabinet> &) { files.add("set2.cab", Bytes(100, 0)); },
     ERR_NOT_CABINET},
};

class ReaderNextCabinetRetry : public testing::TestWithParam<RetryCase> {};

TEST_P(ReaderNextCabinetRetry, RepeatsTheRequestWithTheCauseUntilTheHandlerGivesUp) {
  std::vector<Folder> folders = {Folder{kMethodMszip, {File{"span", random_data(60000, 1)}}}};
  Layout layout;
  layout.cabinet_data_capacity = 40000;
  std::vector<Cabinet> cabs = write_cabinet_set(folders, layout);
  MemoryFiles files;
  files.add("set1.cab", cabs[0].bytes);
  GetParam().spoil(files, cabs);
  ReaderSession session(files);
  int requests = 0;
  session.answer = [&](int32_t kind, CabNote *note) {
    if (kind == NOTE_NEXT_CABINET) return ++requests == 3 ? -1 : 0;
    return session.default_answer(kind, note);
  };
  EXPECT_EQ(session.copy("set1.cab"), 0);
  EXPECT_EQ(session.error.code, ERR_ABORTED);
  std::vector<int32_t> errors;
  for (const NoteRecord &note : session.notes)
    if (note.kind == NOTE_NEXT_CABINET) errors.push_back(note.error);
  EXPECT_THAT(errors, ElementsAre(0, GetParam().error, GetParam().error));
  EXPECT_EQ(files.open_handles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Causes, ReaderNextCabinetRetry, testing::ValuesIn(kRetryCases),
                         [](const testing::TestParamInfo<RetryCase> &info) { return std::string(info.param.name); });

TEST(ReaderSets, HandlerMayPointToAnotherFolder) {
  std::vector<Folder> folders = {Folder{kMethodMszip, {File{"span", random_data(30000, 1)}}}};
  Layout layout;
  layout.cabinet_data_capacity = 20000;  // one block, split in two
  std::vector<Cabinet> cabs = write_cabinet_set(folders, layout);
  ASSERT_EQ(cabs.size(), 2u);
  MemoryFiles files;
  files.add("first/set1.cab", cabs[0].bytes);
  files.add("second/set2.cab", cabs[1].bytes);
  ReaderSession session(files);
  session.answer = [&session](int32_t kind, CabNote *note) {
    if (kind == NOTE_NEXT_CABINET) std::strcpy(note->text3, "second/");
    return session.default_answer(kind, note);
  };
  ASSERT_EQ(session.copy("set1.cab", "first/"), 1) << session.error.code;
  EXPECT_EQ(files.written("out/span"), folders[0].files[0].data);
}

TEST(ReaderSets, DifferentDataReserveInTheNextCabinetIsReported) {
  std::vector<Folder> folders = {Folder{kMethodStored, {File{"span", text_data(60000, 1)}}}};
  Layout plain;
  plain.cabinet_data_capacity = 40000;
  Layout reserved = plain;
  reserved.reserve_present = true;
  reserved.data_reserve = 4;
  MemoryFiles files;
  files.add("set1.cab", write_cabinet_set(folders, plain)[0].bytes);
  files.add("set2.cab", write_cabinet_set(folders, reserved)[1].bytes);
  ReaderSession session(files);
  EXPECT_EQ(session.copy("set1.cab"), 0);
  ASSERT_GE(session.notes.size(), 2u);
  const NoteRecord &last_request = session.notes.back();
  EXPECT_EQ(last_request.kind, NOTE_NEXT_CABINET);
  EXPECT_EQ(last_request.error, ERR_RESERVE);
}

}  // namespace
}  // namespace cabtest
