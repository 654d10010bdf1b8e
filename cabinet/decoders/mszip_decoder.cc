// mszip_decoder.cc - decodes MSZIP blocks: deflate data whose history is the caller's output buffer.
#include "cabinet/decoders/mszip_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "cabinet/decoders/decoder_handle.h"
#include "cabinet/decoders/deflate_tables.h"
#include "cabinet/decoders/huffman_table.h"
#include "cabinet/decoders/lsb_bit_reader.h"
#include "cabinet/decoders/match_copy.h"

namespace cab {
namespace {

using namespace deflate;

constexpr uint32_t kHistoryNbytes = CAB_BLOCK_MAX_NBYTES;
constexpr uint32_t kInSlackNbytes = 12;  // what a block may grow by when it does not compress

/*
 * Which code sets are accepted. A code whose multi-level table, with these first-level widths,
 * would need more entries than these capacities is rejected as a data error. They are part of
 * the format as this decoder defines it, not tuning knobs; the tables it decodes with are wider
 * (below) and never decide anything.
 */
constexpr uint32_t kAcceptLitlenRootBits = 9;
constexpr uint32_t kAcceptLitlenNentries = 800;
constexpr uint32_t kAcceptDistRootBits = 6;
constexpr uint32_t kAcceptDistNentries = 150;

// The decoding tables: one look resolves every literal/length code of up to 11 bits and every
// distance code of up to 8; longer codes take one sub-table step. The capacities hold any code.
constexpr uint32_t kLitlenRootBits = 11;
constexpr uint32_t kDistRootBits = 8;
constexpr uint32_t kCodelenRootBits = kMaxCodelenCodeLen;  // one look for every code-length code
constexpr uint32_t kLitlenCapacity = huffman_capacity(kLitlenSymbols, kLitlenRootBits, kMaxCodeLen);
constexpr uint32_t kDistCapacity = huffman_capacity(kDistSymbols, kDistRootBits, kMaxCodeLen);
constexpr uint32_t kCodelenCapacity = 1u << kCodelenRootBits;

/*
 * Bit budget of the fast loop, which refills to at least 56 bits once per round. Up to three
 * literals of at most kLitlenRootBits bits each, then the look-up of the next symbol, fit. A
 * length code with its extra bits, then a distance code with its extra bits, fit too.
 */
constexpr uint32_t kFastBits = LsbBitReader::kRefillMinBits;
static_assert(3 * kLitlenRootBits + kLitlenRootBits <= kFastBits);
static_assert(kMaxCodeLen + 5 + kMaxCodeLen + 13 <= kFastBits);
// A refill reads 8 bytes and moves on by up to 7; the fast loop refills once per round, and
// once before the first.
constexpr uint32_t kFastInMarginNbytes = 16;
// A round writes at most one match of 258 bytes (or three literals) and never needs clamping.
constexpr uint32_t kMaxMatchNbytes = 258;

struct FixedTables {
  uint32_t litlen[1u << kLitlenRootBits];
  uint32_t dist[1u << kDistRootBits];
};

/*
 * The handle owns the window the decoder writes into: the first kHistoryNbytes bytes mirror
 * the caller's buffer as it was at the start of the call (fetched from it only as far back as
 * the block reaches), the block's own output follows them, so that a back-reference is a plain
 * copy from `distance` bytes back, and slack after the block lets matches copy whole words.
 * The output is copied to the caller's buffer once at the end.
 */
struct MszipHandle {
  uint32_t tag;  // first, as every decoder handle
  uint32_t max_block_nbytes;
  const CabOps *ops;
  const FixedTables *fixed;
  uint32_t litlen[kLitlenCapacity];
  uint32_t dist[kDistCapacity];
  uint32_t codelen[kCodelenCapacity];
  uint8_t window[kHistoryNbytes + CAB_BLOCK_MAX_NBYTES + kMatchCopySlackNbytes];
};

HuffmanStatus build(uint32_t *table, uint32_t root_bits, uint32_t capacity, uint32_t max_code_len,
                    bool accept_incomplete, const uint32_t *results, const uint8_t *lens, uint32_t nsymbols,
                    uint32_t limit_root_bits = 0, uint32_t limit_nentries = 0) {
  const HuffmanTableSpec spec = {BitOrder::lsb_first, root_bits, capacity,      max_code_len,  accept_incomplete,
                                 results,             kInvalid,  limit_root_bits, limit_nentries};
  return huffman_table_build(table, spec, lens, nsymbols);
}

FixedTables build_fixed_tables() {
  FixedTables tables;
  uint8_t lens[kLitlenSymbols];
  std::fill(lens, lens + 144, 8);
  std::fill(lens + 144, lens + 256, 9);
  std::fill(lens + 256, lens + 280, 7);
  std::fill(lens + 280, lens + 288, 8);
  const HuffmanStatus litlen = build(tables.litlen, kLitlenRootBits, 1u << kLitlenRootBits, kMaxCodeLen, false,
                                     kLitlenResults.data(), lens, kLitlenSymbols);
  // 30 codes of 5 bits: incomplete, and the two unused slots read as invalid.
  std::fill(lens, lens + kMaxDistCodes, 5);
  const HuffmanStatus dist = build(tables.dist, kDistRootBits, 1u << kDistRootBits, kMaxCodeLen, true,
                                   kDistResults.data(), lens, kMaxDistCodes);
  if (litlen != HuffmanStatus::ok || dist != HuffmanStatus::ok) {
    __builtin_trap();  // the fixed code is a constant: this cannot fail
  }
  return tables;
}

// Built on first use; the language makes concurrent first calls safe.
const FixedTables &fixed_tables() {
  static const FixedTables tables = build_fixed_tables();
  return tables;
}

// A code and its extra bits, consumed together: `saved` holds the bits from the code's first.
[[gnu::always_inline]] inline uint32_t code_value(uint32_t entry, uint64_t saved) {
  const uint32_t nbits = entry & kHuffmanNbitsMask;
  const auto bits = static_cast<uint32_t>(saved) & ((1u << nbits) - 1);
  return (entry >> 16) + (bits >> huffman_level_len(entry));
}

// One call of decode: the input, the window and the position in both.
class Inflater {
 public:
  Inflater(MszipHandle *handle, const uint8_t *in, uint32_t in_nbytes, const uint8_t *caller_out,
           uint32_t want_nbytes)
      : h_(handle),
        in_(in, in_nbytes),
        caller_out_(caller_out),
        block_(handle->window + kHistoryNbytes),
        history_(block_),
        at_(0),
        end_(want_nbytes) {}

