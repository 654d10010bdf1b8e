// system_time.h - the system clock as a FILETIME (GetSystemTimeAsFileTime).
#pragma once

#include "platform/base/win_types.h"

#ifdef __cplusplus
extern "C" {
#endif

// The current time in UTC, in 100-nanosecond intervals since 1601-01-01.
void GetSystemTimeAsFileTime(FILETIME *lpSystemTimeAsFileTime);

#ifdef __cplusplus
}
#endif
