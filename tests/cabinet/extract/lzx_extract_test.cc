// lzx_extract_test.cc - catches faults between the reader and the LZX decoder, through extract() on
// real files: a wrong window for the method word, history lost between files or across cabinets of
// a set, a decoder not reset when a folder restarts or not recreated when the window changes,
// windows outside 2^15 to 2^21 accepted, and crashes, leaks or stray codes on damaged LZX cabinets.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "cabinet/include/bundlex.h"
#include "tests/cabinet/harness/reader_session.h"
#include "tests/cabinet/harness/test_data.h"
#include "tests/cabinet/support/lzx_compressor.h"
#include "tests/cabinet/support/sample_data.h"
#include "tests/support/scratch_folder.h"

namespace cabtest {
namespace {

namespace fs = std::filesystem;

class LzxExtract : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "out");
  }

  void write_cabinets(const std::vector<Cabinet> &cabinets) const {
    for (const Cabinet &cabinet : cabinets) {
      std::ofstream(root_ / cabinet.name, std::ios::binary)
          .write(reinterpret_cast<const char *>(cabinet.bytes.data()),
                 static_cast<std::streamsize>(cabinet.bytes.size()));
    }
  }

  int extract_first(const std::vector<Cabinet> &cabinets) const {
    write_cabinets(cabinets);
    return extract((root_ / cabinets[0].name).c_str(), (root_ / "out").c_str());
  }

  // Every file of `folders` was extracted with its data.
  void expect_files(const std::vector<Folder> &folders) const {
    for (const Folder &folder : folders) {
      for (const File &file : folder.files) {
        std::ifstream in(root_ / "out" / file.name, std::ios::binary);
        ASSERT_TRUE(in.good()) << file.name;
        const Bytes got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(got == file.data) << file.name << ": " << got.size() << " bytes, expected " << file.data.size();
      }
    }
  }

  testsupport::ScratchFolder scratch_{"lzx_extract_test"};
  fs::path root_ = scratch_.path();
};

// Cuts `data` into files: an empty one, one byte, sizes around a frame, and the rest.
std::vector<File> files_of(const Bytes &data, const std::string &prefix) {
  std::vector<File> files;
  size_t at = 0;
  int i = 0;
  for (size_t size : {size_t{0}, size_t{1}, size_t{32767}, size_t{32769}, size_t{5000}, data.size()}) {
    const size_t n = std::min(size, data.size() - at);
    files.push_back(File{prefix + std::to_string(i++), Bytes(data.begin() + at, data.begin() + at + n)});
    at += n;
  }
  return files;
}

