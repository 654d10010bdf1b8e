// quantum_compressor.h - a test-side Quantum compressor: an arithmetic encoder that mirrors the
// decoder's models and renormalisation, with exact control over the steps it codes.
#ifndef TESTS_CABINET_SUPPORT_QUANTUM_COMPRESSOR_H
#define TESTS_CABINET_SUPPORT_QUANTUM_COMPRESSOR_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tests/cabinet/support/cab_writer.h"

namespace cabtest {

constexpr unsigned kQuantumWindowBitsMin = 10;
constexpr unsigned kQuantumWindowBitsMax = 21;

// The folder method word of Quantum with a window of 2^window_bits bytes.
constexpr uint16_t quantum_method_word(unsigned window_bits) {
  return static_cast<uint16_t>(kMethodQuantum | window_bits << 8);
}

// The longest distance each match kind can code in a window of 2^window_bits bytes.
uint32_t quantum_max_distance(unsigned window_bits, uint32_t length);

/*
 * Codes Quantum steps one block at a time. The models carry from block to block until reset(),
 * as the decoder's do; each block restarts the arithmetic coder. Steps are coded as given, also
 * those the decoder must refuse (a match longer than its block has left, one that reaches before
 * the folder's start), so tests can build exact streams.
 */
class QuantumEncoder {
 public:
  explicit QuantumEncoder(unsigned window_bits);  // throws std::invalid_argument outside 10 to 21
  ~QuantumEncoder();
  QuantumEncoder(const QuantumEncoder &) = delete;
  QuantumEncoder &operator=(const QuantumEncoder &) = delete;

  void literal(uint8_t byte);
  // Length 3 is coded with selector 4, 4 with selector 5, 5 to 259 with selector 6. Throws
  // std::invalid_argument for another length, or a distance (from 1) that no position slot of
  // that match kind's model reaches (quantum_max_distance).
  void match(uint32_t length, uint32_t distance);

  // Ends the block: the code bits with the raw extra bits placed where the decoder reads them,
  // then zero bits up to a whole byte. `nbits` receives the number of bits the decoder reads.
  Bytes finish_block(size_t *nbits = nullptr);

  // Starts a new folder: every model back to its starting state.
  void reset();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Compresses one folder's data with a window of 2^window_bits bytes: one block per `block_nbytes`
// (the last may be shorter; an empty input gives no block), LZ77 by hash chains with one step of
// lazy matching. Matches stay within their block and reach only into the folder's own data.
// Cabinets need the default: every block of a folder but its last holds 32768 bytes.
std::vector<Block> quantum_compress(const Bytes &folder_data, unsigned window_bits, size_t block_nbytes = kBlockNbytes);

// A Quantum folder of these files, compressed.
Folder quantum_folder(unsigned window_bits, std::vector<File> files);

}  // namespace cabtest

#endif  // TESTS_CABINET_SUPPORT_QUANTUM_COMPRESSOR_H
