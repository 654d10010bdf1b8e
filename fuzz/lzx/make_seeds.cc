// make_seeds.cc - writes the LZX fuzz target's seeds with the test-side compressor: folders in
// several windows and layouts, framed as the target reads them.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/cabinet/support/lzx_compressor.h"
#include "tests/cabinet/support/sample_data.h"

namespace cabtest {
namespace {

void put_record(Bytes &out, const Bytes &frame, uint32_t want_nbytes, bool reset) {
  const uint8_t header[5] = {static_cast<uint8_t>(frame.size()), static_cast<uint8_t>(frame.size() >> 8),
                             static_cast<uint8_t>(want_nbytes), static_cast<uint8_t>(want_nbytes >> 8),
                             static_cast<uint8_t>(reset ? 1 : 0)};
  out.insert(out.end(), header, header + 5);
  out.insert(out.end(), frame.begin(), frame.end());
}

// One input: the window byte, then every folder's frames, each folder after a reset.
void save(const std::string &folder, const std::string &name, unsigned window_bits,
          const std::vector<std::vector<Block>> &folders) {
  Bytes input = {static_cast<uint8_t>(window_bits - 15)};
  for (size_t f = 0; f < folders.size(); ++f) {
    for (size_t i = 0; i < folders[f].size(); ++i) {
      put_record(input, folders[f][i].compressed, folders[f][i].uncompressed_nbytes, f > 0 && i == 0);
    }
  }
  std::ofstream(folder + "/" + name, std::ios::binary)
      .write(reinterpret_cast<const char *>(input.data()), static_cast<std::streamsize>(input.size()));
}

std::vector<Block> frames(const Bytes &data, unsigned window_bits, uint32_t frame_nbytes,
                          std::vector<LzxBlockPlan> blocks = {}, uint32_t translation_nbytes = 0) {
  LzxOptions options;
  options.window_bits = window_bits;
  options.frame_nbytes = frame_nbytes;
  options.blocks = std::move(blocks);
  options.default_block_nbytes = 3000;
  options.translation_nbytes = translation_nbytes;
  return lzx_compress(data, options).frames;
}

void make_seeds(const std::string &folder) {
  const Bytes text = sample_data(DataKind::text, 6000, 1);
  const Bytes records = sample_data(DataKind::records, 5000, 2);
  const Bytes runs = sample_data(DataKind::runs, 8000, 3);
  const Bytes random = sample_data(DataKind::random, 1500, 4);
  save(folder, "text_small_frames_w15", 15, {frames(text, 15, 2000)});
  save(folder, "records_aligned_w16", 16, {frames(records, 16, 32768, {{LzxBlockKind::aligned, 5000}})});
  save(folder, "runs_and_text_two_folders_w21", 21, {frames(runs, 21, 4096), frames(text, 21, 4096)});
  save(folder, "uncompressed_odd_blocks_w17", 17,
       {frames(random, 17, 700, {{LzxBlockKind::uncompressed, 501}, {LzxBlockKind::verbatim, 300},
                                 {LzxBlockKind::uncompressed, 699}})});
  save(folder, "translated_records_w18", 18, {frames(records, 18, 1024, {}, 12000000)});
  // A frame asked for one byte more than it holds, then a frame after the failure.
  std::vector<Block> short_frame = frames(text, 19, 3000);
  short_frame[0].uncompressed_nbytes += 1;
  save(folder, "frame_one_byte_short_w19", 19, {short_frame});
}

}  // namespace
}  // namespace cabtest

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds FOLDER\n");
    return 64;
  }
  cabtest::make_seeds(argv[1]);
  return 0;
}
