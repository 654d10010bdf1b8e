// test_data.cc - deterministic generators of file contents for cabinet tests.
#include "tests/cabinet/harness/test_data.h"

#include <random>

namespace cabtest {

std::vector<uint8_t> text_data(size_t nbytes, uint32_t seed) {
  static const char *const kWords[] = {"cabinet", "folder", "block", "the", "of", "signature", "data",
                                       "window", "and", "history", "Bundlex", "extract", "a", "to"};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  out.reserve(nbytes);
  while (out.size() < nbytes) {
    std::string word = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    word += rng() % 9 == 0 ? ".\n" : " ";
    for (char c : word) {
      if (out.size() == nbytes) break;
      out.push_back(static_cast<uint8_t>(c));
    }
  }
  return out;
}

std::vector<uint8_t> random_data(size_t nbytes, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(nbytes);
  for (uint8_t &byte : out) byte = static_cast<uint8_t>(rng());
  return out;
}

std::vector<uint8_t> run_data(size_t nbytes, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  out.reserve(nbytes);
  while (out.size() < nbytes) {
    auto value = static_cast<uint8_t>(rng() % 4);
    size_t run = 1 + rng() % 300;
    for (size_t i = 0; i < run && out.size() < nbytes; ++i) out.push_back(value);
  }
  return out;
}

}  // namespace cabtest
