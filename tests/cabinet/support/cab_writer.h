// cab_writer.h - a test-side writer of cabinet files and sets, with exact control over every field.
#ifndef TESTS_CABINET_SUPPORT_CAB_WRITER_H
#define TESTS_CABINET_SUPPORT_CAB_WRITER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cabtest {

using Bytes = std::vector<uint8_t>;

// Folder-entry method words the writer knows how to fill; any other word is written as given.
constexpr uint16_t kMethodStored = 0x0000;
constexpr uint16_t kMethodMszip = 0x0001;
// Quantum's window power of two goes in bits 8 to 12 (quantum_method_word); its blocks are given
// as raw blocks (quantum_compress).
constexpr uint16_t kMethodQuantum = 0x0002;
// LZX's window power of two goes in bits 8 to 12 (lzx_method_word); its blocks are given as raw
// blocks (lzx_compress, lzx_folder).
constexpr uint16_t kMethodLzx = 0x0003;

// Largest uncompressed count of one data block; every block of a folder but its last holds exactly this.
constexpr size_t kBlockNbytes = 32768;

// File-entry folder indices that tie a file to the neighbouring cabinets of a set.
constexpr uint16_t kIndexContinuedFromPrev = 0xFFFD;
constexpr uint16_t kIndexContinuesToNext = 0xFFFE;
constexpr uint16_t kIndexPrevAndNext = 0xFFFF;

// Fixed sizes of the on-disk structures, before their reserve areas and names.
constexpr size_t kHeaderNbytes = 36;
constexpr size_t kFolderEntryNbytes = 8;
constexpr size_t kFileEntryNbytes = 16;
constexpr size_t kDataHeaderNbytes = 8;

struct File {
  std::string name;             // stored as given, without the terminating zero; may hold '\\'
  Bytes data;                   // its size is the entry's size; its bytes are what the folder holds
  uint16_t date = 0x5A21;       // MS-DOS date (2025-01-01)
  uint16_t time = 0x6000;       // MS-DOS time (12:00:00)
  uint16_t attributes = 0x20;   // archive
};

// One data block as written: the compressed bytes and the header's uncompressed count.
struct Block {
  Bytes compressed;
  uint16_t uncompressed_nbytes = 0;
};

struct Folder {
  // Written as given. Without raw blocks, method 1 (low four bits) is compressed as MSZIP and every
  // other word gets stored blocks, so that crafted words (0x0004, 0x000F) still have data to read.
  uint16_t method_word = kMethodStored;
  std::vector<File> files;                   // the folder's uncompressed data is their data in this order
  std::vector<size_t> listing_order;         // permutation of `files` giving the entry order; empty: data order
  std::optional<std::vector<Block>> blocks;  // written instead of blocks built from the files' data
  int mszip_level = 6;                       // zlib level for MSZIP blocks
};

struct Layout {
  uint16_t set_id = 0x1234;
  uint16_t version = 0x0103;   // the word at offset 24 (minor byte, then major byte)
  bool reserve_present = false;  // flag 0x0004; the three sizes below must be 0 without it
  uint16_t header_reserve = 0;
  uint8_t folder_reserve = 0;
  uint8_t data_reserve = 0;
  bool checksums = true;       // false writes 0 into every block's checksum
  // 0: everything in one cabinet. Otherwise the most compressed payload bytes (block headers and
  // reserves not counted) that one cabinet of the set takes.
  uint32_t cabinet_data_capacity = 0;
  // When a block does not fit the room left: true writes its first part here (uncompressed count 0)
  // and the rest at the start of the next cabinet; false moves the whole block on.
  bool split_blocks = true;
  std::string name_prefix = "set";  // cabinet i (from 0) is named <prefix><i+1>.cab on disk "Disk <i+1>"
};

// Where things were put in one cabinet, for tests that tamper with bytes. Offsets are from the
// start of the cabinet file.
struct Cabinet {
  std::string name;
  Bytes bytes;
  size_t folder_table = 0;          // first folder entry
  size_t file_table = 0;            // first file entry
  std::vector<size_t> file_entries; // each file entry, in table order
  std::vector<size_t> blocks;       // each data-block header, in file order
};

// The format's checksum of `nbytes` bytes at `data`, starting from `seed`: whole little-endian
// words are XORed in, and the last 1 to 3 bytes are folded big-end first.
uint32_t cab_checksum(const uint8_t* data, size_t nbytes, uint32_t seed);

// The checksum a data block's header carries: over the compressed bytes, then over the header from
// its compressed count to the end of `reserve`.
uint32_t block_checksum(const Bytes& compressed, uint16_t uncompressed_nbytes, const Bytes& reserve);

// MSZIP-compresses one folder's data: one block per 32768 bytes (the last may be shorter, an empty
// input gives no block). Each block is "CK" and a complete raw deflate stream primed with the
// previous 32768 bytes of the folder as its dictionary, or a single stored deflate block when that
// is smaller, so a block never holds more than 32768 + 7 bytes.
// `strategy` is zlib's (0 default, 1 filtered, 2 Huffman only, 3 run lengths, 4 fixed codes).
std::vector<Block> mszip_compress(const Bytes& folder_data, int level = 6, int strategy = 0);

// Cuts one folder's data into stored blocks of at most 32768 bytes.
std::vector<Block> stored_blocks(const Bytes& folder_data);

// The folder's uncompressed data: its files' data concatenated in data order.
Bytes folder_data(const Folder& folder);

// Writes the folders as a cabinet set laid out as `layout` says; the cabinets come in set order.
// Throws std::invalid_argument for what the format cannot express (a bad listing order, a count or
// size that overflows its field, reserve sizes without reserve_present).
std::vector<Cabinet> write_cabinet_set(const std::vector<Folder>& folders, const Layout& layout = {});

// Writes the folders as one cabinet; throws std::invalid_argument if the layout makes more than one.
Bytes write_cabinet(const std::vector<Folder>& folders, const Layout& layout = {});

}  // namespace cabtest

#endif  // TESTS_CABINET_SUPPORT_CAB_WRITER_H
