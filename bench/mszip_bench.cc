// mszip_bench.cc - MSZIP decoding throughput against zlib's inflate of the same deflate streams, in one run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_corpus.h"
#include "bench/decoder_bench.h"
#include "cabinet/decoders/mszip_decoder.h"
#include "tests/cabinet/support/cab_writer.h"

namespace {

using cabtest::Bytes;

constexpr size_t kCorpusNbytes = 6u << 20;

struct Corpus {
  Bytes data;
  std::vector<cabtest::Block> blocks;  // "CK" and a raw deflate stream each
};

const Corpus &corpus(const std::string &kind, int level) {
  static std::map<std::pair<std::string, int>, Corpus> cache;
  Corpus &c = cache[{kind, level}];
  if (c.data.empty()) {
    c.data = kind == "text" ? bench::text_corpus(kCorpusNbytes) : bench::executable_corpus(kCorpusNbytes);
    c.blocks = cabtest::mszip_compress(c.data, level);
  }
  return c;
}

// Our decoder: every block in order into the one 32768-byte buffer that is also the history.
bool decode_ours(void *handle, const Corpus &c, uint8_t *out, bool verify) {
  for (size_t i = 0; i < c.blocks.size(); ++i) {
    uint32_t n = CAB_BLOCK_MAX_NBYTES;
    if (cab_mszip_decoder.decode(handle, c.blocks[i].compressed.data(), static_cast<uint32_t>(c.blocks[i].compressed.size()), out, &n) !=
        DEC_OK) {
      return false;
    }
    if (verify && !std::equal(out, out + n, c.data.begin() + i * CAB_BLOCK_MAX_NBYTES)) return false;
  }
  return true;
}

// zlib: the same raw streams, each primed with the previous block's output as its dictionary.
bool decode_zlib(z_stream *stream, const Corpus &c, uint8_t *out_a, uint8_t *out_b, bool verify) {
  uint8_t *out = out_a;
  uint8_t *previous = out_b;
  for (size_t i = 0; i < c.blocks.size(); ++i) {
    inflateReset(stream);
    if (i != 0 && inflateSetDictionary(stream, previous, CAB_BLOCK_MAX_NBYTES) != Z_OK) return false;
    stream->next_in = const_cast<Bytef *>(c.blocks[i].compressed.data() + 2);
    stream->avail_in = static_cast<uInt>(c.blocks[i].compressed.size() - 2);
    stream->next_out = out;
    stream->avail_out = CAB_BLOCK_MAX_NBYTES;
    if (inflate(stream, Z_FINISH) != Z_STREAM_END) return false;
    const size_t n = CAB_BLOCK_MAX_NBYTES - stream->avail_out;
    if (verify && !std::equal(out, out + n, c.data.begin() + i * CAB_BLOCK_MAX_NBYTES)) return false;
    std::swap(out, previous);
  }
  return true;
}

void BM_MszipVsZlib(benchmark::State &state, const char *kind, int level) {
  const Corpus &c = corpus(kind, level);
  uint32_t max_nbytes = 0, capacity = 0;
  void *handle = nullptr;
  z_stream stream{};
  std::vector<uint8_t> out(CAB_BLOCK_MAX_NBYTES), zout_a(CAB_BLOCK_MAX_NBYTES), zout_b(CAB_BLOCK_MAX_NBYTES);
  if (cab_mszip_decoder.create(&max_nbytes, 0, &bench::kOps, &capacity, &handle) != DEC_OK ||
      inflateInit2(&stream, -15) != Z_OK) {
    state.SkipWithError("setup failed");
    return;
  }
  if (!decode_ours(handle, c, out.data(), true) || !decode_zlib(&stream, c, zout_a.data(), zout_b.data(), true)) {
    state.SkipWithError("a decoder's output differs from the corpus");
  }
  bench::time_against_zlib(
      state, c.data.size(), [&] { decode_ours(handle, c, out.data(), false); },
      [&] { decode_zlib(&stream, c, zout_a.data(), zout_b.data(), false); });
  inflateEnd(&stream);
  cab_mszip_decoder.destroy(handle);
}

BENCHMARK_CAPTURE(BM_MszipVsZlib, text_level6, "text", 6)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MszipVsZlib, text_level9, "text", 9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MszipVsZlib, binary_level6, "binary", 6)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MszipVsZlib, binary_level9, "binary", 9)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
