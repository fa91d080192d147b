#include "tools/recorder/recorder_time.h"

#include <time.h>

#include "tools/demo/recorder_simulator.h"

namespace {

constexpr int64_t SECONDS_PER_DAY = 86400;
constexpr int32_t FIRST_SETTINGS_YEAR = 2000;
constexpr int32_t LAST_SETTINGS_YEAR = 2099;

int64_t FloorDivide(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0); }

}  // namespace

bool IsRealDate(int32_t year, int32_t month, int32_t day) {
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  int32_t y = 0, m = 0, d = 0;
  CivilFromDays(DaysFromCivil(year, month, day), &y, &m, &d);
  return y == year && m == month && d == day;
}

CivilTime JapanTimeOf(int64_t utcSeconds) {
  const int64_t local = utcSeconds + JAPAN_UTC_OFFSET_SECONDS;
  const int64_t days = FloorDivide(local, SECONDS_PER_DAY);
  const int64_t second = local - days * SECONDS_PER_DAY;
  CivilTime time;
  CivilFromDays(days, &time.year, &time.month, &time.day);
  time.hour = static_cast<int32_t>(second / 3600);
  time.minute = static_cast<int32_t>(second / 60 % 60);
  time.second = static_cast<int32_t>(second % 60);
  return time;
}

int64_t UtcOfJapanTime(const CivilTime& japan) {
  return DaysFromCivil(japan.year, japan.month, japan.day) * SECONDS_PER_DAY + japan.hour * 3600 + japan.minute * 60 +
         japan.second - JAPAN_UTC_OFFSET_SECONDS;
}

int32_t DayValueOf(const CivilTime& time) { return time.year * 10000 + time.month * 100 + time.day; }
int32_t TimeValueOf(const CivilTime& time) { return time.hour * 10000 + time.minute * 100 + time.second; }

int64_t UtcOfDayAndTime(int32_t dayValue, int32_t timeValue) {
  CivilTime time;
  time.year = dayValue / 10000;
  time.month = dayValue / 100 % 100;
  time.day = dayValue % 100;
  time.hour = timeValue / 10000;
  time.minute = timeValue / 100 % 100;
  time.second = timeValue % 100;
  if (dayValue < 0 || timeValue < 0 || time.year < FIRST_SETTINGS_YEAR || time.year > LAST_SETTINGS_YEAR ||
      !IsRealDate(time.year, time.month, time.day) || time.hour > 23 || time.minute > 59 || time.second > 59) {
    return -1;
  }
  return UtcOfJapanTime(time);
}

void RecorderClock::SetReceiverTime(int64_t utcSeconds, int64_t monotonicMs) {
  known = true;
  receiverSeconds = utcSeconds;
  receivedAtMs = monotonicMs;
}

void RecorderClock::Forget() { known = false; }

int64_t RecorderClock::Now(int64_t monotonicMs) const {
  if (!known) return -1;
  const int64_t passed = monotonicMs > receivedAtMs ? monotonicMs - receivedAtMs : 0;
  return receiverSeconds + passed / 1000;
}

int64_t MonotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
