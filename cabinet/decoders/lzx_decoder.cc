// lzx_decoder.cc - decodes LZX frames: blocks, trees and matches over a window that runs on across
// a folder's frames, then the undoing of the call translation on each frame's output.
#include "cabinet/decoders/lzx_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "cabinet/decoders/decoder_handle.h"
#include "cabinet/decoders/huffman_table.h"
#include "cabinet/decoders/lzx_tables.h"
#include "cabinet/decoders/match_copy.h"
#include "cabinet/decoders/msb16_bit_reader.h"

namespace cab {
namespace {

using namespace lzx;

constexpr uint32_t kInSlackNbytes = 6144;  // what a frame may grow by when it does not compress

/*
 * First-level widths. They only trade table-building time against lookups: the most entries a
 * complete code can need (huffman_capacity) is what each table holds, so every complete code is
 * accepted, whatever the widths. Codes longer than the root go through one level of sub-tables,
 * never two (see the static_asserts).
 */
constexpr uint32_t kMainRootBits = 11;
constexpr uint32_t kLengthRootBits = 8;
constexpr uint32_t kPretreeRootBits = 8;
constexpr uint32_t kAlignedRootBits = 7;
constexpr uint32_t kMaxPretreeCodeLen = (1u << kPretreeLenBits) - 1;
constexpr uint32_t kMaxAlignedCodeLen = (1u << kAlignedLenBits) - 1;
static_assert(kMaxCodeLen <= 2 * kMainRootBits && kMaxCodeLen <= 2 * kLengthRootBits &&
              kMaxPretreeCodeLen <= 2 * kPretreeRootBits && kMaxAlignedCodeLen <= kAlignedRootBits);

constexpr uint32_t kMainCapacity = huffman_capacity(kMaxMainSymbols, kMainRootBits, kMaxCodeLen);
constexpr uint32_t kLengthCapacity = huffman_capacity(kLengthSymbols, kLengthRootBits, kMaxCodeLen);
constexpr uint32_t kPretreeCapacity = huffman_capacity(kPretreeSymbols, kPretreeRootBits, kMaxPretreeCodeLen);
constexpr uint32_t kAlignedCapacity = 1u << kAlignedRootBits;

/*
 * Result words carry the symbol in bits 16..31; kInvalid fills the slots no code reaches, which
 * only an empty code or an incomplete aligned code leaves. The main tree's words say kLiteral
 * with the byte for elements below 256, and carry the element less 256 (position slot times 8
 * plus length header) for matches.
 */
constexpr uint32_t kInvalid = 1u << 12;
constexpr uint32_t kLiteral = 1u << 13;
static_assert(((kInvalid | kLiteral) & (kHuffmanSubtable | kHuffmanNbitsMask | 0xF00)) == 0);

constexpr std::array<uint32_t, kMaxMainSymbols> make_symbol_results(bool main) {
  std::array<uint32_t, kMaxMainSymbols> results{};
  for (uint32_t s = 0; s < kMaxMainSymbols; ++s) {
    results[s] = !main ? s << 16 : s < kLiterals ? kLiteral | s << 16 : (s - kLiterals) << 16;
  }
  return results;
}
constexpr std::array<uint32_t, kMaxMainSymbols> kSymbolResults = make_symbol_results(false);
constexpr std::array<uint32_t, kMaxMainSymbols> kMainResults = make_symbol_results(true);


/*
 * The window is linear: `pos` only grows while a frame is decoded, so a match never wraps and
 * the bytes at and after `pos` are free for a copy to overshoot. Before a frame that would not
 * fit, the last window_nbytes bytes move to the front. With room for a window and a frame after
 * the history, that move costs one copy per output byte at most.
 */
uint32_t window_buffer_nbytes(uint32_t window_nbytes) {
  return 2 * window_nbytes + kFrameNbytes + kMatchCopySlackNbytes;
}

struct LzxHandle {
  uint32_t tag;  // first, as every decoder handle
  uint32_t max_block_nbytes;
  const CabOps *ops;
  uint8_t *window;
  uint32_t window_nbytes;
  uint32_t nmain;  // main tree elements: literals and eight per position slot

