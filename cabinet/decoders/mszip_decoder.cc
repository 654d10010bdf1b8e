// mszip_decoder.cc - decodes MSZIP blocks: deflate data whose history is the caller's output buffer.
#include "cabinet/decoders/mszip_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "cabinet/decoders/deflate_tables.h"
#include "cabinet/decoders/huffman_table.h"
#include "cabinet/decoders/lsb_bit_reader.h"

namespace cab {
namespace {

using namespace deflate;

constexpr uint32_t kHistoryNbytes = CAB_BLOCK_MAX_NBYTES;
constexpr uint32_t kInSlackNbytes = 12;  // what a block may grow by when it does not compress

// First-level widths and entry capacities. They decide which code sets are accepted: a code
// whose levels need more entries than its space is rejected as a data error, so they are
// part of the format as this decoder defines it, not tuning knobs.
constexpr uint32_t kLitlenRootBits = 9;
constexpr uint32_t kDistRootBits = 6;
constexpr uint32_t kFixedDistRootBits = 5;
constexpr uint32_t kCodelenRootBits = 7;
constexpr uint32_t kLitlenCapacity = 800;  // also holds the code-length code's table, built first
constexpr uint32_t kDistCapacity = 150;
constexpr uint32_t kFixedLitlenCapacity = 520;
constexpr uint32_t kFixedDistCapacity = 32;
static_assert((1u << kCodelenRootBits) <= kLitlenCapacity);
static_assert(kCodelenRootBits == kMaxCodelenCodeLen, "code-length tables never need a second level");

// One refill must cover a length code, its extra bits, a distance code and its extra bits.
static_assert(kMaxCodeLen + 5 + kMaxCodeLen + 13 <= LsbBitReader::kRefillMinBits);

struct FixedTables {
  uint32_t litlen[kFixedLitlenCapacity];
  uint32_t dist[kFixedDistCapacity];
};

struct MszipHandle {
  uint32_t tag;  // first, as every decoder handle
  uint32_t max_block_nbytes;
  const CabOps *ops;
  const FixedTables *fixed;
  uint32_t litlen[kLitlenCapacity];
  uint32_t dist[kDistCapacity];
};

bool build(uint32_t *table, uint32_t root_bits, uint32_t capacity, uint32_t max_code_len, bool accept_incomplete,
           const uint32_t *results, const uint8_t *lens, uint32_t nsymbols) {
  const HuffmanTableSpec spec = {root_bits, capacity, max_code_len, accept_incomplete, results, kInvalid};
  uint32_t nentries;
  return huffman_table_build(table, spec, lens, nsymbols, &nentries) == HuffmanStatus::ok;
}

FixedTables build_fixed_tables() {
  FixedTables tables;
  uint8_t lens[kLitlenSymbols];
  std::fill(lens, lens + 144, 8);
  std::fill(lens + 144, lens + 256, 9);
  std::fill(lens + 256, lens + 280, 7);
  std::fill(lens + 280, lens + 288, 8);
  bool built = build(tables.litlen, kLitlenRootBits, kFixedLitlenCapacity, kMaxCodeLen, false,
                     kLitlenResults.data(), lens, kLitlenSymbols);
  // 30 codes of 5 bits: incomplete, and the two unused slots read as invalid.
  std::fill(lens, lens + kMaxDistCodes, 5);
  built = build(tables.dist, kFixedDistRootBits, kFixedDistCapacity, kMaxCodeLen, true, kDistResults.data(), lens,
                kMaxDistCodes) &&
          built;
  if (!built) {
    __builtin_trap();  // the fixed code is a constant: this cannot fail
  }
  return tables;
}

// Built on first use; the language makes concurrent first calls safe.
const FixedTables &fixed_tables() {
  static const FixedTables tables = build_fixed_tables();
  return tables;
}

uint64_t load64(const uint8_t *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

void store64(uint8_t *p, uint64_t v) { std::memcpy(p, &v, 8); }

uint32_t load32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void store32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, 4); }

// Copies `len` bytes from `dist` (8 or more) bytes back, whole words at a time; the last word
// overlaps backwards onto bytes already written, so nothing past dst + len is touched.
[[gnu::always_inline]] inline void copy_far(uint8_t *dst, uint32_t dist, uint32_t len) {
  const uint8_t *src = dst - dist;
  if (len >= 8) {
    uint8_t *const last = dst + len - 8;
    while (dst < last) {
      store64(dst, load64(src));
      dst += 8;
      src += 8;
    }
    store64(last, load64(last - dist));
  } else if (len >= 4) {
    store32(dst, load32(src));
    store32(dst + len - 4, load32(src + len - 4));
  } else {
    for (uint32_t i = 0; i < len; ++i) {
      dst[i] = src[i];
    }
  }
}

// For a distance below 8, the smallest multiple of it that is 8 or more: the output repeats
// with that period too, so once one such period is written the rest is a copy_far.
constexpr uint8_t kWordStride[8] = {0, 8, 8, 9, 8, 10, 12, 14};

/*
 * Copies `len` bytes from `dist` bytes back to `out + at`, byte-exactly as a forward byte
 * loop would, writing nothing at or past `out + at + len`: the buffer beyond the write
 * position still holds the previous block's output, which later references may read.
 * Requires at + len <= kHistoryNbytes and 1 <= dist <= kHistoryNbytes.
 */
[[gnu::always_inline]] inline void copy_match(uint8_t *out, uint32_t at, uint32_t dist, uint32_t len) {
  if (dist > at) {
    // The source starts in the previous block's output at the end of the buffer; the part
    // up to its last byte never overlaps the destination from below, so memmove is exact.
    // The rest starts at offset 0, which is again `dist` bytes behind.
    const uint32_t from = at + kHistoryNbytes - dist;
    const uint32_t head = std::min(len, kHistoryNbytes - from);
    std::memmove(out + at, out + from, head);
    at += head;
    len -= head;
  }
  uint8_t *dst = out + at;
  if (dist < 8) {
    if (dist == 1) {
      std::memset(dst, dst[-1], len);
      return;
    }
    const uint32_t stride = kWordStride[dist];
    const uint32_t head = std::min(len, stride - dist);
    const uint8_t *const src = dst - dist;
    for (uint32_t i = 0; i < head; ++i) {
      dst[i] = src[i];
    }
    dst += head;
    len -= head;
    dist = stride;
  }
  copy_far(dst, dist, len);
}

// One call of decode: the input, the output and the position in both.
class Inflater {
 public:
  Inflater(const uint8_t *in, uint32_t in_nbytes, uint8_t *out, uint32_t want_nbytes)
      : in_(in, in_nbytes), out_(out), at_(0), end_(want_nbytes) {}

