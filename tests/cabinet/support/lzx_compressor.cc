// lzx_compressor.cc - the test-side LZX compressor: blocks, their trees coded against the previous
// block's, frames, and the call translation applied before compression.
#include "tests/cabinet/support/lzx_compressor.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <utility>

#include "tests/cabinet/support/lzx_bit_writer.h"
#include "tests/cabinet/support/lzx_match_finder.h"

namespace cabtest {
namespace {

constexpr uint32_t kLiterals = 256;
constexpr uint32_t kLengthHeaders = 8;
constexpr uint32_t kLengthSymbols = 249;
constexpr uint32_t kPretreeSymbols = 20;
constexpr uint32_t kAlignedSymbols = 8;
constexpr uint32_t kMaxTreeCodeLen = 16;
constexpr uint32_t kMaxPretreeCodeLen = 15;
constexpr uint32_t kMaxAlignedCodeLen = 7;
constexpr uint32_t kMaxFrameNbytes = 32768;
constexpr uint32_t kMaxCompressedFrameNbytes = 32768 + 6144;  // the reader's compressed buffer
constexpr uint32_t kMaxBlockNbytes = (1u << 24) - 1;
constexpr uint32_t kTranslatedFrames = 32768;

// Position slots, from the format's rule: slots 0 to 3 have no extra bits, then every two slots
// have one more, up to 17; a window uses the slots whose positions are below its size.
class Slots {
 public:
  explicit Slots(unsigned window_bits) {
    uint32_t position = 0;
    for (uint32_t slot = 0; position < (1u << window_bits); ++slot) {
      const uint32_t extra = slot < 4 ? 0 : std::min<uint32_t>((slot - 2) / 2, 17);
      first_.push_back(position);
      extra_.push_back(extra);
      position += 1u << extra;
    }
  }
  uint32_t count() const { return static_cast<uint32_t>(first_.size()); }
  uint32_t slot_of(uint32_t position) const {
    return static_cast<uint32_t>(std::upper_bound(first_.begin(), first_.end(), position) - first_.begin()) - 1;
  }
  uint32_t first(uint32_t slot) const { return first_[slot]; }
  uint32_t extra(uint32_t slot) const { return extra_[slot]; }

 private:
  std::vector<uint32_t> first_;
  std::vector<uint32_t> extra_;
};

/*
 * Huffman code lengths of at most `max_len` bits for `freq`. Unused symbols get 0. A single used
 * symbol gets a partner of the same length, since the decoder takes only complete codes. Too
 * long a code is redone with the frequencies halved, which ends at worst in a balanced code.
 */
std::vector<uint8_t> code_lengths(std::vector<uint32_t> freq, uint32_t max_len) {
  const size_t n = freq.size();
  std::vector<uint8_t> lens(n, 0);
  std::vector<uint32_t> used;
  for (uint32_t s = 0; s < n; ++s) {
    if (freq[s] != 0) used.push_back(s);
  }
  if (used.size() <= 1) {
    if (used.size() == 1) {
      lens[used[0]] = 1;
      lens[used[0] == 0 ? 1 : 0] = 1;
    }
    return lens;
  }
  for (;;) {
    std::sort(used.begin(), used.end(),
              [&](uint32_t a, uint32_t b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });
    // Two queues: the sorted leaves, and the merged nodes, which come out in order of weight.
    const size_t m = used.size();
    std::vector<uint64_t> weight(2 * m - 1);
    std::vector<size_t> parent(2 * m - 1, 0);
    for (size_t i = 0; i < m; ++i) weight[i] = freq[used[i]];
    size_t leaf = 0, merged = m;
    const auto lightest = [&](size_t next_node) {
      if (leaf < m && (merged >= next_node || weight[leaf] <= weight[merged])) return leaf++;
      return merged++;
    };
    for (size_t node = m; node < 2 * m - 1; ++node) {
      const size_t a = lightest(node);
      const size_t b = lightest(node);
      weight[node] = weight[a] + weight[b];
      parent[a] = parent[b] = node;
    }
    std::vector<uint32_t> depth(2 * m - 1, 0);
    uint32_t longest = 0;
    for (size_t node = 2 * m - 1; node-- > 0;) {
      if (node != 2 * m - 2) depth[node] = depth[parent[node]] + 1;
      if (node < m) longest = std::max(longest, depth[node]);
    }
    if (longest <= max_len) {
      for (size_t i = 0; i < m; ++i) lens[used[i]] = static_cast<uint8_t>(depth[i]);
      return lens;
    }
    for (uint32_t s : used) freq[s] = (freq[s] + 1) / 2;
  }
}

// One pre-tree symbol as sent: a change (0 to 16) or a run (17, 18, 19) with its extra bits and,
// for 19, the change its copies share.
struct TreeOp {
  uint32_t symbol;
  uint32_t extra;
  uint32_t second;
};

uint32_t change_symbol(uint8_t previous, uint8_t len) { return (previous + 17u - len) % 17u; }

std::vector<TreeOp> tree_ops(const uint8_t *previous, const uint8_t *lens, uint32_t n) {
  std::vector<TreeOp> ops;
  for (uint32_t i = 0; i < n;) {
    uint32_t same = 1;
    while (i + same < n && lens[i + same] == lens[i]) ++same;
    if (lens[i] == 0 && same >= 20) {
      const uint32_t run = std::min(same, 51u);
      ops.push_back({18, run - 20, 0});
      i += run;
    } else if (lens[i] == 0 && same >= 4) {
      const uint32_t run = std::min(same, 19u);
      ops.push_back({17, run - 4, 0});
      i += run;
    } else if (same >= 4) {
      const uint32_t run = std::min(same, 5u);
      ops.push_back({19, run - 4, change_symbol(previous[i], lens[i])});
      i += run;
    } else {
      ops.push_back({change_symbol(previous[i], lens[i]), 0, 0});
      ++i;
    }
  }
  return ops;
}

class Compressor {
 public:
  Compressor(const Bytes &data, const LzxOptions &options)
      : data_(data), options_(options), slots_(options.window_bits),
        parser_(data_, (1u << options.window_bits) - 3, options.max_chain),
        nmain_(kLiterals + kLengthHeaders * slots_.count()), main_lens_(nmain_, 0), length_lens_(kLengthSymbols, 0) {}

