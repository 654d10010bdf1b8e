// quantum_decoder.cc - decodes Quantum blocks: a 16-bit arithmetic decoder over adaptive models
// driving LZ77 literals and matches into the handle's window.
#include "cabinet/decoders/quantum_decoder.h"

#include <array>
#include <cstring>
#include <new>

#include "cabinet/decoders/decoder_handle.h"
#include "cabinet/decoders/match_copy.h"
#include "cabinet/decoders/quantum_models.h"

namespace cab {
namespace {

using namespace quantum;

constexpr uint32_t kInSlackNbytes = 10240;  // what a block may grow by when it does not compress

/*
 * The input as one stream of bits, most significant first within each byte, shared by the
 * arithmetic decoder's code value and the raw extra bits of matches. `bits_` holds the next
 * `count_` bits at its top; the bits below them are zero or the stream's own next bits, so
 * that OR-ing whole words in again is harmless. Past the end the stream reads as zeros, and
 * exhausted() tells whether any of those were taken: a block must carry every bit read.
 */
class MsbBitReader {
 public:
  MsbBitReader(const uint8_t *in, uint32_t in_nbytes) : next_(in), end_(in + in_nbytes) {}

  static constexpr uint32_t kRefillMinBits = 32;

  // Makes at least kRefillMinBits bits available. Away from the end it always loads: whether
  // bits are needed follows the data too closely to branch on cheaply.
  [[gnu::always_inline]] void refill() {
    if (end_ - next_ >= 8) [[likely]] {
      uint64_t word;
      std::memcpy(&word, next_, 8);
      bits_ |= __builtin_bswap64(word) >> count_;
      next_ += (63 - count_) >> 3;
      count_ |= 56;
    } else if (count_ < kRefillMinBits) {
      refill_tail();
    }
  }

  // The next `nbits` (0 to 32) bits; at least that many must be available.
  [[gnu::always_inline]] uint32_t take(uint32_t nbits) {
    const auto value = static_cast<uint32_t>((bits_ >> 1) >> (63 - nbits));
    consume(nbits);
    return value;
  }

  // The next 32 bits, kept; those past the available ones are zeros or the bits that follow.
  [[gnu::always_inline]] uint32_t peek32() const { return static_cast<uint32_t>(bits_ >> 32); }

  [[gnu::always_inline]] void consume(uint32_t nbits) {
    bits_ <<= nbits;
    count_ -= nbits;
  }

  bool exhausted() const { return past_end_nbytes_ * 8 > count_; }

 private:
  [[gnu::noinline]] void refill_tail() {
    while (count_ <= 56) {
      uint64_t byte = 0;
      if (next_ != end_) {
        byte = *next_++;
      } else {
        ++past_end_nbytes_;
      }
      bits_ |= byte << (56 - count_);
      count_ += 8;
    }
  }

  uint64_t bits_ = 0;
  uint32_t count_ = 0;
  uint32_t past_end_nbytes_ = 0;  // zero bytes fed in after the input's end
  const uint8_t *next_;
  const uint8_t *const end_;
};

// One refill covers a renormalisation (at most 16 shifts: then low_ is 0 and high_ 0xFFFF) or
// one read of raw bits.
static_assert(16 <= MsbBitReader::kRefillMinBits && kMaxExtraBits <= MsbBitReader::kRefillMinBits);

/*
 * Division by a model's total without a divide: q = x / total = (x * m) >> 40 with m the
 * ceiling of 2^40 / total. For x = q * total + r, that gives q as long as
 * r / total + x * (total - 1) / (total * 2^40) < 1, which holds for every x up to total * 2^16
 * (a share of the arithmetic decoder's range) when total is at most 2^12. The total is known
 * before the symbol is searched, so the look-up of m leaves the division's time off the path
 * from one symbol to the next.
 */
constexpr uint32_t kReciprocalShift = 40;
constexpr uint32_t kMaxTotal = kRescaleTotal;  // a larger total is rescaled before it is used
static_assert(kMaxTotal <= 1u << 12);

constexpr std::array<uint64_t, kMaxTotal + 1> make_reciprocals() {
  std::array<uint64_t, kMaxTotal + 1> reciprocals{};
  for (uint64_t total = 1; total <= kMaxTotal; ++total) {
    reciprocals[total] = ((uint64_t{1} << kReciprocalShift) + total - 1) / total;
  }
  return reciprocals;
}
constexpr std::array<uint64_t, kMaxTotal + 1> kReciprocals = make_reciprocals();

/*
 * The arithmetic decoder. `low_`, `high_` and `code_` are 16-bit registers; the code value
 * always lies in [low_, high_], which every narrowing and renormalisation step preserves, so
 * the range is never empty and the symbol search always ends inside the model.
 * `AboveCount` is the model search's comparison.
 */
template <typename AboveCount>
class ArithmeticDecoder {
 public:
  ArithmeticDecoder(const uint8_t *in, uint32_t in_nbytes) : in_(in, in_nbytes) {
    in_.refill();
    code_ = in_.take(16);
  }

