// permitted_html.cc - IsPermittedHtml: one left-to-right scan of the text with a table lookup per tag.
#include "control/requests/permitted_html.h"

#include <stdint.h>
#include <string.h>

constexpr const char *g_permittedTags[28] = {
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

// The permitted names as an open-addressed table of 64 slots indexed by a multiplicative hash
// of the packed name. The multiplier is searched at compile time for one that gives every name a
// slot of its own, so a lookup is one multiplication and one comparison.
constexpr int kSlotBits = 6;
struct NameTable {
  uint64_t multiplier = 0;
  uint64_t slots[1 << kSlotBits] = {};
};

constexpr size_t slot_of(uint64_t key, uint64_t multiplier) { return size_t((key * multiplier) >> (64 - kSlotBits)); }

constexpr NameTable build_name_table() {
  for (uint64_t multiplier = 0x9E3779B97F4A7C15ull;; multiplier += 0x2545F4914F6CDD1Eull) {
    NameTable table;
    table.multiplier = multiplier;
    bool collision = false;
    for (const char *const *tag = g_permittedTags; **tag != '\0' && !collision; ++tag) {
      const uint64_t key = pack_name(*tag, name_length(*tag));
      uint64_t &slot = table.slots[slot_of(key, multiplier)];
      collision = slot != 0;
      slot = key;
    }
    if (!collision) return table;
  }
}

// Built from g_permittedTags itself, so the list stays the one source of the names.
constexpr NameTable kPermitted = build_name_table();

constexpr size_t count_names(const NameTable &table) {
  size_t count = 0;
  for (uint64_t key : table.slots) count += key != 0;
  return count;
}
static_assert(count_names(kPermitted) == 27, "g_permittedTags holds 27 distinct names before its closing empty string");

bool is_tag_space(uint8_t c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

bool is_permitted_name(uint64_t key) { return kPermitted.slots[slot_of(key, kPermitted.multiplier)] == key; }

}  // namespace

BOOL IsPermittedHtml(LPCSTR lpszText) {
  if (lpszText == nullptr) return TRUE;
  // strchr stops at the terminator, so the text is read once and its length never needed.
  const char *rest = lpszText;
  for (;;) {
    const char *open = strchr(rest, '<');
    if (open == nullptr) return TRUE;
    const char *tag = open + 1;
    if (*tag == '/') ++tag;  // a closing tag is judged like an opening one
    if (*tag == '\0') return FALSE;

    // Read the candidate's first bytes: it ends at ">" or, unless it begins with it, at white space.
    uint64_t key = 0;
    size_t length = 0;
    const char *p = tag;
    bool valid = true;
    for (; *p != '\0' && *p != '>'; ++p) {
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
    const char *close = *p == '>' ? p : strchr(p, '>');
    if (close == nullptr) return FALSE;
    if (!valid || length == 0 || !is_permitted_name(key)) return FALSE;
    rest = close + 1;
  }
}
