// quantum_bench.cc - Quantum decoding throughput against zlib's inflate of the same corpus, in one run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
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
  uint32_t max_nbytes = 0, capacity = 0;
  void *handle = nullptr;
  z_stream stream{};
  std::vector<uint8_t> out(CAB_BLOCK_MAX_NBYTES);
  Bytes zout(c.data.size());
  if (cab_quantum_decoder.create(&max_nbytes, kWindowBits, &bench::kOps, &capacity, &handle) != DEC_OK ||
      inflateInit(&stream) != Z_OK) {
    state.SkipWithError("setup failed");
    return;
  }
  const auto decode_zlib = [&] {
    return bench::inflate_whole(&stream, c.deflated.data(), c.deflated.size(), zout.data(), zout.size());
  };
  const auto decode_ours = [&](bool verify) {
    return bench::decode_folder(cab_quantum_decoder, handle, c.blocks, c.data, out.data(), verify);
  };
  if (!decode_ours(true) || !decode_zlib() || zout != c.data) {
    state.SkipWithError("a decoder's output differs from the corpus");
  }
  bench::time_against(state, c.data.size(), [&] { decode_ours(false); }, {{"zlib", decode_zlib}});
  state.counters["quantum_pct"] =
      100.0 * static_cast<double>(bench::compressed_nbytes(c.blocks)) / static_cast<double>(c.data.size());
  state.counters["deflate_pct"] = 100.0 * static_cast<double>(c.deflated.size()) / static_cast<double>(c.data.size());
  inflateEnd(&stream);
  cab_quantum_decoder.destroy(handle);
}

BENCHMARK_CAPTURE(BM_QuantumVsZlib, text, "text")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_QuantumVsZlib, executables, "executables")->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
