// mszip_bench.cc - MSZIP decoding throughput against zlib's inflate and libdeflate on the same deflate streams, in one run.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bench/bench_corpus.h"
#include "bench/decoder_bench.h"
#include "cabinet/decoders/mszip_decoder.h"
#include "tests/cabinet/support/cab_writer.h"

namespace {

using cabtest::Bytes;

constexpr size_t kCorpusNbytes = 6u << 20;
constexpr size_t kBlockNbytes = CAB_BLOCK_MAX_NBYTES;

/*
 * One corpus cut into MSZIP blocks. Chained blocks are compressed with the previous block as
 * history, as in a folder; independent ones without any. libdeflate has no preset history, so
 * each chained block is handed to it behind a stored deflate block holding the previous 32768
 * bytes: it then decodes both, and the block's output is the second half of its own.
 */
struct Corpus {
  Bytes data;
  bool chained;
  std::vector<cabtest::Block> blocks;  // "CK" and a raw deflate stream each
  std::vector<Bytes> libdeflate_in;    // per block: [stored previous block] and the raw stream
};

Bytes stored_prefix(const uint8_t *previous) {
  constexpr uint16_t kLen = kBlockNbytes;
  constexpr uint16_t kNlen = static_cast<uint16_t>(~kLen);
  Bytes prefix = {0x00,  // not final, stored; the header's remaining bits pad to the byte
                  static_cast<uint8_t>(kLen), static_cast<uint8_t>(kLen >> 8), static_cast<uint8_t>(kNlen),
                  static_cast<uint8_t>(kNlen >> 8)};
  prefix.insert(prefix.end(), previous, previous + kBlockNbytes);
  return prefix;
}

const Corpus &corpus(const std::string &kind, int level, bool chained) {
  static std::map<std::tuple<std::string, int, bool>, Corpus> cache;
  Corpus &c = cache[{kind, level, chained}];
  if (!c.data.empty()) return c;
  c.data = kind == "text" ? bench::text_corpus(kCorpusNbytes) : bench::executable_corpus(kCorpusNbytes);
  c.chained = chained;
  if (chained) {
    c.blocks = cabtest::mszip_compress(c.data, level);
  } else {
    for (size_t start = 0; start < c.data.size(); start += kBlockNbytes) {
      const Bytes one(c.data.begin() + start, c.data.begin() + std::min(c.data.size(), start + kBlockNbytes));
      c.blocks.push_back(cabtest::mszip_compress(one, level).front());
    }
  }
  for (size_t i = 0; i < c.blocks.size(); ++i) {
    Bytes in = chained && i != 0 ? stored_prefix(c.data.data() + (i - 1) * kBlockNbytes) : Bytes();
    in.insert(in.end(), c.blocks[i].compressed.begin() + 2, c.blocks[i].compressed.end());
    c.libdeflate_in.push_back(std::move(in));
  }
  return c;
}

bool matches_corpus(const Corpus &c, size_t block, const uint8_t *out, size_t nbytes) {
  const size_t start = block * kBlockNbytes;
  return nbytes == std::min(kBlockNbytes, c.data.size() - start) &&
         std::equal(out, out + nbytes, c.data.begin() + static_cast<std::ptrdiff_t>(start));
}

// Our decoder: every block in order into the one 32768-byte buffer the reader hands it.
bool decode_ours(void *handle, const Corpus &c, uint8_t *out, bool verify) {
  for (size_t i = 0; i < c.blocks.size(); ++i) {
    uint32_t n = CAB_BLOCK_MAX_NBYTES;
    const Bytes &block = c.blocks[i].compressed;
    if (cab_mszip_decoder.decode(handle, block.data(), static_cast<uint32_t>(block.size()), out, &n) != DEC_OK) {
      return false;
    }
    if (verify && !matches_corpus(c, i, out, n)) return false;
  }
  return true;
}

// zlib: the same raw streams, chained ones primed with the previous block's output as dictionary.
bool decode_zlib(z_stream *stream, const Corpus &c, uint8_t *out_a, uint8_t *out_b, bool verify) {
  uint8_t *out = out_a;
  uint8_t *previous = out_b;
  for (size_t i = 0; i < c.blocks.size(); ++i) {
    inflateReset(stream);
    if (c.chained && i != 0 && inflateSetDictionary(stream, previous, CAB_BLOCK_MAX_NBYTES) != Z_OK) return false;
    stream->next_in = const_cast<Bytef *>(c.blocks[i].compressed.data() + 2);
    stream->avail_in = static_cast<uInt>(c.blocks[i].compressed.size() - 2);
    stream->next_out = out;
    stream->avail_out = CAB_BLOCK_MAX_NBYTES;
    if (inflate(stream, Z_FINISH) != Z_STREAM_END) return false;
    if (verify && !matches_corpus(c, i, out, CAB_BLOCK_MAX_NBYTES - stream->avail_out)) return false;
    std::swap(out, previous);
  }
  return true;
}

// libdeflate: each block's input in one call into a buffer of two blocks.
bool decode_libdeflate(libdeflate_decompressor *d, const Corpus &c, uint8_t *out, bool verify) {
  for (size_t i = 0; i < c.blocks.size(); ++i) {
    size_t n = 0;
    const Bytes &in = c.libdeflate_in[i];
    if (libdeflate_deflate_decompress(d, in.data(), in.size(), out, 2 * kBlockNbytes, &n) != LIBDEFLATE_SUCCESS) {
      return false;
    }
    const size_t skip = c.chained && i != 0 ? kBlockNbytes : 0;
    if (verify && !matches_corpus(c, i, out + skip, n - skip)) return false;
  }
  return true;
}

void BM_Mszip(benchmark::State &state, const char *kind, int level, bool chained) {
  const Corpus &c = corpus(kind, level, chained);
  uint32_t max_nbytes = 0, capacity = 0;
  void *handle = nullptr;
  z_stream stream{};
  libdeflate_decompressor *d = libdeflate_alloc_decompressor();
  std::vector<uint8_t> out(CAB_BLOCK_MAX_NBYTES), zout_a(CAB_BLOCK_MAX_NBYTES), zout_b(CAB_BLOCK_MAX_NBYTES);
  std::vector<uint8_t> dout(2 * kBlockNbytes);
  if (cab_mszip_decoder.create(&max_nbytes, 0, &cabtest::kMallocOps, &capacity, &handle) != DEC_OK ||
      inflateInit2(&stream, -15) != Z_OK || d == nullptr) {
    state.SkipWithError("setup failed");
    return;
  }
  if (!decode_ours(handle, c, out.data(), true) || !decode_zlib(&stream, c, zout_a.data(), zout_b.data(), true) ||
      !decode_libdeflate(d, c, dout.data(), true)) {
    state.SkipWithError("a decoder's output differs from the corpus");
  }
  bench::time_against(state, c.data.size(), [&] { decode_ours(handle, c, out.data(), false); },
                      {{"zlib", [&] { decode_zlib(&stream, c, zout_a.data(), zout_b.data(), false); }},
                       {"libdeflate", [&] { decode_libdeflate(d, c, dout.data(), false); }}});
  libdeflate_free_decompressor(d);
  inflateEnd(&stream);
  cab_mszip_decoder.destroy(handle);
}

BENCHMARK_CAPTURE(BM_Mszip, chained_text_level6, "text", 6, true)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Mszip, chained_text_level9, "text", 9, true)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Mszip, chained_binary_level6, "binary", 6, true)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Mszip, chained_binary_level9, "binary", 9, true)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Mszip, independent_text_level6, "text", 6, false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Mszip, independent_binary_level6, "binary", 6, false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