  // The folder's stream, from reset on.
  uint32_t pos;  // next window byte to write; the history is the bytes before it
  uint32_t r[3];
  bool header_due;
  uint32_t kind;        // the current block's kind, 0 before the first
  uint32_t block_left;  // its bytes still to decode
  bool block_odd;       // an uncompressed block of odd size: one padding byte follows it
  bool translation_header_due;
  uint32_t translation_nbytes;  // 0: no translation
  uint32_t translation_pos;     // output position of the next translated frame
  uint32_t frames;              // frames decoded since reset, failed ones included
  bool failed;

  // Lengths of the last trees read: the next block's lengths are coded against them.
  uint8_t main_lens[kMaxMainSymbols];
  uint8_t length_lens[kLengthSymbols];
  uint32_t main_table[kMainCapacity];
  uint32_t length_table[kLengthCapacity];
  uint32_t aligned_table[kAlignedCapacity];
  uint32_t pretree_table[kPretreeCapacity];
  // The frame's words, byte-swapped for the bit reader.
  uint8_t words[CAB_BLOCK_MAX_NBYTES + kInSlackNbytes + 1 + Msb16BitReader::kPadNbytes];
};

/*
 * Builds a decoding table for `lens`. A complete code or an empty one (all lengths 0) is
 * accepted; with `accept_incomplete` any code that is not over-subscribed is. The builder alone
 * would also take a lone code of length 1, which is incomplete.
 */
bool build_table(uint32_t *table, uint32_t root_bits, uint32_t capacity, uint32_t max_code_len,
                 bool accept_incomplete, const uint8_t *lens, uint32_t nsymbols,
                 const uint32_t *results = kSymbolResults.data()) {
  const HuffmanTableSpec spec = {BitOrder::msb_first, root_bits, capacity, max_code_len, accept_incomplete,
                                 results,             kInvalid,  0,        0};
  const uint32_t ncodes = static_cast<uint32_t>(nsymbols - std::count(lens, lens + nsymbols, 0));
  return !(ncodes == 1 && !accept_incomplete) && huffman_table_build(table, spec, lens, nsymbols) == HuffmanStatus::ok;
}

/*
 * Margins of the fast item loop, which runs while the reader has kFastInMarginNbytes of its
 * copied words (padding included) left. A round refills at most twice, after one refill before
 * the first round, each time reading 8 bytes and moving on by up to 7; it writes at most three
 * literals or one match, which is checked against the block's end like every match.
 */
constexpr uint32_t kFastInMarginNbytes = 24;
constexpr uint32_t kFastOutMarginNbytes = 3;
// A round's bits: a main code, a length code, then after a refill the offset's extra bits (or
// the top ones and an aligned code), then the next round's look-up.
static_assert(kMaxCodeLen + kMaxCodeLen <= Msb16BitReader::kRefillMinBits);
static_assert(17 + kMainRootBits <= Msb16BitReader::kRefillMinBits &&
              14 + kMaxAlignedCodeLen + kMainRootBits <= Msb16BitReader::kRefillMinBits);
static_assert(3 * kMainRootBits + kMainRootBits <= Msb16BitReader::kRefillMinBits);

// Decodes one symbol; at least kMaxCodeLen bits must be valid. Returns kInvalid in its flag bit
// for a slot no code reaches, consuming nothing then.
template <uint32_t kRootBits>
[[gnu::always_inline]] inline uint32_t decode_symbol(const uint32_t *table, Msb16BitReader &in) {
  uint32_t entry = table[in.peek(kRootBits)];
  if ((entry & kHuffmanSubtable) != 0) {
    in.consume(kRootBits);
    entry = table[(entry >> 16) + in.peek(huffman_level_len(entry))];
  }
  if ((entry & kInvalid) == 0) {
    in.consume(entry & kHuffmanNbitsMask);
  }
  return entry;
}

// One call of decode: the frame's input, the reader over it and the handle's stream state.
class FrameDecoder {
 public:
  FrameDecoder(LzxHandle &h, const uint8_t *in, uint32_t in_nbytes) : h_(h) {
    in_.in = in;
    in_.in_nbytes = in_nbytes;
    in_.words = h.words;
    // Every frame starts afresh at its first byte: with bits, or with the bytes of an
    // uncompressed block it continues (read_block_header restarts the bits after those).
    in_.restart(0);
    raw_pos_ = 0;
  }

