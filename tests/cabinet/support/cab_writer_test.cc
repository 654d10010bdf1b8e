// cab_writer_test.cc - catches wrong checksums, lost MSZIP history, misplaced tables and blocks, and mislabelled files at set boundaries.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/cabinet/support/cab_writer.h"
#include "tests/cabinet/support/sample_cabinet.h"

namespace cabtest {
namespace {

uint16_t get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8); }
uint32_t get32(const Bytes& b, size_t at) { return get16(b, at) | uint32_t{get16(b, at + 2)} << 16; }

// A minimal reading of one cabinet, written from the format and independent of the writer's code.
struct ParsedBlock {
  size_t offset;
  uint32_t checksum;
  uint16_t uncompressed_nbytes;
  Bytes reserve;
  Bytes data;
};
struct ParsedFolder {
  uint32_t first_block;
  uint16_t method_word;
  std::vector<ParsedBlock> blocks;
};
struct ParsedFile {
  uint32_t size, offset;
  uint16_t folder_index, date, time, attributes;
  std::string name;
};
struct Parsed {
  uint32_t size, file_table;
  uint16_t version, flags, set_id, index;
  uint16_t header_reserve = 0;
  uint8_t folder_reserve = 0, data_reserve = 0;
  std::string prev_cabinet, prev_disk, next_cabinet, next_disk;
  size_t folder_table, files_end;
  std::vector<ParsedFolder> folders;
  std::vector<ParsedFile> files;
};

std::string get_string(const Bytes& b, size_t& at) {
  std::string s;
  while (b.at(at) != 0) s += static_cast<char>(b[at++]);
  ++at;
  return s;
}

Parsed parse(const Bytes& b) {
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "MSCF");
  Parsed p{.size = get32(b, 8), .file_table = get32(b, 16), .version = get16(b, 24), .flags = get16(b, 30),
           .set_id = get16(b, 32), .index = get16(b, 34)};
  size_t at = 36;
  if (p.flags & 4) {
    p.header_reserve = get16(b, at);
    p.folder_reserve = b.at(at + 2);
    p.data_reserve = b.at(at + 3);
    at += 4 + p.header_reserve;
  }
  if (p.flags & 1) {
    p.prev_cabinet = get_string(b, at);
    p.prev_disk = get_string(b, at);
  }
  if (p.flags & 2) {
    p.next_cabinet = get_string(b, at);
    p.next_disk = get_string(b, at);
  }
  p.folder_table = at;
  for (uint16_t f = 0; f < get16(b, 26); ++f, at += 8 + p.folder_reserve) {
    ParsedFolder folder{.first_block = get32(b, at), .method_word = get16(b, at + 6)};
    size_t block_at = folder.first_block;
    for (uint16_t n = 0; n < get16(b, at + 4); ++n) {
      const size_t data_at = block_at + 8 + p.data_reserve;
      const uint16_t nbytes = get16(b, block_at + 4);
      folder.blocks.push_back(ParsedBlock{block_at, get32(b, block_at), get16(b, block_at + 6),
                                          Bytes(b.begin() + block_at + 8, b.begin() + data_at),
                                          Bytes(b.begin() + data_at, b.begin() + data_at + nbytes)});
      block_at = data_at + nbytes;
    }
    p.folders.push_back(std::move(folder));
  }
  at = p.file_table;
  for (uint16_t f = 0; f < get16(b, 28); ++f) {
    ParsedFile file{get32(b, at), get32(b, at + 4), get16(b, at + 8), get16(b, at + 10), get16(b, at + 12),
                    get16(b, at + 14)};
    at += 16;
    file.name = get_string(b, at);
    p.files.push_back(std::move(file));
  }
  p.files_end = at;
  return p;
}

// Inflates one MSZIP block with zlib; `history` primes the window. Returns false if zlib rejects it.
bool inflate_block(const Bytes& block, const Bytes& history, Bytes& out) {
  if (block.size() < 2 || block[0] != 'C' || block[1] != 'K') return false;
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) return false;
  if (!history.empty()) inflateSetDictionary(&zs, history.data(), static_cast<uInt>(history.size()));
  out.assign(kBlockNbytes + 1, 0);
  zs.next_in = const_cast<Bytef*>(block.data() + 2);
  zs.avail_in = static_cast<uInt>(block.size() - 2);
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  const bool ok = rc == Z_STREAM_END && zs.avail_in == 0;
  inflateEnd(&zs);
  return ok;
}

