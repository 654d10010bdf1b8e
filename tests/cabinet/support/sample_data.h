// sample_data.h - deterministic test data of distinct kinds: text, random, runs, binary records.
#ifndef TESTS_CABINET_SUPPORT_SAMPLE_DATA_H
#define TESTS_CABINET_SUPPORT_SAMPLE_DATA_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace cabtest {

enum class DataKind { text, random, runs, records };

inline const char *data_kind_name(DataKind kind) {
  switch (kind) {
    case DataKind::text: return "text";
    case DataKind::random: return "random";
    case DataKind::runs: return "runs";
    case DataKind::records: return "records";
  }
  return "?";
}

// `nbytes` bytes of the given kind; the same seed gives the same bytes.
inline std::vector<uint8_t> sample_data(DataKind kind, size_t nbytes, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> data;
  data.reserve(nbytes);
  switch (kind) {
    case DataKind::text: {
      static const char *const kWords[] = {"the",   "cabinet", "folder", "block", "of",     "data",
                                           "and",   "a",       "to",     "file",  "window", "history",
                                           "deflate", "in",    "is",     "code",  "length", "distance"};
      while (data.size() < nbytes) {
        const char *word = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
        data.insert(data.end(), word, word + std::char_traits<char>::length(word));
        data.push_back(rng() % 12 == 0 ? '\n' : ' ');
      }
      break;
    }
    case DataKind::random:
      while (data.size() < nbytes) data.push_back(static_cast<uint8_t>(rng()));
      break;
    case DataKind::runs:
      while (data.size() < nbytes) data.insert(data.end(), 1 + rng() % 300, static_cast<uint8_t>(rng() % 4));
      break;
    case DataKind::records:
      // Little-endian counters and small fields, as in tables of binary files.
      for (uint32_t i = 0; data.size() < nbytes; ++i) {
        const uint32_t fields[4] = {i, i * 16 + 0x400000, static_cast<uint32_t>(rng() % 64), 0};
        for (uint32_t f : fields) {
          for (int b = 0; b < 4; ++b) data.push_back(static_cast<uint8_t>(f >> (8 * b)));
        }
      }
      break;
  }
  data.resize(nbytes);
  return data;
}

} // namespace cabtest

#endif
