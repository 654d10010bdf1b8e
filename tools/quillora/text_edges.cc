// text_edges.cc - checking UTF-8 that comes in and converting it to the platform's Windows-1252.
#include "tools/quillora/text_edges.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"

namespace quillora {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

const uint8_t *bytes_of(std::string_view text) { return reinterpret_cast<const uint8_t *>(text.data()); }

// "byte 0xE9 at offset 12 (line 3)": where a text goes wrong, so the user can find it.
std::string position_of(std::string_view text, size_t offset) {
  char where[96];
  std::snprintf(where, sizeof where, "byte 0x%02X at offset %zu (line %zu)", static_cast<unsigned>(bytes_of(text)[offset]),
                offset, static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(offset), '\n')) + 1);
  return where;
}

// "" when `text` is well-formed UTF-8, else where it is not.
std::string ill_formed_at(std::string_view text) {
  const size_t good = codepage::well_formed_utf8_nbytes(bytes_of(text), text.size());
  return good == text.size() ? "" : position_of(text, good);
}

}  // namespace

std::optional<std::string> ansi_from_utf8(std::string_view utf8, std::string *error) {
  if (const std::string bad = ill_formed_at(utf8); !bad.empty()) {
    *error = "is not valid UTF-8: " + bad;
    return std::nullopt;
  }
  std::u16string wide;
  codepage::utf16_from_utf8(bytes_of(utf8), utf8.size(), &wide);
  bool defaulted = false;
  std::string ansi = codepage::ansi_from_utf16(wide, '?', &defaulted, false);
  if (!defaulted) return ansi;
  // Name the first character 1252 lacks, a surrogate pair being one character.
  for (size_t i = 0; i < wide.size(); ++i) {
    const size_t units = wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size() ? 2 : 1;
    const std::u16string_view character(wide.data() + i, units);
    bool lacking = false;
    codepage::ansi_from_utf16(character, '?', &lacking, false);
    if (lacking) {
      const uint32_t code = units == 2 ? 0x10000 + ((wide[i] - 0xD800u) << 10) + (wide[i + 1] - 0xDC00u) : wide[i];
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
      *error = "holds '" + codepage::utf8_from_utf16(character) + "' (" + name + "), which Windows-1252 lacks";
      break;
    }
    i += units - 1;
  }
  return std::nullopt;
}

std::string check_text_to_sign(std::string *text) {
  if (text->starts_with(kUtf8Bom)) text->erase(0, kUtf8Bom.size());
  if (text->starts_with("\xFF\xFE") || text->starts_with("\xFE\xFF"))
    return "the text is UTF-16 (it begins with a UTF-16 byte-order mark); convert it to UTF-8 first, for example "
           "with 'iconv -f UTF-16 -t UTF-8'";
  if (const size_t nul = text->find('\0'); nul != std::string::npos)
    return "the text holds a NUL byte at offset " + std::to_string(nul) +
           ", which would end it there (is it UTF-16? convert it to UTF-8 first)";
  if (const std::string bad = ill_formed_at(*text); !bad.empty())
    return "the text is not valid UTF-8: " + bad +
           "; if it is Windows-1252, convert it first, for example with 'iconv -f WINDOWS-1252 -t UTF-8'";
  return "";
}

}  // namespace quillora
