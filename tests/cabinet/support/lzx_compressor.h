// lzx_compressor.h - a test-side LZX compressor: one frame per cabinet data block, with control over
// block kinds and sizes, frame sizes, the window and the call translation, and a record of what it used.
#ifndef TESTS_CABINET_SUPPORT_LZX_COMPRESSOR_H
#define TESTS_CABINET_SUPPORT_LZX_COMPRESSOR_H

#include <array>
#include <cstdint>
#include <vector>

#include "tests/cabinet/support/cab_writer.h"

namespace cabtest {

constexpr unsigned kLzxWindowBitsMin = 15;
constexpr unsigned kLzxWindowBitsMax = 21;

// The folder method word of LZX with a window of 2^window_bits bytes.
constexpr uint16_t lzx_method_word(unsigned window_bits) {
  return static_cast<uint16_t>(kMethodLzx | window_bits << 8);
}

enum class LzxBlockKind : uint8_t {
  smallest = 0,  // verbatim or aligned offset, whichever codes the block in fewer bits
  verbatim = 1,
  aligned = 2,
  uncompressed = 3,
};

struct LzxBlockPlan {
  LzxBlockKind kind;
  uint32_t nbytes;  // 1 to 2^24 - 1
};

struct LzxOptions {
  unsigned window_bits = 21;
  // The call translation's size, applied to the data before compression; 0 leaves it off.
  uint32_t translation_nbytes = 0;
  // Output bytes per frame (per data block); every frame but the last holds exactly this many.
  uint32_t frame_nbytes = 32768;
  // The first blocks, in order; the data they do not cover is cut into default blocks.
  std::vector<LzxBlockPlan> blocks;
  uint32_t default_block_nbytes = 65536;
  LzxBlockKind default_kind = LzxBlockKind::smallest;
  // Earlier positions the match finder tries per byte; 0 finds only repeated-offset matches.
  uint32_t max_chain = 24;
};

// What the compressed stream uses, so that tests can show their inputs reach every feature.
struct LzxStats {
  std::array<uint32_t, 20> pretree_symbols{};  // pre-tree symbols sent, runs' second symbols included
  std::array<uint32_t, 3> repeat_matches{};    // matches coded as R0, R1, R2
  std::array<uint32_t, 4> blocks{};            // blocks by kind (1 verbatim, 2 aligned, 3 uncompressed)
  uint32_t matches = 0;
  uint32_t longest_match = 0;
  uint32_t farthest_offset = 0;
  uint32_t blocks_spanning_frames = 0;
  uint32_t frames_with_several_headers = 0;
  uint32_t odd_uncompressed_blocks = 0;
  uint32_t translated_calls = 0;  // 32-bit values the translation changed
};

struct LzxCompressed {
  std::vector<Block> frames;  // one cabinet data block each
  LzxStats stats;
};

// Compresses one folder's data. Throws std::invalid_argument for options the format cannot
// express (a window outside 15 to 21, a frame size of 0 or above 32768, an empty block).
LzxCompressed lzx_compress(const Bytes &folder_data, const LzxOptions &options = {});

// Applies the call translation to `data` in place as a compressor does before compressing,
// frame by frame; returns how many values it changed.
uint32_t lzx_translate_calls(Bytes &data, uint32_t translation_nbytes, uint32_t frame_nbytes);

// A folder of `files` with LZX blocks made from their data.
Folder lzx_folder(std::vector<File> files, const LzxOptions &options = {});

}  // namespace cabtest

#endif