  // Returns DEC_OK or DEC_DATA_ERROR; produced() tells how far it got, also after a failure.
  int run() {
    bool final_block = false;
    // A block that ends with no whole byte of input left ends the call: the format has no
    // other end marker here, and a header read from the zero fill would only fail.
    while (!final_block && at_ < end_ && !in_.at_end()) {
      in_.refill();
      final_block = in_.take(1) != 0;
      bool ok;
      switch (in_.take(2)) {
        case 0:
          ok = copy_stored();
          break;
        case 1:
          ok = decode_symbols(h_->fixed->litlen, h_->fixed->dist);
          break;
        case 2:
          ok = read_dynamic_tables() && decode_symbols(h_->litlen, h_->dist);
          break;
        default:
          ok = false;
          break;
      }
      if (!ok) {
        return DEC_DATA_ERROR;
      }
    }
    return DEC_OK;
  }

  uint32_t produced() const { return at_; }
  const uint8_t *output() const { return block_; }

 private:
  bool copy_stored() {
    in_.align_to_byte();
    uint8_t header[4];
    in_.copy_bytes(header, sizeof header);
    const uint32_t len = header[0] | (uint32_t{header[1]} << 8);
    const uint32_t nlen = header[2] | (uint32_t{header[3]} << 8);
    if (len + nlen != 0xFFFF) {
      return false;
    }
    const uint32_t n = std::min(len, end_ - at_);
    in_.copy_bytes(block_ + at_, n);
    at_ += n;
    return true;
  }