  LzxCompressed run() {
    size_t begin = 0;
    for (const LzxBlockPlan &plan : options_.blocks) {
      if (begin >= data_.size()) break;
      begin = block(plan.kind, begin, plan.nbytes);
    }
    while (begin < data_.size()) begin = block(options_.default_kind, begin, options_.default_block_nbytes);
    if (out_pos_ > frame_start_) end_frame();
    return std::move(result_);
  }

 private:
  // Codes one block of up to `nbytes` from `begin`; returns where the next block begins.
  size_t block(LzxBlockKind kind, size_t begin, uint32_t nbytes) {
    if (nbytes == 0 || nbytes > kMaxBlockNbytes) throw std::invalid_argument("LZX block size out of range");
    const size_t end = std::min(data_.size(), begin + nbytes);
    const size_t first_frame = begin / options_.frame_nbytes;
    if (first_frame != (end - 1) / options_.frame_nbytes) ++result_.stats.blocks_spanning_frames;
    if (kind == LzxBlockKind::uncompressed) {
      uncompressed_block(begin, end);
    } else {
      std::vector<LzxItem> items;
      parser_.parse(begin, end, options_.frame_nbytes, &items);
      coded_block(kind, items, static_cast<uint32_t>(end - begin));
    }
    return end;
  }

  void block_header(LzxBlockKind kind, uint32_t nbytes) {
    if (pad_byte_due_) {
      const uint8_t pad = 0;
      w_.raw(&pad, 1);
      pad_byte_due_ = false;
    }
    if (!translation_header_written_) {
      translation_header_written_ = true;
      if (options_.translation_nbytes == 0) {
        w_.bits(0, 1);
      } else {
        w_.bits(1, 1).bits(options_.translation_nbytes >> 16, 16).bits(options_.translation_nbytes & 0xFFFF, 16);
      }
    }
    w_.bits(static_cast<uint32_t>(kind), 3).bits(nbytes, 24);
    ++headers_in_frame_;
    ++result_.stats.blocks[static_cast<size_t>(kind)];
  }

  void uncompressed_block(size_t begin, size_t end) {
    block_header(LzxBlockKind::uncompressed, static_cast<uint32_t>(end - begin));
    w_.pad_uncompressed();
    for (uint32_t r : parser_.repeated()) w_.raw_le32(r);
    for (size_t at = begin; at < end;) {
      const size_t chunk = std::min(end, frame_start_ + options_.frame_nbytes) - at;
      w_.raw(&data_[at], chunk);
      at += chunk;
      advance(chunk);
    }
    parser_.skip_to(end);
    // Its padding byte goes before the next header, in whatever frame that header falls.
    pad_byte_due_ = (end - begin) % 2 != 0;
    result_.stats.odd_uncompressed_blocks += pad_byte_due_ ? 1 : 0;
  }

  uint32_t main_symbol(const LzxItem &item) const {
    if (item.len == 0) return item.value;
    return kLiterals + slots_.slot_of(item.value) * kLengthHeaders + std::min(item.len - 2, kLengthHeaders - 1);
  }