Bytes text_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes pattern(size_t nbytes, uint32_t seed) {
  Bytes b(nbytes);
  for (uint8_t& x : b) {
    seed = seed * 1103515245 + 12345;
    x = static_cast<uint8_t>(seed >> 16);
  }
  return b;
}

TEST(CabChecksum, KnownValues) {
  struct Case {
    Bytes data;
    uint32_t seed, expected;
  };
  const Case cases[] = {
      {text_bytes("abc"), 0, 0x00616263},
      {{0x61, 0x62, 0x63, 0x64}, 0, 0x64636261},
      {text_bytes("abcde"), 0, 0x64636204},              // 0x64636261 ^ 0x65
      {{1, 2, 3, 4, 5, 6, 7}, 0, 0x04060406},           // 0x04030201 ^ 0x050607
      {text_bytes("ab"), 0, 0x00006162},
      {text_bytes("abc"), 0xFFFFFFFF, 0xFF9E9D9C},
      {{}, 0x12345678, 0x12345678},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cab_checksum(c.data.data(), c.data.size(), c.seed), c.expected) << c.data.size() << " bytes";
  }
}

TEST(MszipCompress, BlocksInflateWithThePreviousBlockAsHistory) {
  const Bytes random = pattern(70000, 7);
  // The second block repeats what lies 20000 bytes back, most of it in the first block.
  Bytes repeated = pattern(2 * kBlockNbytes, 9);
  for (size_t i = kBlockNbytes; i < repeated.size(); ++i) repeated[i] = repeated[i - 20000];
  const Bytes inputs[] = {{}, text_bytes("x"), pattern(kBlockNbytes, 3), pattern(kBlockNbytes + 1, 4), random,
                          repeated, folder_data(sample_folders()[0])};
  for (const Bytes& input : inputs) {
    SCOPED_TRACE(input.size());
    const std::vector<Block> blocks = mszip_compress(input);
    EXPECT_EQ(blocks.size(), (input.size() + kBlockNbytes - 1) / kBlockNbytes);
    Bytes joined, history, out;
    for (size_t i = 0; i < blocks.size(); ++i) {
      EXPECT_EQ(blocks[i].uncompressed_nbytes, i + 1 < blocks.size() ? kBlockNbytes : input.size() - i * kBlockNbytes);
      EXPECT_LE(blocks[i].compressed.size(), kBlockNbytes + 7);
      ASSERT_TRUE(inflate_block(blocks[i].compressed, history, out)) << "block " << i;
      EXPECT_EQ(out.size(), blocks[i].uncompressed_nbytes);
      joined.insert(joined.end(), out.begin(), out.end());
      history = out;
    }
    EXPECT_EQ(joined, input);
  }
  // The copy can only be that small by reaching back into the first block, and it needs that history.
  const std::vector<Block> blocks = mszip_compress(repeated);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_LT(blocks[1].compressed.size(), 1000u);
  Bytes out;
  EXPECT_FALSE(inflate_block(blocks[1].compressed, {}, out));
}

File file_of(const std::string& name, size_t nbytes, uint32_t seed) {
  return File{.name = name, .data = pattern(nbytes, seed)};
}

// The format's block checksum, taken from the cabinet's own bytes: data first, then the header
// from its compressed count to the end of its reserve.
uint32_t stored_block_checksum(const Bytes& cabinet, const ParsedBlock& block) {
  const uint32_t data_sum = cab_checksum(block.data.data(), block.data.size(), 0);
  return cab_checksum(cabinet.data() + block.offset + 4, 4 + block.reserve.size(), data_sum);
}

// Joins the parts of set-wide folder `f` over the cabinets (`folder_map` gives each cabinet's
// folders as set-wide numbers) and decodes them with zlib as the oracle.
Bytes decode_folder(const std::vector<Parsed>& cabinets, const std::vector<std::vector<size_t>>& folder_map,
                    size_t f) {
  Bytes data, history, pending, out;
  for (size_t c = 0; c < cabinets.size(); ++c) {
    for (size_t local = 0; local < cabinets[c].folders.size(); ++local) {
      if (folder_map.at(c).at(local) != f) continue;
      const ParsedFolder& folder = cabinets[c].folders[local];
      for (const ParsedBlock& block : folder.blocks) {
        pending.insert(pending.end(), block.data.begin(), block.data.end());
        if (block.uncompressed_nbytes == 0) continue;  // split: the rest opens the next cabinet
        if ((folder.method_word & 0xF) == kMethodMszip) {
          EXPECT_TRUE(inflate_block(pending, history, out)) << "cabinet " << c << " folder " << local;
        } else {
          out = pending;
        }
        EXPECT_EQ(out.size(), block.uncompressed_nbytes);
        data.insert(data.end(), out.begin(), out.end());
        history = out;
        pending.clear();
      }
    }
  }
  EXPECT_TRUE(pending.empty()) << "a split block never ended";
  return data;
}

