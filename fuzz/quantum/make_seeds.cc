// make_seeds.cc - writes the Quantum fuzz target's seeds with the test-side compressor: folders of
// small blocks for several windows, a reset between folders, and blocks that must fail.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/cabinet/support/quantum_compressor.h"
#include "tests/cabinet/support/sample_data.h"

namespace cabtest {
namespace {

// Builds one input of the target's format (see quantum_fuzz.cc).
class Seed {
 public:
  explicit Seed(unsigned window_bits) : bytes_{static_cast<uint8_t>(window_bits - 10)} {}

  Seed &block(const Bytes &compressed, uint32_t want_nbytes, bool reset = false) {
    const size_t n = compressed.size();
    const uint8_t header[] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(want_nbytes),
                              static_cast<uint8_t>(want_nbytes >> 8), static_cast<uint8_t>(reset ? 1 : 0)};
    bytes_.insert(bytes_.end(), std::begin(header), std::end(header));
    bytes_.insert(bytes_.end(), compressed.begin(), compressed.end());
    return *this;
  }

  Seed &folder(const Bytes &data, unsigned window_bits, size_t block_nbytes, bool reset = false) {
    for (const Block &b : quantum_compress(data, window_bits, block_nbytes)) {
      block(b.compressed, b.uncompressed_nbytes, reset);
      reset = false;
    }
    return *this;
  }

  void save(const std::string &path) const {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  }

 private:
  Bytes bytes_;
};

void make_seeds(const std::string &folder) {
  Seed(10).folder(sample_data(DataKind::text, 3000, 1), 10, 1000).save(folder + "/text_three_blocks_w10");
  Seed(21).folder(sample_data(DataKind::records, 3000, 2), 21, 1500).save(folder + "/records_two_blocks_w21");
  Seed(16).folder(sample_data(DataKind::random, 800, 3), 16, 800).save(folder + "/random_w16");
  Seed(12)
      .folder(sample_data(DataKind::runs, 1200, 4), 12, 600)
      .folder(sample_data(DataKind::text, 1200, 5), 12, 600, true)
      .save(folder + "/reset_between_folders_w12");

  QuantumEncoder encoder(14);
  for (uint8_t c : {'a', 'b', 'c', 'd'}) encoder.literal(c);
  encoder.match(3, 3);
  Seed(14).block(encoder.finish_block(), 6).save(folder + "/match_one_too_long_w14");

  const std::vector<Block> blocks = quantum_compress(sample_data(DataKind::text, 1000, 6), 15);
  Bytes short_block = blocks[0].compressed;
  short_block.pop_back();
  Seed(15).block(short_block, 1000).save(folder + "/one_byte_short_w15");
  Seed(15).block(blocks[0].compressed, 40000).save(folder + "/asked_above_maximum_w15");
}

}  // namespace
}  // namespace cabtest

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quantum_make_seeds FOLDER\n");
    return 64;
  }
  cabtest::make_seeds(argv[1]);
  return 0;
}
