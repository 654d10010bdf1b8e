// lzx_bench.cc - LZX decoding throughput against zlib's inflate of the same corpus at level 9, in one run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_corpus.h"
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

// Our decoder as the reader drives it: reset for the folder, then every frame into one
// 32768-byte buffer. With `verify`, each frame is compared with the corpus.
bool decode_ours(void *handle, const Corpus &c, uint8_t *out, bool verify) {
  if (cab_lzx_decoder.reset(handle) != DEC_OK) return false;
  size_t at = 0;
  for (const cabtest::Block &frame : c.frames) {
    uint32_t n = frame.uncompressed_nbytes;
    if (cab_lzx_decoder.decode(handle, frame.compressed.data(), static_cast<uint32_t>(frame.compressed.size()), out,
                               &n) != DEC_OK) {
      return false;
    }
    if (verify && !std::equal(out, out + n, c.data.begin() + static_cast<std::ptrdiff_t>(at))) return false;
    at += n;
  }
  return at == c.data.size();
}

// zlib: the whole stream inflated in one call into a buffer the size of the corpus.
bool decode_zlib(z_stream *stream, const Corpus &c, uint8_t *out, bool verify) {
  inflateReset(stream);
  stream->next_in = const_cast<Bytef *>(c.deflated.data());
  stream->avail_in = static_cast<uInt>(c.deflated.size());
  stream->next_out = out;
  stream->avail_out = static_cast<uInt>(c.data.size());
  if (inflate(stream, Z_FINISH) != Z_STREAM_END) return false;
  return !verify || std::equal(out, out + c.data.size(), c.data.begin());
}

using Clock = std::chrono::steady_clock;

size_t frames_nbytes(const Corpus &c) {
  size_t nbytes = 0;
  for (const cabtest::Block &frame : c.frames) nbytes += frame.compressed.size();
  return nbytes;
}

// Each iteration decodes the corpus with both, back to back; the benchmark's own time is ours.
void BM_LzxVsZlib(benchmark::State &state, const char *kind) {
  const Corpus &c = corpus(kind);
  uint32_t max_nbytes = 0, capacity = 0;
  void *handle = nullptr;
  z_stream stream{};
  std::vector<uint8_t> out(CAB_BLOCK_MAX_NBYTES), zout(c.data.size());
  if (cab_lzx_decoder.create(&max_nbytes, 1u << kWindowBits, &kOps, &capacity, &handle) != DEC_OK ||
      inflateInit(&stream) != Z_OK) {
    state.SkipWithError("setup failed");
    return;
  }
  if (!decode_ours(handle, c, out.data(), true) || !decode_zlib(&stream, c, zout.data(), true)) {
    state.SkipWithError("a decoder's output differs from the corpus");
  }
  double ours_s = 0, zlib_s = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    decode_ours(handle, c, out.data(), false);
    const auto t1 = Clock::now();
    decode_zlib(&stream, c, zout.data(), false);
    const auto t2 = Clock::now();
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(zout.data());
    const double ours = std::chrono::duration<double>(t1 - t0).count();
    ours_s += ours;
    zlib_s += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(ours);
  }
  const double mb = static_cast<double>(c.data.size()) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["ours_MBps"] = mb / ours_s;
  state.counters["zlib_MBps"] = mb / zlib_s;
  state.counters["ratio"] = zlib_s / ours_s;
  // Compressed size over original size, for reading the speeds.
  state.counters["lzx_size"] = static_cast<double>(frames_nbytes(c)) / static_cast<double>(c.data.size());
  state.counters["zlib_size"] = static_cast<double>(c.deflated.size()) / static_cast<double>(c.data.size());
  state.SetBytesProcessed(static_cast<int64_t>(c.data.size()) * state.iterations());
  inflateEnd(&stream);
  cab_lzx_decoder.destroy(handle);
}

BENCHMARK_CAPTURE(BM_LzxVsZlib, text, "text")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzxVsZlib, executables, "executables")->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
