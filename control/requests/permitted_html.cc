// permitted_html.cc - IsPermittedHtml: one left-to-right scan of the text with a table lookup per tag.
#include "control/requests/permitted_html.h"

#include <stdint.h>
#include <string.h>

const char *const g_permittedTags[28] = {
    "B",  "STRONG", "BOLD", "I",  "EM", "TT", "OL", "UL", "LI", "DL", "DT", "DD", "TABLE", "TH",
    "TR", "TD",     "P",    "BR", "HR", "FONT", "H1", "H2", "H3", "H4", "H5", "H6", "PRE", ""};

namespace {

// No permitted name is longer than this, so a candidate is decided by its first
// kLongestName + 1 bytes: anything longer is refused without being read further.
constexpr size_t kLongestName = 6;

// A name of at most kLongestName bytes packed little-endian into one word; 0 is no name.
constexpr uint64_t pack_name(const char *name, size_t length) {
  uint64_t key = 0;
  for (size_t i = 0; i < length; ++i) key |= uint64_t(uint8_t(name[i])) << (8 * i);
  return key;
}

constexpr size_t name_length(const char *name) {
  size_t length = 0;
  while (name[length] != '\0') ++length;
  return length;
}

struct PackedNames {
  uint64_t keys[27] = {};
  size_t count = 0;
};

constexpr PackedNames pack_permitted_names() {
  PackedNames names;
  for (const char *const *tag = g_permittedTags; **tag != '\0'; ++tag) {
    names.keys[names.count++] = pack_name(*tag, name_length(*tag));
  }
  return names;
}

// The lookup table is built from g_permittedTags itself, so the list stays the one source.
constexpr PackedNames kPermitted = pack_permitted_names();
static_assert(kPermitted.count == 27, "g_permittedTags holds 27 names before its closing empty string");

bool is_tag_space(uint8_t c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

bool is_permitted_name(uint64_t key) {
  for (size_t i = 0; i < kPermitted.count; ++i) {
    if (kPermitted.keys[i] == key) return true;
  }
  return false;
}

}  // namespace

BOOL IsPermittedHtml(LPCSTR lpszText) {
  if (lpszText == nullptr) return TRUE;
  const char *rest = lpszText;
  const char *const end = rest + strlen(rest);
  for (;;) {
    const char *open = static_cast<const char *>(memchr(rest, '<', size_t(end - rest)));
    if (open == nullptr) return TRUE;
    const char *tag = open + 1;
    if (tag < end && *tag == '/') ++tag;  // a closing tag is judged like an opening one
    if (tag == end) return FALSE;

    // Read the candidate's first bytes: it ends at ">" or, unless it begins with it, at white space.
    uint64_t key = 0;
    size_t length = 0;
    const char *p = tag;
    bool valid = true;
    for (; p < end && *p != '>'; ++p) {
      const uint8_t c = uint8_t(*p);
      if (is_tag_space(c)) {
        if (length == 0) valid = false;  // a candidate that begins with white space is kept whole
        break;
      }
      if (length == kLongestName) {
        valid = false;  // too long for any permitted name
        break;
      }
      const uint8_t upper = (c >= 'a' && c <= 'z') ? uint8_t(c - 'a' + 'A') : c;
      key |= uint64_t(upper) << (8 * length++);
    }
    const char *close = (p < end && *p == '>') ? p : static_cast<const char *>(memchr(p, '>', size_t(end - p)));
    if (close == nullptr) return FALSE;
    if (!valid || length == 0 || !is_permitted_name(key)) return FALSE;
    rest = close + 1;
  }
}