  // Reads the code lengths of a dynamic block and builds its two tables in the handle.
  bool read_dynamic_tables() {
    in_.refill();
    const uint32_t nlitlen = in_.take(5) + 257;
    const uint32_t ndist = in_.take(5) + 1;
    const uint32_t ncodelen = in_.take(4) + 4;
    if (nlitlen > kMaxLitlenCodes || ndist > kMaxDistCodes) {
      return false;
    }
    uint8_t lens[kMaxLitlenCodes + kMaxDistCodes] = {};
    for (uint32_t i = 0; i < ncodelen; ++i) {
      in_.refill();
      lens[kCodelenOrder[i]] = static_cast<uint8_t>(in_.take(3));
    }
    const uint32_t *const codelen_table = h_->codelen;
    if (build(h_->codelen, kCodelenRootBits, kCodelenCapacity, kMaxCodelenCodeLen, false, kCodelenResults.data(),
              lens, kCodelenSymbols) != HuffmanStatus::ok) {
      return false;
    }
    const uint32_t total = nlitlen + ndist;
    for (uint32_t i = 0; i < total;) {
      in_.refill();
      const uint32_t entry = codelen_table[in_.peek(kCodelenRootBits)];
      if ((entry & kInvalid) != 0) {
        return false;
      }
      in_.consume(entry & kHuffmanNbitsMask);
      const uint32_t symbol = entry >> 16;
      if (symbol < 16) {
        lens[i++] = static_cast<uint8_t>(symbol);
        continue;
      }
      uint32_t repeat;
      uint8_t value = 0;
      if (symbol == 16) {
        if (i == 0) {
          return false;
        }
        value = lens[i - 1];
        repeat = 3 + in_.take(2);
      } else if (symbol == 17) {
        repeat = 3 + in_.take(3);
      } else {
        repeat = 11 + in_.take(7);
      }
      if (repeat > total - i) {
        return false;
      }
      std::fill(lens + i, lens + i + repeat, value);
      i += repeat;
    }
    return build(h_->litlen, kLitlenRootBits, kLitlenCapacity, kMaxCodeLen, false, kLitlenResults.data(), lens,
                 nlitlen, kAcceptLitlenRootBits, kAcceptLitlenNentries) == HuffmanStatus::ok &&
           build(h_->dist, kDistRootBits, kDistCapacity, kMaxCodeLen, false, kDistResults.data(), lens + nlitlen,
                 ndist, kAcceptDistRootBits, kAcceptDistNentries) == HuffmanStatus::ok;
  }

  /*
   * Makes the window's history valid from `source` on. The history mirrors the caller's buffer
   * (its bytes from offset o sit at window offset o), which this call has not written yet; only
   * what a reference reaches is copied, in pages, so a block that stays within itself copies
   * nothing.
   */
  [[gnu::noinline]] const uint8_t *fetch_history(const uint8_t *source) {
    constexpr uintptr_t kPageNbytes = 4096;
    const auto from = static_cast<uint32_t>(source - h_->window) & ~uint32_t{kPageNbytes - 1};
    const auto to = static_cast<uint32_t>(history_ - h_->window);
    std::memcpy(h_->window + from, caller_out_ + from, to - from);
    history_ = h_->window + from;
    return history_;
  }

  [[gnu::always_inline]] inline void copy_from_history(uint8_t *dst, uint32_t distance, uint32_t len,
                                                      const uint8_t *&history) {
    if (dst - distance < history) [[unlikely]] {
      history = fetch_history(dst - distance);
    }
    copy_match(dst, distance, len);
  }

  static uint32_t resolve(const uint32_t *table, uint32_t entry, LsbBitReader &in) {
    if ((entry & kHuffmanSubtable) != 0) {
      in.consume(entry & kHuffmanNbitsMask);
      entry = table[(entry >> 16) + in.peek(huffman_level_len(entry))];
    }
    return entry;
  }

  // Where the fast loop left off: the window position, the bit buffer and the history fetched.
  struct FastState {
    const uint8_t *in;
    uint8_t *out;
    uint64_t bits;
    uint32_t nbits;
    const uint8_t *history;
  };
  enum class FastEnd { margin, end_of_block, invalid };

