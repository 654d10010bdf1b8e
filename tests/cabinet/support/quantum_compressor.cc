// quantum_compressor.cc - the test-side Quantum encoder and compressor. Written plainly and apart
// from the decoder's code, so that round trips check one reading of the format against another.
#include "tests/cabinet/support/quantum_compressor.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace cabtest {
namespace {

constexpr size_t kPositionSlots = 42;
constexpr size_t kLengthSlots = 27;

struct Slot {
  uint32_t base;
  unsigned extra_bits;
};

// Position slots: no extra bits below slot 4, then s / 2 - 1. Length slots: none for 0 to 5
// and for 26, then 1 to 5 bits for four slots each. Bases add up 2^extra of the slot before.
std::vector<Slot> slots(size_t count, unsigned (*extra)(size_t)) {
  std::vector<Slot> table;
  uint32_t base = 0;
  for (size_t s = 0; s < count; ++s) {
    table.push_back({base, extra(s)});
    base += 1u << extra(s);
  }
  return table;
}

const std::vector<Slot> &position_slots() {
  static const std::vector<Slot> table =
      slots(kPositionSlots, [](size_t s) { return s < 4 ? 0u : static_cast<unsigned>(s / 2 - 1); });
  return table;
}

const std::vector<Slot> &length_slots() {
  static const std::vector<Slot> table = slots(kLengthSlots, [](size_t s) {
    return s < 6 || s == 26 ? 0u : static_cast<unsigned>(1 + (s - 6) / 4);
  });
  return table;
}

// The slot whose span [base, base + 2^extra) holds `value`.
size_t slot_of(const std::vector<Slot> &table, uint32_t value) {
  size_t s = 0;
  while (s + 1 < table.size() && table[s + 1].base <= value) ++s;
  return s;
}

size_t position_model_size(unsigned window_bits, uint32_t cap) {
  const uint32_t limit = std::min(uint32_t{1} << window_bits, cap);
  size_t n = 0;
  while (n < kPositionSlots && position_slots()[n].base < limit) ++n;
  return n;
}

// Entries ordered by falling cumulative frequency; the last entry's is always 0.
struct Model {
  struct Entry {
    uint32_t cum;
    unsigned symbol;
  };
  std::vector<Entry> entries;
  int reorder_in = 4;

  explicit Model(size_t nsymbols = 0) {
    for (size_t i = 0; i <= nsymbols; ++i) entries.push_back({static_cast<uint32_t>(nsymbols - i), unsigned(i)});
  }
  size_t nsymbols() const { return entries.size() - 1; }
  uint32_t total() const { return entries[0].cum; }

  size_t entry_of(unsigned symbol) const {
    for (size_t i = 0; i < nsymbols(); ++i)
      if (entries[i].symbol == symbol) return i;
    throw std::invalid_argument("symbol " + std::to_string(symbol) + " is not in the model");
  }

  void count(size_t entry) {
    for (size_t i = 0; i <= entry; ++i) entries[i].cum += 8;
    if (total() > 3800) rescale();
  }

  void rescale() {
    const size_t n = nsymbols();
    if (--reorder_in > 0) {
      for (size_t i = n; i-- > 0;) {
        entries[i].cum /= 2;
        if (entries[i].cum <= entries[i + 1].cum) entries[i].cum = entries[i + 1].cum + 1;
      }
      return;
    }
    reorder_in = 50;
    std::vector<uint32_t> freq(n);
    for (size_t i = 0; i < n; ++i) freq[i] = (entries[i].cum - entries[i + 1].cum + 1) / 2;
    for (size_t i = 0; i < n; ++i) {
      for (size_t j = i + 1; j < n; ++j) {
        if (freq[i] < freq[j]) {
          std::swap(freq[i], freq[j]);
          std::swap(entries[i].symbol, entries[j].symbol);
        }
      }
    }
    uint32_t sum = 0;
    for (size_t i = n; i-- > 0;) {
      sum += freq[i];
      entries[i].cum = sum;
    }
  }
};

/*
 * A 16-bit arithmetic encoder whose register steps match the decoder's. A straddling step
 * (low 01..., high 10...) postpones one bit, which comes out as the opposite of the next bit
 * decided. The decoder takes raw bits from its input right behind the 16 code bits it holds, so
 * raw bits read after `shifts` register shifts sit behind code bit 16 + shifts; they are kept
 * aside with that position and woven in when the block ends.
 */
class ArithmeticEncoder {
 public:
  void encode(Model &model, unsigned symbol) {
    const size_t e = model.entry_of(symbol);
    const uint32_t range = high_ - low_ + 1;
    const uint32_t total = model.total();
    const uint32_t old_low = low_;
    high_ = old_low + model.entries[e].cum * range / total - 1;
    low_ = old_low + model.entries[e + 1].cum * range / total;
    for (;;) {
      if ((low_ >> 15) == (high_ >> 15)) {
        settle(high_ >> 15);
      } else if ((low_ >> 14 & 1) == 1 && (high_ >> 14 & 1) == 0) {
        ++postponed_;
        low_ -= 0x4000;
        high_ += 0x4000;
      } else {
        break;
      }
      low_ = (low_ << 1) & 0xFFFF;
      high_ = ((high_ << 1) | 1) & 0xFFFF;
      ++shifts_;
    }
    model.count(e);
  }

