// cab_stream_test.cc - catches buffered reads that return wrong bytes or counts at buffer edges, after
// moves inside and outside the buffer, at end of file, and when the handle was moved by someone else.
#include <gtest/gtest.h>

#include <random>

#include "cabinet/reader/cab_stream.h"
#include "tests/cabinet/harness/memory_files.h"
#include "tests/cabinet/harness/test_data.h"
#include "tests/cabinet/support/cab_writer.h"

namespace cabtest {
namespace {

constexpr uint32_t kCapacity = 64;

struct StreamFixture {
  MemoryFiles files;
  Bytes content = random_data(1000, 7);
  uint8_t buffer[kCapacity];
  CabStream stream{};

  StreamFixture() {
    files.add("f", content);
    int32_t handle = MemoryFiles::ops().cab_open("f", 0, 0);
    stream_attach(&stream, &MemoryFiles::ops(), handle, buffer, kCapacity);
  }
  ~StreamFixture() { MemoryFiles::ops().cab_close(stream.handle); }

  // What a read of `nbytes` at `position` must give.
  Bytes expected(int64_t position, uint32_t nbytes) const {
    if (position >= static_cast<int64_t>(content.size())) return {};
    auto begin = content.begin() + position;
    return Bytes(begin, begin + std::min<int64_t>(nbytes, static_cast<int64_t>(content.size()) - position));
  }
};

// Random mixes of reads, takes and moves against the file's bytes; small capacity, so that most
// operations meet a buffer edge.
TEST(CabStream, RandomOperationsMatchTheFile) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    StreamFixture f;
    for (int step = 0; step < 60; ++step) {
      const int64_t position = f.stream.position;
      switch (rng() % 5) {
        case 0:
        case 1: {
          uint32_t nbytes = rng() % 150;  // below, at and above the capacity
          Bytes got(nbytes);
          int32_t count = stream_read(&f.stream, got.data(), nbytes);
          got.resize(count < 0 ? 0 : static_cast<size_t>(count));
          ASSERT_EQ(got, f.expected(position, nbytes)) << "round " << round << " step " << step;
          break;
        }
        case 2: {
          uint32_t nbytes = rng() % (kCapacity + 1);
          const uint8_t *data = stream_take(&f.stream, nbytes);
          Bytes want = f.expected(position, nbytes);
          if (want.size() < nbytes) {
            ASSERT_EQ(data, nullptr);
            ASSERT_TRUE(stream_seek(&f.stream, position));
          } else {
            ASSERT_NE(data, nullptr);
            ASSERT_EQ(Bytes(data, data + nbytes), want) << "round " << round << " step " << step;
            ASSERT_EQ(f.stream.position, position + nbytes);
          }
          break;
        }
        case 3:
          ASSERT_TRUE(stream_seek(&f.stream, rng() % 1100));
          break;
        default:
          // Someone else reads through the handle, as the folder lookup of a handler does.
          MemoryFiles::ops().cab_seek(f.stream.handle, rng() % 1000, 0);
          stream_handle_moved(&f.stream);
          break;
      }
    }
  }
}

TEST(CabStream, NegativeMoveFailsAndFailedReadsReport) {
  StreamFixture f;
  EXPECT_FALSE(stream_seek(&f.stream, -1));
  f.files.fail_at(Op::read, f.files.calls(Op::read) + 1);
  uint8_t byte;
  EXPECT_EQ(stream_read(&f.stream, &byte, 1), -1);
  f.files.fail_at(Op::read, f.files.calls(Op::read) + 1);
  EXPECT_EQ(stream_take(&f.stream, 1), nullptr);
  // Once reads work again, the stream reads from where it was.
  EXPECT_EQ(stream_read(&f.stream, &byte, 1), 1);
  EXPECT_EQ(byte, f.content[0]);
  EXPECT_EQ(stream_take(&f.stream, kCapacity + 1), nullptr);
}

}  // namespace
}  // namespace cabtest
