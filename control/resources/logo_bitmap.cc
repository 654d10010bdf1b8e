// logo_bitmap.cc - the logo drawn at compile time: a gold quill across a navy field over a white ink stroke.
#include "control/resources/logo_bitmap.h"

namespace logo {
namespace {

struct Rgb {
  uint8_t r, g, b;
};
constexpr Rgb kNavy{0x1F, 0x3A, 0x5F};
constexpr Rgb kGold{0xE0, 0xB0, 0x40};
constexpr Rgb kInk{0xF4, 0xF4, 0xF0};

// x from the left, y from the top.
constexpr Rgb pixel(int x, int y) {
  // The quill: a band about two pixels either side of the line from (8, 21) to (60, 2), that is
  // |19 (x - 8) + 52 (y - 21)| below 2 * 55 (55 being the direction vector's length, rounded).
  const int across = 19 * (x - 8) + 52 * (y - 21);
  if (x >= 8 && x <= 60 && across > -110 && across < 110) return kGold;
  if (y >= 21 && y <= 22 && x >= 4 && x <= 44) return kInk;
  return kNavy;
}

constexpr void put16(std::array<uint8_t, kFileBytes> &b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
constexpr void put32(std::array<uint8_t, kFileBytes> &b, size_t at, uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}

constexpr std::array<uint8_t, kFileBytes> make_bitmap() {
  std::array<uint8_t, kFileBytes> b{};
  // BITMAPFILEHEADER: "BM", file size, two reserved words, offset of the pixels.
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, kFileBytes);
  put32(b, 10, kHeaderBytes);
  // BITMAPINFOHEADER: its size, width, height (positive: rows bottom-up), one plane, 24 bits,
  // BI_RGB, the pixel bytes, 2835 pixels per metre (72 dpi) both ways, no palette.
  put32(b, 14, 40);
  put32(b, 18, kWidth);
  put32(b, 22, kHeight);
  put16(b, 26, 1);
  put16(b, 28, 24);
  put32(b, 30, 0);
  put32(b, 34, kRowBytes * kHeight);
  put32(b, 38, 2835);
  put32(b, 42, 2835);
  for (int row = 0; row < kHeight; ++row) {
    for (int x = 0; x < kWidth; ++x) {
      const Rgb c = pixel(x, kHeight - 1 - row);
      const size_t at = kHeaderBytes + static_cast<size_t>(row) * kRowBytes + static_cast<size_t>(x) * 3;
      b[at] = c.b;  // pixels are stored blue, green, red
      b[at + 1] = c.g;
      b[at + 2] = c.r;
    }
  }
  return b;
}

}  // namespace

constexpr std::array<uint8_t, kFileBytes> kBitmap = make_bitmap();

}  // namespace logo