// The folder an entry's index names in a cabinet whose folders are `folder_map` (set-wide numbers):
// 0xFFFD and 0xFFFF name the first folder, 0xFFFE the last.
size_t folder_named(const Parsed& p, const std::vector<size_t>& folder_map, uint16_t index) {
  if (index == kIndexContinuedFromPrev || index == kIndexPrevAndNext) return folder_map.front();
  if (index == kIndexContinuesToNext) return folder_map.back();
  EXPECT_LT(index, p.folders.size());
  return folder_map.at(index);
}

// Each entry's offset and size must select its file's bytes in the folder its index names, counted
// from the start of the whole folder in every cabinet, and its other fields must be the file's.
void expect_entries_match(const Parsed& p, const std::vector<size_t>& folder_map, const std::vector<Folder>& folders) {
  for (const ParsedFile& entry : p.files) {
    const Folder& folder = folders.at(folder_named(p, folder_map, entry.folder_index));
    const Bytes data = folder_data(folder);
    const File* file = nullptr;
    for (const File& candidate : folder.files) file = candidate.name == entry.name ? &candidate : file;
    ASSERT_NE(file, nullptr) << entry.name << " is not in the folder its index names";
    ASSERT_LE(size_t{entry.offset} + entry.size, data.size());
    EXPECT_EQ(Bytes(data.begin() + entry.offset, data.begin() + entry.offset + entry.size), file->data);
    EXPECT_EQ(entry.date, file->date);
    EXPECT_EQ(entry.time, file->time);
    EXPECT_EQ(entry.attributes, file->attributes);
  }
}

struct HeaderCase {
  const char* what;
  Layout layout;
};

TEST(WriteCabinet, HeaderTablesAndBlocksAgree) {
  std::vector<Folder> folders = sample_folders();
  folders[0].listing_order = {2, 0, 1};
  folders.push_back(Folder{.method_word = 0x000F, .files = {{.name = "empty-a"}, {.name = "empty-b"}}});
  const HeaderCase cases[] = {
      {"no flags", {}},
      {"reserve sizes all 0", {.reserve_present = true}},
      {"reserves, no checksums, odd words",
       {.set_id = 0xBEEF, .version = 0x0102, .reserve_present = true, .header_reserve = 7, .folder_reserve = 3,
        .data_reserve = 5, .checksums = false}},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<Cabinet> set = write_cabinet_set(folders, c.layout);
    ASSERT_EQ(set.size(), 1u);
    const Cabinet& cabinet = set[0];
    EXPECT_EQ(write_cabinet(folders, c.layout), cabinet.bytes);
    const Parsed p = parse(cabinet.bytes);
    EXPECT_EQ(p.size, cabinet.bytes.size());
    EXPECT_EQ(p.version, c.layout.version);
    EXPECT_EQ(p.set_id, c.layout.set_id);
    EXPECT_EQ(p.index, 0);
    EXPECT_EQ(p.flags, c.layout.reserve_present ? 4 : 0);
    EXPECT_EQ(p.header_reserve, c.layout.header_reserve);
    EXPECT_EQ(p.folder_reserve, c.layout.folder_reserve);
    EXPECT_EQ(p.data_reserve, c.layout.data_reserve);
    EXPECT_EQ(p.folder_table, cabinet.folder_table);
    EXPECT_EQ(p.folder_table + folders.size() * (8 + p.folder_reserve), p.file_table);
    EXPECT_EQ(p.file_table, cabinet.file_table);

    ASSERT_EQ(p.files.size(), 8u);
    ASSERT_EQ(cabinet.file_entries.size(), 8u);
    EXPECT_EQ(cabinet.file_entries[0], p.file_table);
    const std::string names[] = {"docs\\guide.txt", "readme.txt", "table.csv", "noise.bin",
                                 "settings.ini",    "changes.log", "empty-a",   "empty-b"};
    const uint16_t folder_of[] = {0, 0, 0, 1, 1, 1, 2, 2};
    for (size_t i = 0; i < p.files.size(); ++i) {
      EXPECT_EQ(p.files[i].name, names[i]);
      EXPECT_EQ(p.files[i].folder_index, folder_of[i]);
    }
    expect_entries_match(p, {0, 1, 2}, folders);
    EXPECT_EQ(p.files[4].attributes, 0x21);

    ASSERT_EQ(p.folders.size(), 3u);
    EXPECT_TRUE(p.folders[2].blocks.empty());
    std::vector<size_t> block_offsets;
    size_t end = p.files_end;  // blocks follow the file table, folder after folder
    for (size_t f = 0; f < p.folders.size(); ++f) {
      EXPECT_EQ(p.folders[f].method_word, folders[f].method_word);
      EXPECT_EQ(p.folders[f].first_block, end) << "folder " << f;
      for (const ParsedBlock& block : p.folders[f].blocks) {
        block_offsets.push_back(block.offset);
        EXPECT_EQ(block.reserve.size(), c.layout.data_reserve);
        EXPECT_EQ(block.checksum, c.layout.checksums ? stored_block_checksum(cabinet.bytes, block) : 0);
        end = block.offset + 8 + block.reserve.size() + block.data.size();
      }
    }
    EXPECT_EQ(block_offsets, cabinet.blocks);
    EXPECT_EQ(end, cabinet.bytes.size());
    for (size_t f = 0; f < folders.size(); ++f) {
      EXPECT_EQ(decode_folder({p}, {{0, 1, 2}}, f), folder_data(folders[f])) << "folder " << f;
    }
  }
}

