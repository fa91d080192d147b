// Reading a day's NMEA log into a track of map points.
//
// Only "$GPRMC" sentences are used, and of them the UTC time, the latitude
// and the longitude. Positions are turned from the receiver's WGS84 degrees
// and minutes into the map's unit (1/128 arc-second) and datum (Tokyo).
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of a log file that are read; longer files are cut there.
constexpr size_t LOG_READ_LIMIT = 18000000;
// A sentence's "*" lies less than this many bytes after its "$".
constexpr int SENTENCE_LIMIT = 256;
// Buffer of one field: at most 31 characters and the terminating zero.
constexpr int FIELD_SIZE = 32;

// The area where fixes are accepted, in map units (122° to 154° east,
// 20° to 47° north; bounds included).
constexpr int32_t TRACK_MIN_LON = 56217600;
constexpr int32_t TRACK_MAX_LON = 70963200;
constexpr int32_t TRACK_MIN_LAT = 9216000;
constexpr int32_t TRACK_MAX_LAT = 21657600;

// The bounding box of a track without points.
constexpr int32_t EMPTY_BOX_MIN = 0x7FFFFFFF;
constexpr int32_t EMPTY_BOX_MAX = 0;

// One accepted fix.
struct TrackPoint {
  int32_t time;  // seconds since midnight of the sentence's UTC time (fraction dropped)
  int32_t lon;   // east longitude, 1/128 arc-second, Tokyo datum (even)
  int32_t lat;   // north latitude, 1/128 arc-second, Tokyo datum (even)
};

// One day's fixes in file order, with their bounding box. A track is one
// block from the C allocator: this header, then the points.
struct Track {
  TrackPoint* points;  // directly after the header, in the same block
  int32_t count;       // number of points
  int32_t minLon;      // EMPTY_BOX_MIN while there are no points
  int32_t minLat;
  int32_t maxLon;      // EMPTY_BOX_MAX while there are no points
  int32_t maxLat;
};

// Reads the log file at `path` (a path on this machine) into a new track.
// Returns null when the file cannot be opened or read, is empty, or memory
// runs out; a file without a usable sentence gives a track of 0 points.
// The caller owns the track and releases it with ReleaseTrack.
Track* LoadTrack(const char* path);

// Releases a track from LoadTrack or CreateTrack; null is accepted.
void ReleaseTrack(Track* track);

// XOR of text[1] .. text[length - 1] (the "$" at text[0] is left out),
// stopping early at a "*". Returns the XOR (0..255) when the byte where it
// stopped (at most text[length]) is "*", else 0.
int NmeaChecksum(const char* text, int length);

// The two characters at `text` as a hex byte: "0".."9" count 0..9,
// "A".."F" count 10..15, anything else (lower-case digits included) 0.
uint8_t ParseChecksumHex(const char* text);

// Takes the field that starts at `text` and ends at the next "," before
// `end`: copies it, zero-terminated, into `field` and returns the position
// after the comma. Returns null, leaving `field` empty, when there is no
// comma or the field has FIELD_SIZE characters or more.
const char* NextField(const char* text, const char* end, char field[FIELD_SIZE]);

// Moves a WGS84 position, both values in hundredths of an arc-second, to the
// Tokyo datum (truncating toward zero; results beyond the 32-bit range are
// held at its limits).
void ShiftToTokyoDatum(int32_t* lon, int32_t* lat);

// A WGS84 position, both values in hundredths of an arc-second, as a map
// point: moved to the Tokyo datum (ShiftToTokyoDatum) and turned into map
// units (1/128 arc-second, always even). The log reader takes every fix
// through here, and the map builder every vertex of the open data, so that a
// fix recorded on a road lies on that road. Returns 0, or -1 (outputs
// unchanged) when the shifted position is negative or too large for a map
// unit's 32 bits.
int WgsToMapUnits(int32_t lonHundredths, int32_t latHundredths, int32_t* lon, int32_t* lat);

// The decimal number at the start of `text` as the C library reads it in
// the "C" locale (blanks skipped, optional sign, decimal or hex digits,
// exponent, "inf", "nan"); 0 when nothing can be read. The locale of the
// process never changes the result.
double ParseDecimal(const char* text);

// The steps of LoadTrack, for tools that need more of each sentence.

// The first bytes of a log file, read with one request.
struct LogText {
  char* bytes = nullptr;  // `size` bytes followed by a zero byte
  size_t size = 0;        // 1..LOG_READ_LIMIT
};

// Reads the first LOG_READ_LIMIT bytes of the file at `path`. Returns 0, or
// -1 when the file cannot be opened or read, is empty, or memory runs out.
// Release the text with ReleaseLogText.
int ReadLogText(const char* path, LogText* text);
void ReleaseLogText(LogText* text);

// Number of "$GPRMC" sentence starts in text[0, size), which ends early at
// a zero byte: the number of points a track of this text can need.
int32_t CountTrackSentences(const char* text, size_t size);

// A track with room for `capacity` points (0 or more) and no points yet;
// null when memory runs out. Release it with ReleaseTrack.
Track* CreateTrack(int32_t capacity);

// One sentence that the parsing accepts, as the parsing sees it.
struct AcceptedFix {
  const char* sentence;   // its "$"
  const char* rest;       // the byte after the comma that ends the longitude's east/west field
  const char* end;        // end of the text
  int32_t latHundredths;  // the position before the datum shift, in hundredths of an
  int32_t lonHundredths;  // arc-second (the hemisphere letters are not looked at)
  TrackPoint point;       // as stored in the track
};
typedef void (*AcceptedFixVisitor)(const AcceptedFix& fix, void* context);

// Parses the "$GPRMC" sentences of text[0, size) (a zero byte ends the text
// early) and appends the accepted points to `track`, which has room for
// `capacity` points; `visitor` (may be null) sees each accepted sentence.
// Nothing is read outside text[0, size).
void ParseTrackSentences(const char* text, size_t size, Track* track, int32_t capacity,
                         AcceptedFixVisitor visitor, void* context);