  // Decodes the frame's `n` bytes into the window at h.pos.
  bool run(uint32_t n) {
    while (n > 0) {
      if (h_.header_due && !read_block_header()) {
        return false;
      }
      const uint32_t k = std::min(n, h_.block_left);
      bool ok;
      switch (h_.kind) {
        case kVerbatim: ok = decode_items<false>(h_.pos + k); break;
        case kAligned: ok = decode_items<true>(h_.pos + k); break;
        default: ok = copy_raw(k); break;
      }
      if (!ok) {
        return false;
      }
      n -= k;
      h_.block_left -= k;
      h_.header_due = h_.block_left == 0;
    }
    return true;
  }

 private:
  bool read_block_header() {
    if (h_.kind == kUncompressed) {
      in_.restart(raw_pos_ + (h_.block_odd ? 1 : 0));
    }
    in_.refill();
    if (h_.translation_header_due) {
      h_.translation_header_due = false;
      if (in_.take(1) != 0) {
        const uint32_t high = in_.take(16);
        h_.translation_nbytes = high << 16 | in_.take(16);
      }
      in_.refill();
    }
    const uint32_t kind = in_.take(kBlockKindBits);
    const uint32_t size = in_.take(kBlockSizeBits);
    bool ok;
    switch (kind) {
      case kAligned: ok = read_aligned_tree() && read_main_and_length_trees(size); break;
      case kVerbatim: ok = read_main_and_length_trees(size); break;
      case kUncompressed: ok = read_uncompressed_header(); break;
      default: ok = false; break;
    }
    if (!ok || in_.overran()) {
      return false;
    }
    h_.kind = kind;
    h_.block_left = size;
    h_.block_odd = (size & 1) != 0;
    h_.header_due = false;
    return true;
  }

  // The aligned tree is sent whole, never against the previous block's.
  bool read_aligned_tree() {
    uint8_t lens[kAlignedSymbols];
    in_.refill();
    for (uint8_t &len : lens) {
      len = static_cast<uint8_t>(in_.take(kAlignedLenBits));
    }
    return build_table(h_.aligned_table, kAlignedRootBits, kAlignedCapacity, kMaxAlignedCodeLen, true, lens,
                       kAlignedSymbols);
  }

  bool read_main_and_length_trees(uint32_t size) {
    uint8_t *const main = h_.main_lens;
    if (!read_lengths(main, 0, kLiterals) || !read_lengths(main, kLiterals, h_.nmain) ||
        !read_lengths(h_.length_lens, 0, kLengthSymbols) ||
        !build_table(h_.main_table, kMainRootBits, kMainCapacity, kMaxCodeLen, false, main, h_.nmain,
                     kMainResults.data()) ||
        !build_table(h_.length_table, kLengthRootBits, kLengthCapacity, kMaxCodeLen, false, h_.length_lens,
                     kLengthSymbols)) {
      return false;
    }
    // A block with bytes to make and no main code could not make one; saying so here spares the
    // symbol loop a check.
    return size == 0 || std::any_of(main, main + h_.nmain, [](uint8_t len) { return len != 0; });
  }

