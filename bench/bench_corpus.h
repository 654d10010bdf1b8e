// bench_corpus.h - benchmark inputs: the machine's own files (text under /usr/include, executables
// under /usr/bin), topped up with synthetic data where the machine has too few.
#ifndef BENCH_BENCH_CORPUS_H
#define BENCH_BENCH_CORPUS_H

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/cabinet/support/sample_data.h"

namespace bench {

// The regular files under `root` in name order, concatenated up to `limit` bytes; synthetic
// data of `fallback` kind fills up what the machine lacks.
inline std::vector<uint8_t> read_tree(const char *root, size_t limit, cabtest::DataKind fallback) {
  std::vector<std::filesystem::path> paths;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(
           root, std::filesystem::directory_options::skip_permission_denied, error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (!error && it->is_regular_file(error) && !it->is_symlink(error)) paths.push_back(it->path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<uint8_t> data;
  for (const auto &path : paths) {
    if (data.size() >= limit) break;
    std::ifstream in(path, std::ios::binary);
    data.insert(data.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (data.size() < limit) {
    const std::vector<uint8_t> extra = cabtest::sample_data(fallback, limit - data.size(), 1);
    data.insert(data.end(), extra.begin(), extra.end());
  }
  data.resize(limit);
  return data;
}

inline std::vector<uint8_t> text_corpus(size_t nbytes) {
  return read_tree("/usr/include", nbytes, cabtest::DataKind::text);
}

inline std::vector<uint8_t> executable_corpus(size_t nbytes) {
  return read_tree("/usr/bin", nbytes, cabtest::DataKind::records);
}

}  // namespace bench

#endif