// A stored folder of 80000 bytes (blocks of 32768, 32768, 14464) whose second file spans the first
// two blocks, then a small MSZIP folder with an empty file.
std::vector<Folder> four_stored_files() {
  std::string text;
  while (text.size() < 5000) text += "a line of text that compresses well\r\n";
  return {Folder{.files = {file_of("R", 10000, 1), file_of("A", 40000, 2), file_of("B", 20000, 3),
                           file_of("C", 10000, 4)}},
          Folder{.method_word = kMethodMszip, .files = {{.name = "D", .data = text_bytes(text)}, {.name = "E"}}}};
}

// A file that ends exactly where the first cabinet's data ends, and one that lies wholly in the next.
std::vector<Folder> file_at_boundary() {
  return {Folder{.files = {file_of("R", kBlockNbytes, 5), file_of("S", 100, 6)}}};
}

using Entries = std::vector<std::pair<std::string, uint16_t>>;

struct SetCase {
  const char* what;
  std::vector<Folder> folders;
  uint32_t capacity;
  bool split;
  std::vector<Entries> entries;                     // per cabinet, in table order
  std::vector<std::vector<size_t>> folder_map;      // per cabinet, set-wide folder numbers
  std::vector<std::vector<uint16_t>> uncompressed;  // per cabinet, each block header's count
};

