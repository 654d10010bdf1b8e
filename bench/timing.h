// timing.h - what the benchmarks share for timing: the thread's CPU clock and the median of one side's times.
#ifndef BENCH_TIMING_H
#define BENCH_TIMING_H

#include <time.h>

#include <algorithm>
#include <vector>

namespace bench {

// The CPU time this thread has used. Work that runs on one thread is timed by it without the time
// the thread waits while other processes run, which on a shared machine is most of the noise.
inline double thread_seconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The middle value, or the mean of the two middle values of an even count; `values` must not be empty.
inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace bench

#endif
