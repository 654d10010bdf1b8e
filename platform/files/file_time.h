// file_time.h - conversions between FILETIME and POSIX times, for the file functions that read and set times.
#pragma once

#include <time.h>

#include "platform/base/win_types.h"

namespace platform {

// The POSIX time for `file_time`; false for a value with its top bit set, which names no time.
bool timespec_from_filetime(const FILETIME &file_time, struct timespec *out);

// The FILETIME for `time`; false for a time before 1601, which a FILETIME cannot hold.
bool filetime_from_timespec(const struct timespec &time, FILETIME *out);

// While one lives on the calling thread, the local-time conversions (LocalFileTimeToFileTime,
// FileTimeToLocalFileTime) keep to the time zone read when it was made, instead of reading the
// zone again (a look at the zone file) for every call: for callers that convert many times in one
// piece of work. Holds nest.
class TimeZoneHold {
 public:
  TimeZoneHold();
  ~TimeZoneHold();
  TimeZoneHold(const TimeZoneHold &) = delete;
  TimeZoneHold &operator=(const TimeZoneHold &) = delete;
};

}  // namespace platform
