// zlib_mszip.h - test-side MSZIP blocks made by zlib, the independent encoder the decoder is judged against.
#ifndef TESTS_CABINET_DECODERS_ZLIB_MSZIP_H
#define TESTS_CABINET_DECODERS_ZLIB_MSZIP_H

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace cabtest {

using Bytes = std::vector<uint8_t>;

inline constexpr size_t kMszipBlockNbytes = 32768;
inline constexpr size_t kMszipMaxInNbytes = kMszipBlockNbytes + 12;

struct ZlibSettings {
  int level = 6;
  int strategy = Z_DEFAULT_STRATEGY;
};

/*
 * Cuts `data` into blocks of 32768 bytes (the last may be shorter) and makes each "CK" plus
 * its own raw deflate stream (windowBits -15, Z_FINISH), primed with the previous block as
 * dictionary so that matches reach back into it. A stream that would not fit the decoder's
 * compressed buffer becomes one stored block instead.
 */
inline std::vector<Bytes> zlib_mszip_blocks(const Bytes &data, ZlibSettings settings) {
  z_stream stream{};
  // memLevel 9 lets zlib keep a whole block as one stored block when it does not compress.
  if (deflateInit2(&stream, settings.level, Z_DEFLATED, -15, 9, settings.strategy) != Z_OK) {
    throw std::invalid_argument("deflateInit2 failed");
  }
  std::vector<Bytes> blocks;
  for (size_t start = 0; start < data.size(); start += kMszipBlockNbytes) {
    const size_t n = std::min(kMszipBlockNbytes, data.size() - start);
    const uint8_t *in = data.data() + start;
    deflateReset(&stream);
    if (start != 0) {
      deflateSetDictionary(&stream, in - kMszipBlockNbytes, kMszipBlockNbytes);
    }
    Bytes block(2 + deflateBound(&stream, n));
    block[0] = 'C';
    block[1] = 'K';
    stream.next_in = const_cast<Bytef *>(in);
    stream.avail_in = static_cast<uInt>(n);
    stream.next_out = block.data() + 2;
    stream.avail_out = static_cast<uInt>(block.size() - 2);
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) {
      deflateEnd(&stream);
      throw std::runtime_error("deflate did not finish");
    }
    block.resize(2 + stream.total_out);
    if (block.size() > kMszipMaxInNbytes) {
      block = {'C', 'K', 0x01, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
               static_cast<uint8_t>(~n >> 8)};
      block.insert(block.end(), in, in + n);
    }
    blocks.push_back(std::move(block));
  }
  deflateEnd(&stream);
  return blocks;
}

} // namespace cabtest

#endif
