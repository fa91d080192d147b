#include "logs/nmea_reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/files.h"

// The datum shift's products and sums are rounded one operation at a time,
// never fused into one (logs/CMakeLists.txt builds this file with
// -ffp-contract=off), so every machine gives the same points.

namespace {

constexpr char TRACK_TAG[] = "$GPRMC";
constexpr size_t TRACK_TAG_LENGTH = sizeof TRACK_TAG - 1;

// Fields of "$GPRMC" that the reader takes, in order after the tag:
// UTC time, status, latitude, N/S, longitude, E/W.
constexpr int READ_FIELDS = 6;
constexpr int FIELD_TIME = 0;
constexpr int FIELD_LAT = 2;
constexpr int FIELD_LON = 4;

// Degrees and minutes (ddmm.mmmm) to hundredths of an arc-second.
constexpr int64_t HUNDREDTHS_PER_DEGREE = 360000;
constexpr int64_t HUNDREDTHS_PER_MINUTE = 6000;
constexpr double HUNDREDTHS_PER_MINUTE_D = 6000.0;

// Tokyo datum: lon' = lat * LAT_TO_LON + lon * LON_TO_LON - LON_OFFSET,
// lat' = lat * LAT_TO_LAT - lon * LON_TO_LAT - LAT_OFFSET, all in
// hundredths of an arc-second. LON_OFFSET is 0.01004° (3614.4) one unit in
// the last place low: the value the device has always used, kept so that
// every point lands on the same map unit as there.
constexpr double LAT_TO_LON = 4.6038e-05;
constexpr double LON_TO_LON = 1.000083043;
constexpr double LON_OFFSET = 3614.3999999999996;  // bit pattern 0x40AC3CCCCCCCCCCC
constexpr double LAT_TO_LAT = 1.00010695;
constexpr double LON_TO_LAT = 1.7464e-05;
constexpr double LAT_OFFSET = 1656.612;

// Hundredths of an arc-second to map units: (r * 64 / 100) * 2. The product
// is unsigned 32-bit, since longitudes near 154° pass the signed range; a
// value at or beyond 2^26 would wrap it.
constexpr uint32_t MAP_UNIT_FACTOR = 64;
constexpr uint32_t MAP_UNIT_DIVISOR = 100;
constexpr uint32_t MAP_UNIT_STEP = 2;
constexpr int32_t MAP_UNIT_INPUT_LIMIT = 1 << 26;

// Truncation toward zero of a double to 32 bits; values beyond the range
// are held at its limits and NaN gives 0, so no input is undefined.
int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0) return INT32_MAX;
  if (value <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Whether a number that std::from_chars found out of range is too large
// (strtod gives HUGE_VAL) rather than too small (strtod gives 0): the sign of
// its decimal (or, for hex, binary) exponent decides.
bool IsOverflow(const char* digits, const char* end, bool hex) {
  const char exponentMark = hex ? 'p' : 'e';
  const char* p = digits;
  long leading = 0;  // integer digits after leading zeros, or minus the zeros after the point
  while (p < end && *p == '0') ++p;
  bool seenNonZero = false;
  while (p < end && *p != '.' && (*p | 0x20) != exponentMark) {
    ++leading;
    seenNonZero = true;
    ++p;
  }
  if (!seenNonZero && p < end && *p == '.') {
    ++p;
    while (p < end && *p == '0') {
      --leading;
      ++p;
    }
  }
  while (p < end && (*p | 0x20) != exponentMark) ++p;
  long exponent = 0;
  if (p < end) {
    ++p;
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    while (p < end && *p >= '0' && *p <= '9' && exponent < 100000) exponent = exponent * 10 + (*p++ - '0');
    if (negative) exponent = -exponent;
  }
  return leading + exponent > 0;
}

// Powers of ten that a double holds exactly.
constexpr double EXACT_POWERS_OF_TEN[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                          1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
// Most significant digits a plain decimal may have for its digits to be an
// exact integer in a double.
constexpr int PLAIN_DECIMAL_DIGITS = 15;

// Plain decimal text, digits with at most one point and no exponent, of at
// most 15 digits: its value is m / 10^k with m and 10^k exact doubles, and
// one correctly rounded division gives what strtod gives. False for any
// other text (exponents, hex, "inf", long digit strings), which takes the
// general conversion.
bool ParsePlainDecimal(const char* text, double* value) {
  uint64_t mantissa = 0;
  const char* p = text;
  for (unsigned digit; (digit = static_cast<unsigned char>(*p) - '0') < 10; ++p) mantissa = mantissa * 10 + digit;
  ptrdiff_t digits = p - text;
  ptrdiff_t fractionDigits = 0;
  if (*p == '.') {
    const char* fraction = ++p;
    for (unsigned digit; (digit = static_cast<unsigned char>(*p) - '0') < 10; ++p) mantissa = mantissa * 10 + digit;
    fractionDigits = p - fraction;
    digits += fractionDigits;
  }
  if (digits == 0 || digits > PLAIN_DECIMAL_DIGITS) return false;
  if (*p == 'e' || *p == 'E' || *p == 'x' || *p == 'X') return false;
  *value = static_cast<double>(mantissa) / EXACT_POWERS_OF_TEN[fractionDigits];
  return true;
}

const char* Find(const char* from, const char* end, char c) {
  return from < end ? static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(end - from))) : nullptr;
}