  [[gnu::always_inline]] uint32_t decode(Model *model) {
    const uint32_t range = high_ - low_ + 1;
    const uint32_t total = model->cum[0];
    uint32_t upper;
    uint32_t lower;
    // range / total scaled by 2^40, made while the search runs: at most 2^56, and times a
    // frequency up to the total at most 2^56 again, so one multiplication after the search does.
    const uint64_t scaled_range = range * kReciprocals[total];
    const uint32_t symbol = model_find_and_count<AboveCount>(model, range, (code_ - low_ + 1) * total, &upper, &lower);
    high_ = low_ + static_cast<uint32_t>((upper * scaled_range) >> kReciprocalShift) - 1;
    low_ += static_cast<uint32_t>((lower * scaled_range) >> kReciprocalShift);
    renormalise();
    return symbol;
  }

  // `nbits` raw bits, taken from the stream at the point the code value has reached.
  [[gnu::always_inline]] uint32_t raw(uint32_t nbits) {
    in_.refill();
    return in_.take(nbits);
  }

  bool exhausted() const { return in_.exhausted(); }

 private:
  /*
   * Shifts out the leading bits that low_ and high_ share. Then, while the range lies within
   * the middle half around the midpoint (low_ 01..., high_ 10...), takes away a quarter of the
   * scale from low_, high_ and code_ and shifts once more, which widens the range about the
   * midpoint. Each shift brings a 0 into low_, a 1 into high_ and the next bit into code_.
   *
   * Such a middle step never makes a shared leading bit, so all of them follow the shared
   * shifts; and one keeps a register's top bit and shifts the 15 bits below it. The whole
   * renormalisation is thus one shift by n = nshared + nmiddle of each register with the bits
   * that follow it, whose top bit is taken from the shift by nshared alone.
   */
  [[gnu::always_inline]] void renormalise() {
    in_.refill();
    const uint32_t differ = low_ ^ high_;
    const uint32_t nshared = static_cast<uint32_t>(__builtin_clz((differ << 16) | 0x8000));
    // Middle steps follow where low_ has a 1 and high_ a 0 in the bits after the first that
    // differs. Counted without waiting for nshared: n is the run of leading bits that either are
    // shared or have such a bit after them, and stops at the first differing bit after which
    // there is none, since a run past nshared only goes through differing bits.
    const uint32_t n =
        static_cast<uint32_t>(__builtin_clz(((differ & ~((low_ & ~high_) << 1)) << 16) | 0xFFFF));
    // The top bit after the shared shifts is the first differing one: 0 in low_, 1 in high_.
    low_ = (low_ << n) & 0x7FFF;
    high_ = (((high_ << n) | ((1u << n) - 1)) & 0x7FFF) | 0x8000;
    // The code value with the 32 bits that follow it below, shifted as above.
    const uint64_t code_bits = uint64_t{code_} << 32 | in_.peek32();
    code_ = static_cast<uint32_t>(((code_bits >> (32 - nshared)) & 0x8000) | ((code_bits >> (32 - n)) & 0x7FFF));
    in_.consume(n);
  }

  MsbBitReader in_;
  uint32_t low_ = 0;
  uint32_t high_ = 0xFFFF;
  uint32_t code_ = 0;
};

/*
 * The window and the output of one block. Bytes are written to the window only; the part of
 * the window written since the last flush is copied to the output whenever the write position
 * wraps and at the end of the block, so each byte is stored once and copied once.
 */
class WindowWriter {
 public:
  WindowWriter(uint8_t *window, uint32_t window_nbytes, uint32_t pos, uint8_t *out)
      : window_(window), size_(window_nbytes), pos_(pos), flushed_(pos), out_(out) {}

  [[gnu::always_inline]] void literal(uint8_t byte) {
    window_[pos_] = byte;
    if (++pos_ == size_) wrap();
  }

