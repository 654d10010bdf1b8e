// quantum_bench.cc - Quantum decoding throughput against zlib's inflate of the same corpus, in one run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_corpus.h"
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
    uLongf nbytes = compressBound(static_cast<uLong>(c.data.size()));
    c.deflated.resize(nbytes);
    if (compress2(c.deflated.data(), &nbytes, c.data.data(), static_cast<uLong>(c.data.size()), 9) != Z_OK) {
      std::abort();
    }
    c.deflated.resize(nbytes);
  }
  return c;
}

void *bench_alloc(uint32_t nbytes) { return std::malloc(nbytes); }
void bench_free(void *memory) { std::free(memory); }
const CabOps kOps = {bench_alloc, bench_free, nullptr, nullptr, nullptr, nullptr, nullptr};

// Ours: the folder from its start, every block in order into one 32768-byte buffer, as the reader does.
bool decode_ours(void *handle, const Corpus &c, uint8_t *out, bool verify) {
  if (cab_quantum_decoder.reset(handle) != DEC_OK) return false;
  size_t at = 0;
  for (const cabtest::Block &block : c.blocks) {
    uint32_t n = block.uncompressed_nbytes;
    if (cab_quantum_decoder.decode(handle, block.compressed.data(), static_cast<uint32_t>(block.compressed.size()), out,
                                   &n) != DEC_OK) {
      return false;
    }
    if (verify && !std::equal(out, out + n, c.data.begin() + static_cast<std::ptrdiff_t>(at))) return false;
    at += n;
  }
  return true;
}

// zlib: the whole stream in one call into one buffer, its fastest way.
bool decode_zlib(z_stream *stream, const Corpus &c, Bytes &out, bool verify) {
  inflateReset(stream);
  stream->next_in = const_cast<Bytef *>(c.deflated.data());
  stream->avail_in = static_cast<uInt>(c.deflated.size());
  stream->next_out = out.data();
  stream->avail_out = static_cast<uInt>(out.size());
  if (inflate(stream, Z_FINISH) != Z_STREAM_END) return false;
  return !verify || out == c.data;
}

using Clock = std::chrono::steady_clock;

// Each iteration decodes the corpus with both, back to back; the benchmark's own time is ours.
void BM_QuantumVsZlib(benchmark::State &state, const char *kind) {
  const Corpus &c = corpus(kind);
  uint32_t max_nbytes = 0, capacity = 0;
  void *handle = nullptr;
  z_stream stream{};
  std::vector<uint8_t> out(CAB_BLOCK_MAX_NBYTES);
  Bytes zout(c.data.size());
  if (cab_quantum_decoder.create(&max_nbytes, kWindowBits, &kOps, &capacity, &handle) != DEC_OK ||
      inflateInit(&stream) != Z_OK) {
    state.SkipWithError("setup failed");
    return;
  }
  if (!decode_ours(handle, c, out.data(), true) || !decode_zlib(&stream, c, zout, true)) {
    state.SkipWithError("a decoder's output differs from the corpus");
  }
  double ours_s = 0, zlib_s = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    decode_ours(handle, c, out.data(), false);
    const auto t1 = Clock::now();
    decode_zlib(&stream, c, zout, false);
    const auto t2 = Clock::now();
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(zout.data());
    const double ours = std::chrono::duration<double>(t1 - t0).count();
    ours_s += ours;
    zlib_s += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(ours);
  }
  size_t quantum_nbytes = 0;
  for (const cabtest::Block &block : c.blocks) quantum_nbytes += block.compressed.size();
  const double mb = static_cast<double>(c.data.size()) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["ours_MBps"] = mb / ours_s;
  state.counters["zlib_MBps"] = mb / zlib_s;
  state.counters["ratio"] = zlib_s / ours_s;
  state.counters["quantum_pct"] = 100.0 * static_cast<double>(quantum_nbytes) / static_cast<double>(c.data.size());
  state.counters["deflate_pct"] = 100.0 * static_cast<double>(c.deflated.size()) / static_cast<double>(c.data.size());
  state.SetBytesProcessed(static_cast<int64_t>(c.data.size()) * state.iterations());
  inflateEnd(&stream);
  cab_quantum_decoder.destroy(handle);
}

BENCHMARK_CAPTURE(BM_QuantumVsZlib, text, "text")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_QuantumVsZlib, executables, "executables")->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