  /*
   * Reads the new lengths of elements [first, end) over the previous ones, in place: every
   * element's new length depends only on its own previous length, or, in a run of symbol 19,
   * on the previous length of the run's first element, which is read before the run is written.
   */
  bool read_lengths(uint8_t *lens, uint32_t first, uint32_t end) {
    uint8_t pre_lens[kPretreeSymbols];
    for (uint32_t i = 0; i < kPretreeSymbols; ++i) {
      if (i % 12 == 0) {
        in_.refill();
      }
      pre_lens[i] = static_cast<uint8_t>(in_.take(kPretreeLenBits));
    }
    if (!build_table(h_.pretree_table, kPretreeRootBits, kPretreeCapacity, kMaxPretreeCodeLen, false, pre_lens,
                     kPretreeSymbols)) {
      return false;
    }
    for (uint32_t i = first; i < end;) {
      in_.refill();
      const uint32_t entry = decode_symbol<kPretreeRootBits>(h_.pretree_table, in_);
      if ((entry & kInvalid) != 0) {
        return false;
      }
      const uint32_t symbol = entry >> 16;
      if (symbol < kPretreeZeros4) {
        lens[i] = changed_length(lens[i], symbol);
        ++i;
        continue;
      }
      uint32_t run;
      uint8_t value = 0;
      if (symbol == kPretreeZeros4) {
        run = 4 + in_.take(4);
      } else if (symbol == kPretreeZeros20) {
        run = 20 + in_.take(5);
      } else {
        run = 4 + in_.take(1);
        const uint32_t second = decode_symbol<kPretreeRootBits>(h_.pretree_table, in_);
        // Only a change can follow: a run inside a run means nothing.
        if ((second & kInvalid) != 0 || (second >> 16) >= kPretreeZeros4) {
          return false;
        }
        value = changed_length(lens[i], second >> 16);
      }
      // A run may be longer than the elements left; it ends with them.
      run = std::min(run, end - i);
      std::memset(lens + i, value, run);
      i += run;
    }
    return !in_.overran();
  }

  static uint8_t changed_length(uint8_t previous, uint32_t symbol) {
    return static_cast<uint8_t>((previous + 17 - symbol) % 17);
  }

  /*
   * The header's bits are followed by 1 to 16 bits of padding up to a word boundary (a header
   * that ends on one is followed by a whole padding word), then R0, R1 and R2 as bytes.
   */
  bool read_uncompressed_header() {
    const size_t at = in_.start + 2 * (in_.consumed_bits() / 16 + 1);
    if (at + 12 > in_.in_nbytes) {
      return false;
    }
    for (uint32_t i = 0; i < 3; ++i) {
      h_.r[i] = load32(in_.in + at + 4 * i);
    }
    raw_pos_ = at + 12;
    return true;
  }

  bool copy_raw(uint32_t n) {
    if (n == 0) {
      return true;
    }
    if (n > in_.in_nbytes - std::min<size_t>(raw_pos_, in_.in_nbytes)) {
      return false;
    }
    std::memcpy(h_.window + h_.pos, in_.in + raw_pos_, n);
    raw_pos_ += n;
    h_.pos += n;
    return true;
  }

  // What the item loops carry: the bit reader, the window position and the repeated offsets.
  struct ItemState {
    Msb16BitReader in;
    uint32_t pos;
    uint32_t r0, r1, r2;
  };