// The text ends at its first zero byte, as the log is one zero-terminated text.
const char* TextEnd(const char* text, size_t size) {
  const char* zero = static_cast<const char*>(std::memchr(text, '\0', size));
  return zero != nullptr ? zero : text + size;
}

bool StartsWithTag(const char* at, const char* end) {
  return static_cast<size_t>(end - at) >= TRACK_TAG_LENGTH && std::memcmp(at, TRACK_TAG, TRACK_TAG_LENGTH) == 0;
}

// hhmmss(.ss) to seconds since midnight, the fraction dropped.
int32_t SecondsOfDay(int32_t hhmmss) {
  return ((hhmmss / 10000) * 60 + (hhmmss % 10000 - hhmmss % 100) / 100) * 60 + hhmmss % 100;
}

// ddmm.mmmm or dddmm.mmmm to hundredths of an arc-second. False when the
// value lies beyond what the 32-bit conversion can hold (no receiver writes
// such a field).
bool ToHundredths(double degreesMinutes, int32_t* hundredths) {
  int32_t whole = TruncateToInt32(degreesMinutes);
  int64_t exact = (whole / 100) * HUNDREDTHS_PER_DEGREE + (whole % 100) * HUNDREDTHS_PER_MINUTE;
  if (exact < INT32_MIN || exact > INT32_MAX) return false;
  double value = static_cast<double>(exact) + (degreesMinutes - static_cast<double>(whole)) * HUNDREDTHS_PER_MINUTE_D;
  if (!(value > -2147483649.0 && value < 2147483648.0)) return false;
  *hundredths = static_cast<int32_t>(value);
  return true;
}

// Hundredths of an arc-second to map units. False for a negative value or
// one whose product would wrap: such a value is far outside the map, but
// the wrapped product could land inside the accepted area.
bool ToMapUnits(int32_t hundredths, int32_t* mapUnits) {
  if (hundredths < 0 || hundredths >= MAP_UNIT_INPUT_LIMIT) return false;
  uint32_t product = static_cast<uint32_t>(hundredths) * MAP_UNIT_FACTOR;
  *mapUnits = static_cast<int32_t>(product / MAP_UNIT_DIVISOR * MAP_UNIT_STEP);
  return true;
}

bool InTrackArea(int32_t lon, int32_t lat) {
  return lon >= TRACK_MIN_LON && lon <= TRACK_MAX_LON && lat >= TRACK_MIN_LAT && lat <= TRACK_MAX_LAT;
}

void AddPoint(Track* track, int32_t lon, int32_t lat) {
  TrackPoint& point = track->points[track->count];
  point.lon = lon;
  point.lat = lat;
  if (lon < track->minLon) track->minLon = lon;
  if (lat < track->minLat) track->minLat = lat;
  if (lon > track->maxLon) track->maxLon = lon;
  if (lat > track->maxLat) track->maxLat = lat;
  ++track->count;
}

// Eight bytes of text are read as one little-endian word: its lowest byte
// comes first in the text.
static_assert(std::endian::native == std::endian::little);
constexpr uint64_t BYTE_ONES = 0x0101010101010101ull;
constexpr uint64_t BYTE_HIGHS = 0x8080808080808080ull;

