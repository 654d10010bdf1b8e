// reader_robustness_test.cc - catches crashes, leaks, stuck handles and codes outside 1..11 on
// damaged input (every truncation, random bit flips) and on failing operations (the Nth call).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/cabinet/harness/reader_session.h"
#include "tests/cabinet/harness/test_data.h"

namespace cabtest {
namespace {

struct Sample {
  const char *name;
  std::vector<Cabinet> cabinets;
};

std::vector<Sample> samples() {
  Layout reserved;
  reserved.reserve_present = true;
  reserved.header_reserve = 6;
  reserved.folder_reserve = 2;
  reserved.data_reserve = 3;
  Layout split;
  split.cabinet_data_capacity = 1000;  // one block, split in two
  return {
      {"stored_two_folders",
       write_cabinet_set({Folder{kMethodStored, {File{"a", text_data(900, 1)}, File{"b", {}}}},
                          Folder{kMethodStored, {File{"c\\d", random_data(300, 2)}}}})},
      {"mszip_with_reserves",
       write_cabinet_set({Folder{kMethodMszip, {File{"t", text_data(3000, 3)}, File{"r", run_data(2000, 4)}}}},
                         reserved)},
      {"mszip_set_with_split_block",
       write_cabinet_set({Folder{kMethodMszip, {File{"x", random_data(1200, 5)}, File{"y", text_data(500, 6)}}}},
                         split)},
  };
}

// Runs one copy of the first cabinet and checks that it ends cleanly either way.
void expect_clean_run(MemoryFiles &files, const std::string &context) {
  {
    ReaderSession session(files);
    ASSERT_NE(session.reader, nullptr);
    int ok = session.copy("set1.cab");
    if (!ok) {
      EXPECT_GE(session.error.code, 1) << context;
      EXPECT_LE(session.error.code, 11) << context;
    }
    EXPECT_EQ(files.open_handles(), 0u) << context;
  }
  EXPECT_EQ(files.live_allocations(), 0) << context;
}

TEST(ReaderRobustness, SamplesAreValid) {
  for (const Sample &sample : samples()) {
    MemoryFiles files;
    add_cabinets(files, sample.cabinets);
    ReaderSession session(files);
    EXPECT_EQ(session.copy("set1.cab"), 1) << sample.name << " error " << session.error.code;
  }
}

TEST(ReaderRobustness, EveryTruncationEndsCleanly) {
  for (const Sample &sample : samples()) {
    for (size_t which = 0; which < sample.cabinets.size(); ++which) {
      const Bytes &whole = sample.cabinets[which].bytes;
      for (size_t length = 0; length < whole.size(); ++length) {
        MemoryFiles files;
        add_cabinets(files, sample.cabinets);
        files.add(sample.cabinets[which].name, Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
        expect_clean_run(files, std::string(sample.name) + " cabinet " + std::to_string(which) + " cut at " +
                                    std::to_string(length));
      }
    }
  }
}

TEST(ReaderRobustness, RandomBitFlipsEndCleanly) {
  std::mt19937 rng(20261207);
  for (const Sample &sample : samples()) {
    for (int round = 0; round < 1500; ++round) {
      std::vector<Cabinet> cabinets = sample.cabinets;
      Bytes &bytes = cabinets[rng() % cabinets.size()].bytes;
      int flips = 1 + static_cast<int>(rng() % 3);
      for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
      MemoryFiles files;
      add_cabinets(files, cabinets);
      expect_clean_run(files, std::string(sample.name) + " round " + std::to_string(round));
    }
  }
}

struct FaultCase {
  const char *name;
  Op op;
  int32_t code;  // what a failing call of this kind is recorded as, when it decides the outcome
};

class ReaderFaults : public testing::TestWithParam<FaultCase> {};

// Fails the 1st, 2nd, ... call of one operation until a run no longer reaches that call.
TEST_P(ReaderFaults, FailingTheNthCallEndsCleanly) {
  const FaultCase &c = GetParam();
  for (const Sample &sample : samples()) {
    for (uint64_t nth = 1;; ++nth) {
      MemoryFiles files;
      add_cabinets(files, sample.cabinets);
      files.fail_at(c.op, nth + (c.op == Op::alloc ? 1 : 0));  // the context itself is tested elsewhere
      int ok = 0;
      CabError error{};
      {
        ReaderSession session(files);
        ok = session.copy("set1.cab");
        error = session.error;
        files.fail_at(c.op, 0);
      }
      std::string context = std::string(sample.name) + " call " + std::to_string(nth);
      EXPECT_EQ(files.open_handles(), 0u) << context;
      EXPECT_EQ(files.live_allocations(), 0) << context;
      if (ok) break;
      if (c.code != 0) {
        EXPECT_EQ(error.code, c.code) << context;
      }
      ASSERT_LT(nth, 10000u) << "no run succeeds";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, ReaderFaults,
                         testing::Values(FaultCase{"alloc", Op::alloc, ERR_NO_MEMORY},
                                         FaultCase{"open", Op::open, 0}, FaultCase{"read", Op::read, 0},
                                         FaultCase{"seek", Op::seek, 0}, FaultCase{"write", Op::write, ERR_OUTPUT},
                                         FaultCase{"close", Op::close, 0}),
                         [](const testing::TestParamInfo<FaultCase> &info) { return info.param.name; });

}  // namespace
}  // namespace cabtest