  void raw(uint32_t value, unsigned nbits) { raws_.push_back({16 + shifts_, value, nbits}); }

  // Sends the 16 bits of low_, a value inside the final range: the decoder's code value then
  // ends there exactly. With them it has read 16 + shifts code bits, every one sent.
  Bytes finish(size_t *nbits) {
    settle(low_ >> 15);
    for (int b = 14; b >= 0; --b) code_.push_back(low_ >> b & 1);
    if (code_.size() != 16 + shifts_) throw std::logic_error("code bit count");
    std::vector<bool> stream;
    size_t r = 0;
    for (size_t i = 0; i <= code_.size(); ++i) {
      for (; r < raws_.size() && raws_[r].at == i; ++r) {
        for (unsigned b = raws_[r].nbits; b-- > 0;) stream.push_back(raws_[r].value >> b & 1);
      }
      if (i < code_.size()) stream.push_back(code_[i]);
    }
    if (nbits != nullptr) *nbits = stream.size();
    Bytes bytes((stream.size() + 7) / 8);
    for (size_t i = 0; i < stream.size(); ++i) bytes[i / 8] |= static_cast<uint8_t>(stream[i] << (7 - i % 8));
    *this = ArithmeticEncoder();
    return bytes;
  }

 private:
  void settle(uint32_t bit) {
    code_.push_back(bit != 0);
    for (; postponed_ > 0; --postponed_) code_.push_back(bit == 0);
  }

  struct Raw {
    size_t at;  // index of the code bit it precedes
    uint32_t value;
    unsigned nbits;
  };
  uint32_t low_ = 0;
  uint32_t high_ = 0xFFFF;
  size_t postponed_ = 0;
  size_t shifts_ = 0;
  std::vector<bool> code_;
  std::vector<Raw> raws_;
};

}  // namespace

uint32_t quantum_max_distance(unsigned window_bits, uint32_t length) {
  const uint32_t cap = length == 3 ? 4096 : length == 4 ? 262144 : UINT32_MAX;
  const Slot &last = position_slots()[position_model_size(window_bits, cap) - 1];
  return last.base + (1u << last.extra_bits);
}

struct QuantumEncoder::State {
  unsigned window_bits;
  Model selector, position3, position4, position_long, length;
  std::vector<Model> literal;
  ArithmeticEncoder coder;

  explicit State(unsigned bits) : window_bits(bits) { reset_models(); }

  void reset_models() {
    selector = Model(7);
    literal.assign(4, Model(64));
    position3 = Model(position_model_size(window_bits, 4096));
    position4 = Model(position_model_size(window_bits, 262144));
    position_long = Model(position_model_size(window_bits, UINT32_MAX));
    length = Model(kLengthSlots);
  }

  void position(Model &model, uint32_t distance) {
    const size_t s = slot_of(position_slots(), distance - 1);
    if (distance == 0 || s >= model.nsymbols() ||
        distance - 1 - position_slots()[s].base >= (1u << position_slots()[s].extra_bits)) {
      throw std::invalid_argument("distance " + std::to_string(distance) + " has no slot in its model");
    }
    coder.encode(model, static_cast<unsigned>(s));
    coder.raw(distance - 1 - position_slots()[s].base, position_slots()[s].extra_bits);
  }
};

QuantumEncoder::QuantumEncoder(unsigned window_bits) {
  if (window_bits < kQuantumWindowBitsMin || window_bits > kQuantumWindowBitsMax)
    throw std::invalid_argument("Quantum window bits outside 10 to 21");
  state_ = std::make_unique<State>(window_bits);
}

QuantumEncoder::~QuantumEncoder() = default;

void QuantumEncoder::literal(uint8_t byte) {
  state_->coder.encode(state_->selector, byte / 64);
  state_->coder.encode(state_->literal[byte / 64], byte % 64);
}

