// extract_test.cc - catches extract() faults on real files through libbundlex.so: wrong path
// splitting, wrong output places, times and permissions, stale bytes, names or links that escape
// the destination or stop the files after them, names not made Linux names, special files waited
// on, vague results for a missing next cabinet, and overflowing paths.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "cabinet/include/bundlex.h"
#include "cabinet/include/cab_reader.h"
#include "tests/cabinet/harness/test_data.h"
#include "tests/cabinet/support/cab_writer.h"
#include "tests/support/scratch_folder.h"

namespace cabtest {
namespace {

namespace fs = std::filesystem;

class Extract : public testing::Test {
 protected:
  void SetUp() override {
    saved_cwd_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(saved_cwd_);
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add);
    for (const auto &entry : fs::recursive_directory_iterator(root_))
      if (!entry.is_symlink()) fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
  }

  std::string path(const std::string &relative) const { return (root_ / relative).string(); }

  void write(const std::string &relative, const Bytes &bytes) const {
    fs::create_directories(fs::path(path(relative)).parent_path());
    std::ofstream(path(relative), std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
  }

  // Writes the set's cabinets into `folder` (relative to the root).
  void write_set(const std::vector<Cabinet> &cabinets, const std::string &folder = "cabs") const {
    for (const Cabinet &cabinet : cabinets) write(folder + "/" + cabinet.name, cabinet.bytes);
  }

  Bytes read(const std::string &relative) const {
    std::ifstream in(path(relative), std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  bool exists(const std::string &relative) const { return fs::exists(fs::symlink_status(path(relative))); }

  testsupport::ScratchFolder scratch_{"extract_test"};
  fs::path root_ = scratch_.path();
  fs::path saved_cwd_;
};

std::vector<Folder> two_files() {
  return {Folder{kMethodMszip, {File{"a.txt", text_data(50000, 1)}, File{"b.bin", random_data(1000, 2)}}}};
}

// Cabinet path forms: each must find the cabinet and, for a set, its next cabinet.
struct PathCase {
  const char *name;
  const char *cabinet_path;  // relative to the root, which is the current folder
  const char *cwd;           // relative to the root
};

class ExtractPaths : public Extract, public testing::WithParamInterface<PathCase> {};

TEST_P(ExtractPaths, FindsTheSetFromAnyPathForm) {
  std::vector<Folder> folders = {Folder{kMethodMszip, {File{"span.txt", random_data(120000, 3)}}}};
  Layout layout;
  layout.cabinet_data_capacity = 40000;
  std::vector<Cabinet> cabinets = write_cabinet_set(folders, layout);
  ASSERT_GE(cabinets.size(), 2u);
  write_set(cabinets);
  fs::create_directories(path("out"));
  fs::current_path(path(GetParam().cwd));
  std::string destination = path("out");
  ASSERT_EQ(extract(GetParam().cabinet_path, destination.c_str()), 0);
  EXPECT_EQ(read("out/span.txt"), folders[0].files[0].data);
}

INSTANTIATE_TEST_SUITE_P(Forms, ExtractPaths,
                         testing::Values(PathCase{"bare_name", "set1.cab", "cabs"},
                                         PathCase{"forward_slashes", "cabs/set1.cab", "."},
                                         PathCase{"backslashes", "cabs\\set1.cab", "."},
                                         PathCase{"dot_slash", "./cabs/set1.cab", "."}),
                         [](const testing::TestParamInfo<PathCase> &info) { return info.param.name; });

TEST_F(Extract, AbsolutePathFindsTheNextCabinetBesideIt) {
  std::vector<Folder> folders = {Folder{kMethodStored, {File{"span.txt", text_data(90000, 3)}}}};
  Layout layout;
  layout.cabinet_data_capacity = 40000;
  write_set(write_cabinet_set(folders, layout));
  fs::create_directories(path("out"));
  ASSERT_EQ(extract(path("cabs/set1.cab").c_str(), path("out").c_str()), 0);
  EXPECT_EQ(read("out/span.txt"), folders[0].files[0].data);
}

struct DestinationCase {
  const char *name;
  const char *destination;
  const char *expected_file;  // where a.txt lands, relative to the root (the current folder)
};

class ExtractDestinations : public Extract, public testing::WithParamInterface<DestinationCase> {};

TEST_P(ExtractDestinations, PutsFilesUnderTheDestination) {
  write("in.cab", write_cabinet(two_files()));
  fs::create_directories(path("out"));
  fs::current_path(root_);
  ASSERT_EQ(extract("in.cab", GetParam().destination), 0);
  EXPECT_EQ(read(GetParam().expected_file), text_data(50000, 1));
}

INSTANTIATE_TEST_SUITE_P(Forms, ExtractDestinations,
                         testing::Values(DestinationCase{"plain", "out", "out/a.txt"},
                                         DestinationCase{"trailing_slash", "out/", "out/a.txt"},
                                         DestinationCase{"trailing_backslash", "out\\", "out/a.txt"},
                                         DestinationCase{"empty", "", "a.txt"}),
                         [](const testing::TestParamInfo<DestinationCase> &info) { return info.param.name; });

TEST_F(Extract, StoredFoldersMustExist) {
  write("in.cab", write_cabinet({Folder{kMethodStored, {File{"docs\\readme.txt", Bytes(10, 'r')}}}}));
  fs::create_directories(path("out"));
  EXPECT_EQ(extract(path("in.cab").c_str(), path("out").c_str()), ERR_ABORTED);
  fs::create_directories(path("out/docs"));
  ASSERT_EQ(extract(path("in.cab").c_str(), path("out").c_str()), 0);
  EXPECT_EQ(read("out/docs/readme.txt"), Bytes(10, 'r'));
}

TEST_F(Extract, EmptyCabinetCreatesNothing) {
  write("in.cab", write_cabinet({}));
  fs::create_directories(path("out"));
  ASSERT_EQ(extract(path("in.cab").c_str(), path("out").c_str()), 0);
  EXPECT_TRUE(fs::is_empty(path("out")));
}

struct AttributeCase {
  const char *name;
  uint16_t stored;
  bool writable;
};

class ExtractAttributes : public Extract, public testing::WithParamInterface<AttributeCase> {};

TEST_P(ExtractAttributes, ReadOnlyBecomesThePermissionBits) {
  write("in.cab", write_cabinet({Folder{kMethodStored, {File{"f", Bytes(4, 'x'), 0x5A21, 0x6000, GetParam().stored},
                                                        File{"empty", {}, 0x5A21, 0x6000, GetParam().stored}}}}));
  fs::create_directories(path("out"));
  ASSERT_EQ(extract(path("in.cab").c_str(), path("out").c_str()), 0);
  for (const char *name : {"out/f", "out/empty"}) {
    struct stat st {};
    ASSERT_EQ(stat(path(name).c_str(), &st), 0);
    EXPECT_EQ((st.st_mode & 0222) != 0, GetParam().writable) << name;
    EXPECT_NE(st.st_mode & 0400, 0u) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Bits, ExtractAttributes,
                         testing::Values(AttributeCase{"none", 0x00, true}, AttributeCase{"archive", 0x20, true},
                                         AttributeCase{"read_only_archive", 0x21, false},
                                         AttributeCase{"hidden_system", 0x06, true},
                                         AttributeCase{"dropped_bits_0x180", 0x180, true},
                                         AttributeCase{"run_after_extraction_read_only", 0x41, false}),
                         [](const testing::TestParamInfo<AttributeCase> &info) { return info.param.name; });

struct TimeCase {
  const char *name;
  const char *tz;
  uint16_t date, time;
  int64_t utc_seconds;  // what the modification time must be
};

class ExtractTimes : public Extract, public testing::WithParamInterface<TimeCase> {
 protected:
  void SetUp() override {
    Extract::SetUp();
    const char *old = getenv("TZ");
    saved_tz_ = old != nullptr ? old : "";
    had_tz_ = old != nullptr;
    setenv("TZ", GetParam().tz, 1);
    tzset();
  }
  void TearDown() override {
    if (had_tz_)
      setenv("TZ", saved_tz_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
    Extract::TearDown();
  }
  std::string saved_tz_;
  bool had_tz_ = false;
};

TEST_P(ExtractTimes, StoredLocalTimeBecomesTheModificationTime) {
  const TimeCase &c = GetParam();
  write("in.cab", write_cabinet({Folder{kMethodStored, {File{"f", Bytes(3, 'x'), c.date, c.time, 0x21},
                                                        File{"empty", {}, c.date, c.time, 0x20}}}}));
  fs::create_directories(path("out"));
  ASSERT_EQ(extract(path("in.cab").c_str(), path("out").c_str()), 0);
  for (const char *name : {"out/f", "out/empty"}) {
    struct stat st {};
    ASSERT_EQ(stat(path(name).c_str(), &st), 0);
    EXPECT_EQ(static_cast<int64_t>(st.st_mtime), c.utc_seconds) << name;
  }
}

// 2025-01-01 12:00:00 is 0x5A21 / 0x6000; 2025-07-01 12:00:00 is 0x5AE1 / 0x6000;
// 1980-01-01 00:00:00 is 0x0021 / 0x0000.
INSTANTIATE_TEST_SUITE_P(Zones, ExtractTimes,
                         testing::Values(TimeCase{"utc_winter", "UTC0", 0x5A21, 0x6000, 1735732800},
                                         TimeCase{"cet_winter", "CET-1CEST,M3.5.0,M10.5.0/3", 0x5A21, 0x6000, 1735729200},
                                         TimeCase{"cet_summer", "CET-1CEST,M3.5.0,M10.5.0/3", 0x5AE1, 0x6000, 1751364000},
                                         TimeCase{"earliest_dos_time", "UTC0", 0x0021, 0x0000, 315532800}),
                         [](const testing::TestParamInfo<TimeCase> &info) { return info.param.name; });

TEST_F(Extract, ImpossibleStoredDateLeavesTheFileUnstamped) {
  // Month 13: the file is still extracted, with the time it got on creation.
  write("in.cab", write_cabinet({Folder{kMethodStored, {File{"f", Bytes(3, 'x'), 0x5BA1, 0x6000, 0x20}}}}));
  fs::create_directories(path("out"));
  time_t before = time(nullptr);
  ASSERT_EQ(extract(path("in.cab").c_str(), path("out").c_str()), 0);
  struct stat st {};
  ASSERT_EQ(stat(path("out/f").c_str(), &st), 0);
  EXPECT_GE(st.st_mtime, before - 1);
}

TEST_F(Extract, ExistingLongerFileIsTruncated) {
  write("out/a.txt", Bytes(200000, 'z'));
  write("in.cab", write_cabinet(two_files()));
  ASSERT_EQ(extract(path("in.cab").c_str(), path("out").c_str()), 0);
  EXPECT_EQ(read("out/a.txt"), text_data(50000, 1));
}

struct BadName {
  std::string name;
  uint16_t attributes;
};

void PrintTo(const BadName &bad, std::ostream *os) { *os << testing::PrintToString(bad.name); }

class ExtractBadNames : public Extract, public testing::WithParamInterface<BadName> {};

// A name that would leave the destination, or cannot be a Linux name, costs its own file only.
TEST_P(ExtractBadNames, AreSkippedWithNothingOutsideAndTheRestExtracted) {
  write("in.cab", write_cabinet({Folder{kMethodStored,
                                        {File{"fine.txt", Bytes(5, 'f')},
                                         File{GetParam().name, Bytes(5, 'e'), 0x5A21, 0x6000, GetParam().attributes},
                                         File{"after.txt", Bytes(5, 'a')}}}}));
  fs::create_directories(path("deep/out/sub"));
  fs::current_path(path("deep/out/sub"));
  EXPECT_EQ(extract(path("in.cab").c_str(), path("deep/out").c_str()), ERR_ABORTED);
  EXPECT_EQ(read("deep/out/fine.txt"), Bytes(5, 'f'));
  EXPECT_EQ(read("deep/out/after.txt"), Bytes(5, 'a'));
  EXPECT_EQ(std::distance(fs::directory_iterator(path("deep/out")), {}), 3) << "fine.txt, sub and after.txt only";
  for (const char *outside : {"evil", "deep/evil", "in.cab.evil", "deep/out/sub/evil"}) EXPECT_FALSE(exists(outside)) << outside;
  EXPECT_FALSE(exists("/evil")) << "absolute";
}

constexpr uint16_t kUtf8Name = 0xA0;  // the UTF-8 name attribute, with archive

INSTANTIATE_TEST_SUITE_P(Names, ExtractBadNames,
                         testing::Values(BadName{"..\\evil", 0x20}, BadName{"../evil", 0x20},
                                         BadName{"sub\\..\\..\\evil", 0x20}, BadName{"..", 0x20},
                                         BadName{"\\evil", 0x20}, BadName{"/evil", 0x20}, BadName{"c:evil", 0x20},
                                         BadName{"C:\\evil", 0x20}, BadName{"", 0x20},
                                         BadName{"not\xff utf-8", kUtf8Name},
                                         BadName{"overlong \xc1\xbf", kUtf8Name},
                                         // 150 bytes of Windows-1252 become a 300-byte UTF-8 name.
                                         BadName{std::string(150, '\xe9'), 0x20}));

// Stored names become the UTF-8 names a Linux user reads; the caller's own paths are Linux paths.
TEST_F(Extract, StoredNamesBecomeLinuxNames) {
  const struct {
    std::string stored;
    uint16_t attributes;
    const char *created;
  } names[] = {
      {"caf\xe9 \x80.txt", 0x20, "caf\xc3\xa9 \xe2\x82\xac.txt"},  // "café €.txt" from Windows-1252
      {"\xc3\xa9t\xc3\xa9.txt", kUtf8Name, "\xc3\xa9t\xc3\xa9.txt"},  // "été.txt", marked UTF-8
      {"what?.txt", 0x20, "what?.txt"},
      {"a*b\"c<d>e|f", 0x20, "a*b\"c<d>e|f"},
  };
  std::vector<File> files;
  for (const auto &n : names) files.push_back(File{n.stored, Bytes(3, 'n'), 0x5A21, 0x6000, n.attributes});
  write("in?.cab", write_cabinet({Folder{kMethodStored, files}}));
  fs::create_directories(path("out?"));
  ASSERT_EQ(extract(path("in?.cab").c_str(), path("out?").c_str()), 0);
  for (const auto &n : names) EXPECT_EQ(read(std::string("out?/") + n.created), Bytes(3, 'n')) << n.created;
  EXPECT_EQ(std::distance(fs::directory_iterator(path("out?")), {}), 4);
}

// A destination prepared by someone else: the folder the caller names may be a link, nothing below
// it may be followed, and a special file in an output's place is refused, never waited on.
struct HostileDestinationCase {
  const char *name;
  std::function<void(const fs::path &root)> plant;  // under "out", with "elsewhere" beside it
  const char *destination;               // relative to the root, or absolute
  const char *stored;
  int code;
  const char *written;  // where the file must land (relative to the root), or null
};

void PrintTo(const HostileDestinationCase &c, std::ostream *os) { *os << c.name; }

class ExtractHostileDestinations : public Extract, public testing::WithParamInterface<HostileDestinationCase> {};

TEST_P(ExtractHostileDestinations, WriteOnlyBelowTheNamedFolder) {
  const HostileDestinationCase &c = GetParam();
  fs::create_directories(path("out"));
  fs::create_directories(path("elsewhere"));
  c.plant(root_);
  write("in.cab", write_cabinet({Folder{kMethodStored, {File{c.stored, Bytes(7, 'd')}}}}));
  const std::string destination = c.destination[0] == '/' ? c.destination : path(c.destination);
  alarm(20);  // an open that waits ends the test here
  EXPECT_EQ(extract(path("in.cab").c_str(), destination.c_str()), c.code);
  alarm(0);
  EXPECT_TRUE(fs::is_empty(path("elsewhere")));
  if (c.written != nullptr) {
    EXPECT_EQ(read(c.written), Bytes(7, 'd'));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractHostileDestinations,
    testing::Values(
        HostileDestinationCase{"folder_link",
                               [](const fs::path &root) { fs::create_directory_symlink(root / "elsewhere", root / "out/sub"); },
                               "out", "sub\\file", ERR_ABORTED, nullptr},
        HostileDestinationCase{"deeper_folder_link",
                               [](const fs::path &root) {
                                 fs::create_directories(root / "out/a");
                                 fs::create_directory_symlink(root / "elsewhere", root / "out/a/b");
                               },
                               "out", "a\\b\\file", ERR_ABORTED, nullptr},
        HostileDestinationCase{"fifo_in_the_way",
                               [](const fs::path &root) { ASSERT_EQ(mkfifo((root / "out/file").c_str(), 0600), 0); },
                               "out", "file", ERR_ABORTED, nullptr},
        HostileDestinationCase{"device_in_the_way", [](const fs::path &) {}, "/dev", "full", ERR_ABORTED, nullptr},
        HostileDestinationCase{"destination_itself_a_link",
                               [](const fs::path &root) {
                                 fs::create_directories(root / "real/sub");
                                 fs::create_directory_symlink(root / "real", root / "out/link");
                               },
                               "out/link", "sub\\file", 0, "real/sub/file"}),
    [](const testing::TestParamInfo<HostileDestinationCase> &info) { return info.param.name; });

TEST_F(Extract, NamesThatOnlyLookLikeParentsAreFine) {
  write("in.cab", write_cabinet({Folder{kMethodStored, {File{"..a", Bytes(1, 1)}, File{"a..", Bytes(1, 2)},
                                                        File{"...", Bytes(1, 3)}}}}));
  fs::create_directories(path("out"));
  ASSERT_EQ(extract(path("in.cab").c_str(), path("out").c_str()), 0);
  EXPECT_EQ(read("out/..."), Bytes(1, 3));
}

TEST_F(Extract, OutputIsNeverOpenedThroughASymbolicLink) {
  write("victim.txt", Bytes(3, 'v'));
  fs::create_directories(path("out"));
  fs::create_symlink(path("victim.txt"), path("out/a.txt"));
  write("in.cab", write_cabinet(two_files()));
  EXPECT_EQ(extract(path("in.cab").c_str(), path("out").c_str()), ERR_ABORTED);
  EXPECT_EQ(read("victim.txt"), Bytes(3, 'v'));
}

struct UnavailableCase {
  const char *name;
  std::function<void(std::vector<Cabinet> &)> spoil;  // on the set before it is written
  int expected;
};

class ExtractUnavailableNext : public Extract, public testing::WithParamInterface<UnavailableCase> {};

TEST_P(ExtractUnavailableNext, ReturnsTheCauseAfterBoundedTries) {
  std::vector<Folder> folders = {Folder{kMethodStored, {File{"span", text_data(90000, 3)}}}};
  Layout layout;
  layout.cabinet_data_capacity = 40000;
  std::vector<Cabinet> cabinets = write_cabinet_set(folders, layout);
  GetParam().spoil(cabinets);
  write_set(cabinets);
  fs::create_directories(path("out"));
  EXPECT_EQ(extract(path("cabs/set1.cab").c_str(), path("out").c_str()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, ExtractUnavailableNext,
    testing::Values(UnavailableCase{"missing", [](std::vector<Cabinet> &c) { c.erase(c.begin() + 1, c.end()); }, ERR_OPEN_CABINET},
                    UnavailableCase{"other_set", [](std::vector<Cabinet> &c) { c[1].bytes[32] ^= 0xFF; }, ERR_WRONG_CABINET},
                    UnavailableCase{"not_a_cabinet", [](std::vector<Cabinet> &c) { c[1].bytes[0] = 'X'; }, ERR_NOT_CABINET},
                    UnavailableCase{"damaged_names", [](std::vector<Cabinet> &c) { c[1].bytes.resize(40); }, ERR_CORRUPT},
                    UnavailableCase{"last_cabinet_of_the_set_runs_short",
                                    [](std::vector<Cabinet> &c) {
                                      // The file claims 128 KiB more than the set holds.
                                      c[0].bytes[c[0].file_entries[0] + 2] += 2;
                                    },
                                    ERR_CORRUPT}),
    [](const testing::TestParamInfo<UnavailableCase> &info) { return info.param.name; });

TEST_F(Extract, OverlongPathsGiveErrorCodes) {
  write("in.cab", write_cabinet(two_files()));
  std::string long_folder = path("out/") + std::string(1100, 'd');
  EXPECT_EQ(extract((std::string(1100, 'c') + ".cab").c_str(), path("out").c_str()), ERR_OPEN_CABINET);
  EXPECT_EQ(extract(path("in.cab").c_str(), long_folder.c_str()), ERR_ABORTED);
  std::string near_limit = path("") + std::string(1015 - path("").size(), 'n');
  EXPECT_EQ(extract(path("in.cab").c_str(), near_limit.c_str()), ERR_ABORTED);
  EXPECT_EQ(extract(nullptr, path("out").c_str()), ERR_OPEN_CABINET);
}

// Whether the cabinet is read, or large enough to be read in place.
TEST_F(Extract, FailedWriteIsAnOutputError) {
  for (const size_t nbytes : {100000, 700000}) {
    SCOPED_TRACE(nbytes);
    write("in.cab", write_cabinet({Folder{kMethodStored, {File{"full", Bytes(nbytes, 'x')}}}}));
    // Past this size a write fails (EFBIG), as on a full disk.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit limit{40000, saved.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const int result = extract(path("in.cab").c_str(), path("").c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(result, ERR_OUTPUT);
  }
}

TEST_F(Extract, TwoThreadsExtractAtOnce) {
  std::vector<Folder> first = {Folder{kMethodMszip, {File{"one", text_data(300000, 1)}}}};
  std::vector<Folder> second = {Folder{kMethodMszip, {File{"two", run_data(300000, 2)}}}};
  write("one.cab", write_cabinet(first));
  write("two.cab", write_cabinet(second));
  fs::create_directories(path("o1"));
  fs::create_directories(path("o2"));
  int result_one = -1;
  int result_two = -1;
  std::thread t1([&] { result_one = extract(path("one.cab").c_str(), path("o1").c_str()); });
  std::thread t2([&] { result_two = extract(path("two.cab").c_str(), path("o2").c_str()); });
  t1.join();
  t2.join();
  EXPECT_EQ(result_one, 0);
  EXPECT_EQ(result_two, 0);
  EXPECT_EQ(read("o1/one"), first[0].files[0].data);
  EXPECT_EQ(read("o2/two"), second[0].files[0].data);
}

}  // namespace
}  // namespace cabtest
