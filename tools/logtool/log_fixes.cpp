#include "tools/logtool/log_fixes.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t MILLIS_PER_SECOND = 1000;
constexpr int64_t SECONDS_PER_DAY = 86400;
constexpr double HUNDREDTHS_PER_DEGREE = 360000.0;
// Two-digit years of the date field: 80..99 are 1980..1999 (GPS time starts
// in 1980), 00..79 are 2000..2079.
constexpr int FIRST_CENTURY_YEAR = 80;

// The sentence's fields from its first comma on: time, status, latitude,
// N/S, longitude, E/W, speed, course, date.
constexpr int FIELD_COUNT = 9;
constexpr int FIELD_TIME = 0;
constexpr int FIELD_NORTH_SOUTH = 3;
constexpr int FIELD_EAST_WEST = 5;
constexpr int FIELD_DATE = 8;

bool IsDigits(const char* text, int count) {
  for (int i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

int TwoDigits(const char* text) { return (text[0] - '0') * 10 + (text[1] - '0'); }

// Milliseconds of the time field's fraction ("045849.25" gives 250),
// rounded half up; may be 1000.
int64_t FractionMillis(const char* timeField) {
  const char* point = std::strchr(timeField, '.');
  if (point == nullptr) return 0;
  int64_t millis = 0;
  const char* digit = point + 1;
  for (int i = 0; i < 3; ++i) {
    millis *= 10;
    if (*digit >= '0' && *digit <= '9') millis += *digit++ - '0';
  }
  if (*digit >= '5' && *digit <= '9') ++millis;
  return millis;
}

// Days since 1970 of a ddmmyy date field (which may run into the
// sentence's "*" when nothing follows it), or -1 when it is not one.
int64_t DateField(const char* field) {
  if (!IsDigits(field, 6) || (field[6] != '\0' && field[6] != '*')) return -1;
  int day = TwoDigits(field);
  int month = TwoDigits(field + 2);
  int year = TwoDigits(field + 4);
  if (day < 1 || day > 31 || month < 1 || month > 12) return -1;
  year += year >= FIRST_CENTURY_YEAR ? 1900 : 2000;
  return DaysFromCivil(year, month, day);
}

void CollectFix(const AcceptedFix& accepted, void* context) {
  auto* fixes = static_cast<std::vector<LogFix>*>(context);
  // The reader has taken these fields already, so they are there again.
  char fields[FIELD_COUNT][FIELD_SIZE] = {};
  const char* comma = static_cast<const char*>(std::memchr(accepted.sentence, ',', accepted.end - accepted.sentence));
  const char* next = comma != nullptr ? comma + 1 : nullptr;
  for (char* field : fields) {
    if (next == nullptr) break;
    next = NextField(next, accepted.end, field);
  }

  LogFix fix;
  fix.point = accepted.point;
  fix.latitude = accepted.latHundredths / HUNDREDTHS_PER_DEGREE;
  fix.longitude = accepted.lonHundredths / HUNDREDTHS_PER_DEGREE;
  if (fields[FIELD_NORTH_SOUTH][0] == 'S') fix.latitude = -fix.latitude;
  if (fields[FIELD_EAST_WEST][0] == 'W') fix.longitude = -fix.longitude;
  int64_t dayMillis = accepted.point.time * MILLIS_PER_SECOND + FractionMillis(fields[FIELD_TIME]);
  int64_t days = DateField(fields[FIELD_DATE]);
  fix.hasDate = days >= 0;
  fix.utcMillis = (fix.hasDate ? days * SECONDS_PER_DAY * MILLIS_PER_SECOND : 0) + dayMillis;
  fixes->push_back(fix);
}

}  // namespace

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  *day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2));
}

int ReadLogFixes(const char* path, std::vector<LogFix>* fixes) {
  fixes->clear();
  LogText text;
  if (ReadLogText(path, &text) != 0) return -1;
  int32_t capacity = CountTrackSentences(text.bytes, text.size);
  Track* track = CreateTrack(capacity);
  if (track != nullptr) ParseTrackSentences(text.bytes, text.size, track, capacity, CollectFix, fixes);
  ReleaseLogText(&text);
  ReleaseTrack(track);
  return track != nullptr ? 0 : -1;
}

std::string FormatTime(const LogFix& fix, int64_t offsetSeconds) {
  int64_t millis = fix.utcMillis + offsetSeconds * MILLIS_PER_SECOND;
  int64_t totalSeconds = millis >= 0 ? millis / MILLIS_PER_SECOND : (millis - 999) / MILLIS_PER_SECOND;
  int64_t fraction = millis - totalSeconds * MILLIS_PER_SECOND;
  int64_t days = totalSeconds >= 0 ? totalSeconds / SECONDS_PER_DAY : (totalSeconds - SECONDS_PER_DAY + 1) / SECONDS_PER_DAY;
  int64_t secondOfDay = totalSeconds - days * SECONDS_PER_DAY;
  char text[64];
  int length = 0;
  if (fix.hasDate) {
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT", year, month, day);
  }
  length += std::snprintf(text + length, sizeof text - length, "%02d:%02d:%02d", static_cast<int>(secondOfDay / 3600),
                          static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60));
  if (fraction != 0) length += std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(fraction));
  if (offsetSeconds == 0) {
    std::snprintf(text + length, sizeof text - length, "Z");
  } else {
    int64_t minutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
    std::snprintf(text + length, sizeof text - length, "%c%02d:%02d", offsetSeconds < 0 ? '-' : '+',
                  static_cast<int>(minutes / 60), static_cast<int>(minutes % 60));
  }
  return text;
}
