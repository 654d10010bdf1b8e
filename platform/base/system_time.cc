// system_time.cc - GetSystemTimeAsFileTime over the POSIX real-time clock.
#include "platform/base/system_time.h"

#include <stdint.h>
#include <time.h>

namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
// Ticks from 1601-01-01 to 1970-01-01: 369 years with 89 leap days.
constexpr uint64_t kUnixEpochTicks = (369 * 365 + 89) * uint64_t{86'400} * kTicksPerSecond;

}  // namespace

void GetSystemTimeAsFileTime(FILETIME *lpSystemTimeAsFileTime) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  const uint64_t ticks = kUnixEpochTicks + static_cast<uint64_t>(now.tv_sec) * kTicksPerSecond +
                         static_cast<uint64_t>(now.tv_nsec) / 100;
  lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
  lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}
