// cab_format.h - the on-disk layout of a cabinet: field offsets, flags and little-endian access.
#pragma once

#include <stdint.h>

namespace cab_format {

// Cabinet header, 36 bytes at offset 0.
constexpr uint32_t kHeaderNbytes = 36;
constexpr uint32_t kSignature = 0x4643534D;  // "MSCF"
constexpr uint16_t kVersion = 0x0103;
constexpr uint32_t kHeaderSignature = 0;
constexpr uint32_t kHeaderFirstFileOffset = 16;
constexpr uint32_t kHeaderVersion = 24;
constexpr uint32_t kHeaderFolderCount = 26;
constexpr uint32_t kHeaderFileCount = 28;
constexpr uint32_t kHeaderFlags = 30;
constexpr uint32_t kHeaderSetId = 32;
constexpr uint32_t kHeaderCabinetIndex = 34;

constexpr uint16_t kFlagPreviousCabinet = 0x0001;
constexpr uint16_t kFlagNextCabinet = 0x0002;
constexpr uint16_t kFlagReservePresent = 0x0004;

// Reserve sizes that follow the header with kFlagReservePresent: 2 + 1 + 1 bytes.
constexpr uint32_t kReserveSizesNbytes = 4;

// Folder entry: 8 bytes plus the folder reserve.
constexpr uint32_t kFolderEntryNbytes = 8;
constexpr uint32_t kFolderFirstBlock = 0;
constexpr uint32_t kFolderBlockCount = 4;
constexpr uint32_t kFolderMethodWord = 6;

// File entry: 16 bytes, then the zero-terminated name.
constexpr uint32_t kFileEntryNbytes = 16;
constexpr uint32_t kFileSize = 0;
constexpr uint32_t kFileFolderOffset = 4;
constexpr uint32_t kFileFolderIndex = 8;
constexpr uint32_t kFileDate = 10;
constexpr uint32_t kFileTime = 12;
constexpr uint32_t kFileAttributes = 14;

constexpr uint16_t kFolderContinuedFromPrevious = 0xFFFD;
constexpr uint16_t kFolderContinuedToNext = 0xFFFE;
constexpr uint16_t kFolderContinuedBoth = 0xFFFF;

constexpr uint16_t kAttributeRunAfterExtraction = 0x40;

// Data block: 8 bytes plus the data reserve, then the compressed bytes.
constexpr uint32_t kDataHeaderNbytes = 8;
constexpr uint32_t kDataChecksum = 0;
constexpr uint32_t kDataCompressedCount = 4;
constexpr uint32_t kDataUncompressedCount = 6;

// A name holds at most 255 characters: its zero byte lies within the 256 bytes from its start.
constexpr uint32_t kNameWindowNbytes = 256;

// Method word: bits 0-3 the method, bits 8-12 the window size as a power of two.
constexpr unsigned method_of(uint16_t method_word) { return method_word & 0x0F; }
constexpr unsigned window_exponent_of(uint16_t method_word) { return (method_word >> 8) & 0x1F; }

inline uint16_t le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t le32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace cab_format
