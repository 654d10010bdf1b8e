// lzx_bench.cc - LZX decoding throughput against zlib's inflate of the same corpus at level 9, in one run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_corpus.h"
#include "bench/decoder_bench.h"
#include "cabinet/decoders/lzx_decoder.h"
#include "tests/cabinet/support/lzx_compressor.h"

namespace {

using cabtest::Bytes;

constexpr size_t kCorpusNbytes = 6u << 20;
constexpr unsigned kWindowBits = 21;
// The translation size cabinet makers customarily give executables.
constexpr uint32_t kTranslationNbytes = 12000000;

struct Corpus {
  Bytes data;
  std::vector<cabtest::Block> frames;  // LZX, one per cabinet data block
  Bytes deflated;                      // a zlib stream of the whole corpus at level 9
};

const Corpus &corpus(const std::string &kind) {
  static std::map<std::string, Corpus> cache;
  Corpus &c = cache[kind];
  if (c.data.empty()) {
    cabtest::LzxOptions options;
    options.window_bits = kWindowBits;
    if (kind == "text") {
      c.data = bench::text_corpus(kCorpusNbytes);
    } else {
      c.data = bench::executable_corpus(kCorpusNbytes);
      options.translation_nbytes = kTranslationNbytes;
    }
    c.frames = cabtest::lzx_compress(c.data, options).frames;
    c.deflated = bench::deflate_level9(c.data);
  }
  return c;
}

void BM_LzxVsZlib(benchmark::State &state, const char *kind) {
  const Corpus &c = corpus(kind);
  uint32_t max_nbytes = 0, capacity = 0;
  void *handle = nullptr;
  z_stream stream{};
  std::vector<uint8_t> out(CAB_BLOCK_MAX_NBYTES);
  Bytes zout(c.data.size());
  if (cab_lzx_decoder.create(&max_nbytes, 1u << kWindowBits, &bench::kOps, &capacity, &handle) != DEC_OK ||
      inflateInit(&stream) != Z_OK) {
    state.SkipWithError("setup failed");
    return;
  }
  const auto decode_zlib = [&] {
    return bench::inflate_whole(&stream, c.deflated.data(), c.deflated.size(), zout.data(), zout.size());
  };
  const auto decode_ours = [&](bool verify) {
    return bench::decode_folder(cab_lzx_decoder, handle, c.frames, c.data, out.data(), verify);
  };
  if (!decode_ours(true) || !decode_zlib() || zout != c.data) {
    state.SkipWithError("a decoder's output differs from the corpus");
  }
  bench::time_against(state, c.data.size(), [&] { decode_ours(false); }, {{"zlib", decode_zlib}});
  // Compressed size over original size, for reading the speeds.
  state.counters["lzx_size"] =
      static_cast<double>(bench::compressed_nbytes(c.frames)) / static_cast<double>(c.data.size());
  state.counters["zlib_size"] = static_cast<double>(c.deflated.size()) / static_cast<double>(c.data.size());
  inflateEnd(&stream);
  cab_lzx_decoder.destroy(handle);
}

BENCHMARK_CAPTURE(BM_LzxVsZlib, text, "text")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzxVsZlib, executables, "executables")->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
