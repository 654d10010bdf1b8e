// canonical_codes.h - the test-side assignment of canonical Huffman codes, which the test bit writers code symbols with.
#ifndef TESTS_CABINET_SUPPORT_CANONICAL_CODES_H
#define TESTS_CABINET_SUPPORT_CANONICAL_CODES_H

#include <algorithm>
#include <cstdint>
#include <vector>

namespace cabtest {

/*
 * The codes of the lengths `lens` (0 = no code) as RFC 1951 assigns them, shorter codes first
 * and, within a length, in symbol order: codes[s] for symbol s, most significant bit first.
 * Written apart from the library's table builder on purpose: streams coded with these judge it.
 */
inline std::vector<uint32_t> canonical_codes(const std::vector<uint8_t> &lens) {
  const uint32_t max_len = lens.empty() ? 0 : *std::max_element(lens.begin(), lens.end());
  std::vector<uint32_t> count(max_len + 1), next(max_len + 1);
  for (uint8_t len : lens) ++count[len];
  count[0] = 0;
  uint32_t code = 0;
  for (uint32_t len = 1; len <= max_len; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<uint32_t> codes(lens.size());
  for (size_t s = 0; s < lens.size(); ++s) {
    if (lens[s] != 0) codes[s] = next[lens[s]]++;
  }
  return codes;
}

}  // namespace cabtest

#endif