  /*
   * Decodes literals and matches while `pos` is below `until` (and, in the fast loop, the input
   * has kFastInMarginNbytes left). A match must end by `end`: it may cross neither its block's
   * end nor its frame's, and must reach back no further than the folder's output so far, nor
   * beyond the window. Each round starts with a refill and the next main-tree entry looked up;
   * a refill only adds bits after the valid ones, so that look-up stays good. The fast loop
   * refills without testing for the input's end and takes up to three literals per refill;
   * the careful one reads zero bits past the input, so it always ends, and whether it overran is
   * judged once afterwards.
   */
  template <bool kAlignedBlock, bool kFast>
  [[gnu::always_inline]] inline bool items(ItemState &state, uint32_t until, uint32_t end, size_t in_until) {
    Msb16BitReader in = state.in;
    uint8_t *const window = h_.window;
    uint8_t *out = window + state.pos;
    uint8_t *const out_until = window + until;
    uint8_t *const out_end = window + end;
    uint32_t r0 = state.r0, r1 = state.r1, r2 = state.r2;
    const uint32_t *const main = h_.main_table;
    const uint32_t *const length_table = h_.length_table;
    const uint32_t *const aligned_table = h_.aligned_table;
    const uint32_t window_nbytes = h_.window_nbytes;
    const auto refill = [&] {
      if constexpr (kFast) {
        in.refill_unchecked();
      } else {
        in.refill();
      }
    };
    const auto literal = [&](uint32_t entry) {
      in.consume(entry & kHuffmanNbitsMask);
      *out++ = static_cast<uint8_t>(entry >> 16);
      return main[in.peek(kMainRootBits)];
    };
    bool ok = true;
    refill();
    uint32_t entry = main[in.peek(kMainRootBits)];
    while (out < out_until && (!kFast || in.pos < in_until)) {
      refill();
      if ((entry & kLiteral) != 0) {
        entry = literal(entry);
        // A literal the root resolves has at most kMainRootBits bits.
        if (kFast && (entry & kLiteral) != 0) {
          entry = literal(entry);
          if ((entry & kLiteral) != 0) {
            entry = literal(entry);
          }
        }
        continue;
      }
      if ((entry & kHuffmanSubtable) != 0) {
        in.consume(kMainRootBits);
        entry = main[(entry >> 16) + in.peek(huffman_level_len(entry))];
        if ((entry & kLiteral) != 0) {
          entry = literal(entry);
          continue;
        }
      }
      // The main code is complete here (an empty one is refused with the block's header), so
      // no slot is invalid.
      in.consume(entry & kHuffmanNbitsMask);
      const uint32_t element = entry >> 16;
      uint32_t len = (element & (kLengthHeaders - 1)) + kMinMatch;
      if ((element & (kLengthHeaders - 1)) == kLengthHeaders - 1) {
        const uint32_t length = decode_symbol<kLengthRootBits>(length_table, in);
        if ((length & kInvalid) != 0) {
          ok = false;
          break;
        }
        len += length >> 16;
      }
      refill();
      const uint32_t slot = element / kLengthHeaders;
      uint32_t offset;
      if (slot >= kRepeatedSlots) {
        const uint32_t extra = kExtraBits[slot];
        offset = kSlotPositions[slot] - kPositionToOffset;
        if (kAlignedBlock && extra >= kAlignedBits) {
          offset += in.take(extra - kAlignedBits) << kAlignedBits;
          const uint32_t aligned = decode_symbol<kAlignedRootBits>(aligned_table, in);
          if ((aligned & kInvalid) != 0) {
            ok = false;
            break;
          }
          offset += aligned >> 16;
        } else {
          offset += in.take(extra);
        }
        r2 = r1;
        r1 = r0;
        r0 = offset;
      } else {
        if (slot == 1) {
          std::swap(r0, r1);
        } else if (slot == 2) {
          std::swap(r0, r2);
        }
        offset = r0;
        // Repeated offsets may come from an uncompressed block's header, unchecked until now.
        if (offset - 1 >= window_nbytes) {
          ok = false;
          break;
        }
      }
      if (len > static_cast<uint32_t>(out_end - out) || offset > static_cast<uint32_t>(out - window)) {
        ok = false;
        break;
      }
      entry = main[in.peek(kMainRootBits)];
      copy_match(out, offset, len);
      out += len;
    }
    state = {in, static_cast<uint32_t>(out - window), r0, r1, r2};
    return ok;
  }

  template <bool kAlignedBlock>
  bool fast_items_generic(ItemState &state, uint32_t until, uint32_t end, size_t in_until) {
    return items<kAlignedBlock, true>(state, until, end, in_until);
  }

