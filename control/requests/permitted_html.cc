// permitted_html.cc - IsPermittedHtml: every "<" of 16 bytes found at once, a table read of each name and one hash probe per tag.
#include "control/requests/permitted_html.h"

#include <emmintrin.h>
#include <stdint.h>
#include <string.h>

#include <array>

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

// Each byte as it counts in a name: upper-cased (ASCII letters a to z), or 0 for the bytes that
// end a candidate: ">", the white space set, and the text's terminator.
constexpr std::array<uint8_t, 256> make_name_bytes() {
  std::array<uint8_t, 256> bytes{};
  for (unsigned c = 0; c < 256; ++c) {
    const bool stop = c == '>' || c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == 0;
    bytes[c] = stop ? 0 : uint8_t(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return bytes;
}
constexpr std::array<uint8_t, 256> kNameBytes = make_name_bytes();

bool is_permitted_name(uint64_t key) { return kPermitted.slots[slot_of(key, kPermitted.multiplier)] == key; }

// Bit i set where p[i] == c, for the 16 bytes from p. The mask stays in registers: one spilled
// to the stack and read back made the speed depend on where the stack happened to lie.
uint32_t positions_of(const char *p, char c) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
}

// The first `c` in [p, end), or null. Often it is near: the first 16 bytes are compared inline,
// which spares a library call.
const char *find_byte(const char *p, const char *end, char c) {
  if (end - p >= 16) {
    const uint32_t found = positions_of(p, c);
    if (found != 0) return p + __builtin_ctz(found);
    p += 16;
  }
  return static_cast<const char *>(memchr(p, c, size_t(end - p)));
}

/*
 * Judges the tag whose "<" is at `open`: returns where the text goes on after its ">", or null
 * when the text is refused. The terminator at `end` may be read: it stops every test below.
 */
const char *judge_tag(const char *open, const char *end) {
  const char *tag = open + 1;
  if (*tag == '/') ++tag;  // a closing tag is judged like an opening one

  // Read the candidate's first bytes: it ends at ">" or, unless it begins with it, at white
  // space. One that begins with white space, is empty or is too long is refused.
  uint64_t key = 0;
  size_t length = 0;
  const char *p = tag;
  for (uint8_t upper; (upper = kNameBytes[uint8_t(*p)]) != 0; ++p) {
    if (length == kLongestName) return nullptr;
    key |= uint64_t(upper) << (8 * length++);
  }
  if (length == 0 || !is_permitted_name(key)) return nullptr;
  const char *close = *p == '>' ? p : find_byte(p, end, '>');
  return close == nullptr ? nullptr : close + 1;
}

}  // namespace

/*
 * Every "<" of 16 bytes is found by one comparison and taken as a set of positions, in order;
 * one that a tag's ">" has passed lies inside that tag and is skipped. So finding the next tag
 * does not wait for the judging of the one before it.
 */
BOOL IsPermittedHtml(LPCSTR lpszText) {
  if (lpszText == nullptr) return TRUE;
  const char *const end = lpszText + strlen(lpszText);
  const char *rest = lpszText;  // where the text goes on: no tag before it is judged again
  const char *chunk = lpszText;
  for (; end - chunk >= 16; chunk = chunk + 16 > rest ? chunk + 16 : rest) {
    for (uint32_t opens = positions_of(chunk, '<'); opens != 0; opens &= opens - 1) {
      const char *open = chunk + __builtin_ctz(opens);
      if (open < rest) continue;
      rest = judge_tag(open, end);
      if (rest == nullptr) return FALSE;
    }
  }
  for (const char *open; (open = static_cast<const char *>(memchr(rest, '<', size_t(end - rest)))) != nullptr;) {
    rest = judge_tag(open, end);
    if (rest == nullptr) return FALSE;
  }
  return TRUE;
}
