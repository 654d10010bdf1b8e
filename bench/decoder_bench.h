// decoder_bench.h - what the decoder benchmarks share: the decoders' memory operations, zlib inflating a whole stream, and the timing of ours against zlib in one iteration.
#ifndef BENCH_DECODER_BENCH_H
#define BENCH_DECODER_BENCH_H

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cabinet/include/cab_ops.h"
#include "cabinet/decoders/decoder.h"
#include "tests/cabinet/support/cab_writer.h"

namespace bench {

inline void *bench_alloc(uint32_t nbytes) { return std::malloc(nbytes); }
inline void bench_free(void *memory) { std::free(memory); }
inline const CabOps kOps = {bench_alloc, bench_free, nullptr, nullptr, nullptr, nullptr, nullptr};

// A decoder as the reader drives it over one folder: reset, then every block in order into one
// 32768-byte buffer. With `verify`, each block's output is compared with the corpus `data`.
inline bool decode_folder(const CabDecoder &decoder, void *handle, const std::vector<cabtest::Block> &blocks,
                          const std::vector<uint8_t> &data, uint8_t *out, bool verify) {
  if (decoder.reset(handle) != DEC_OK) return false;
  size_t at = 0;
  for (const cabtest::Block &block : blocks) {
    uint32_t n = block.uncompressed_nbytes;
    if (decoder.decode(handle, block.compressed.data(), static_cast<uint32_t>(block.compressed.size()), out, &n) !=
        DEC_OK) {
      return false;
    }
    if (verify && (at + n > data.size() || !std::equal(out, out + n, data.begin() + static_cast<std::ptrdiff_t>(at))))
      return false;
    at += n;
  }
  return at == data.size();
}

inline size_t compressed_nbytes(const std::vector<cabtest::Block> &blocks) {
  size_t nbytes = 0;
  for (const cabtest::Block &block : blocks) nbytes += block.compressed.size();
  return nbytes;
}

// The peer's input: the whole corpus as one zlib stream at level 9.
inline std::vector<uint8_t> deflate_level9(const std::vector<uint8_t> &data) {
  uLongf nbytes = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> deflated(nbytes);
  if (compress2(deflated.data(), &nbytes, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) std::abort();
  deflated.resize(nbytes);
  return deflated;
}

// zlib's fastest way: the whole stream inflated in one call into a buffer of out_nbytes. False
// unless the stream ends there.
inline bool inflate_whole(z_stream *stream, const uint8_t *deflated, size_t deflated_nbytes, uint8_t *out,
                          size_t out_nbytes) {
  inflateReset(stream);
  stream->next_in = const_cast<Bytef *>(deflated);
  stream->avail_in = static_cast<uInt>(deflated_nbytes);
  stream->next_out = out;
  stream->avail_out = static_cast<uInt>(out_nbytes);
  return inflate(stream, Z_FINISH) == Z_STREAM_END;
}

// Each iteration decodes the corpus of corpus_nbytes with both, back to back, so that noise hits
// both alike; the benchmark's own time is ours. Reports both speeds and the ratio zlib time /
// our time (above 1: we are faster).
template <typename Ours, typename Zlib>
void time_against_zlib(benchmark::State &state, size_t corpus_nbytes, Ours decode_ours, Zlib decode_zlib) {
  using Clock = std::chrono::steady_clock;
  double ours_s = 0, zlib_s = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    decode_ours();
    const auto t1 = Clock::now();
    decode_zlib();
    const auto t2 = Clock::now();
    benchmark::ClobberMemory();
    const double ours = std::chrono::duration<double>(t1 - t0).count();
    ours_s += ours;
    zlib_s += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(ours);
  }
  const double mb = static_cast<double>(corpus_nbytes) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["ours_MBps"] = mb / ours_s;
  state.counters["zlib_MBps"] = mb / zlib_s;
  state.counters["ratio"] = zlib_s / ours_s;
  state.SetBytesProcessed(static_cast<int64_t>(corpus_nbytes) * state.iterations());
}

}  // namespace bench

#endif