  // Whether a match's extra bits end in an aligned-tree symbol in an aligned-offset block.
  bool has_aligned_bits(const LzxItem &item) const {
    return item.len != 0 && slots_.extra(slots_.slot_of(item.value)) >= 3;
  }

  void coded_block(LzxBlockKind kind, const std::vector<LzxItem> &items, uint32_t nbytes) {
    std::vector<uint32_t> main_freq(nmain_, 0), length_freq(kLengthSymbols, 0), aligned_freq(kAlignedSymbols, 0);
    for (const LzxItem &item : items) {
      ++main_freq[main_symbol(item)];
      if (item.len >= 2 + kLengthHeaders - 1) ++length_freq[item.len - 2 - (kLengthHeaders - 1)];
      if (has_aligned_bits(item)) ++aligned_freq[(item.value - slots_.first(slots_.slot_of(item.value))) & 7];
    }
    const std::vector<uint8_t> aligned_lens = code_lengths(aligned_freq, kMaxAlignedCodeLen);
    if (kind == LzxBlockKind::smallest) {
      // Only the low three offset bits differ: three plain bits, or an aligned code and its tree.
      uint64_t verbatim_bits = 0, aligned_bits = kAlignedSymbols * 3;
      for (uint32_t s = 0; s < kAlignedSymbols; ++s) {
        verbatim_bits += 3ull * aligned_freq[s];
        aligned_bits += uint64_t{aligned_lens[s]} * aligned_freq[s];
      }
      kind = aligned_bits < verbatim_bits ? LzxBlockKind::aligned : LzxBlockKind::verbatim;
    }
    block_header(kind, nbytes);
    if (kind == LzxBlockKind::aligned) {
      for (uint8_t len : aligned_lens) w_.bits(len, 3);
    }
    const std::vector<uint8_t> main_lens = code_lengths(main_freq, kMaxTreeCodeLen);
    const std::vector<uint8_t> length_lens = code_lengths(length_freq, kMaxTreeCodeLen);
    write_tree(&main_lens_[0], &main_lens[0], kLiterals);
    write_tree(&main_lens_[kLiterals], &main_lens[kLiterals], nmain_ - kLiterals);
    write_tree(&length_lens_[0], &length_lens[0], kLengthSymbols);
    main_lens_ = main_lens;
    length_lens_ = length_lens;
    const std::vector<uint32_t> main_codes = canonical_codes(main_lens);
    const std::vector<uint32_t> length_codes = canonical_codes(length_lens);
    const std::vector<uint32_t> aligned_codes = canonical_codes(aligned_lens);
    for (const LzxItem &item : items) {
      const uint32_t symbol = main_symbol(item);
      w_.bits(main_codes[symbol], main_lens[symbol]);
      if (item.len == 0) {
        advance(1);
        continue;
      }
      if (item.len >= 2 + kLengthHeaders - 1) {
        const uint32_t length_symbol = item.len - 2 - (kLengthHeaders - 1);
        w_.bits(length_codes[length_symbol], length_lens[length_symbol]);
      }
      const uint32_t slot = slots_.slot_of(item.value);
      const uint32_t extra = slots_.extra(slot);
      const uint32_t extra_value = item.value - slots_.first(slot);
      if (kind == LzxBlockKind::aligned && extra >= 3) {
        w_.bits(extra_value >> 3, extra - 3);
        w_.bits(aligned_codes[extra_value & 7], aligned_lens[extra_value & 7]);
      } else {
        w_.bits(extra_value, extra);
      }
      record_match(item);
      advance(item.len);
    }
  }

  // Sends the lengths of one range of a tree against the previous block's.
  void write_tree(const uint8_t *previous, const uint8_t *lens, uint32_t n) {
    const std::vector<TreeOp> ops = tree_ops(previous, lens, n);
    std::vector<uint32_t> freq(kPretreeSymbols, 0);
    for (const TreeOp &op : ops) {
      ++freq[op.symbol];
      if (op.symbol == 19) ++freq[op.second];
    }
    const std::vector<uint8_t> pre_lens = code_lengths(freq, kMaxPretreeCodeLen);
    const std::vector<uint32_t> pre_codes = canonical_codes(pre_lens);
    for (uint8_t len : pre_lens) w_.bits(len, 4);
    for (const TreeOp &op : ops) {
      w_.bits(pre_codes[op.symbol], pre_lens[op.symbol]);
      ++result_.stats.pretree_symbols[op.symbol];
      if (op.symbol == 17) w_.bits(op.extra, 4);
      if (op.symbol == 18) w_.bits(op.extra, 5);
      if (op.symbol == 19) {
        w_.bits(op.extra, 1).bits(pre_codes[op.second], pre_lens[op.second]);
        ++result_.stats.pretree_symbols[op.second];
      }
    }
  }