Bytes machine_executables(size_t limit) {
  Bytes data;
  std::error_code error;
  for (const auto &entry : fs::directory_iterator("/usr/bin", error)) {
    if (data.size() >= limit) break;
    if (!entry.is_regular_file(error) || entry.file_size(error) > limit / 2) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    data.insert(data.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (data.empty()) data = sample_data(DataKind::records, limit, 4);
  data.resize(std::min(data.size(), limit));
  return data;
}

struct Input {
  const char *name;
  Bytes (*make)();
  uint32_t translation_nbytes;
};

const Input kInputs[] = {
    {"text", [] { return text_data(300000, 1); }, 0},
    {"executables", [] { return machine_executables(600000); }, 12000000},
    {"random", [] { return random_data(100000, 2); }, 0},
    {"runs", [] { return run_data(200000, 3); }, 0},
    {"records", [] { return sample_data(DataKind::records, 200000, 4); }, 1u << 20},
};

class LzxExtractInputs : public LzxExtract, public testing::WithParamInterface<std::tuple<Input, unsigned>> {};

TEST_P(LzxExtractInputs, ExtractsEveryFile) {
  const auto &[input, window_bits] = GetParam();
  LzxOptions options;
  options.window_bits = window_bits;
  options.translation_nbytes = input.translation_nbytes;
  const std::vector<Folder> folders = {lzx_folder(files_of(input.make(), input.name), options)};
  ASSERT_EQ(extract_first(write_cabinet_set(folders)), 0);
  expect_files(folders);
}

INSTANTIATE_TEST_SUITE_P(Inputs, LzxExtractInputs,
                         testing::Combine(testing::ValuesIn(kInputs), testing::Values(15u, 18u, 21u)),
                         [](const testing::TestParamInfo<std::tuple<Input, unsigned>> &info) {
                           return std::string(std::get<0>(info.param).name) + "_w" +
                                  std::to_string(std::get<1>(info.param));
                         });

TEST_F(LzxExtract, FolderRunsOnAcrossTheCabinetsOfASet) {
  for (bool split_blocks : {true, false}) {
    LzxOptions options;
    options.window_bits = 17;
    options.blocks = {{LzxBlockKind::uncompressed, 40001}};  // an uncompressed block across cabinets
    const std::vector<Folder> folders = {lzx_folder(files_of(text_data(400000, 5), "set"), options)};
    Layout layout;
    layout.cabinet_data_capacity = 20000;
    layout.split_blocks = split_blocks;
    const std::vector<Cabinet> cabinets = write_cabinet_set(folders, layout);
    ASSERT_GE(cabinets.size(), 3u);
    ASSERT_EQ(extract_first(cabinets), 0) << "split blocks " << split_blocks;
    expect_files(folders);
  }
}

TEST_F(LzxExtract, FoldersOfOtherWindowsAndMethodsAndARestart) {
  LzxOptions small, large;
  small.window_bits = 15;
  large.window_bits = 21;
  Folder restarted = lzx_folder({File{"r0", text_data(50000, 6)}, File{"r1", text_data(70000, 7)}}, large);
  restarted.listing_order = {1, 0};  // r0's data lies before r1's: the folder starts over
  const std::vector<Folder> folders = {
      lzx_folder({File{"a", text_data(80000, 8)}}, small),
      Folder{kMethodMszip, {File{"m", text_data(40000, 9)}}},
      lzx_folder({File{"b", run_data(90000, 10)}, File{"c", random_data(3000, 11)}}, large),
      restarted,
      lzx_folder({File{"d", text_data(60000, 12)}}, small),
  };
  ASSERT_EQ(extract_first(write_cabinet_set(folders)), 0);
  expect_files(folders);
}

// The window exponent of the method word decides the decoder's window; one outside 15 to 21, or
// one that does not match the stream, is a decoding failure.
TEST_F(LzxExtract, WindowsOutsideTheFormatFailToDecode) {
  LzxOptions options;
  options.window_bits = 15;
  const Folder good = lzx_folder({File{"w", text_data(5000, 13)}}, options);
  for (unsigned exponent : {0u, 1u, 14u, 22u, 31u, 21u}) {
    Folder folder = good;
    folder.method_word = lzx_method_word(exponent);
    fs::remove_all(root_ / "out");
    fs::create_directories(root_ / "out");
    EXPECT_EQ(extract_first(write_cabinet_set({folder})), 7) << "window exponent " << exponent;
  }
}

// Flipped bits in LZX cabinets without checksums reach the decoder: every copy must end with
// success or a code 1 to 11, with no handle left open and nothing left allocated.
TEST(LzxReaderDamage, FlippedBitsEndCleanly) {
  LzxOptions options;
  options.window_bits = 16;
  options.default_block_nbytes = 5000;
  Layout layout;
  layout.checksums = false;
  layout.cabinet_data_capacity = 6000;
  const std::vector<Cabinet> clean = write_cabinet_set(
      {lzx_folder({File{"t", text_data(9000, 14)}, File{"r", random_data(2000, 15)}}, options)}, layout);
  std::mt19937 rng(16);
  for (int round = 0; round < 600; ++round) {
    std::vector<Cabinet> cabinets = clean;
    Cabinet &damaged = cabinets[rng() % cabinets.size()];
    damaged.bytes[rng() % damaged.bytes.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    MemoryFiles files;
    add_cabinets(files, cabinets);
    {
      ReaderSession session(files);
      ASSERT_NE(session.reader, nullptr);
      if (!session.copy("set1.cab")) {
        EXPECT_GE(session.error.code, 1) << "round " << round;
        EXPECT_LE(session.error.code, 11) << "round " << round;
      }
      EXPECT_EQ(files.open_handles(), 0u) << "round " << round;
    }
    EXPECT_EQ(files.live_allocations(), 0) << "round " << round;
  }
}

}  // namespace
}  // namespace cabtest