  // Copies `length` bytes from `distance` (1 to the window size) bytes back, with the result of
  // a byte-by-byte forward copy: a source overlapping the destination repeats, as LZ77 requires.
  // Nothing past the last byte copied is written: the window's next bytes are the oldest
  // history, which the farthest matches still read.
  [[gnu::always_inline]] void match(uint32_t length, uint32_t distance) {
    uint32_t from = (pos_ - distance) & (size_ - 1);
    if (pos_ + length < size_ && from + length <= size_) {
      uint8_t *dst = window_ + pos_;
      const uint8_t *src = window_ + from;
      // A source at or ahead of the destination lies a whole window back, or nearly: forward
      // order is then memmove's. Otherwise `distance` is the gap within the window.
      const bool source_ahead = from >= pos_;
      pos_ += length;
      if (source_ahead) {
        std::memmove(dst, src, length);
      } else if (distance >= 8) {
        copy_words(dst, distance, length);
      } else if (distance == 1) {
        std::memset(dst, src[0], length);
      } else {
        for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
      }
      return;
    }
    for (uint32_t i = 0; i < length; ++i) {
      window_[pos_] = window_[from];
      from = (from + 1) & (size_ - 1);
      if (++pos_ == size_) wrap();
    }
  }

  // Copies what is not yet in the output; returns the window position for the next block.
  uint32_t flush() {
    std::memcpy(out_, window_ + flushed_, pos_ - flushed_);
    out_ += pos_ - flushed_;
    flushed_ = pos_;
    return pos_;
  }

 private:
  // Copies from `distance` (8 or more) bytes back, a word at a time: every word read was
  // completed before. The last word overlaps backwards onto bytes already copied.
  static void copy_words(uint8_t *dst, uint32_t distance, uint32_t length) {
    const uint8_t *src = dst - distance;
    if (length < 8) {
      if (length >= 4) {
        const uint32_t head = load32(src);
        const uint32_t tail = load32(src + length - 4);
        store32(dst, head);
        store32(dst + length - 4, tail);
      } else {
        for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
      }
      return;
    }
    uint8_t *const last = dst + length - 8;
    for (; dst < last; dst += 8) store64(dst, load64(dst - distance));
    store64(last, load64(last - distance));
  }

  [[gnu::noinline]] void wrap() {
    flush();
    pos_ = flushed_ = 0;
  }

