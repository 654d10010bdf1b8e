// quantum_extract_test.cc - catches Quantum faults that show only through the whole library: window
// exponents lost between the folder entry and the decoder, models or window not carried across
// blocks, files and cabinets of a set or not restarted for a new folder, damaged blocks that pass,
// memory failures that leak, and coding state shared between threads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "cabinet/include/bundlex.h"
#include "cabinet/include/cab_reader.h"
#include "tests/cabinet/harness/reader_session.h"
#include "tests/cabinet/support/quantum_compressor.h"
#include "tests/cabinet/support/sample_data.h"
#include "tests/support/scratch_folder.h"

namespace cabtest {
namespace {

namespace fs = std::filesystem;

class QuantumExtract : public testing::Test {
 protected:
  std::string path(const std::string &relative) const { return (root_ / relative).string(); }

  void write_set(const std::vector<Cabinet> &cabinets) const {
    for (const Cabinet &cabinet : cabinets) {
      std::ofstream(path(cabinet.name), std::ios::binary)
          .write(reinterpret_cast<const char *>(cabinet.bytes.data()), static_cast<std::streamsize>(cabinet.bytes.size()));
    }
  }

  // Extracts set1.cab (or `cabinet`) into a new folder `out` and returns extract's answer.
  int extract_into(const std::string &out, const std::string &cabinet = "set1.cab") const {
    fs::create_directories(path(out));
    return extract(path(cabinet).c_str(), path(out).c_str());
  }

