// logo_bitmap.h - IDB_LOGO, the control's logo, as the bytes of a 68 x 24 24-bit uncompressed .bmp file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace logo {

constexpr int kWidth = 68;
constexpr int kHeight = 24;
// Rows of 3-byte pixels, each padded to a multiple of 4 bytes.
constexpr size_t kRowBytes = (kWidth * 3 + 3) / 4 * 4;
constexpr size_t kHeaderBytes = 14 + 40;
constexpr size_t kFileBytes = kHeaderBytes + kRowBytes * kHeight;

extern const std::array<uint8_t, kFileBytes> kBitmap;

}  // namespace logo
