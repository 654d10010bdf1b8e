// file_time_test.cc - catches MS-DOS fields read from the wrong bits or impossible dates let through,
// local time converted with the wrong offset (zone, daylight saving, times before 1970, fractions of a
// second), and a repeated or skipped local time read differently from one call to the next.
#include <gtest/gtest.h>

#include "platform/files/file_api.h"
#include "test_support.h"

namespace {

constexpr DWORD kUnset = 0xDEADBEEF;

WORD dos_date(int year, int month, int day) { return static_cast<WORD>((year - 1980) << 9 | month << 5 | day); }
WORD dos_time(int hour, int minute, int second) { return static_cast<WORD>(hour << 11 | minute << 5 | second / 2); }

uint64_t ticks_of(const FILETIME &time) { return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime; }
FILETIME filetime(uint64_t ticks) { return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }

// Ticks of a calendar time counted as universal time: days from the civil date (an algorithm of its
// own, not the library's calendar code) from 1601-01-01.
uint64_t ticks(int year, int month, int day, int hour, int minute, int second = 0) {
  const int y = year - (month <= 2);
  const int era = y / 400, year_of_era = y - era * 400;
  const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t days_since_1970 =
      int64_t{era} * 146097 + year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year - 719468;
  return static_cast<uint64_t>((days_since_1970 + 134774) * 86400 + hour * 3600 + minute * 60 + second) *
         10'000'000;
}

TEST(DosDateTime, ValidFieldsGiveTheirTime) {
  const struct {
    WORD date, time;
    uint64_t ticks;  // worked out independently of the code under test
  } cases[] = {
      {dos_date(1980, 1, 1), dos_time(0, 0, 0), 119600064000000000},
      {dos_date(2107, 12, 31), dos_time(23, 59, 58), 159992927980000000},
      {dos_date(2024, 2, 29), dos_time(12, 34, 56), 133536836960000000},
      {dos_date(2000, 2, 29), dos_time(6, 7, 8), 125962780280000000},
      {dos_date(2100, 2, 28), dos_time(23, 59, 58), 157520159980000000},
      {dos_date(2024, 12, 31), dos_time(0, 0, 0), 133800768000000000},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.date << " " << c.time);
    FILETIME time;
    ASSERT_TRUE(DosDateTimeToFileTime(c.date, c.time, &time));
    EXPECT_EQ(ticks_of(time), c.ticks);
  }
}

TEST(DosDateTime, ImpossibleFieldsAreRefused) {
  const struct {
    WORD date, time;
  } cases[] = {
      {dos_date(2024, 0, 1), 0},           {dos_date(2024, 13, 1), 0},          {dos_date(2024, 1, 0), 0},
      {dos_date(2023, 2, 29), 0},          {dos_date(2100, 2, 29), 0},          {dos_date(2024, 4, 31), 0},
      {dos_date(2024, 1, 1), dos_time(24, 0, 0)}, {dos_date(2024, 1, 1), dos_time(0, 60, 0)},
      {dos_date(2024, 1, 1), dos_time(0, 0, 60)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.date << " " << c.time);
    FILETIME time = filetime(42);
    SetLastError(kUnset);
    EXPECT_FALSE(DosDateTimeToFileTime(c.date, c.time, &time));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ticks_of(time), 42u);
  }
}

constexpr const char *kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