// High bits at the bytes of `word` (little-endian) that equal `c`; the
// lowest set bit always marks the first such byte.
uint64_t BytesEqual(uint64_t word, char c) {
  const uint64_t zeroWhereEqual = word ^ (BYTE_ONES * static_cast<unsigned char>(c));
  return (zeroWhereEqual - BYTE_ONES) & ~zeroWhereEqual & BYTE_HIGHS;
}

// XORs the bytes from `from` up to the first "*" or `limit`, whichever
// comes first, into *sum and returns where it stopped. Eight bytes are taken
// at a time while no "*" is among them.
const char* XorUntilStar(const char* from, const char* limit, unsigned* sum) {
  uint64_t words = 0;
  const char* p = from;
  while (limit - p >= 8) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if (BytesEqual(word, '*') != 0) break;
    words ^= word;
    p += 8;
  }
  words ^= words >> 32;
  words ^= words >> 16;
  words ^= words >> 8;
  unsigned bytes = static_cast<unsigned>(words & 0xFF);
  for (; p < limit && *p != '*'; ++p) bytes ^= static_cast<unsigned char>(*p);
  *sum ^= bytes;
  return p;
}

// How the reading of one window of the text ended.
enum class ScanResult {
  TEXT_END,     // the window's text is read to its end
  STOPPED,      // a sentence's six fields could not be taken: the track is complete
  MORE_NEEDED,  // the sentence at the returned position needs bytes beyond the window
};

// Where accepted points go: a track of fixed capacity (sized by a counting
// pass), or one that grows as points come (the streamed load).
struct TrackBuilder {
  Track* track;
  int32_t capacity;
  bool grows;
  bool outOfMemory;
  AcceptedFixVisitor visitor;
  void* context;
};

// Makes room for one more point in a growing track; false when the track
// is full and cannot grow.
bool RoomForPoint(TrackBuilder* builder) {
  if (builder->track->count < builder->capacity) return true;
  if (!builder->grows) return false;
  constexpr int32_t FIRST_CAPACITY = 4096;
  if (builder->capacity > INT32_MAX / 2) {
    builder->outOfMemory = true;
    return false;
  }
  const int32_t capacity = builder->capacity < FIRST_CAPACITY ? FIRST_CAPACITY : builder->capacity * 2;
  void* block = std::realloc(builder->track, sizeof(Track) + static_cast<size_t>(capacity) * sizeof(TrackPoint));
  if (block == nullptr) {
    builder->outOfMemory = true;
    return false;
  }
  builder->track = static_cast<Track*>(block);
  builder->track->points = reinterpret_cast<TrackPoint*>(static_cast<char*>(block) + sizeof(Track));
  builder->capacity = capacity;
  return true;
}

enum class Check { NO, YES, MORE_NEEDED };

// Whether the "$GPRMC" sentence at `start` carries a "*" within
// SENTENCE_LIMIT bytes, followed by two checksum characters inside the text,
// that match the XOR of its bytes. A sentence cut by the end of the text
// (the read limit or a zero byte) fails here; one cut by the end of a
// window that is not the text's end needs more bytes.
Check ChecksumMatches(const char* start, const char* end, bool final) {
  const char* limit = end - start > SENTENCE_LIMIT ? start + SENTENCE_LIMIT : end;
  unsigned sum = 0;
  const char* star = XorUntilStar(start + 1, limit, &sum);
  if (star == limit) return !final && limit == end && end - start < SENTENCE_LIMIT ? Check::MORE_NEEDED : Check::NO;
  if (end - star < 3) return final ? Check::NO : Check::MORE_NEEDED;
  return ParseChecksumHex(star + 1) == sum ? Check::YES : Check::NO;
}

// Takes the six fields after the comma at `comma`; null when they cannot
// be taken. *more is set when a field failed only for want of bytes beyond
// a window that is not the text's end.
const char* TakeFields(const char* comma, const char* end, bool final, char fields[READ_FIELDS][FIELD_SIZE],
                       bool* more) {
  const char* next = comma + 1;
  for (int i = 0; i < READ_FIELDS; ++i) {
    const char* from = next;
    next = NextField(from, end, fields[i]);
    if (next == nullptr) {
      *more = !final && end - from < FIELD_SIZE;
      return nullptr;
    }
  }
  return next;
}

