// test_data.cc - the reader tests' names for the kinds of sample data.
#include "tests/cabinet/harness/test_data.h"

#include "tests/cabinet/support/sample_data.h"

namespace cabtest {

std::vector<uint8_t> text_data(size_t nbytes, uint32_t seed) { return sample_data(DataKind::text, nbytes, seed); }
std::vector<uint8_t> random_data(size_t nbytes, uint32_t seed) { return sample_data(DataKind::random, nbytes, seed); }
std::vector<uint8_t> run_data(size_t nbytes, uint32_t seed) { return sample_data(DataKind::runs, nbytes, seed); }

}  // namespace cabtest
