// cab_blocks.cc - data blocks for the test-side writer: the checksum, MSZIP and stored blocks.
#include "tests/cabinet/support/cab_writer.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace cabtest {

uint32_t cab_checksum(const uint8_t* data, size_t nbytes, uint32_t seed) {
  uint32_t sum = seed;
  size_t i = 0;
  for (; i + 4 <= nbytes; i += 4) {
    sum ^= uint32_t{data[i]} | uint32_t{data[i + 1]} << 8 | uint32_t{data[i + 2]} << 16 |
           uint32_t{data[i + 3]} << 24;
  }
  // The tail is folded with its first byte highest, the reverse of the words above.
  uint32_t tail = 0;
  for (; i < nbytes; ++i) tail = tail << 8 | data[i];
  return sum ^ tail;
}

uint32_t block_checksum(const Bytes& compressed, uint16_t uncompressed_nbytes, const Bytes& reserve) {
  if (compressed.size() > 0xFFFF) throw std::invalid_argument("block of more than 65535 bytes");
  Bytes header{static_cast<uint8_t>(compressed.size()), static_cast<uint8_t>(compressed.size() >> 8),
               static_cast<uint8_t>(uncompressed_nbytes), static_cast<uint8_t>(uncompressed_nbytes >> 8)};
  header.insert(header.end(), reserve.begin(), reserve.end());
  return cab_checksum(header.data(), header.size(),
                      cab_checksum(compressed.data(), compressed.size(), 0));
}

namespace {

// Owns one raw-deflate stream for the life of a compression run.
class Deflater {
 public:
  Deflater(int level, int strategy) {
    // Raw deflate (windowBits -15): MSZIP has no zlib header or trailer. memLevel 9 lets zlib keep a
    // whole 32768-byte block in one deflate block when it falls back to storing it.
    if (deflateInit2(&stream_, level, Z_DEFLATED, -15, 9, strategy) != Z_OK) {
      throw std::invalid_argument("zlib rejected the MSZIP level or strategy");
    }
  }
  ~Deflater() { deflateEnd(&stream_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // A complete deflate stream of `in`, whose back-references may reach into `history`.
  Bytes finish(const uint8_t* history, size_t history_nbytes, const uint8_t* in, size_t in_nbytes) {
    if (deflateReset(&stream_) != Z_OK) throw std::runtime_error("deflateReset failed");
    if (history_nbytes > 0 &&
        deflateSetDictionary(&stream_, history, static_cast<uInt>(history_nbytes)) != Z_OK) {
      throw std::runtime_error("deflateSetDictionary failed");
    }
    Bytes out(deflateBound(&stream_, static_cast<uLong>(in_nbytes)));
    stream_.next_in = const_cast<Bytef*>(in);
    stream_.avail_in = static_cast<uInt>(in_nbytes);
    stream_.next_out = out.data();
    stream_.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
    out.resize(stream_.total_out);
    return out;
  }

 private:
  z_stream stream_{};
};

constexpr uint8_t kMszipSignature[2] = {'C', 'K'};
// "CK", one byte for BFINAL=1 BTYPE=00, LEN and NLEN.
constexpr size_t kStoredOverheadNbytes = 2 + 1 + 4;

Bytes mszip_stored_block(const uint8_t* in, size_t in_nbytes) {
  const uint16_t len = static_cast<uint16_t>(in_nbytes);
  const uint16_t nlen = static_cast<uint16_t>(~len);
  Bytes out{kMszipSignature[0], kMszipSignature[1], 0x01, static_cast<uint8_t>(len),
            static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(nlen), static_cast<uint8_t>(nlen >> 8)};
  out.insert(out.end(), in, in + in_nbytes);
  return out;
}

}  // namespace

std::vector<Block> mszip_compress(const Bytes& folder_data, int level, int strategy) {
  Deflater deflater(level, strategy);
  std::vector<Block> blocks;
  for (size_t start = 0; start < folder_data.size(); start += kBlockNbytes) {
    const size_t n = std::min(kBlockNbytes, folder_data.size() - start);
    const uint8_t* in = folder_data.data() + start;
    // Every earlier block holds exactly 32768 bytes, so the history is the whole previous block.
    const size_t history_nbytes = start == 0 ? 0 : kBlockNbytes;
    Bytes deflated = deflater.finish(in - history_nbytes, history_nbytes, in, n);
    Block block{.uncompressed_nbytes = static_cast<uint16_t>(n)};
    if (deflated.size() + sizeof kMszipSignature > n + kStoredOverheadNbytes) {
      block.compressed = mszip_stored_block(in, n);
    } else {
      block.compressed.assign(std::begin(kMszipSignature), std::end(kMszipSignature));
      block.compressed.insert(block.compressed.end(), deflated.begin(), deflated.end());
    }
    blocks.push_back(std::move(block));
  }
  return blocks;
}

std::vector<Block> stored_blocks(const Bytes& folder_data) {
  std::vector<Block> blocks;
  for (size_t start = 0; start < folder_data.size(); start += kBlockNbytes) {
    const size_t n = std::min(kBlockNbytes, folder_data.size() - start);
    blocks.push_back(Block{.compressed = Bytes(folder_data.begin() + start, folder_data.begin() + start + n),
                           .uncompressed_nbytes = static_cast<uint16_t>(n)});
  }
  return blocks;
}

Bytes folder_data(const Folder& folder) {
  Bytes data;
  for (const File& file : folder.files) data.insert(data.end(), file.data.begin(), file.data.end());
  return data;
}

}  // namespace cabtest