// Takes the digits from `p` up to the first other byte or `limit` into
// *mantissa (times ten per digit, plus the digit, wrapping as unsigned
// numbers do) and returns where they end.
const char* TakeDigits(const char* p, const char* limit, uint64_t* mantissa) {
  for (unsigned digit; p < limit && (digit = static_cast<unsigned char>(*p) - '0') < 10; ++p) {
    *mantissa = *mantissa * 10 + digit;
  }
  return p;
}

// A field of plain decimal digits (at most 15, with at most one point) that
// ends at its comma, as receivers write times and coordinates: its value is
// the one ParseDecimal gives for the field's text. Sets *next past the comma.
// False for anything else, which the general reading takes.
bool TakePlainField(const char* from, const char* end, double* value, const char** next) {
  const char* limit = end - from > FIELD_SIZE ? from + FIELD_SIZE : end;
  uint64_t mantissa = 0;
  const char* p = TakeDigits(from, limit, &mantissa);
  ptrdiff_t digits = p - from;
  ptrdiff_t fractionDigits = 0;
  if (p < limit && *p == '.') {
    const char* fraction = ++p;
    p = TakeDigits(p, limit, &mantissa);
    fractionDigits = p - fraction;
    digits += fractionDigits;
  }
  if (digits == 0 || digits > PLAIN_DECIMAL_DIGITS || p >= limit || *p != ',') return false;
  *value = static_cast<double>(mantissa) / EXACT_POWERS_OF_TEN[fractionDigits];
  *next = p + 1;
  return true;
}

// Passes over a field that is not read, up to its comma; null when the
// comma is not among its first FIELD_SIZE bytes within the window.
const char* SkipField(const char* from, const char* end) {
  const char* comma = Find(from, end - from > FIELD_SIZE ? from + FIELD_SIZE : end, ',');
  return comma != nullptr ? comma + 1 : nullptr;
}

// The time, latitude and longitude of the six fields after the comma at
// `comma`, when every field ends within the window and the three read are
// plain decimals: the values the general reading (TakeFields and
// ParseDecimal) gives them, without copying a field. Sets *next past the
// sixth field's comma. False when the sentence needs the general reading.
bool TakePlainFields(const char* comma, const char* end, double* time, double* lat, double* lon, const char** next) {
  const char* p = comma + 1;
  if (!TakePlainField(p, end, time, &p) || (p = SkipField(p, end)) == nullptr) return false;
  if (!TakePlainField(p, end, lat, &p) || (p = SkipField(p, end)) == nullptr) return false;
  if (!TakePlainField(p, end, lon, &p) || (p = SkipField(p, end)) == nullptr) return false;
  *next = p;
  return true;
}

// What became of one sentence: read (accepted or not), the end of the
// whole reading, or bytes needed beyond the window.
enum class SentenceResult { CONTINUE, STOP, MORE_NEEDED };