  uint8_t *const window_;
  const uint32_t size_;
  uint32_t pos_;
  uint32_t flushed_;
  uint8_t *out_;
};

struct QuantumHandle {
  uint32_t tag;  // first, as every decoder handle
  uint32_t max_block_nbytes;
  const CabOps *ops;
  uint32_t window_bits;
  uint8_t *window;
  // Where the next byte goes: the count of bytes produced since the last reset, modulo the
  // window size, which is all a match's source position needs.
  uint32_t window_pos;
  Models models;
};

// Decodes one block of `want_nbytes` bytes; false when the block cannot be decoded.
template <typename AboveCount>
[[gnu::always_inline]] inline bool decode_steps(QuantumHandle *h, const uint8_t *in, uint32_t in_nbytes, uint8_t *out,
                                                uint32_t want_nbytes) {
  Models &m = h->models;
  ArithmeticDecoder<AboveCount> coder(in, in_nbytes);
  WindowWriter writer(h->window, 1u << h->window_bits, h->window_pos, out);
  uint32_t left = want_nbytes;
  bool overrun = false;
  while (left > 0 && !coder.exhausted()) {
    const uint32_t selector = coder.decode(&m.selector);
    if (selector < kLiteralModels) {
      writer.literal(static_cast<uint8_t>(selector * kLiteralSymbols + coder.decode(&m.literal[selector])));
      --left;
      continue;
    }
    uint32_t length = kMatch3Length;
    Model *position = &m.position3;
    if (selector == kLiteralModels + 1) {
      length = kMatch4Length;
      position = &m.position4;
    } else if (selector == kLiteralModels + 2) {
      const uint32_t slot = coder.decode(&m.length);
      length = kLengthSlotTable.base[slot] + coder.raw(kLengthSlotTable.extra_bits[slot]) + kLongMatchMinLength;
      position = &m.position_long;
    }
    const uint32_t slot = coder.decode(position);
    const uint32_t distance = kPositionSlotTable.base[slot] + coder.raw(kPositionSlotTable.extra_bits[slot]) + 1;
    // A match never crosses the end of its block.
    if (length > left) {
      overrun = true;
      break;
    }
    writer.match(length, distance);
    left -= length;
  }
  h->window_pos = writer.flush();
  return !overrun && !coder.exhausted();
}

bool decode_block_generic(QuantumHandle *h, const uint8_t *in, uint32_t in_nbytes, uint8_t *out, uint32_t want_nbytes) {
  return decode_steps<Sse2AboveCount>(h, in, in_nbytes, out, want_nbytes);
}

// The same where the processor has AVX2 and BMI2: shifts by a variable count, which the bit
// reader and the renormalisation make on every symbol, need no fixed shift register, and the
// model search multiplies eight 32-bit lanes at once. Flattened, so that the search's AVX2
// comparison is compiled into this function alone.
[[gnu::target("avx2,bmi,bmi2"), gnu::flatten]] bool decode_block_avx2(QuantumHandle *h, const uint8_t *in,
                                                                      uint32_t in_nbytes, uint8_t *out,
                                                                      uint32_t want_nbytes) {
  return decode_steps<Avx2AboveCount>(h, in, in_nbytes, out, want_nbytes);
}

bool decode_block(QuantumHandle *h, const uint8_t *in, uint32_t in_nbytes, uint8_t *out, uint32_t want_nbytes) {
  static const bool has_avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
  return has_avx2 ? decode_block_avx2(h, in, in_nbytes, out, want_nbytes)
                  : decode_block_generic(h, in, in_nbytes, out, want_nbytes);
}

int quantum_create(uint32_t *max_block_nbytes, uint32_t window_bits, const CabOps *ops, uint32_t *in_capacity_nbytes,
                   void **handle) {
  if (max_block_nbytes == nullptr || in_capacity_nbytes == nullptr) return DEC_BAD_ARGUMENT;
  // Checked first: a size query for a window out of range fails too.
  if (window_bits < kWindowBitsMin || window_bits > kWindowBitsMax) return DEC_BAD_WINDOW;
  bool allocate;
  const int prologue = begin_create(max_block_nbytes, kInSlackNbytes, ops, in_capacity_nbytes, handle, &allocate);
  if (!allocate) return prologue;
  void *memory = ops->cab_alloc(sizeof(QuantumHandle));
  if (memory == nullptr) return DEC_NO_MEMORY;
  auto *h = new (memory) QuantumHandle{};
  h->window = static_cast<uint8_t *>(ops->cab_alloc(1u << window_bits));
  if (h->window == nullptr) {
    ops->cab_free(h);
    return DEC_NO_MEMORY;
  }
  // A match that reaches before anything the first folder produced reads zeros, not old heap.
  std::memset(h->window, 0, 1u << window_bits);
  h->tag = DEC_TAG_QUANTUM;
  h->max_block_nbytes = *max_block_nbytes;
  h->ops = ops;
  h->window_bits = window_bits;
  models_init(&h->models, window_bits);
  *handle = h;
  return DEC_OK;
}

int quantum_decode(void *handle, const uint8_t *in, uint32_t in_nbytes, uint8_t *out, uint32_t *out_nbytes) {
  QuantumHandle *h = checked_handle<QuantumHandle>(handle, DEC_TAG_QUANTUM);
  if (h == nullptr) return DEC_BAD_CONTEXT;
  if (out_nbytes == nullptr || out == nullptr || (in == nullptr && in_nbytes != 0) ||
      *out_nbytes > h->max_block_nbytes) {
    return DEC_BAD_ARGUMENT;
  }
  return decode_block(h, in, in_nbytes, out, *out_nbytes) ? DEC_OK : DEC_DATA_ERROR;
}

// A new folder restarts the models and the window position; the window's bytes stay.
int quantum_reset(void *handle) {
  QuantumHandle *h = checked_handle<QuantumHandle>(handle, DEC_TAG_QUANTUM);
  if (h == nullptr) return DEC_BAD_CONTEXT;
  h->window_pos = 0;
  models_init(&h->models, h->window_bits);
  return DEC_OK;
}

int quantum_destroy(void *handle) {
  QuantumHandle *h = checked_handle<QuantumHandle>(handle, DEC_TAG_QUANTUM);
  if (h == nullptr) return DEC_BAD_CONTEXT;
  h->tag = 0;
  h->ops->cab_free(h->window);
  h->ops->cab_free(h);
  return DEC_OK;
}

}  // namespace
}  // namespace cab

extern "C" const CabDecoder cab_quantum_decoder = {cab::quantum_create, cab::quantum_decode, cab::quantum_reset,
                                                   cab::quantum_destroy};