void QuantumEncoder::match(uint32_t length, uint32_t distance) {
  State &s = *state_;
  if (length == 3 || length == 4) {
    s.coder.encode(s.selector, length == 3 ? 4 : 5);
    s.position(length == 3 ? s.position3 : s.position4, distance);
    return;
  }
  if (length < 5 || length > 259) throw std::invalid_argument("match length " + std::to_string(length));
  const size_t slot = slot_of(length_slots(), length - 5);
  s.coder.encode(s.selector, 6);
  s.coder.encode(s.length, static_cast<unsigned>(slot));
  s.coder.raw(length - 5 - length_slots()[slot].base, length_slots()[slot].extra_bits);
  s.position(s.position_long, distance);
}

Bytes QuantumEncoder::finish_block(size_t *nbits) { return state_->coder.finish(nbits); }

void QuantumEncoder::reset() { state_->reset_models(); }

namespace {

constexpr size_t kMaxMatch = 259;
constexpr size_t kChainDepth = 48;
constexpr size_t kLazyLimit = 32;  // a match this long is taken without looking one byte further
constexpr uint32_t kNone = UINT32_MAX;

struct Match {
  size_t length = 0;
  uint32_t distance = 0;
};

// Hash chains over a folder's data; a position is found only once inserted.
class MatchFinder {
 public:
  MatchFinder(const Bytes &data, unsigned window_bits)
      : data_(data),
        window_nbytes_(size_t{1} << window_bits),
        reach3_(quantum_max_distance(window_bits, 3)),
        reach4_(quantum_max_distance(window_bits, 4)),
        head_(1u << 16, kNone),
        prev_(data.size(), kNone) {}

  // The longest codable match at `pos` ending by `end`, the nearest among equals.
  Match find(size_t pos, size_t end) {
    insert_until(pos);
    Match best;
    const size_t max_len = std::min(kMaxMatch, end - pos);
    if (max_len < 3) return best;
    uint32_t candidate = head_[hash(pos)];
    for (size_t depth = 0; candidate != kNone && depth < kChainDepth; ++depth, candidate = prev_[candidate]) {
      const size_t distance = pos - candidate;
      if (distance > window_nbytes_) break;
      size_t len = 0;
      while (len < max_len && data_[candidate + len] == data_[pos + len]) ++len;
      // Three- and four-byte matches have their own, shorter reach.
      if (len < 5 && distance > reach4_) continue;
      if (len == 3 && distance > reach3_) continue;
      if (len > best.length && len >= 3) best = {len, static_cast<uint32_t>(distance)};
      if (len == max_len) break;
    }
    return best;
  }

 private:
  uint32_t hash(size_t pos) const {
    const uint32_t v = data_[pos] | data_[pos + 1] << 8 | data_[pos + 2] << 16;
    return (v * 2654435761u) >> 16;
  }

  void insert_until(size_t pos) {
    for (; inserted_ < pos; ++inserted_) {
      if (inserted_ + 3 > data_.size()) continue;
      const uint32_t h = hash(inserted_);
      prev_[inserted_] = head_[h];
      head_[h] = static_cast<uint32_t>(inserted_);
    }
  }

  const Bytes &data_;
  const size_t window_nbytes_;
  const size_t reach3_;
  const size_t reach4_;
  std::vector<uint32_t> head_;
  std::vector<uint32_t> prev_;
  size_t inserted_ = 0;
};

}  // namespace

std::vector<Block> quantum_compress(const Bytes &folder_data, unsigned window_bits, size_t block_nbytes) {
  if (block_nbytes == 0 || block_nbytes > kBlockNbytes) throw std::invalid_argument("Quantum block size");
  QuantumEncoder encoder(window_bits);
  MatchFinder finder(folder_data, window_bits);
  std::vector<Block> blocks;
  for (size_t start = 0; start < folder_data.size(); start += block_nbytes) {
    const size_t end = std::min(start + block_nbytes, folder_data.size());
    size_t pos = start;
    Match current = finder.find(pos, end);
    while (pos < end) {
      if (current.length < 3) {
        encoder.literal(folder_data[pos]);
        current = finder.find(++pos, end);
        continue;
      }
      if (current.length < kLazyLimit && pos + 1 < end) {
        const Match next = finder.find(pos + 1, end);
        if (next.length > current.length) {
          encoder.literal(folder_data[pos]);
          ++pos;
          current = next;
          continue;
        }
      }
      encoder.match(static_cast<uint32_t>(current.length), current.distance);
      pos += current.length;
      current = pos < end ? finder.find(pos, end) : Match{};
    }
    Block block{.compressed = encoder.finish_block(), .uncompressed_nbytes = static_cast<uint16_t>(end - start)};
    blocks.push_back(std::move(block));
  }
  return blocks;
}

Folder quantum_folder(unsigned window_bits, std::vector<File> files) {
  Folder folder;
  folder.method_word = quantum_method_word(window_bits);
  folder.files = std::move(files);
  folder.blocks = quantum_compress(folder_data(folder), window_bits);
  return folder;
}

}  // namespace cabtest