// Reads the fields of one "$GPRMC" sentence whose checksum matched, and
// appends its point when it is accepted. Sets *resume to the byte after the
// comma that ends the sixth field.
SentenceResult ReadSentence(const char* start, const char* end, bool final, TrackBuilder* builder, const char** resume) {
  // The comma that ends "$GPRMC" normally follows it directly.
  const char* tagEnd = start + TRACK_TAG_LENGTH;
  const char* comma = tagEnd < end && *tagEnd == ',' ? tagEnd : Find(start, end, ',');
  if (comma == nullptr) return final ? SentenceResult::STOP : SentenceResult::MORE_NEEDED;
  // Nearly every sentence has plain fields, read in place; the rest go
  // through the fields' copies and the general number reading.
  double time = 0.0, lat = 0.0, lon = 0.0;
  const char* next = nullptr;
  if (!TakePlainFields(comma, end, &time, &lat, &lon, &next)) {
    char fields[READ_FIELDS][FIELD_SIZE];
    bool more = false;
    next = TakeFields(comma, end, final, fields, &more);
    if (next == nullptr) return more ? SentenceResult::MORE_NEEDED : SentenceResult::STOP;
    time = ParseDecimal(fields[FIELD_TIME]);
    lat = ParseDecimal(fields[FIELD_LAT]);
    lon = ParseDecimal(fields[FIELD_LON]);
  }
  *resume = next;
  // A fixed track has a slot for every "$GPRMC" start, so a full one only
  // guards a caller that passes a smaller capacity.
  if (!RoomForPoint(builder)) return builder->outOfMemory ? SentenceResult::STOP : SentenceResult::CONTINUE;
  Track* track = builder->track;
  // The time goes into the free slot at once; a rejected sentence leaves it
  // there for the next accepted one to overwrite.
  track->points[track->count].time = SecondsOfDay(TruncateToInt32(time));
  if (lat == 0.0 || lon == 0.0) return SentenceResult::CONTINUE;  // empty or zero coordinates
  AcceptedFix fix;
  if (!ToHundredths(lat, &fix.latHundredths) || !ToHundredths(lon, &fix.lonHundredths)) {
    return SentenceResult::CONTINUE;
  }
  int32_t mapLon = 0;
  int32_t mapLat = 0;
  if (WgsToMapUnits(fix.lonHundredths, fix.latHundredths, &mapLon, &mapLat) != 0) return SentenceResult::CONTINUE;
  if (!InTrackArea(mapLon, mapLat)) return SentenceResult::CONTINUE;
  AddPoint(track, mapLon, mapLat);
  if (builder->visitor != nullptr) {
    fix.sentence = start;
    fix.rest = next;
    fix.end = end;
    fix.point = track->points[track->count - 1];
    builder->visitor(fix, builder->context);
  }
  return SentenceResult::CONTINUE;
}

// Parses the "$GPRMC" sentences of the window [text, end), which holds no
// zero byte. `final` says whether the text ends at `end`; when it does not,
// a sentence that needs bytes beyond the window is left unread and *stop
// names its "$" (MORE_NEEDED). A sentence's result in a window equals its
// result in the whole text: every search is bounded by the window's end, and
// anything that would look past it asks for more.
ScanResult ScanWindow(const char* text, const char* end, bool final, TrackBuilder* builder, const char** stop) {
  const char* start = Find(text, end, '$');
  while (start != nullptr) {
    // A sentence that is not "$GPRMC" or fails its checksum is searched
    // past by one byte, so a "$" inside it still counts.
    const char* resume = start + 1;
    if (!final && end - start < static_cast<ptrdiff_t>(TRACK_TAG_LENGTH)) {
      *stop = start;
      return ScanResult::MORE_NEEDED;
    }
    if (StartsWithTag(start, end)) {
      Check checksum = ChecksumMatches(start, end, final);
      SentenceResult result = checksum == Check::YES  ? ReadSentence(start, end, final, builder, &resume)
                              : checksum == Check::NO ? SentenceResult::CONTINUE
                                                      : SentenceResult::MORE_NEEDED;
      if (result == SentenceResult::STOP) return ScanResult::STOPPED;
      if (result == SentenceResult::MORE_NEEDED) {
        *stop = start;
        return ScanResult::MORE_NEEDED;
      }
    }
    start = Find(resume, end, '$');
  }
  *stop = end;
  return final ? ScanResult::TEXT_END : ScanResult::MORE_NEEDED;
}

}  // namespace

int NmeaChecksum(const char* text, int length) {
  if (length < 1) return 0;
  unsigned sum = 0;
  const char* stop = XorUntilStar(text + 1, text + length, &sum);
  return *stop == '*' ? static_cast<int>(sum) : 0;
}

uint8_t ParseChecksumHex(const char* text) {
  auto digit = [](char c) -> unsigned {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return 0;
  };
  return static_cast<uint8_t>(digit(text[0]) * 16 + digit(text[1]));
}

const char* NextField(const char* text, const char* end, char field[FIELD_SIZE]) {
  // A field of FIELD_SIZE - 1 characters has its comma at offset
  // FIELD_SIZE - 1, so the comma is searched no further. The bytes are
  // taken into a zero-padded window (all FIELD_SIZE at once, except at the
  // very end of the text) and the comma found eight bytes at a time.
  char window[FIELD_SIZE] = {};
  if (end - text >= FIELD_SIZE) {
    std::memcpy(window, text, FIELD_SIZE);
  } else if (end > text) {
    std::memcpy(window, text, static_cast<size_t>(end - text));
  }
  for (size_t i = 0; i < FIELD_SIZE; i += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, window + i, sizeof word);
    if (uint64_t commas = BytesEqual(word, ',')) {
      const size_t length = i + static_cast<size_t>(std::countr_zero(commas)) / 8;
      std::memcpy(field, window, FIELD_SIZE);
      field[length] = '\0';
      return text + length + 1;
    }
  }
  field[0] = '\0';
  return nullptr;
}