  /*
   * The fast loop: it runs while the input has kFastInMarginNbytes bytes left and the output
   * more than a longest match, so its refills never test for the input's end and its matches
   * are never clamped. The bit buffer lives in locals.
   */
  [[gnu::always_inline]] inline FastEnd fast_loop(FastState &state, const uint32_t *litlen, const uint32_t *dist,
                                                  const uint8_t *in_fast_end, const uint8_t *out_fast_end) {
    constexpr uint64_t kLitlenMask = (uint64_t{1} << kLitlenRootBits) - 1;
    constexpr uint64_t kDistMask = (uint64_t{1} << kDistRootBits) - 1;
    const uint8_t *in = state.in;
    uint8_t *out = state.out;
    uint64_t bits = state.bits;
    uint32_t nbits = state.nbits;
    const uint8_t *history = state.history;
    // Only the low byte of `nbits` counts: a whole entry is taken from it, whose low byte is the
    // count to consume, and the shifts take only their low six bits.
    // Loads 8 bytes behind the valid bits; what lies above the valid ones is the input that
    // follows them, so OR-ing it in again is harmless.
    const auto refill = [&] {
      bits |= load64(in) << (nbits & 63);
      in += 7 - ((nbits >> 3) & 7);
      nbits |= 56;
    };
    const auto consume = [&](uint32_t entry) {
      bits >>= entry & 63;
      nbits -= entry;
    };
    FastEnd end = FastEnd::margin;
    // Every round starts with at least kFastBits valid bits and the next symbol looked up,
    // and ends with one refill.
    refill();
    uint32_t entry = litlen[bits & kLitlenMask];
    do {
      if ((entry & kLiteral) != 0) {
        // Up to three literals per refill, the next look-up always ahead of the write.
        consume(entry);
        uint32_t literal = entry >> 16;
        entry = litlen[bits & kLitlenMask];
        *out++ = static_cast<uint8_t>(literal);
        if ((entry & kLiteral) != 0) {
          consume(entry);
          literal = entry >> 16;
          entry = litlen[bits & kLitlenMask];
          *out++ = static_cast<uint8_t>(literal);
          if ((entry & kLiteral) != 0) {
            consume(entry);
            literal = entry >> 16;
            entry = litlen[bits & kLitlenMask];
            *out++ = static_cast<uint8_t>(literal);
          }
        }
        refill();
        continue;
      }
      uint64_t saved = bits;
      consume(entry);
      if ((entry & kExceptional) != 0) [[unlikely]] {
        if ((entry & kHuffmanSubtable) != 0) {
          entry = litlen[(entry >> 16) + (bits & ((1u << huffman_level_len(entry)) - 1))];
          saved = bits;
          consume(entry);
        }
        if ((entry & kLiteral) != 0) {
          *out++ = static_cast<uint8_t>(entry >> 16);
          entry = litlen[bits & kLitlenMask];
          refill();
          continue;
        }
        if ((entry & (kEndOfBlock | kInvalid)) != 0) {
          end = (entry & kInvalid) != 0 ? FastEnd::invalid : FastEnd::end_of_block;
          break;
        }
      }
      const uint32_t len = code_value(entry, saved);
      entry = dist[bits & kDistMask];
      saved = bits;
      consume(entry);
      if ((entry & kHuffmanSubtable) != 0) [[unlikely]] {
        entry = dist[(entry >> 16) + (bits & ((1u << huffman_level_len(entry)) - 1))];
        saved = bits;
        consume(entry);
      }
      if ((entry & kInvalid) != 0) [[unlikely]] {
        end = FastEnd::invalid;
        break;
      }
      const uint32_t distance = code_value(entry, saved);
      refill();
      entry = litlen[bits & kLitlenMask];
      copy_from_history(out, distance, len, history);
      out += len;
    } while (in < in_fast_end && out < out_fast_end);
    // A look-up ahead is dropped: the careful loop looks again from the same bits.
    state = {in, out, bits, nbits & kHuffmanNbitsMask, history};
    return end;
  }

  FastEnd fast_loop_generic(FastState &state, const uint32_t *litlen, const uint32_t *dist,
                            const uint8_t *in_fast_end, const uint8_t *out_fast_end) {
    return fast_loop(state, litlen, dist, in_fast_end, out_fast_end);
  }

  // The same loop where the processor has BMI2: its shifts by a variable count and its
  // bit-field extraction need fewer instructions and no fixed shift register.
  [[gnu::target("bmi,bmi2")]] FastEnd fast_loop_bmi2(FastState &state, const uint32_t *litlen, const uint32_t *dist,
                                                     const uint8_t *in_fast_end, const uint8_t *out_fast_end) {
    return fast_loop(state, litlen, dist, in_fast_end, out_fast_end);
  }

