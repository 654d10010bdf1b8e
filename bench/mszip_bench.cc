// mszip_bench.cc - MSZIP decoding throughput against zlib's inflate of the same deflate streams, in one run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "cabinet/decoders/mszip_decoder.h"
#include "tests/cabinet/support/sample_data.h"
#include "tests/cabinet/support/cab_writer.h"

namespace {

using cabtest::Bytes;

constexpr size_t kCorpusNbytes = 6u << 20;

// The regular files under `root` in name order, concatenated up to `limit` bytes; synthetic
// data of `fallback` kind fills up what the machine lacks.
Bytes read_tree(const char *root, size_t limit, cabtest::DataKind fallback) {
  std::vector<std::filesystem::path> paths;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(
           root, std::filesystem::directory_options::skip_permission_denied, error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (!error && it->is_regular_file(error) && !it->is_symlink(error)) paths.push_back(it->path());
  }
  std::sort(paths.begin(), paths.end());
  Bytes data;
  for (const auto &path : paths) {
    if (data.size() >= limit) break;
    std::ifstream in(path, std::ios::binary);
    data.insert(data.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (data.size() < limit) {
    const Bytes extra = cabtest::sample_data(fallback, limit - data.size(), 1);
    data.insert(data.end(), extra.begin(), extra.end());
  }
  data.resize(limit);
  return data;
}

struct Corpus {
  Bytes data;
  std::vector<cabtest::Block> blocks;  // "CK" and a raw deflate stream each
};

const Corpus &corpus(const std::string &kind, int level) {
  static std::map<std::pair<std::string, int>, Corpus> cache;
  Corpus &c = cache[{kind, level}];
  if (c.data.empty()) {
    c.data = kind == "text" ? read_tree("/usr/include", kCorpusNbytes, cabtest::DataKind::text)
                            : read_tree("/usr/bin", kCorpusNbytes, cabtest::DataKind::records);
    c.blocks = cabtest::mszip_compress(c.data, level);
  }
  return c;
}

void *bench_alloc(uint32_t nbytes) { return std::malloc(nbytes); }
void bench_free(void *memory) { std::free(memory); }
const CabOps kOps = {bench_alloc, bench_free, nullptr, nullptr, nullptr, nullptr, nullptr};

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

using Clock = std::chrono::steady_clock;

// Each iteration decodes the corpus with both, back to back; the benchmark's own time is ours.
void BM_MszipVsZlib(benchmark::State &state, const char *kind, int level) {
  const Corpus &c = corpus(kind, level);
  uint32_t max_nbytes = 0, capacity = 0;
  void *handle = nullptr;
  z_stream stream{};
  std::vector<uint8_t> out(CAB_BLOCK_MAX_NBYTES), zout_a(CAB_BLOCK_MAX_NBYTES), zout_b(CAB_BLOCK_MAX_NBYTES);
  if (cab_mszip_decoder.create(&max_nbytes, 0, &kOps, &capacity, &handle) != DEC_OK ||
      inflateInit2(&stream, -15) != Z_OK) {
    state.SkipWithError("setup failed");
    return;
  }
  if (!decode_ours(handle, c, out.data(), true) || !decode_zlib(&stream, c, zout_a.data(), zout_b.data(), true)) {
    state.SkipWithError("a decoder's output differs from the corpus");
  }
  double ours_s = 0, zlib_s = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    decode_ours(handle, c, out.data(), false);
    const auto t1 = Clock::now();
    decode_zlib(&stream, c, zout_a.data(), zout_b.data(), false);
    const auto t2 = Clock::now();
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(zout_a.data());
    const double ours = std::chrono::duration<double>(t1 - t0).count();
    ours_s += ours;
    zlib_s += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(ours);
  }
  const double mb = static_cast<double>(c.data.size()) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["ours_MBps"] = mb / ours_s;
  state.counters["zlib_MBps"] = mb / zlib_s;
  state.counters["ratio"] = zlib_s / ours_s;
  state.SetBytesProcessed(static_cast<int64_t>(c.data.size()) * state.iterations());
  inflateEnd(&stream);
  cab_mszip_decoder.destroy(handle);
}

BENCHMARK_CAPTURE(BM_MszipVsZlib, text_level6, "text", 6)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MszipVsZlib, text_level9, "text", 9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MszipVsZlib, binary_level6, "binary", 6)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MszipVsZlib, binary_level9, "binary", 9)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