void ShiftToTokyoDatum(int32_t* lon, int32_t* lat) {
  const double oldLon = *lon;
  const double oldLat = *lat;
  const double lonTerm = oldLon * LON_TO_LON;
  const double latTermOfLon = oldLat * LAT_TO_LON;
  const double latTerm = oldLat * LAT_TO_LAT;
  const double lonTermOfLat = oldLon * LON_TO_LAT;
  *lon = TruncateToInt32(latTermOfLon + lonTerm - LON_OFFSET);
  *lat = TruncateToInt32(latTerm - lonTermOfLat - LAT_OFFSET);
}

int WgsToMapUnits(int32_t lonHundredths, int32_t latHundredths, int32_t* lon, int32_t* lat) {
  int32_t shiftedLon = lonHundredths;
  int32_t shiftedLat = latHundredths;
  ShiftToTokyoDatum(&shiftedLon, &shiftedLat);
  int32_t mapLon = 0;
  int32_t mapLat = 0;
  if (!ToMapUnits(shiftedLon, &mapLon) || !ToMapUnits(shiftedLat, &mapLat)) return -1;
  *lon = mapLon;
  *lat = mapLat;
  return 0;
}

double ParseDecimal(const char* text) {
  const char* p = text;
  while (IsCSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p == '+' || *p == '-') return 0.0;  // from_chars would take a second sign
  double value = 0.0;
  if (ParsePlainDecimal(p, &value)) return negative ? -value : value;
  const char* end = p + std::strlen(p);
  bool hex = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
  const char* digits = hex ? p + 2 : p;
  std::from_chars_result result =
      std::from_chars(digits, end, value, hex ? std::chars_format::hex : std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    value = IsOverflow(digits, result.ptr, hex) ? HUGE_VAL : 0.0;
  } else if (result.ec != std::errc()) {
    value = 0.0;  // nothing to read ("0x" alone reads as the 0 before the x)
  }
  return negative ? -value : value;
}

int ReadLogText(const char* path, LogText* text) {
  *text = LogText();
  if (path == nullptr) return -1;
  FILE* file = OpenReadableFile(path);
  if (file == nullptr) return -1;
  long fileSize = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) fileSize = std::ftell(file);
  if (fileSize <= 0) {
    std::fclose(file);
    return -1;
  }
  size_t size = static_cast<size_t>(fileSize) < LOG_READ_LIMIT ? static_cast<size_t>(fileSize) : LOG_READ_LIMIT;
  char* bytes = static_cast<char*>(std::malloc(size + 1));
  if (bytes == nullptr) {
    std::fclose(file);
    return -1;
  }
  size_t got = 0;
  if (std::fseek(file, 0, SEEK_SET) == 0) got = std::fread(bytes, 1, size, file);
  std::fclose(file);
  // A file that shrank since its size was taken gives what is left; one
  // that gives nothing at all (a directory, a read error) is unreadable.
  if (got == 0) {
    std::free(bytes);
    return -1;
  }
  bytes[got] = '\0';
  text->bytes = bytes;
  text->size = got;
  return 0;
}

void ReleaseLogText(LogText* text) {
  std::free(text->bytes);
  *text = LogText();
}

int32_t CountTrackSentences(const char* text, size_t size) {
  const char* end = TextEnd(text, size);
  int32_t count = 0;
  for (const char* s = Find(text, end, '$'); s != nullptr; s = Find(s + 1, end, '$')) {
    if (StartsWithTag(s, end)) ++count;
  }
  return count;
}

Track* CreateTrack(int32_t capacity) {
  if (capacity < 0) return nullptr;
  void* block = std::calloc(1, sizeof(Track) + static_cast<size_t>(capacity) * sizeof(TrackPoint));
  if (block == nullptr) return nullptr;
  Track* track = static_cast<Track*>(block);
  track->points = reinterpret_cast<TrackPoint*>(static_cast<char*>(block) + sizeof(Track));
  track->count = 0;
  track->minLon = EMPTY_BOX_MIN;
  track->minLat = EMPTY_BOX_MIN;
  track->maxLon = EMPTY_BOX_MAX;
  track->maxLat = EMPTY_BOX_MAX;
  return track;
}