  /*
   * Decodes literals and matches up to the end of the block or of the output: the fast loop
   * while both the input and the output have room for a whole round, then, near either end, a
   * careful loop that refills with zeros past the input and clamps matches to the output left.
   */
  bool decode_symbols(const uint32_t *litlen, const uint32_t *dist) {
    static const bool has_bmi2 = __builtin_cpu_supports("bmi2");
    uint8_t *out = block_ + at_;
    uint8_t *const out_end = block_ + end_;
    const uint8_t *history = history_;
    if (in_.pos + kFastInMarginNbytes <= in_.in_nbytes && static_cast<uint32_t>(out_end - out) > kMaxMatchNbytes) {
      FastState state = {in_.in + in_.pos, out, in_.bits, in_.nbits, history};
      const uint8_t *const in_fast_end = in_.in + in_.in_nbytes - kFastInMarginNbytes;
      const uint8_t *const out_fast_end = out_end - kMaxMatchNbytes;
      const FastEnd end = has_bmi2 ? fast_loop_bmi2(state, litlen, dist, in_fast_end, out_fast_end)
                                   : fast_loop_generic(state, litlen, dist, in_fast_end, out_fast_end);
      in_.pos = static_cast<size_t>(state.in - in_.in);
      in_.bits = state.bits;
      in_.nbits = state.nbits;
      out = state.out;
      history = state.history;
      if (end != FastEnd::margin) {
        return stop(out, history, end == FastEnd::end_of_block);
      }
    }

    LsbBitReader in = in_;
    bool ok = true;
    while (out < out_end) {
      in.refill();
      uint32_t entry = resolve(litlen, litlen[in.peek(kLitlenRootBits)], in);
      if ((entry & kLiteral) != 0) {
        in.consume(entry & kHuffmanNbitsMask);
        *out++ = static_cast<uint8_t>(entry >> 16);
        continue;
      }
      if ((entry & (kEndOfBlock | kInvalid)) != 0) {
        ok = (entry & kInvalid) == 0;
        in.consume(entry & kHuffmanNbitsMask);
        break;
      }
      uint32_t len = code_value(entry, in.bits);
      in.consume(entry & kHuffmanNbitsMask);
      entry = resolve(dist, dist[in.peek(kDistRootBits)], in);
      if ((entry & kInvalid) != 0) {
        ok = false;
        break;
      }
      const uint32_t distance = code_value(entry, in.bits);
      in.consume(entry & kHuffmanNbitsMask);
      len = std::min(len, static_cast<uint32_t>(out_end - out));
      copy_from_history(out, distance, len, history);
      out += len;
    }
    in_ = in;
    return stop(out, history, ok);
  }

  bool stop(const uint8_t *out, const uint8_t *history, bool ok) {
    at_ = static_cast<uint32_t>(out - block_);
    history_ = history;
    return ok;
  }

  MszipHandle *const h_;
  LsbBitReader in_;
  const uint8_t *const caller_out_;  // the caller's buffer: the history at the start of the call
  uint8_t *const block_;             // where this call's output starts in the window
  const uint8_t *history_;           // the window's history is valid from here to block_
  uint32_t at_;                      // bytes written by this call
  const uint32_t end_;               // bytes this call may write
};

int mszip_create(uint32_t *max_block_nbytes, uint32_t /*window*/, const CabOps *ops, uint32_t *in_capacity_nbytes,
                 void **handle) {
  bool allocate;
  const int prologue = begin_create(max_block_nbytes, kInSlackNbytes, ops, in_capacity_nbytes, handle, &allocate);
  if (!allocate) {
    return prologue;
  }
  void *memory = ops->cab_alloc(sizeof(MszipHandle));
  if (memory == nullptr) {
    return DEC_NO_MEMORY;
  }
  auto *h = new (memory) MszipHandle{};
  h->tag = DEC_TAG_MSZIP;
  h->max_block_nbytes = *max_block_nbytes;
  h->ops = ops;
  h->fixed = &fixed_tables();
  *handle = h;
  return DEC_OK;
}

int mszip_decode(void *handle, const uint8_t *in, uint32_t in_nbytes, uint8_t *out, uint32_t *out_nbytes) {
  MszipHandle *h = checked_handle<MszipHandle>(handle, DEC_TAG_MSZIP);
  if (h == nullptr) {
    return DEC_BAD_CONTEXT;
  }
  if (out_nbytes == nullptr || out == nullptr || (in == nullptr && in_nbytes != 0) ||
      in_nbytes > h->max_block_nbytes + kInSlackNbytes) {
    return DEC_BAD_ARGUMENT;
  }
  if (in_nbytes < 2 || in[0] != 'C' || in[1] != 'K') {
    return DEC_DATA_ERROR;
  }
  Inflater inflater(h, in + 2, in_nbytes - 2, out, std::min(*out_nbytes, h->max_block_nbytes));
  const int result = inflater.run();
  // After a failure too, the buffer holds what was decoded up to it, as it always has.
  std::memcpy(out, inflater.output(), inflater.produced());
  if (result == DEC_OK) {
    *out_nbytes = inflater.produced();
  }
  return result;
}

int mszip_reset(void *handle) {
  return checked_handle<MszipHandle>(handle, DEC_TAG_MSZIP) != nullptr ? DEC_OK : DEC_BAD_CONTEXT;
}

int mszip_destroy(void *handle) {
  MszipHandle *h = checked_handle<MszipHandle>(handle, DEC_TAG_MSZIP);
  if (h == nullptr) {
    return DEC_BAD_CONTEXT;
  }
  h->tag = 0;
  h->ops->cab_free(h);
  return DEC_OK;
}

} // namespace
} // namespace cab

extern "C" const CabDecoder cab_mszip_decoder = {cab::mszip_create, cab::mszip_decode, cab::mszip_reset,
                                                 cab::mszip_destroy};