  // The same loop where the processor has BMI2, whose shifts by a variable count need fewer
  // instructions and no fixed shift register.
  template <bool kAlignedBlock>
  [[gnu::target("bmi,bmi2")]] bool fast_items_bmi2(ItemState &state, uint32_t until, uint32_t end,
                                                   size_t in_until) {
    return items<kAlignedBlock, true>(state, until, end, in_until);
  }

  // Decodes literals and matches up to window position `end`: the fast loop while the input
  // and the output have room for whole rounds, then the careful loop.
  template <bool kAlignedBlock>
  bool decode_items(uint32_t end) {
    static const bool has_bmi2 = __builtin_cpu_supports("bmi2");
    ItemState state = {in_, h_.pos, h_.r[0], h_.r[1], h_.r[2]};
    bool ok = true;
    if (end - state.pos > kFastOutMarginNbytes && in_.pos + kFastInMarginNbytes <= in_.words_nbytes) {
      const uint32_t until = end - kFastOutMarginNbytes;
      const size_t in_until = in_.words_nbytes - kFastInMarginNbytes;
      ok = has_bmi2 ? fast_items_bmi2<kAlignedBlock>(state, until, end, in_until)
                    : fast_items_generic<kAlignedBlock>(state, until, end, in_until);
    }
    ok = ok && items<kAlignedBlock, false>(state, end, end, 0);
    in_ = state.in;
    h_.pos = state.pos;
    h_.r[0] = state.r0;
    h_.r[1] = state.r1;
    h_.r[2] = state.r2;
    return ok && !in_.overran();
  }

