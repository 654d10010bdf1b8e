// lzx_match_finder.cc - hash-chain match finding and parsing for the test-side LZX compressor.
#include "tests/cabinet/support/lzx_match_finder.h"

#include <algorithm>
#include <utility>

namespace cabtest {
namespace {

constexpr uint32_t kHashBits = 16;
constexpr uint32_t kMinMatch = 2;
constexpr uint32_t kMaxMatch = 257;
constexpr uint32_t kMinNewOffsetMatch = 3;
// A 3-byte match this far back costs more bits than its three literals.
constexpr uint32_t kFarThreeByteOffset = 16384;

uint32_t hash3(const uint8_t *p) {
  return ((uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]) * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

LzxParser::LzxParser(const std::vector<uint8_t> &data, uint32_t max_offset, uint32_t max_chain)
    : data_(data), max_offset_(max_offset), max_chain_(max_chain), head_(size_t{1} << kHashBits, -1),
      prev_(data.size(), -1) {}

void LzxParser::insert_up_to(size_t end) {
  for (; inserted_ < end && inserted_ + 3 <= data_.size(); ++inserted_) {
    const uint32_t h = hash3(&data_[inserted_]);
    prev_[inserted_] = head_[h];
    head_[h] = static_cast<int32_t>(inserted_);
  }
  inserted_ = std::max(inserted_, end);
}

uint32_t LzxParser::length_at(size_t pos, uint32_t offset, uint32_t max_len) const {
  const uint8_t *src = &data_[pos - offset];
  const uint8_t *dst = &data_[pos];
  uint32_t len = 0;
  while (len < max_len && src[len] == dst[len]) ++len;
  return len;
}

LzxParser::Match LzxParser::best_match(size_t pos, uint32_t max_len) const {
  Match repeat;
  for (uint32_t k = 0; k < 3; ++k) {
    if (r_[k] <= pos) {
      const uint32_t len = length_at(pos, r_[k], max_len);
      if (len > repeat.len) repeat = {len, k};
    }
  }
  Match fresh;
  if (max_chain_ != 0 && max_len >= kMinNewOffsetMatch) {
    uint32_t tries = 0;
    for (int32_t cand = head_[hash3(&data_[pos])]; cand >= 0 && tries < max_chain_; cand = prev_[cand], ++tries) {
      const size_t offset = pos - static_cast<size_t>(cand);
      if (offset > max_offset_) break;
      if (data_[cand + fresh.len] != data_[pos + fresh.len]) continue;
      const uint32_t len = length_at(pos, static_cast<uint32_t>(offset), max_len);
      if (len > fresh.len) {
        fresh = {len, static_cast<uint32_t>(offset) + 2};
        if (len == max_len) break;
      }
    }
  }
  const bool fresh_worth_it = fresh.len >= kMinNewOffsetMatch &&
                              !(fresh.len == kMinNewOffsetMatch && fresh.value - 2 > kFarThreeByteOffset);
  // A repeated offset costs no offset bits: it wins unless a new one is 2 bytes longer.
  if (fresh_worth_it && fresh.len > repeat.len + 1) return fresh;
  if (repeat.len >= kMinMatch) return repeat;
  return {};
}

void LzxParser::take(const Match &match) {
  if (match.value == 1) {
    std::swap(r_[0], r_[1]);
  } else if (match.value == 2) {
    std::swap(r_[0], r_[2]);
  } else if (match.value > 2) {
    r_[2] = r_[1];
    r_[1] = r_[0];
    r_[0] = match.value - 2;
  }
}

void LzxParser::parse(size_t begin, size_t end, uint32_t frame_nbytes, std::vector<LzxItem> *items) {
  for (size_t i = begin; i < end;) {
    const size_t limit = std::min(end, (i / frame_nbytes + 1) * frame_nbytes);
    const auto max_len_at = [&](size_t at) { return static_cast<uint32_t>(std::min<size_t>(kMaxMatch, limit - at)); };
    insert_up_to(i);
    Match match = max_len_at(i) >= kMinMatch ? best_match(i, max_len_at(i)) : Match{};
    if (match.value > 2 && match.len < max_len_at(i) && i + 1 < limit) {
      // One step of lazy matching: a literal now may let a longer match start at the next byte.
      insert_up_to(i + 1);
      if (best_match(i + 1, max_len_at(i + 1)).len > match.len + 1) match = {};
    }
    if (match.len == 0) {
      items->push_back({0, data_[i]});
      ++i;
      continue;
    }
    items->push_back({match.len, match.value});
    take(match);
    i += match.len;
  }
}

}  // namespace cabtest