  void record_match(const LzxItem &item) {
    LzxStats &stats = result_.stats;
    ++stats.matches;
    stats.longest_match = std::max(stats.longest_match, item.len);
    if (item.value < 3) {
      ++stats.repeat_matches[item.value];
    } else {
      stats.farthest_offset = std::max(stats.farthest_offset, item.value - 2);
    }
  }

  // Counts `n` output bytes; a full frame ends here, its last word padded.
  void advance(size_t n) {
    out_pos_ += n;
    if (out_pos_ - frame_start_ == options_.frame_nbytes && out_pos_ < data_.size()) end_frame();
  }

  void end_frame() {
    Block frame{.compressed = w_.finish(), .uncompressed_nbytes = static_cast<uint16_t>(out_pos_ - frame_start_)};
    if (frame.compressed.size() > kMaxCompressedFrameNbytes) throw std::runtime_error("LZX frame too large");
    result_.frames.push_back(std::move(frame));
    if (headers_in_frame_ >= 2) ++result_.stats.frames_with_several_headers;
    headers_in_frame_ = 0;
    w_ = LzxBitWriter();
    frame_start_ = out_pos_;
  }

  const Bytes &data_;
  const LzxOptions &options_;
  const Slots slots_;
  LzxParser parser_;
  const uint32_t nmain_;
  std::vector<uint8_t> main_lens_;    // the previous block's, which the next block's are coded against
  std::vector<uint8_t> length_lens_;
  LzxBitWriter w_;
  size_t out_pos_ = 0;
  size_t frame_start_ = 0;
  uint32_t headers_in_frame_ = 0;
  bool pad_byte_due_ = false;
  bool translation_header_written_ = false;
  LzxCompressed result_;
};

/*
 * Makes the 32-bit value after an 0xE8 byte at output position `here` relative, so that the
 * decoder's undoing restores it: values in [-here, size - here) become value + here (in [0, size)),
 * values in [size - here, size) become value - size (in [-here, 0)); others stay.
 */
bool translate_value(uint8_t *p, uint32_t here, uint32_t size) {
  const int64_t value = static_cast<int32_t>(p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24);
  if (value < -int64_t{here} || value >= int64_t{size}) return false;
  const int64_t coded = value < int64_t{size} - here ? value + here : value - size;
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(static_cast<uint64_t>(coded) >> (8 * i));
  return true;
}

}  // namespace

uint32_t lzx_translate_calls(Bytes &data, uint32_t translation_nbytes, uint32_t frame_nbytes) {
  if (translation_nbytes == 0 || translation_nbytes >= 0x80000000u) {
    throw std::invalid_argument("LZX translation size out of range");
  }
  uint32_t changed = 0;
  for (size_t start = 0, frame = 0; start < data.size() && frame < kTranslatedFrames; start += frame_nbytes, ++frame) {
    const size_t n = std::min<size_t>(frame_nbytes, data.size() - start);
    // The decoder reads the frame's last 6 bytes as 0xE8 and keeps them, so a value that reaches
    // into them cannot be restored: only 0xE8 bytes before offset n - 10 are translated. The
    // scan still steps over the 4 bytes after every 0xE8, as the decoder's does.
    for (size_t i = 0; i + 10 < n; ++i) {
      if (data[start + i] != 0xE8) continue;
      changed += translate_value(&data[start + i + 1], static_cast<uint32_t>(start + i), translation_nbytes) ? 1 : 0;
      i += 4;
    }
  }
  return changed;
}

LzxCompressed lzx_compress(const Bytes &folder_data, const LzxOptions &options) {
  if (options.window_bits < kLzxWindowBitsMin || options.window_bits > kLzxWindowBitsMax) {
    throw std::invalid_argument("LZX window out of range");
  }
  if (options.frame_nbytes == 0 || options.frame_nbytes > kMaxFrameNbytes) {
    throw std::invalid_argument("LZX frame size out of range");
  }
  Bytes data = folder_data;
  uint32_t translated = 0;
  if (options.translation_nbytes != 0)
    translated = lzx_translate_calls(data, options.translation_nbytes, options.frame_nbytes);
  LzxCompressed result = Compressor(data, options).run();
  result.stats.translated_calls = translated;
  return result;
}

Folder lzx_folder(std::vector<File> files, const LzxOptions &options) {
  Folder folder{.method_word = lzx_method_word(options.window_bits), .files = std::move(files)};
  folder.blocks = lzx_compress(folder_data(folder), options).frames;
  return folder;
}

}  // namespace cabtest