TEST(WriteCabinetSet, SplitsFilesAndBlocksWithTheIndicesTheReaderFollows) {
  const uint16_t d_nbytes = static_cast<uint16_t>(four_stored_files()[1].files[0].data.size());
  const SetCase cases[] = {
      {"a block split over two cabinets", four_stored_files(), 50000, true,
       {{{"R", 0}, {"A", 0xFFFE}, {"B", 0xFFFE}, {"C", 0xFFFE}},
        {{"A", 0xFFFD}, {"B", 0xFFFD}, {"C", 0xFFFD}, {"D", 1}, {"E", 1}}},
       {{0}, {0, 1}},
       {{32768, 0}, {32768, 14464, d_nbytes}}},
      {"a folder over three cabinets", four_stored_files(), 30000, true,
       {{{"R", 0xFFFE}, {"A", 0xFFFE}, {"B", 0xFFFE}, {"C", 0xFFFE}},
        {{"R", 0xFFFD}, {"A", 0xFFFF}, {"B", 0xFFFF}, {"C", 0xFFFF}},
        {{"A", 0xFFFD}, {"B", 0xFFFD}, {"C", 0xFFFD}, {"D", 1}, {"E", 1}}},
       {{0}, {0}, {0, 1}},
       {{0}, {32768, 0}, {32768, 14464, d_nbytes}}},
      {"whole blocks moved on", four_stored_files(), 50000, false,
       {{{"R", 0}, {"A", 0xFFFE}, {"B", 0xFFFE}, {"C", 0xFFFE}},
        {{"A", 0xFFFD}, {"B", 0xFFFD}, {"C", 0xFFFD}, {"D", 1}, {"E", 1}}},
       {{0}, {0, 1}},
       {{32768}, {32768, 14464, d_nbytes}}},
      {"a file ending at the boundary stays", file_at_boundary(), kBlockNbytes, true,
       {{{"R", 0}, {"S", 0xFFFE}}, {{"S", 0xFFFD}}},
       {{0}, {0}},
       {{32768}, {100}}},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Layout layout{.set_id = 0x4242, .cabinet_data_capacity = c.capacity, .split_blocks = c.split,
                        .name_prefix = "disk"};
    const std::vector<Cabinet> set = write_cabinet_set(c.folders, layout);
    ASSERT_EQ(set.size(), c.entries.size());
    std::vector<Parsed> parsed;
    for (size_t k = 0; k < set.size(); ++k) {
      SCOPED_TRACE("cabinet " + std::to_string(k));
      const Parsed p = parse(set[k].bytes);
      const bool first = k == 0, last = k + 1 == set.size();
      EXPECT_EQ(set[k].name, "disk" + std::to_string(k + 1) + ".cab");
      EXPECT_EQ(p.index, k);
      EXPECT_EQ(p.set_id, 0x4242);
      EXPECT_EQ(p.flags, (first ? 0 : 1) | (last ? 0 : 2));
      EXPECT_EQ(p.prev_cabinet, first ? "" : "disk" + std::to_string(k) + ".cab");
      EXPECT_EQ(p.prev_disk, first ? "" : "Disk " + std::to_string(k));
      EXPECT_EQ(p.next_cabinet, last ? "" : "disk" + std::to_string(k + 2) + ".cab");
      EXPECT_EQ(p.next_disk, last ? "" : "Disk " + std::to_string(k + 2));
      Entries entries;
      for (const ParsedFile& file : p.files) entries.emplace_back(file.name, file.folder_index);
      EXPECT_EQ(entries, c.entries[k]);
      std::vector<uint16_t> counts;
      size_t payload = 0;
      for (const ParsedFolder& folder : p.folders) {
        for (const ParsedBlock& block : folder.blocks) {
          counts.push_back(block.uncompressed_nbytes);
          payload += block.data.size();
          EXPECT_EQ(block.checksum, stored_block_checksum(set[k].bytes, block));
        }
      }
      EXPECT_EQ(counts, c.uncompressed[k]);
      EXPECT_LE(payload, c.capacity);
      parsed.push_back(p);
    }
    for (size_t f = 0; f < c.folders.size(); ++f) {
      EXPECT_EQ(decode_folder(parsed, c.folder_map, f), folder_data(c.folders[f])) << "folder " << f;
    }
    for (size_t k = 0; k < parsed.size(); ++k) expect_entries_match(parsed[k], c.folder_map[k], c.folders);
  }
}

TEST(WriteCabinetSet, RejectsWhatTheFormatCannotHold) {
  const Folder two_files{.files = {{.name = "a"}, {.name = "b"}}};
  Folder bad_order = two_files;
  bad_order.listing_order = {1, 1};
  Folder short_order = two_files;
  short_order.listing_order = {0};
  const Folder too_many_files{.files = std::vector<File>(0x10000, File{.name = "e"})};
  EXPECT_THROW(write_cabinet_set({bad_order}), std::invalid_argument);
  EXPECT_THROW(write_cabinet_set({short_order}), std::invalid_argument);
  EXPECT_THROW(write_cabinet_set({two_files}, {.folder_reserve = 1}), std::invalid_argument);
  EXPECT_THROW(write_cabinet_set({too_many_files}), std::invalid_argument);
  EXPECT_THROW(write_cabinet({Folder{.files = {file_of("x", 100, 1)}}, Folder{.files = {file_of("y", 100, 2)}}},
                             {.cabinet_data_capacity = 100}),
               std::invalid_argument);
  EXPECT_NO_THROW(write_cabinet_set({two_files}));
}

}  // namespace
}  // namespace cabtest