void ReleaseTrack(Track* track) { std::free(track); }

void ParseTrackSentences(const char* text, size_t size, Track* track, int32_t capacity,
                         AcceptedFixVisitor visitor, void* context) {
  TrackBuilder builder{track, capacity, false, false, visitor, context};
  const char* stop = nullptr;
  ScanWindow(text, TextEnd(text, size), true, &builder, &stop);
}

namespace {

// The log is read in pieces of this many bytes into one buffer that is
// used again for every piece; a sentence cut at the end of a piece is kept
// and read whole with the next one.
constexpr size_t LOG_CHUNK_BYTES = 256 * 1024;
// A sentence whose reading needs more than this many bytes from its "$"
// is damaged in a way no receiver writes (no comma after the tag); the
// rest of the text is then read in one piece.
constexpr size_t SENTENCE_REACH = 1024;

// The streamed reading of one log: a buffer of `capacity` bytes whose first
// `kept` bytes are the unread end of the previous piece.
struct LogStream {
  FILE* file = nullptr;
  char* buffer = nullptr;
  size_t capacity = 0;
  size_t kept = 0;
  size_t consumed = 0;  // bytes taken from the file so far
};

// Reads the next piece after the kept bytes. Sets *end to the end of the
// text in the buffer (the first zero byte, if any) and *final when the text
// ends there. Returns the number of bytes read.
size_t ReadPiece(LogStream* stream, const char** end, bool* final) {
  size_t room = stream->capacity - stream->kept;
  size_t want = std::min(room, LOG_READ_LIMIT - stream->consumed);
  char* piece = stream->buffer + stream->kept;
  size_t got = want > 0 ? std::fread(piece, 1, want, stream->file) : 0;
  stream->consumed += got;
  *final = got < want || stream->consumed >= LOG_READ_LIMIT;
  const char* zero = static_cast<const char*>(std::memchr(piece, '\0', got));
  *end = zero != nullptr ? zero : piece + got;
  if (zero != nullptr) *final = true;
  return got;
}

// Keeps the bytes from `from` to `end` at the start of the buffer; when
// they reach further than a sentence ever needs, the buffer grows to hold
// the whole rest of the text. False when memory runs out.
bool KeepTail(LogStream* stream, const char* from, const char* end) {
  stream->kept = static_cast<size_t>(end - from);
  std::memmove(stream->buffer, from, stream->kept);
  if (stream->kept < SENTENCE_REACH) return true;
  size_t whole = stream->kept + (LOG_READ_LIMIT - stream->consumed);
  if (whole <= stream->capacity) return true;
  char* grown = static_cast<char*>(std::realloc(stream->buffer, whole));
  if (grown == nullptr) return false;
  stream->buffer = grown;
  stream->capacity = whole;
  return true;
}

}  // namespace

Track* LoadTrack(const char* path) {
  if (path == nullptr) return nullptr;
  LogStream stream;
  stream.file = OpenReadableFile(path);
  if (stream.file == nullptr) return nullptr;
  stream.capacity = LOG_CHUNK_BYTES;
  stream.buffer = static_cast<char*>(std::malloc(stream.capacity));
  TrackBuilder builder{CreateTrack(0), 0, true, false, nullptr, nullptr};
  bool failed = stream.buffer == nullptr || builder.track == nullptr;
  size_t total = 0;
  for (bool final = false; !failed && !final;) {
    const char* end = nullptr;
    total += ReadPiece(&stream, &end, &final);
    const char* stop = nullptr;
    ScanResult result = ScanWindow(stream.buffer, end, final, &builder, &stop);
    if (result != ScanResult::MORE_NEEDED) break;
    failed = !KeepTail(&stream, stop, end);
  }
  std::fclose(stream.file);
  std::free(stream.buffer);
  // An empty file, one that gives no bytes at all, or no memory: no track.
  if (failed || builder.outOfMemory || total == 0) {
    ReleaseTrack(builder.track);
    return nullptr;
  }
  return builder.track;
}