  Bytes read(const std::string &relative) const {
    std::ifstream in(path(relative), std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  void expect_files(const std::string &out, const std::vector<Folder> &folders) const {
    for (const Folder &folder : folders)
      for (const File &file : folder.files) EXPECT_EQ(read(out + "/" + file.name), file.data) << file.name;
  }

  testsupport::ScratchFolder scratch_{"quantum_extract"};
  fs::path root_ = scratch_.path();
};

struct RoundTripCase {
  unsigned window_bits;
  DataKind kind;
};

class QuantumRoundTrip : public QuantumExtract, public testing::WithParamInterface<RoundTripCase> {};

// Four blocks with file boundaries inside them and an empty file, for every window the format has.
TEST_P(QuantumRoundTrip, EveryWindowAndKindOfData) {
  const RoundTripCase &c = GetParam();
  const std::vector<Folder> folders = {quantum_folder(
      c.window_bits, {File{"main", sample_data(c.kind, 60000, c.window_bits)}, File{"empty", {}},
                      File{"text", sample_data(DataKind::text, 30000, 1)},
                      File{"records", sample_data(DataKind::records, 20000, 2)}})};
  write_set(write_cabinet_set(folders));
  ASSERT_EQ(extract_into("out"), 0);
  expect_files("out", folders);
}

std::vector<RoundTripCase> round_trip_cases() {
  std::vector<RoundTripCase> cases;
  for (unsigned bits = kQuantumWindowBitsMin; bits <= kQuantumWindowBitsMax; ++bits)
    for (DataKind kind : {DataKind::text, DataKind::random, DataKind::runs, DataKind::records}) cases.push_back({bits, kind});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Windows, QuantumRoundTrip, testing::ValuesIn(round_trip_cases()),
                         [](const testing::TestParamInfo<RoundTripCase> &info) {
                           return std::string(data_kind_name(info.param.kind)) + "_window_" +
                                  std::to_string(info.param.window_bits);
                         });

// A folder cut into many cabinets, blocks split between them: the decoder and its models and
// window must survive every change of cabinet.
TEST_F(QuantumExtract, FolderAcrossCabinetsKeepsModelsAndWindow) {
  Bytes text = sample_data(DataKind::text, 150000, 3);
  const std::vector<Folder> folders = {quantum_folder(
      16, {File{"a", sample_data(DataKind::records, 40000, 4)}, File{"b", text}, File{"c", Bytes(text.begin(), text.begin() + 20000)}})};
  Layout layout;
  layout.cabinet_data_capacity = 9000;
  const std::vector<Cabinet> cabinets = write_cabinet_set(folders, layout);
  ASSERT_GE(cabinets.size(), 4u);
  write_set(cabinets);
  ASSERT_EQ(extract_into("out"), 0);
  expect_files("out", folders);
}

// Listing B before A restarts the first folder; an MSZIP folder between Quantum folders of the same
// word keeps nothing; a new window size needs a new decoder.
TEST_F(QuantumExtract, FoldersRestartAndMethodsSwitch) {
  Folder restarted = quantum_folder(21, {File{"A", sample_data(DataKind::text, 50000, 5)},
                                         File{"B", sample_data(DataKind::records, 30000, 6)}});
  restarted.listing_order = {1, 0};
  const std::vector<Folder> folders = {
      restarted,
      Folder{kMethodMszip, {File{"m", sample_data(DataKind::text, 40000, 7)}}},
      quantum_folder(21, {File{"C", sample_data(DataKind::runs, 45000, 8)}}),
      quantum_folder(21, {File{"D", sample_data(DataKind::text, 45000, 9)}}),
      quantum_folder(10, {File{"E", sample_data(DataKind::records, 45000, 10)}}),
  };
  write_set(write_cabinet_set(folders));
  ASSERT_EQ(extract_into("out"), 0);
  expect_files("out", folders);
}

struct DamageCase {
  const char *name;
  uint16_t method_word;
  bool drop_last_byte;  // of the folder's last block
};

class QuantumDamage : public QuantumExtract, public testing::WithParamInterface<DamageCase> {};

TEST_P(QuantumDamage, IsADecodeError) {
  const DamageCase &c = GetParam();
  Folder folder = quantum_folder(16, {File{"f", sample_data(DataKind::text, 70000, 11)}});
  folder.method_word = c.method_word;
  if (c.drop_last_byte) folder.blocks->back().compressed.pop_back();
  write_set(write_cabinet_set({folder}));
  EXPECT_EQ(extract_into("out"), ERR_DECODE);
}

INSTANTIATE_TEST_SUITE_P(Cases, QuantumDamage,
                         testing::Values(DamageCase{"block_one_byte_short", quantum_method_word(16), true},
                                         DamageCase{"window_exponent_9", quantum_method_word(9), false},
                                         DamageCase{"window_exponent_22", quantum_method_word(22), false},
                                         DamageCase{"window_exponent_31", quantum_method_word(31), false}),
                         [](const testing::TestParamInfo<DamageCase> &info) { return info.param.name; });

// With the coding state in process-wide storage, two extractions at once overwrite each other's
// models and windows; each must come out whole.
TEST_F(QuantumExtract, TwoThreadsExtractQuantumCabinetsAtOnce) {
  const std::vector<Folder> first = {quantum_folder(21, {File{"one", sample_data(DataKind::text, 600000, 12)}})};
  const std::vector<Folder> second = {quantum_folder(15, {File{"two", sample_data(DataKind::records, 600000, 13)}})};
  Layout one_layout;
  one_layout.name_prefix = "one";
  Layout two_layout;
  two_layout.name_prefix = "two";
  write_set(write_cabinet_set(first, one_layout));
  write_set(write_cabinet_set(second, two_layout));
  for (int round = 0; round < 3; ++round) {
    const std::string o1 = "o1_" + std::to_string(round);
    const std::string o2 = "o2_" + std::to_string(round);
    int result_one = -1;
    int result_two = -1;
    std::thread t1([&] { result_one = extract_into(o1, "one1.cab"); });
    std::thread t2([&] { result_two = extract_into(o2, "two1.cab"); });
    t1.join();
    t2.join();
    ASSERT_EQ(result_one, 0) << round;
    ASSERT_EQ(result_two, 0) << round;
    expect_files(o1, first);
    expect_files(o2, second);
  }
}

// Through the reader: failing each allocation in turn, the window's included, ends in
// ERR_NO_MEMORY with nothing left allocated, until a run gets through.
TEST(QuantumReader, EveryFailedAllocationIsNoMemoryAndLeavesNothing) {
  const std::vector<Cabinet> cabinets =
      write_cabinet_set({quantum_folder(17, {File{"f", sample_data(DataKind::text, 40000, 14)}})});
  for (uint64_t nth = 2;; ++nth) {  // the reader's own context is the first allocation
    MemoryFiles files;
    add_cabinets(files, cabinets);
    files.fail_at(Op::alloc, nth);
    int ok = 0;
    CabError error{};
    {
      ReaderSession session(files);
      ok = session.copy("set1.cab");
      error = session.error;
      files.fail_at(Op::alloc, 0);
    }
    EXPECT_EQ(files.live_allocations(), 0) << nth;
    EXPECT_EQ(files.open_handles(), 0u) << nth;
    if (ok) break;
    EXPECT_EQ(error.code, ERR_NO_MEMORY) << nth;
    ASSERT_LT(nth, 100u) << "no run succeeds";
  }
}

}  // namespace
}  // namespace cabtest
