// file_time.h - conversions between FILETIME and POSIX times, for the file functions that read and set times.
#pragma once

#include <time.h>

#include "platform/base/win_types.h"

namespace platform {

// The POSIX time for `file_time`; false for a value with its top bit set, which names no time.
bool timespec_from_filetime(const FILETIME &file_time, struct timespec *out);

// The FILETIME for `time`; false for a time before 1601, which a FILETIME cannot hold.
bool filetime_from_timespec(const struct timespec &time, FILETIME *out);

}  // namespace platform
