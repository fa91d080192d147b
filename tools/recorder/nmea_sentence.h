// NMEA sentences as the recorder writes them into the day files. The
// viewer reads only "$GPRMC": the RMC sentence of any other talker ($GNRMC of
// a multi-constellation receiver, $GLRMC, $BDRMC ...) is written as $GPRMC
// with its checksum computed again; every other sentence is written as it
// came. A receiver that gives no RMC at all gets one made from gpsd's fix.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/recorder/gpsd_client.h"

// Longest line written: the reader takes at most 255 bytes from "$" to "*";
// a longer line could only be a damaged one.
constexpr size_t MAX_RECORDED_LINE = 255 + 3;

// Whether `line` (without its line end) is a sentence that may go into a day
// file: it starts with "$", is at most MAX_RECORDED_LINE bytes long and holds
// only printable ASCII (a zero byte would end the reading of the whole day).
bool IsRecordableSentence(std::string_view line);

// Whether the sentence carries a checksum "*hh" (hex digits of either case)
// that matches the XOR of its bytes between "$" and "*".
bool HasValidChecksum(std::string_view sentence);

// Whether the sentence is an RMC sentence of any talker ("$??RMC,").
bool IsRmcSentence(std::string_view sentence);

// The sentence as it is written: an RMC sentence of another talker with a
// valid checksum becomes "$GPRMC" with its checksum (upper-case hex) made
// again; anything else is returned unchanged.
std::string RewriteSentence(std::string_view sentence);

// The UTC time of an RMC sentence's time (hhmmss[.ss]) and date (ddmmyy, the
// years 2000 to 2099) fields, in whole seconds since 1970: 0, or -1 when the
// sentence lacks a usable time or date.
int ReadRmcTime(std::string_view rmc, int64_t* utcSeconds);

// A "$GPRMC" sentence made from a fix of gpsd that has a time and a
// position: status A, latitude and longitude in degrees and minutes with
// four decimals, speed in knots and course when known, the date. Empty when
// the fix lacks a time or a position.
std::string MakeRmcFromFix(const GpsdFix& fix);
