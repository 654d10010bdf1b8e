// median.h - the median of one side's timings, shared by the benchmarks that alternate rounds.
#ifndef BENCH_MEDIAN_H
#define BENCH_MEDIAN_H

#include <algorithm>
#include <vector>

namespace bench {

// The middle value, or the mean of the two middle values of an even count; `values` must not be empty.
inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace bench

#endif
