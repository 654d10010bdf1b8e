// stored_name.cc - what a name stored in a cabinet becomes under the destination folder.
#include "cabinet/include/stored_name.h"

#include <ctype.h>
#include <string.h>

#include <string_view>

#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool is_ascii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

size_t longest_part(std::string_view name) {
  size_t longest = 0;
  size_t length = 0;
  for (char c : name) {
    length = is_separator(c) ? 0 : length + 1;
    if (length > longest) longest = length;
  }
  return longest;
}

}  // namespace

bool is_contained_name(const char *name) {
  if (name[0] == '\0' || is_separator(name[0])) return false;
  if (isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') return false;
  const char *part = name;
  for (;;) {
    size_t length = 0;
    while (part[length] != '\0' && !is_separator(part[length])) ++length;
    if (length == 2 && part[0] == '.' && part[1] == '.') return false;
    if (part[length] == '\0') return true;
    part += length + 1;
  }
}

bool utf8_name(const char *name, uint16_t attributes, std::string *out) {
  const std::string_view stored(name);
  // Both encodings agree on ASCII, and most names are nothing else.
  if (is_ascii(stored)) {
    out->assign(stored);
    return true;
  }
  if ((attributes & kAttributeNameIsUtf8) != 0) {
    std::u16string checked;
    if (!codepage::utf16_from_utf8(reinterpret_cast<const uint8_t *>(name), stored.size(), &checked)) return false;
    out->assign(stored);
    return true;
  }
  *out = codepage::utf8_from_utf16(codepage::utf16_from_ansi(stored));
  return true;
}

name_refusal output_path_of(const char *destination, const char *name, uint16_t attributes, char *path,
                            size_t path_nbytes, size_t *nbytes) {
  // Separators, dots and colons are the same bytes in both encodings, so the stored form tells.
  if (!is_contained_name(name)) return name_refusal::outside;
  std::string converted;
  if (!utf8_name(name, attributes, &converted)) return name_refusal::not_utf8;
  *nbytes = longest_part(converted);
  if (*nbytes > kNamePartMaxNbytes) return name_refusal::part_too_long;
  const size_t destination_nbytes = strlen(destination);
  *nbytes = destination_nbytes + converted.size();
  if (*nbytes >= path_nbytes) return name_refusal::path_too_long;
  memcpy(path, destination, destination_nbytes);
  memcpy(path + destination_nbytes, converted.c_str(), converted.size() + 1);
  return name_refusal::none;
}
