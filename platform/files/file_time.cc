// file_time.cc - FILETIME arithmetic: MS-DOS dates, local and universal time, and the POSIX times of files.
//
// A FILETIME counts 100-nanosecond ticks since 1601-01-01. Whether that is universal or local time
// depends on who made it: a "local" FILETIME holds the wall-clock fields of a local time counted as if
// they were universal, so both kinds share one calendar arithmetic and differ by the zone's offset. The
// zone is the process's TZ, read afresh by every conversion (tzset) unless a TimeZoneHold lives on the
// thread; every call is thread-safe (localtime_r, no static buffer).
#include "platform/files/file_time.h"

#include <stdint.h>

#include "platform/base/last_error.h"
#include "platform/files/file_api.h"

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
// Ticks from 1601-01-01 to 1970-01-01: 369 years with 89 leap days.
constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;
static_assert(kUnixEpochTicks == (369 * 365 + 89) * int64_t{86'400} * kTicksPerSecond);

// A FILETIME's ticks, or -1 for a value with its top bit set, which Windows treats as no time at all.
int64_t ticks_of(const FILETIME &file_time) {
  const uint64_t ticks = uint64_t{file_time.dwHighDateTime} << 32 | file_time.dwLowDateTime;
  return ticks > INT64_MAX ? -1 : static_cast<int64_t>(ticks);
}

void set_ticks(FILETIME *file_time, int64_t ticks) {
  file_time->dwLowDateTime = static_cast<DWORD>(ticks);
  file_time->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
}

// Whole seconds since 1970 and the 100-nanosecond ticks past them.
struct UnixTime {
  time_t seconds;
  int64_t extra_ticks;
};

// Rounds down, so a time before 1970 keeps a non-negative count of extra ticks.
UnixTime unix_time_of(int64_t ticks) {
  const int64_t since_epoch = ticks - kUnixEpochTicks;
  int64_t seconds = since_epoch / kTicksPerSecond;
  int64_t extra = since_epoch % kTicksPerSecond;
  if (extra < 0) {
    seconds -= 1;
    extra += kTicksPerSecond;
  }
  return {static_cast<time_t>(seconds), extra};
}

// The ticks of a time in seconds since 1970 plus extra ticks; false before 1601 or past the range.
bool ticks_of_unix_time(time_t seconds, int64_t extra_ticks, int64_t *ticks) {
  int64_t scaled;
  if (__builtin_mul_overflow(static_cast<int64_t>(seconds), kTicksPerSecond, &scaled) ||
      __builtin_add_overflow(scaled, kUnixEpochTicks + extra_ticks, ticks)) {
    return false;
  }
  return *ticks >= 0;
}

thread_local int t_time_zone_holds = 0;

// Reads the zone again, unless a hold keeps the one read before.
void read_time_zone() {
  if (t_time_zone_holds == 0) tzset();
}

BOOL fail_invalid_parameter() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

// The offset of local time from universal time in force at the instant `utc_seconds`.
bool utc_offset_at(time_t utc_seconds, long *offset) {
  struct tm fields;
  if (localtime_r(&utc_seconds, &fields) == nullptr) return false;
  *offset = fields.tm_gmtoff;
  return true;
}

// The universal time of the wall-clock time `local_seconds` (its fields counted as if universal).
// Where the clocks go back, an hour of wall-clock times happens twice: this picks the first time,
// still on the earlier offset. Where they go forward, an hour of them never happens: this reads such
// a time with the earlier offset too, as mktime does (so 02:30 on the morning clocks go from 02:00 to
// 03:00 is 03:30 after the change). mktime itself is not used because glibc's resolves a repeated
// time by a hint left over from its previous call, so the same input could give either answer.
// Offsets a day either side bracket the change, as no zone changes its clocks twice in a day.
bool utc_of_local(time_t local_seconds, time_t *utc_seconds) {
  long before, after, check;
  if (!utc_offset_at(local_seconds - 86'400, &before) || !utc_offset_at(local_seconds + 86'400, &after) ||
      !utc_offset_at(local_seconds - before, &check)) {
    return false;
  }
  if (check != before) {
    if (!utc_offset_at(local_seconds - after, &check)) return false;
    if (check == after) {
      *utc_seconds = local_seconds - after;
      return true;
    }
  }
  *utc_seconds = local_seconds - before;
  return true;
}

}  // namespace

namespace platform {

bool timespec_from_filetime(const FILETIME &file_time, struct timespec *out) {
  const int64_t ticks = ticks_of(file_time);
  if (ticks < 0) return false;
  const UnixTime time = unix_time_of(ticks);
  out->tv_sec = time.seconds;
  out->tv_nsec = static_cast<long>(time.extra_ticks * 100);
  return true;
}

TimeZoneHold::TimeZoneHold() {
  if (t_time_zone_holds++ == 0) tzset();
}

TimeZoneHold::~TimeZoneHold() { --t_time_zone_holds; }

bool filetime_from_timespec(const struct timespec &time, FILETIME *out) {
  int64_t ticks;
  if (!ticks_of_unix_time(time.tv_sec, time.tv_nsec / 100, &ticks)) return false;
  set_ticks(out, ticks);
  return true;
}

}  // namespace platform

BOOL DosDateTimeToFileTime(WORD dos_date, WORD dos_time, FILETIME *file_time) {
  if (file_time == nullptr) return fail_invalid_parameter();
  struct tm fields = {};
  fields.tm_mday = dos_date & 0x1F;
  fields.tm_mon = (dos_date >> 5 & 0x0F) - 1;
  fields.tm_year = (dos_date >> 9) + 1980 - 1900;
  fields.tm_sec = (dos_time & 0x1F) * 2;
  fields.tm_min = dos_time >> 5 & 0x3F;
  fields.tm_hour = dos_time >> 11;
  const int year = fields.tm_year + 1900;
  // timegm would quietly carry an impossible field into the next one (February 30 into March 2).
  if (fields.tm_mon < 0 || fields.tm_mon > 11 || fields.tm_mday == 0 ||
      fields.tm_mday > days_in_month(year, fields.tm_mon + 1) || fields.tm_hour > 23 || fields.tm_min > 59 ||
      fields.tm_sec > 58) {
    return fail_invalid_parameter();
  }
  int64_t ticks;
  if (!ticks_of_unix_time(timegm(&fields), 0, &ticks)) return fail_invalid_parameter();
  set_ticks(file_time, ticks);
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME *local_time, FILETIME *utc_time) {
  if (local_time == nullptr || utc_time == nullptr) return fail_invalid_parameter();
  const int64_t local_ticks = ticks_of(*local_time);
  if (local_ticks < 0) return fail_invalid_parameter();
  const UnixTime local = unix_time_of(local_ticks);
  read_time_zone();
  time_t utc_seconds;
  int64_t utc_ticks;
  if (!utc_of_local(local.seconds, &utc_seconds) || !ticks_of_unix_time(utc_seconds, local.extra_ticks, &utc_ticks)) {
    return fail_invalid_parameter();
  }
  set_ticks(utc_time, utc_ticks);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME *utc_time, FILETIME *local_time) {
  if (utc_time == nullptr || local_time == nullptr) return fail_invalid_parameter();
  const int64_t utc_ticks = ticks_of(*utc_time);
  if (utc_ticks < 0) return fail_invalid_parameter();
  const UnixTime utc = unix_time_of(utc_ticks);
  read_time_zone();
  struct tm fields;
  int64_t local_ticks;
  if (localtime_r(&utc.seconds, &fields) == nullptr ||
      !ticks_of_unix_time(utc.seconds + fields.tm_gmtoff, utc.extra_ticks, &local_ticks)) {
    return fail_invalid_parameter();
  }
  set_ticks(local_time, local_ticks);
  return TRUE;
}
