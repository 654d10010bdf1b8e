// lzx_bench.cc - LZX decoding throughput against zlib's inflate of the same corpus at level 9, in one run.
#include <benchmark/benchmark.h>

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
  bench::folder_against_zlib(state, cab_lzx_decoder, 1u << kWindowBits, c.data, c.frames, c.deflated, "lzx");
}

BENCHMARK_CAPTURE(BM_LzxVsZlib, text, "text")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzxVsZlib, executables, "executables")->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