  // Returns DEC_OK or DEC_DATA_ERROR; produced() tells how far it got.
  int run(MszipHandle *handle) {
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
          ok = decode_symbols<kFixedDistRootBits>(handle->fixed->litlen, handle->fixed->dist);
          break;
        case 2:
          ok = read_dynamic_tables(handle) && decode_symbols<kDistRootBits>(handle->litlen, handle->dist);
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
    in_.copy_bytes(out_ + at_, n);
    at_ += n;
    return true;
  }

  // Reads the code lengths of a dynamic block and builds its two tables in the handle.
  bool read_dynamic_tables(MszipHandle *handle) {
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
    uint32_t *const codelen_table = handle->litlen;
    if (!build(codelen_table, kCodelenRootBits, kLitlenCapacity, kMaxCodelenCodeLen, false, kCodelenResults.data(),
               lens, kCodelenSymbols)) {
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
    return build(handle->litlen, kLitlenRootBits, kLitlenCapacity, kMaxCodeLen, false, kLitlenResults.data(), lens,
                 nlitlen) &&
           build(handle->dist, kDistRootBits, kDistCapacity, kMaxCodeLen, false, kDistResults.data(), lens + nlitlen,
                 ndist);
  }

  static uint32_t resolve(const uint32_t *table, uint32_t entry, LsbBitReader &in) {
    while ((entry & kHuffmanSubtable) != 0) {
      in.consume(entry & kHuffmanNbitsMask);
      entry = table[(entry >> 16) + in.peek((entry >> 8) & 0xF)];
    }
    return entry;
  }

  /*
   * Decodes literals and matches up to the end of the block or of the output. The position
   * and the bit reader live in locals so that they stay in registers. `entry` is always
   * looked up ahead: a refill only adds bits above the valid ones, so the next lookup can
   * start before it, as soon as the previous symbol's bits are dropped. At the loop's top at
   * least kRefillMinBits bits are valid.
   */
  template <uint32_t kDistBits>
  bool decode_symbols(const uint32_t *litlen, const uint32_t *dist) {
    LsbBitReader in = in_;
    uint8_t *const out = out_;
    const uint32_t end = end_;
    uint32_t at = at_;
    bool ok = true;
    in.refill();
    uint32_t entry = litlen[in.peek(kLitlenRootBits)];
    while (at < end) {
      if ((entry & kLiteral) != 0) {
        in.consume(entry & kHuffmanNbitsMask);
        out[at++] = static_cast<uint8_t>(entry >> 16);
        entry = litlen[in.peek(kLitlenRootBits)];
        in.refill();
        continue;
      }
      entry = resolve(litlen, entry, in);
      if ((entry & kLiteral) != 0) {
        in.consume(entry & kHuffmanNbitsMask);
        out[at++] = static_cast<uint8_t>(entry >> 16);
        in.refill();
        entry = litlen[in.peek(kLitlenRootBits)];
        continue;
      }
      if ((entry & (kEndOfBlock | kInvalid)) != 0) {
        ok = (entry & kInvalid) == 0;
        in.consume(entry & kHuffmanNbitsMask);
        break;
      }
      uint32_t code_bits = entry & kHuffmanNbitsMask;
      uint32_t extra_bits = (entry >> 8) & 0xF;
      uint32_t len = (entry >> 16) + static_cast<uint32_t>((in.bits >> code_bits) & ((1u << extra_bits) - 1));
      in.consume(code_bits + extra_bits);

      entry = resolve(dist, dist[in.peek(kDistBits)], in);
      if ((entry & kInvalid) != 0) {
        ok = false;
        break;
      }
      code_bits = entry & kHuffmanNbitsMask;
      extra_bits = (entry >> 8) & 0xF;
      const uint32_t distance =
          (entry >> 16) + static_cast<uint32_t>((in.bits >> code_bits) & ((1u << extra_bits) - 1));
      in.consume(code_bits + extra_bits);
      in.refill();
      entry = litlen[in.peek(kLitlenRootBits)];

      len = std::min(len, end - at);
      copy_match(out, at, distance, len);
      at += len;
    }
    in_ = in;
    at_ = at;
    return ok;
  }

  LsbBitReader in_;
  uint8_t *const out_;
  uint32_t at_;        // bytes written by this call
  const uint32_t end_; // bytes this call may write
};

MszipHandle *checked(void *handle) {
  auto *h = static_cast<MszipHandle *>(handle);
  return h != nullptr && h->tag == DEC_TAG_MSZIP ? h : nullptr;
}

int mszip_create(uint32_t *max_block_nbytes, uint32_t /*window*/, const CabOps *ops, uint32_t *in_capacity_nbytes,
                 void **handle) {
  if (max_block_nbytes == nullptr || in_capacity_nbytes == nullptr) {
    return DEC_BAD_ARGUMENT;
  }
  if (*max_block_nbytes == 0 || *max_block_nbytes > CAB_BLOCK_MAX_NBYTES) {
    *max_block_nbytes = CAB_BLOCK_MAX_NBYTES;
  }
  *in_capacity_nbytes = *max_block_nbytes + kInSlackNbytes;
  if (handle == nullptr) {
    return DEC_OK;
  }
  if (ops == nullptr || ops->cab_alloc == nullptr || ops->cab_free == nullptr) {
    return DEC_BAD_ARGUMENT;
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
  MszipHandle *h = checked(handle);
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
  Inflater inflater(in + 2, in_nbytes - 2, out, std::min(*out_nbytes, h->max_block_nbytes));
  const int result = inflater.run(h);
  if (result == DEC_OK) {
    *out_nbytes = inflater.produced();
  }
  return result;
}

int mszip_reset(void *handle) { return checked(handle) != nullptr ? DEC_OK : DEC_BAD_CONTEXT; }

int mszip_destroy(void *handle) {
  MszipHandle *h = checked(handle);
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