  LzxHandle &h_;
  Msb16BitReader in_;
  size_t raw_pos_;  // next input byte of an uncompressed block
};

/*
 * Undoes the call translation on one frame of output, which starts at output position `pos`:
 * a 32-bit value after an 0xE8 byte that is below `translation_nbytes` was made relative to its
 * byte's position, and one within that position below zero was moved up by the translation
 * size. The frame's last 6 bytes are never scanned: the scan sees them as 0xE8, so a value that
 * reaches into them is read with those, and what would be written there is dropped.
 */
void undo_call_translation(uint8_t *data, uint32_t n, uint32_t translation_nbytes, uint32_t pos) {
  constexpr uint32_t kTail = 6;
  if (n < kTail) {
    return;
  }
  uint8_t tail[kTail];
  std::memcpy(tail, data + n - kTail, kTail);
  std::memset(data + n - kTail, 0xE8, kTail);
  uint8_t *const scan_end = data + n - kTail;
  for (uint8_t *p = data; p < scan_end;) {
    p = static_cast<uint8_t *>(std::memchr(p, 0xE8, static_cast<size_t>(scan_end - p)));
    if (p == nullptr) {
      break;
    }
    const uint32_t here = pos + static_cast<uint32_t>(p - data);
    const uint32_t value = load32(p + 1);
    uint32_t original = value;
    if (value < translation_nbytes) {
      original = value - here;
    } else if (0u - value <= here) {
      original = value + translation_nbytes;
    }
    for (uint32_t i = 0; i < 4; ++i) {
      p[1 + i] = static_cast<uint8_t>(original >> (8 * i));
    }
    p += 5;
  }
  std::memcpy(data + n - kTail, tail, kTail);
}

void reset_stream(LzxHandle *h) {
  std::memset(h->main_lens, 0, sizeof h->main_lens);
  std::memset(h->length_lens, 0, sizeof h->length_lens);
  h->pos = 0;
  h->r[0] = h->r[1] = h->r[2] = 1;
  h->header_due = true;
  h->kind = 0;
  h->block_left = 0;
  h->block_odd = false;
  h->translation_header_due = true;
  h->translation_nbytes = 0;
  h->translation_pos = 0;
  h->frames = 0;
  h->failed = false;
}

// The window bits of a size 2^15 to 2^21, or 0 for any other size.
uint32_t window_bits_of(uint32_t window_nbytes) {
  for (uint32_t bits = kMinWindowBits; bits <= kMaxWindowBits; ++bits) {
    if (window_nbytes == 1u << bits) {
      return bits;
    }
  }
  return 0;
}

int lzx_create(uint32_t *max_block_nbytes, uint32_t window, const CabOps *ops, uint32_t *in_capacity_nbytes,
               void **handle) {
  bool allocate;
  const int prologue = begin_create(max_block_nbytes, kInSlackNbytes, ops, in_capacity_nbytes, handle, &allocate);
  if (!allocate) {
    return prologue;
  }
  const uint32_t window_bits = window_bits_of(window);
  if (window_bits == 0) {
    return DEC_BAD_WINDOW;
  }
  void *memory = ops->cab_alloc(sizeof(LzxHandle));
  if (memory == nullptr) {
    return DEC_NO_MEMORY;
  }
  auto *window_buffer = static_cast<uint8_t *>(ops->cab_alloc(window_buffer_nbytes(window)));
  if (window_buffer == nullptr) {
    ops->cab_free(memory);
    return DEC_NO_MEMORY;
  }
  auto *h = new (memory) LzxHandle{};
  h->tag = DEC_TAG_LZX;
  h->max_block_nbytes = *max_block_nbytes;
  h->ops = ops;
  h->window = window_buffer;
  h->window_nbytes = window;
  h->nmain = kLiterals + kLengthHeaders * slots_for_window(window_bits);
  reset_stream(h);
  *handle = h;
  return DEC_OK;
}

int lzx_decode(void *handle, const uint8_t *in, uint32_t in_nbytes, uint8_t *out, uint32_t *out_nbytes) {
  LzxHandle *h = checked_handle<LzxHandle>(handle, DEC_TAG_LZX);
  if (h == nullptr) {
    return DEC_BAD_CONTEXT;
  }
  if (out_nbytes == nullptr || out == nullptr || (in == nullptr && in_nbytes != 0) ||
      *out_nbytes > h->max_block_nbytes || in_nbytes > h->max_block_nbytes + kInSlackNbytes) {
    return DEC_BAD_ARGUMENT;
  }
  const uint32_t n = *out_nbytes;
  if (h->pos + n > 2 * h->window_nbytes + kFrameNbytes) {
    std::memmove(h->window, h->window + h->pos - h->window_nbytes, h->window_nbytes);
    h->pos = h->window_nbytes;
  }
  const uint32_t frame_start = h->pos;
  const uint32_t frame_index = h->frames;
  h->frames += h->frames < kTranslatedFrames ? 1 : 0;
  h->failed = h->failed || !FrameDecoder(*h, in, in_nbytes).run(n);
  if (h->failed) {
    *out_nbytes = 0;
    return DEC_DATA_ERROR;
  }
  std::memcpy(out, h->window + frame_start, n);
  if (h->translation_nbytes != 0 && frame_index < kTranslatedFrames) {
    undo_call_translation(out, n, h->translation_nbytes, h->translation_pos);
    h->translation_pos += n;
  }
  return DEC_OK;
}

int lzx_reset(void *handle) {
  LzxHandle *h = checked_handle<LzxHandle>(handle, DEC_TAG_LZX);
  if (h == nullptr) {
    return DEC_BAD_CONTEXT;
  }
  reset_stream(h);
  return DEC_OK;
}

int lzx_destroy(void *handle) {
  LzxHandle *h = checked_handle<LzxHandle>(handle, DEC_TAG_LZX);
  if (h == nullptr) {
    return DEC_BAD_CONTEXT;
  }
  h->tag = 0;
  const CabOps *ops = h->ops;
  ops->cab_free(h->window);
  ops->cab_free(h);
  return DEC_OK;
}

} // namespace
} // namespace cab

extern "C" const CabDecoder cab_lzx_decoder = {cab::lzx_create, cab::lzx_decode, cab::lzx_reset, cab::lzx_destroy};
