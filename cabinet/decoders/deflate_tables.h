// deflate_tables.h - the deflate format's constants and the result words of its three codes.
#ifndef CABINET_DECODERS_DEFLATE_TABLES_H
#define CABINET_DECODERS_DEFLATE_TABLES_H

#include <array>
#include <cstdint>

#include "cabinet/decoders/huffman_table.h"

namespace cab::deflate {

/*
 * Result words (see huffman_table.h for the entry layout):
 *   literal/length: kLiteral with the byte as value; kEndOfBlock; a length with its extra-bit
 *                   count in bits 0..7 and its base as value; kInvalid for 286 and 287.
 *   distance:       the extra-bit count in bits 0..7 and the base as value; kInvalid for
 *                   30 and 31.
 *   code length:    the symbol as value.
 * kInvalid also fills the slots no code reaches, so every lookup that leads nowhere ends in
 * the same test.
 */
inline constexpr uint32_t kInvalid = 1u << 12;
inline constexpr uint32_t kEndOfBlock = 1u << 13;
inline constexpr uint32_t kLiteral = 1u << 14;
// Anything but a literal or a length.
inline constexpr uint32_t kExceptional = kInvalid | kEndOfBlock | kHuffmanSubtable;
static_assert(((kInvalid | kEndOfBlock | kLiteral) & (kHuffmanSubtable | kHuffmanNbitsMask | 0xF00)) == 0);

inline constexpr uint32_t kLitlenSymbols = 288;   // 286 and 287 exist only in the fixed code
inline constexpr uint32_t kDistSymbols = 32;      // 30 and 31 exist only in the fixed code
inline constexpr uint32_t kMaxLitlenCodes = 286;  // HLIT's limit
inline constexpr uint32_t kMaxDistCodes = 30;     // HDIST's limit
inline constexpr uint32_t kCodelenSymbols = 19;
inline constexpr uint32_t kMaxCodeLen = 15;
inline constexpr uint32_t kMaxCodelenCodeLen = 7;

// The order in which the code-length code's lengths are sent.
inline constexpr std::array<uint8_t, kCodelenSymbols> kCodelenOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};

inline constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,
                                                         15, 17, 19, 23, 27, 31, 35, 43,  51,  59,
                                                         67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::array<uint16_t, 30> kDistBase = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                                       33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                                       1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
inline constexpr std::array<uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr std::array<uint32_t, kLitlenSymbols> make_litlen_results() {
  std::array<uint32_t, kLitlenSymbols> results{};
  for (uint32_t s = 0; s < 256; ++s) {
    results[s] = kLiteral | (s << 16);
  }
  results[256] = kEndOfBlock;
  for (uint32_t i = 0; i < kLengthBase.size(); ++i) {
    results[257 + i] = uint32_t{kLengthExtra[i]} | (uint32_t{kLengthBase[i]} << 16);
  }
  results[286] = kInvalid;
  results[287] = kInvalid;
  return results;
}

constexpr std::array<uint32_t, kDistSymbols> make_dist_results() {
  std::array<uint32_t, kDistSymbols> results{};
  for (uint32_t i = 0; i < kDistBase.size(); ++i) {
    results[i] = uint32_t{kDistExtra[i]} | (uint32_t{kDistBase[i]} << 16);
  }
  results[30] = kInvalid;
  results[31] = kInvalid;
  return results;
}

constexpr std::array<uint32_t, kCodelenSymbols> make_codelen_results() {
  std::array<uint32_t, kCodelenSymbols> results{};
  for (uint32_t s = 0; s < kCodelenSymbols; ++s) {
    results[s] = s << 16;
  }
  return results;
}

inline constexpr std::array<uint32_t, kLitlenSymbols> kLitlenResults = make_litlen_results();
inline constexpr std::array<uint32_t, kDistSymbols> kDistResults = make_dist_results();
inline constexpr std::array<uint32_t, kCodelenSymbols> kCodelenResults = make_codelen_results();

} // namespace cab::deflate

#endif
