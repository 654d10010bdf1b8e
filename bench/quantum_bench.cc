// quantum_bench.cc - Quantum decoding throughput against zlib's inflate of the same corpus, in one run.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "bench/bench_corpus.h"
#include "bench/decoder_bench.h"
#include "cabinet/decoders/quantum_decoder.h"
#include "tests/cabinet/support/quantum_compressor.h"

namespace {

using cabtest::Bytes;

constexpr size_t kCorpusNbytes = 6u << 20;
constexpr unsigned kWindowBits = 21;  // the largest window, as cabinet makers use for big payloads

struct Corpus {
  Bytes data;
  std::vector<cabtest::Block> blocks;  // one Quantum folder
  Bytes deflated;                      // a zlib stream of the same data at level 9
};

const Corpus &corpus(const std::string &kind) {
  static std::map<std::string, Corpus> cache;
  Corpus &c = cache[kind];
  if (c.data.empty()) {
    c.data = kind == "text" ? bench::text_corpus(kCorpusNbytes) : bench::executable_corpus(kCorpusNbytes);
    c.blocks = cabtest::quantum_compress(c.data, kWindowBits);
    c.deflated = bench::deflate_level9(c.data);
  }
  return c;
}

void BM_QuantumVsZlib(benchmark::State &state, const char *kind) {
  const Corpus &c = corpus(kind);
  bench::folder_against_zlib(state, cab_quantum_decoder, kWindowBits, c.data, c.blocks, c.deflated, "quantum");
}

BENCHMARK_CAPTURE(BM_QuantumVsZlib, text, "text")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_QuantumVsZlib, executables, "executables")->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