// Both directions, in zones without and with daylight saving, before 1970 and with a fraction of a
// second that must survive.
TEST(LocalTime, ConvertsWithTheOffsetInForceThen) {
  const struct {
    const char *zone;
    uint64_t local, utc;
  } cases[] = {
      {"UTC0", ticks(2024, 7, 1, 12, 0), ticks(2024, 7, 1, 12, 0)},
      {"XYZ-2", ticks(2024, 7, 1, 12, 0), ticks(2024, 7, 1, 10, 0)},
      {"XYZ-2", ticks(1950, 6, 15, 1, 0) + 1234567, ticks(1950, 6, 14, 23, 0) + 1234567},
      {"XYZ+5", ticks(1970, 1, 1, 0, 0), ticks(1970, 1, 1, 5, 0)},
      {kCentralEurope, ticks(2024, 7, 1, 12, 0) + 9999999, ticks(2024, 7, 1, 10, 0) + 9999999},
      {kCentralEurope, ticks(2024, 1, 15, 12, 0), ticks(2024, 1, 15, 11, 0)},
      {kCentralEurope, ticks(1960, 1, 15, 0, 30), ticks(1960, 1, 14, 23, 30)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.zone << " " << c.local);
    const ScopedTimeZone zone(c.zone);
    const FILETIME local = filetime(c.local), utc = filetime(c.utc);
    FILETIME converted;
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &converted));
    EXPECT_EQ(ticks_of(converted), c.utc);
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &converted));
    EXPECT_EQ(ticks_of(converted), c.local);
  }
}

// On 2024-10-27 the clocks go from 03:00 back to 02:00, so 02:30 happens twice; on 2024-03-31 they go
// from 02:00 to 03:00, so 02:30 never happens. The answer must not depend on what was converted before.
TEST(LocalTime, RepeatedAndSkippedTimesHaveOneReading) {
  const ScopedTimeZone zone(kCentralEurope);
  const struct {
    uint64_t local, utc;
  } cases[] = {
      {ticks(2024, 10, 27, 2, 30), ticks(2024, 10, 27, 0, 30)},  // the first 02:30, still summer time
      {ticks(2024, 3, 31, 2, 30), ticks(2024, 3, 31, 1, 30)},    // read with winter time's offset
  };
  for (const uint64_t before : {ticks(2024, 7, 1, 12, 0), ticks(2024, 1, 1, 12, 0)}) {
    for (const auto &c : cases) {
      SCOPED_TRACE(testing::Message() << c.local << " after " << before);
      const FILETIME earlier = filetime(before), local = filetime(c.local);
      FILETIME converted;
      ASSERT_TRUE(LocalFileTimeToFileTime(&earlier, &converted));
      ASSERT_TRUE(LocalFileTimeToFileTime(&local, &converted));
      EXPECT_EQ(ticks_of(converted), c.utc);
    }
  }
  // Both instants of the repeated hour read back as 02:30.
  for (const uint64_t utc : {ticks(2024, 10, 27, 0, 30), ticks(2024, 10, 27, 1, 30)}) {
    const FILETIME instant = filetime(utc);
    FILETIME local;
    ASSERT_TRUE(FileTimeToLocalFileTime(&instant, &local));
    EXPECT_EQ(ticks_of(local), ticks(2024, 10, 27, 2, 30));
  }
}

// A zone named in TZ counts from the next conversion on, in both directions, with no call to tzset.
TEST(LocalTime, FollowsTheZoneNamedInTZ) {
  const ScopedTimeZone restore("UTC0");
  const FILETIME noon = filetime(ticks(2024, 7, 1, 12, 0));
  FILETIME converted;
  setenv("TZ", "XYZ-2", 1);
  ASSERT_TRUE(LocalFileTimeToFileTime(&noon, &converted));
  EXPECT_EQ(ticks_of(converted), ticks(2024, 7, 1, 10, 0));
  setenv("TZ", "XYZ+3", 1);
  ASSERT_TRUE(FileTimeToLocalFileTime(&noon, &converted));
  EXPECT_EQ(ticks_of(converted), ticks(2024, 7, 1, 9, 0));
}

TEST(LocalTime, TimesOutsideTheRangeAreRefused) {
  const ScopedTimeZone zone("XYZ-2");
  const FILETIME no_time = filetime(0x8000000000000000), first_hour = filetime(ticks(1601, 1, 1, 1, 0));
  FILETIME converted;
  SetLastError(kUnset);
  EXPECT_FALSE(LocalFileTimeToFileTime(&no_time, &converted));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(kUnset);
  EXPECT_FALSE(FileTimeToLocalFileTime(&no_time, &converted));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // 01:00 local on the first day is 23:00 UTC the day before, before the first FILETIME.
  SetLastError(kUnset);
  EXPECT_FALSE(LocalFileTimeToFileTime(&first_hour, &converted));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
