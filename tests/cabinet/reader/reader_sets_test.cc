// reader_sets_test.cc - catches files and blocks lost, doubled or garbled across the cabinets of a
// set, continuations that ignore the set's identity, walks over hostile sets that never end or read
// outside the set's folder, and retries of a next cabinet that go wrong.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
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
  bool mapped = false;
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
    if (c.mapped) session.allow_mapping();
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
                                         SetCase{"one_block_per_cabinet", kMethodMszip, kMethodMszip, 33000, true},
                                         SetCase{"stored_split_blocks_mapped", kMethodStored, kMethodStored, 40000,
                                                 true, true},
                                         SetCase{"stored_whole_blocks_mapped", kMethodStored, kMethodMszip, 40000,
                                                 false, true}),
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

// Sets made to loop, splice a stranger in or leave the first cabinet's folder: each walk must end
// with `code`, the last request for a next cabinet carrying `cause` (0: none was refused).
struct HostileSetCase {
  const char *name;
  std::function<void(MemoryFiles &)> arrange;  // puts "disk/set1.cab" and whatever it names
  int32_t code;
  int32_t cause;
};

// A stored file that runs from set1.cab into set2.cab, the cabinets' names starting with `prefix`.
std::vector<Cabinet> spanning_set(const std::string &prefix = "set", bool checksums = true) {
  Layout layout;
  layout.cabinet_data_capacity = 40000;
  layout.name_prefix = prefix;
  layout.checksums = checksums;
  return write_cabinet_set({Folder{kMethodStored, {File{"span", text_data(60000, 1)}}}}, layout);
}

void put_index(Cabinet &cabinet, uint16_t index) {
  cabinet.bytes[34] = static_cast<uint8_t>(index);
  cabinet.bytes[35] = static_cast<uint8_t>(index >> 8);
}

// A set whose first cabinet names the next `prefix` + "2.cab", a cabinet of the set found there by
// any open that took the name as a path.
std::function<void(MemoryFiles &)> next_cabinet_named(const std::string &prefix) {
  return [prefix](MemoryFiles &files) {
    std::vector<Cabinet> set = spanning_set(prefix);
    files.add("disk/set1.cab", set[0].bytes);
    files.add("disk/" + prefix + "2.cab", set[1].bytes);
  };
}

// Where the first cabinet's next-cabinet name starts: right after its bare header.
constexpr size_t kNextNameOffset = 36;

const HostileSetCase kHostileSets[] = {
    {"index_0xfffe_takes_a_stranger_as_next",
     [](MemoryFiles &files) {
       std::vector<Cabinet> set = spanning_set();
       put_index(set[0], 0xFFFE);
       set[1].bytes[32] ^= 0x5A;  // another set identifier
       put_index(set[1], 0x0007);
       add_cabinets(files, set, "disk/");
     },
     ERR_ABORTED, ERR_WRONG_CABINET},
    {"index_0xfffe_names_itself_as_next",
     [](MemoryFiles &files) {
       std::vector<Cabinet> set = spanning_set();
       put_index(set[0], 0xFFFE);
       set[0].bytes[kNextNameOffset + 3] = '1';  // "set2.cab" becomes "set1.cab"
       files.add("disk/set1.cab", set[0].bytes);
     },
     ERR_ABORTED, ERR_WRONG_CABINET},
    {"next_name_climbs_out_of_the_folder", next_cabinet_named("../other/set"), ERR_ABORTED, ERR_CORRUPT},
    {"next_name_goes_into_a_subfolder", next_cabinet_named("sub\\set"), ERR_ABORTED, ERR_CORRUPT},
    {"data_runs_past_the_last_cabinet",
     [](MemoryFiles &files) {
       std::vector<Cabinet> set = spanning_set();
       set[0].bytes[set[0].file_entries[0] + 2] = 0x02;  // the file claims 60000 + 131072 bytes
       add_cabinets(files, set, "disk/");
       files.add("disk/", set[1].bytes);  // what a name that names nothing would find
     },
     ERR_ABORTED, ERR_CORRUPT},
    {"split_block_that_yields_nothing",
     [](MemoryFiles &files) {
       std::vector<Cabinet> set = spanning_set("set", false);
       // The block split across the two cabinets: its rest claims to yield no bytes either.
       Cabinet &second = set[1];
       second.bytes[second.blocks.front() + 6] = 0;
       second.bytes[second.blocks.front() + 7] = 0;
       add_cabinets(files, set, "disk/");
     },
     ERR_CORRUPT, 0},
};

void PrintTo(const HostileSetCase &c, std::ostream *os) { *os << c.name; }

class ReaderHostileSets : public testing::TestWithParam<HostileSetCase> {};

TEST_P(ReaderHostileSets, EndWithoutLoopingOrLeavingTheFolder) {
  MemoryFiles files;
  GetParam().arrange(files);
  ReaderSession session(files);
  int cabinets_opened = 0;
  session.answer = [&](int32_t kind, CabNote *note) {
    // A walk that keeps opening cabinets is stopped here, and then fails the expectations below.
    if (kind == NOTE_CABINET && ++cabinets_opened > 8) return -1;
    return session.default_answer(kind, note);
  };
  EXPECT_EQ(session.copy("set1.cab", "disk/"), 0);
  EXPECT_EQ(session.error.code, GetParam().code);
  int32_t cause = 0;
  for (const NoteRecord &note : session.notes)
    if (note.kind == NOTE_NEXT_CABINET) cause = note.error;
  EXPECT_EQ(cause, GetParam().cause);
  EXPECT_LE(cabinets_opened, 2);
  EXPECT_THAT(session.closed_files(), testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ReaderHostileSets, testing::ValuesIn(kHostileSets),
                         [](const testing::TestParamInfo<HostileSetCase> &info) { return std::string(info.param.name); });

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
