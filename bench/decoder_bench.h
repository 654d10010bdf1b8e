// decoder_bench.h - what the decoder benchmarks share: a folder through a decoder, zlib inflating a whole stream, and the timing of ours against peers in one iteration.
#ifndef BENCH_DECODER_BENCH_H
#define BENCH_DECODER_BENCH_H

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "cabinet/include/cab_ops.h"
#include "cabinet/decoders/decoder.h"
#include "tests/cabinet/support/cab_writer.h"
#include "tests/cabinet/support/malloc_ops.h"

namespace bench {

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

// A peer decoder: its name in the counters, and a call that decodes the whole corpus.
struct Peer {
  const char *name;
  std::function<void()> decode;
};

// Each iteration decodes the corpus of corpus_nbytes with ours and then each peer, back to back,
// so that noise hits all alike; the benchmark's own time is ours. Times are CPU times of this
// thread. Reports each side's speed (`ours_MBps`, `<peer>_MBps`) and, per peer, `vs_<peer>` =
// peer time / our time (above 1: we are faster).
template <typename Ours>
void time_against(benchmark::State &state, size_t corpus_nbytes, Ours decode_ours, const std::vector<Peer> &peers) {
  double ours_s = 0;
  std::vector<double> peer_s(peers.size());
  for (auto _ : state) {
    const double start = bench::thread_seconds();
    decode_ours();
    const double ours = bench::thread_seconds() - start;
    for (size_t i = 0; i < peers.size(); ++i) {
      const double peer_start = bench::thread_seconds();
      peers[i].decode();
      peer_s[i] += bench::thread_seconds() - peer_start;
    }
    benchmark::ClobberMemory();
    ours_s += ours;
    state.SetIterationTime(ours);
  }
  const double mb = static_cast<double>(corpus_nbytes) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["ours_MBps"] = mb / ours_s;
  for (size_t i = 0; i < peers.size(); ++i) {
    state.counters[std::string(peers[i].name) + "_MBps"] = mb / peer_s[i];
    state.counters[std::string("vs_") + peers[i].name] = peer_s[i] / ours_s;
  }
  state.SetBytesProcessed(static_cast<int64_t>(corpus_nbytes) * state.iterations());
}


/*
 * Our decoder against zlib over one folder: `decoder`, created with `window`, decodes `blocks`
 * as the reader does; zlib inflates `deflated`, the same `data` as one stream, in one call into
 * one buffer, its fastest case. Both outputs are checked against `data` first. Adds each
 * format's compressed size as a percentage of the corpus: `<ours_name>_pct` and `deflate_pct`.
 */
inline void folder_against_zlib(benchmark::State &state, const CabDecoder &decoder, uint32_t window,
                                const std::vector<uint8_t> &data, const std::vector<cabtest::Block> &blocks,
                                const std::vector<uint8_t> &deflated, const std::string &ours_name) {
  uint32_t max_nbytes = 0, capacity = 0;
  void *handle = nullptr;
  z_stream stream{};
  std::vector<uint8_t> out(CAB_BLOCK_MAX_NBYTES);
  std::vector<uint8_t> zout(data.size());
  if (decoder.create(&max_nbytes, window, &cabtest::kMallocOps, &capacity, &handle) != DEC_OK ||
      inflateInit(&stream) != Z_OK) {
    state.SkipWithError("setup failed");
    return;
  }
  const auto decode_zlib = [&] {
    return inflate_whole(&stream, deflated.data(), deflated.size(), zout.data(), zout.size());
  };
  const auto decode_ours = [&](bool verify) {
    return decode_folder(decoder, handle, blocks, data, out.data(), verify);
  };
  if (!decode_ours(true) || !decode_zlib() || zout != data) {
    state.SkipWithError("a decoder's output differs from the corpus");
  }
  time_against(state, data.size(), [&] { decode_ours(false); }, {{"zlib", decode_zlib}});
  const double corpus_nbytes = static_cast<double>(data.size());
  state.counters[ours_name + "_pct"] = 100.0 * static_cast<double>(compressed_nbytes(blocks)) / corpus_nbytes;
  state.counters["deflate_pct"] = 100.0 * static_cast<double>(deflated.size()) / corpus_nbytes;
  inflateEnd(&stream);
  decoder.destroy(handle);
}

}  // namespace bench

#endif
