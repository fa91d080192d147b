// Time as the recorder keeps it: seconds since 1970 UTC, the Japanese
// calendar days its day files are named after, and the recorder's clock,
// which follows the receiver.
#pragma once

#include <cstdint>

#include "tools/logtool/log_fixes.h"

// A calendar day and a time of day.
struct CivilTime {
  int32_t year = 0, month = 0, day = 0;      // month 1..12, day 1..31
  int32_t hour = 0, minute = 0, second = 0;  // 0..23, 0..59, 0..59
};

// Whether year-month-day is a real date (days are counted by
// DaysFromCivil and CivilFromDays of the log fixes).
bool IsRealDate(int32_t year, int32_t month, int32_t day);

// Japan time (UTC + 9 h, no daylight saving) of a UTC instant.
CivilTime JapanTimeOf(int64_t utcSeconds);
// The UTC instant of a Japan time.
int64_t UtcOfJapanTime(const CivilTime& japan);

// The values the recording settings file keeps for a Japan time: the day as
// yyyymmdd and the time as hhmmss.
int32_t DayValueOf(const CivilTime& time);
int32_t TimeValueOf(const CivilTime& time);
// The UTC instant of a day value and a time value, or -1 when they are not a
// real date (years 2000 to 2099) and time.
int64_t UtcOfDayAndTime(int32_t dayValue, int32_t timeValue);

// The recorder's clock: the receiver's UTC time, carried forward between
// fixes by a monotonic clock. Before the receiver has given a time the clock
// is unknown: the system clock of a car computer is often wrong, and the
// receiver's is what names the days. All times are passed in, so that the
// clock runs on whatever clock its caller drives (the real monotonic clock,
// or a test's).
class RecorderClock {
 public:
  // The receiver said that it is `utcSeconds` at monotonic time `monotonicMs`.
  void SetReceiverTime(int64_t utcSeconds, int64_t monotonicMs);
  // Forgets the receiver's time (a new connection may bring another receiver).
  void Forget();
  bool Known() const { return known; }
  // The last time the receiver gave, -1 while unknown.
  int64_t ReceiverTime() const { return known ? receiverSeconds : -1; }
  // The time now: the receiver's last time plus the monotonic time passed
  // since; -1 while unknown.
  int64_t Now(int64_t monotonicMs) const;

 private:
  bool known = false;
  int64_t receiverSeconds = 0;
  int64_t receivedAtMs = 0;
};

// Milliseconds of the system's monotonic clock.
int64_t MonotonicMilliseconds();
