// test_data.h - deterministic file contents for the reader tests: text-like, random and runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cabtest {

// Words drawn from a small vocabulary, so that MSZIP finds matches near and far.
std::vector<uint8_t> text_data(size_t nbytes, uint32_t seed);
// Uniform bytes, incompressible.
std::vector<uint8_t> random_data(size_t nbytes, uint32_t seed);
// Long runs of a few byte values.
std::vector<uint8_t> run_data(size_t nbytes, uint32_t seed);

}  // namespace cabtest
