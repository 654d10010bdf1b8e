// lzx_match_finder.h - the test-side LZX compressor's parser: hash chains, repeated offsets and a
// one-step lazy choice, turning a range of the folder's data into literals and matches.
#ifndef TESTS_CABINET_SUPPORT_LZX_MATCH_FINDER_H
#define TESTS_CABINET_SUPPORT_LZX_MATCH_FINDER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cabtest {

// A literal (len 0, value the byte) or a match (len 2 to 257, value its position: 0 to 2 for the
// repeated offsets R0 to R2, otherwise the offset plus 2).
struct LzxItem {
  uint32_t len;
  uint32_t value;
};

class LzxParser {
 public:
  // `data` must outlive the parser. Offsets reach at most `max_offset` bytes back.
  LzxParser(const std::vector<uint8_t> &data, uint32_t max_offset, uint32_t max_chain);

  /*
   * Appends the items that code data[begin, end) to `items`, updating the repeated offsets as
   * the decoder will. No match crosses `end` or a multiple of `frame_nbytes`.
   */
  void parse(size_t begin, size_t end, uint32_t frame_nbytes, std::vector<LzxItem> *items);

  // Lets the hash chains take in data[.., end) that was stored rather than parsed.
  void skip_to(size_t end) { insert_up_to(end); }

  const std::array<uint32_t, 3> &repeated() const { return r_; }

 private:
  struct Match {
    uint32_t len = 0;
    uint32_t value = 0;
  };

  void insert_up_to(size_t end);
  uint32_t length_at(size_t pos, uint32_t offset, uint32_t max_len) const;
  Match best_match(size_t pos, uint32_t max_len) const;
  void take(const Match &match);

  const std::vector<uint8_t> &data_;
  const uint32_t max_offset_;
  const uint32_t max_chain_;
  std::vector<int32_t> head_;
  std::vector<int32_t> prev_;
  size_t inserted_ = 0;
  std::array<uint32_t, 3> r_ = {1, 1, 1};
};

}  // namespace cabtest

#endif
