// code_page_1252.cc - Windows-1252 to and from UTF-16: the round-trip mappings, then best fit.
#include "platform/codepage/code_page_1252.h"

#include <cstdint>

#include "platform/codepage/best_fit_1252.h"
#include "platform/codepage/utf8.h"

namespace codepage {
namespace {

// 0x80..0x9F; the rest of 1252 equals Latin-1. The undefined 0x81, 0x8D, 0x8F, 0x90 and 0x9D
// map to themselves.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// False for a character without an exact byte.
bool exact_byte(char16_t unit, char *byte) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
    *byte = static_cast<char>(unit);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == unit) {
      *byte = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

}  // namespace

std::u16string utf16_from_ansi(std::string_view ansi) {
  std::u16string out;
  out.reserve(ansi.size());
  for (char c : ansi) {
    const auto byte = static_cast<uint8_t>(c);
    out.push_back(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t{byte});
  }
  return out;
}

std::string ansi_from_utf16(std::u16string_view text, char default_char, bool *used_default, bool best_fit) {
  std::string out;
  bool defaulted = false;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool pair = unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
    if (pair) ++i;
    char byte;
    // A character beyond the BMP has no best fit either.
    if (pair || !(exact_byte(unit, &byte) || (best_fit && best_fit_1252(unit, &byte)))) {
      byte = default_char;
      defaulted = true;
    }
    out.push_back(byte);
  }
  if (used_default != nullptr) *used_default = defaulted;
  return out;
}

std::string utf8_from_ansi(std::string_view ansi) { return utf8_from_utf16(utf16_from_ansi(ansi)); }

bool is_control_1252(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

char upper_1252(char c) {
  const auto b = static_cast<unsigned char>(c);
  if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) return static_cast<char>(b - 0x20);
  switch (b) {
    case 0x9A: return static_cast<char>(0x8A);  // s caron
    case 0x9C: return static_cast<char>(0x8C);  // oe
    case 0x9E: return static_cast<char>(0x8E);  // z caron
    case 0xFF: return static_cast<char>(0x9F);  // y diaeresis
    default: return c;
  }
}

}  // namespace codepage
