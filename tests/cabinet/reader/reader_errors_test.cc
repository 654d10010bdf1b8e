// reader_errors_test.cc - catches a reader that records the wrong code, or none, for each kind of
// failure: unopenable, foreign, damaged and inconsistent cabinets, memory, output and handler aborts.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "tests/cabinet/harness/reader_session.h"
#include "tests/cabinet/harness/test_data.h"

namespace cabtest {
namespace {

void put16(Bytes &bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

std::vector<Folder> one_file(uint16_t method_word = kMethodStored, size_t nbytes = 5000) {
  return {Folder{method_word, {File{"a.txt", text_data(nbytes, 1)}}}};
}

struct ErrorCase {
  const char *name;
  // Puts "a.cab" (and whatever else) into the files and may script the handler.
  std::function<void(MemoryFiles &, ReaderSession &)> arrange;
  int32_t code;
  int32_t detail = 0;
};

void add(MemoryFiles &files, const Bytes &cabinet) { files.add("a.cab", cabinet); }

Bytes stored_cabinet() { return write_cabinet(one_file()); }

// A cabinet whose one data block is replaced by `block`.
Bytes cabinet_with_block(uint16_t method_word, Block block) {
  Folder folder{method_word, {File{"a.txt", Bytes(block.uncompressed_nbytes, 'x')}}};
  folder.blocks = std::vector<Block>{std::move(block)};
  return write_cabinet({folder});
}

// Answers -1 to the first notification of `kind`.
void abort_on(ReaderSession &session, int32_t kind) {
  session.answer = [&session, kind](int32_t k, CabNote *note) {
    return k == kind ? -1 : session.default_answer(k, note);
  };
}

const ErrorCase kErrorCases[] = {
    {"missing_cabinet", [](MemoryFiles &, ReaderSession &) {}, ERR_OPEN_CABINET},
    {"second_open_fails", [](MemoryFiles &f, ReaderSession &) { add(f, stored_cabinet()); f.fail_at(Op::open, 2); },
     ERR_OPEN_CABINET},
    {"shorter_than_header", [](MemoryFiles &f, ReaderSession &) { add(f, Bytes(35, 0)); }, ERR_NOT_CABINET},
    {"wrong_signature",
     [](MemoryFiles &f, ReaderSession &) {
       Bytes cab = stored_cabinet();
       cab[0] = 'N';
       add(f, cab);
     },
     ERR_NOT_CABINET},
    {"reserve_sizes_cut_short",
     [](MemoryFiles &f, ReaderSession &) {
       Layout layout;
       layout.reserve_present = true;
       Bytes cab = write_cabinet(one_file(), layout);
       cab.resize(38);
       add(f, cab);
     },
     ERR_NOT_CABINET},
    {"header_reserve_cut_short",
     [](MemoryFiles &f, ReaderSession &) {
       Layout layout;
       layout.reserve_present = true;
       layout.header_reserve = 100;
       Bytes cab = write_cabinet(one_file(), layout);
       cab.resize(36 + 4 + 60);
       add(f, cab);
     },
     ERR_NOT_CABINET},
    {"version_1_2",
     [](MemoryFiles &f, ReaderSession &) {
       Layout layout;
       layout.version = 0x0102;
       add(f, write_cabinet(one_file(), layout));
     },
     ERR_VERSION, 0x0102},
    {"version_2_3",
     [](MemoryFiles &f, ReaderSession &) {
       Layout layout;
       layout.version = 0x0203;
       add(f, write_cabinet(one_file(), layout));
     },
     ERR_VERSION, 0x0203},
    {"checksum_off_by_one_bit",
     [](MemoryFiles &f, ReaderSession &) {
       std::vector<Cabinet> cabs = write_cabinet_set(one_file());
       cabs[0].bytes[cabs[0].blocks[0]] ^= 1;
       add(f, cabs[0].bytes);
     },
     ERR_CORRUPT},
    {"data_byte_flipped_under_checksum",
     [](MemoryFiles &f, ReaderSession &) {
       std::vector<Cabinet> cabs = write_cabinet_set(one_file());
       cabs[0].bytes[cabs[0].blocks[0] + kDataHeaderNbytes + 100] ^= 0x80;
       add(f, cabs[0].bytes);
     },
     ERR_CORRUPT},
    {"name_of_256_characters",
     [](MemoryFiles &f, ReaderSession &) {
       add(f, write_cabinet({Folder{kMethodStored, {File{std::string(256, 'n'), Bytes(10, 1)}}}}));
     },
     ERR_CORRUPT},
    {"name_without_terminator_at_end_of_file",
     [](MemoryFiles &f, ReaderSession &) {
       std::vector<Cabinet> cabs = write_cabinet_set({Folder{kMethodStored, {File{"abc", {}}}}});
       Bytes cab = cabs[0].bytes;
       cab.resize(cabs[0].file_entries[0] + kFileEntryNbytes + 3);
       add(f, cab);
     },
     ERR_CORRUPT},
    {"file_table_cut_short",
     [](MemoryFiles &f, ReaderSession &) {
       std::vector<Cabinet> cabs = write_cabinet_set(one_file());
       Bytes cab = cabs[0].bytes;
       cab.resize(cabs[0].file_entries[0] + 10);
       add(f, cab);
     },
     ERR_CORRUPT},
    {"stored_block_of_32769_bytes",
     [](MemoryFiles &f, ReaderSession &) {
       add(f, cabinet_with_block(kMethodStored, Block{Bytes(32769, 'x'), 32768}));
     },
     ERR_CORRUPT},
    {"data_block_cut_short",
     [](MemoryFiles &f, ReaderSession &) {
       Bytes cab = stored_cabinet();
       cab.resize(cab.size() - 1);
       add(f, cab);
     },
     ERR_CORRUPT},
    {"folder_index_beyond_folder_count",
     [](MemoryFiles &f, ReaderSession &) {
       std::vector<Cabinet> cabs = write_cabinet_set(one_file());
       put16(cabs[0].bytes, cabs[0].file_entries[0] + 8, 1);
       add(f, cabs[0].bytes);
     },
     ERR_CORRUPT},
    {"no_memory_for_the_buffers",
     [](MemoryFiles &f, ReaderSession &) {
       add(f, stored_cabinet());
       f.fail_at(Op::alloc, f.calls(Op::alloc) + 3);
     },
     ERR_NO_MEMORY},
    {"method_4_when_its_folder_is_selected",
     [](MemoryFiles &f, ReaderSession &) { add(f, write_cabinet(one_file(0x0004))); }, ERR_METHOD},
    {"method_word_000F_at_the_first_block",
     [](MemoryFiles &f, ReaderSession &) { add(f, write_cabinet(one_file(0x000F))); }, ERR_METHOD},
    {"stored_counts_differ",
     [](MemoryFiles &f, ReaderSession &) { add(f, cabinet_with_block(kMethodStored, Block{Bytes(100, 'x'), 99})); },
     ERR_DECODE},
    {"mszip_block_without_ck",
     [](MemoryFiles &f, ReaderSession &) { add(f, cabinet_with_block(kMethodMszip, Block{Bytes(100, 'x'), 100})); },
     ERR_DECODE},
    {"mszip_block_shorter_than_its_header_says",
     [](MemoryFiles &f, ReaderSession &) {
       std::vector<Block> blocks = mszip_compress(text_data(1000, 3));
       blocks[0].uncompressed_nbytes = 1001;
       add(f, cabinet_with_block(kMethodMszip, blocks[0]));
     },
     ERR_DECODE},
    {"write_fails",
     [](MemoryFiles &f, ReaderSession &) {
       add(f, stored_cabinet());
       f.fail_at(Op::write, 1);
     },
     ERR_OUTPUT},
    {"handler_answers_0_to_close",
     [](MemoryFiles &f, ReaderSession &s) {
       add(f, stored_cabinet());
       s.answer = [&s](int32_t kind, CabNote *note) {
         int32_t answer = s.default_answer(kind, note);
         return kind == NOTE_CLOSE ? 0 : answer;
       };
     },
     ERR_OUTPUT},
    {"abort_on_cabinet",
     [](MemoryFiles &f, ReaderSession &s) {
       add(f, stored_cabinet());
       abort_on(s, NOTE_CABINET);
     },
     ERR_ABORTED},
    {"abort_on_list_position",
     [](MemoryFiles &f, ReaderSession &s) {
       add(f, stored_cabinet());
       abort_on(s, NOTE_LIST_POSITION);
     },
     ERR_ABORTED},
    {"abort_on_copy",
     [](MemoryFiles &f, ReaderSession &s) {
       add(f, stored_cabinet());
       abort_on(s, NOTE_COPY);
     },
     ERR_ABORTED},
    {"abort_on_close",
     [](MemoryFiles &f, ReaderSession &s) {
       add(f, stored_cabinet());
       abort_on(s, NOTE_CLOSE);
     },
     ERR_ABORTED},
    {"list_position_moved_out_of_reach",
     [](MemoryFiles &f, ReaderSession &s) {
       add(f, stored_cabinet());
       s.answer = [&s](int32_t kind, CabNote *note) {
         if (kind == NOTE_LIST_POSITION) note->value = -5;
         return s.default_answer(kind, note);
       };
     },
     ERR_ABORTED},
};

class ReaderErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(ReaderErrors, RecordsTheCodeAndReleasesEverything) {
  const ErrorCase &c = GetParam();
  MemoryFiles files;
  {
    ReaderSession session(files);
    ASSERT_NE(session.reader, nullptr);
    c.arrange(files, session);
    EXPECT_EQ(session.copy("a.cab"), 0);
    EXPECT_EQ(session.error.code, c.code);
    EXPECT_EQ(session.error.detail, c.detail);
    EXPECT_EQ(session.error.is_error, 1);
    files.fail_at(Op::alloc, 0);
  }
  EXPECT_EQ(files.open_handles(), 0u);
  EXPECT_EQ(files.live_allocations(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReaderErrors, testing::ValuesIn(kErrorCases),
                         [](const testing::TestParamInfo<ErrorCase> &info) { return std::string(info.param.name); });

TEST(ReaderCreate, RecordsNoMemoryWhenTheContextCannotBeAllocated) {
  MemoryFiles files;
  files.fail_at(Op::alloc, 1);
  CabError error{};
  const CabOps &ops = MemoryFiles::ops();
  EXPECT_EQ(cab_reader_create(ops.cab_alloc, ops.cab_free, ops.cab_open, ops.cab_read, ops.cab_write, ops.cab_close,
                              ops.cab_seek, &error),
            nullptr);
  EXPECT_EQ(error.code, ERR_NO_MEMORY);
  EXPECT_EQ(error.is_error, 1);
}

}  // namespace
}  // namespace cabtest
