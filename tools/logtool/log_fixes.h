// The fixes of a day's log as the system's reader accepts them, with what
// the track leaves out: the UTC date and time and the WGS84 position.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "logs/nmea_reader.h"

// Offset of Japan time from UTC.
constexpr int64_t JAPAN_TIME_OFFSET_SECONDS = 9 * 3600;

// Days from 1970-01-01 to a civil date (proleptic Gregorian), and back.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);
void CivilFromDays(int64_t days, int* year, int* month, int* day);

struct LogFix {
  TrackPoint point;    // as the reader stores it (map units, Tokyo datum)
  double latitude;     // WGS84 degrees before the datum shift, south negative
  double longitude;    // WGS84 degrees before the datum shift, west negative
  bool hasDate;        // whether the sentence's date field (ddmmyy) is usable
  int64_t utcMillis;   // milliseconds since 1970-01-01 00:00 UTC; when !hasDate,
                       // milliseconds since the sentence's UTC midnight
};

// Reads the accepted fixes of the log at `path` in file order. Returns 0, or
// -1 when the reader gives no track (missing, unreadable or empty file, or
// no memory).
int ReadLogFixes(const char* path, std::vector<LogFix>* fixes);

// "2005-07-27T04:58:49Z" (with ".250" when there are milliseconds), or for
// an undated fix "04:58:49Z". `offsetSeconds` moves the clock (Japan time
// is printed with "+09:00" instead of "Z").
std::string FormatTime(const LogFix& fix, int64_t offsetSeconds = 0);
