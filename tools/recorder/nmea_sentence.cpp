#include "tools/recorder/nmea_sentence.h"

#include <cmath>
#include <cstdio>

#include "tools/recorder/recorder_time.h"

namespace {

constexpr size_t TALKER_OFFSET = 1;   // "$" then two talker letters
constexpr size_t TALKER_LENGTH = 2;
constexpr size_t CHECKSUM_DIGITS = 2;  // "*hh"
constexpr std::string_view RMC_TYPE = "RMC,";
constexpr std::string_view RECORDED_TALKER = "GP";
constexpr double KNOTS_PER_METRE_PER_SECOND = 3600.0 / 1852.0;
constexpr int64_t MILLIS_PER_SECOND = 1000;
constexpr int64_t SECONDS_PER_DAY = 86400;
constexpr int32_t CENTURY = 2000;  // two-digit years of RMC dates lie in 2000..2099

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

unsigned ChecksumOf(std::string_view body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  return sum;
}

// "$" + body + "*hh".
std::string WithChecksum(std::string_view body) {
  char tail[4];
  std::snprintf(tail, sizeof tail, "*%02X", ChecksumOf(body));
  return "$" + std::string(body) + tail;
}

// Field `index` of a sentence (0 is the address "$GPRMC"), without the
// checksum; false when there are fewer fields.
bool Field(std::string_view sentence, int index, std::string_view* field) {
  size_t star = sentence.find('*');
  if (star != std::string_view::npos) sentence = sentence.substr(0, star);
  size_t start = 0;
  for (int i = 0; i < index; ++i) {
    start = sentence.find(',', start);
    if (start == std::string_view::npos) return false;
    ++start;
  }
  size_t end = sentence.find(',', start);
  *field = sentence.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  return true;
}

// The number of `count` decimal digits at `text`, or -1.
int Digits(std::string_view text, size_t at, size_t count) {
  if (text.size() < at + count) return -1;
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Degrees as ddmm.mmmm (latitude, two degree digits) or dddmm.mmmm (three),
// and the hemisphere letter.
std::string DegreesAndMinutes(double degrees, int degreeDigits, char positive, char negative) {
  const char hemisphere = degrees < 0 ? negative : positive;
  const long long tenThousandths = std::llround(std::fabs(degrees) * 60.0 * 10000.0);
  char text[32];
  std::snprintf(text, sizeof text, "%0*lld%02lld.%04lld,%c", degreeDigits, tenThousandths / 600000,
                tenThousandths % 600000 / 10000, tenThousandths % 10000, hemisphere);
  return text;
}

}  // namespace

bool IsRecordableSentence(std::string_view line) {
  if (line.empty() || line[0] != '$' || line.size() > MAX_RECORDED_LINE) return false;
  for (char c : line) {
    if (c < ' ' || c > '~') return false;
  }
  return true;
}

bool HasValidChecksum(std::string_view sentence) {
  size_t star = sentence.find('*');
  if (sentence.empty() || star == std::string_view::npos || sentence.size() != star + 1 + CHECKSUM_DIGITS) return false;
  const int high = HexValue(sentence[star + 1]), low = HexValue(sentence[star + 2]);
  if (high < 0 || low < 0) return false;
  return ChecksumOf(sentence.substr(1, star - 1)) == static_cast<unsigned>(high * 16 + low);
}

bool IsRmcSentence(std::string_view sentence) {
  return sentence.size() > TALKER_OFFSET + TALKER_LENGTH + RMC_TYPE.size() && sentence[0] == '$' &&
         sentence.substr(TALKER_OFFSET + TALKER_LENGTH, RMC_TYPE.size()) == RMC_TYPE;
}

std::string RewriteSentence(std::string_view sentence) {
  if (!IsRmcSentence(sentence) || sentence.substr(TALKER_OFFSET, TALKER_LENGTH) == RECORDED_TALKER ||
      !HasValidChecksum(sentence)) {
    return std::string(sentence);
  }
  // A sentence whose checksum fails stays as it came: computing a new one
  // would make damaged fields look sound.
  std::string body(sentence.substr(1, sentence.find('*') - 1));
  body.replace(0, TALKER_LENGTH, RECORDED_TALKER);
  return WithChecksum(body);
}

int ReadRmcTime(std::string_view rmc, int64_t* utcSeconds) {
  std::string_view time, date;
  if (!IsRmcSentence(rmc) || !Field(rmc, 1, &time) || !Field(rmc, 9, &date)) return -1;
  const int hour = Digits(time, 0, 2), minute = Digits(time, 2, 2), second = Digits(time, 4, 2);
  const int day = Digits(date, 0, 2), month = Digits(date, 2, 2), year = Digits(date, 4, 2);
  if (date.size() != 6 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60 ||
      year < 0 || !IsRealDate(CENTURY + year, month, day)) {
    return -1;
  }
  // A leap second (60) counts as the last second of its minute.
  *utcSeconds = DaysFromCivil(CENTURY + year, month, day) * SECONDS_PER_DAY + hour * 3600 + minute * 60 +
                (second == 60 ? 59 : second);
  return 0;
}

std::string MakeRmcFromFix(const GpsdFix& fix) {
  if (fix.utcMillis < 0 || !fix.hasPosition) return std::string();
  const int64_t seconds = fix.utcMillis / MILLIS_PER_SECOND;
  const int64_t days = seconds / SECONDS_PER_DAY, second = seconds % SECONDS_PER_DAY;
  int32_t year = 0, month = 0, day = 0;
  CivilFromDays(days, &year, &month, &day);
  char time[16], date[8], motion[32] = ",";
  std::snprintf(time, sizeof time, "%02d%02d%02d.%02d", static_cast<int>(second / 3600),
                static_cast<int>(second / 60 % 60), static_cast<int>(second % 60),
                static_cast<int>(fix.utcMillis % MILLIS_PER_SECOND / 10));
  std::snprintf(date, sizeof date, "%02d%02d%02d", day, month, year % 100);
  if (fix.speed >= 0.0 && fix.track >= 0.0) {
    std::snprintf(motion, sizeof motion, "%.1f,%.1f", fix.speed * KNOTS_PER_METRE_PER_SECOND, fix.track);
  } else if (fix.speed >= 0.0) {
    std::snprintf(motion, sizeof motion, "%.1f,", fix.speed * KNOTS_PER_METRE_PER_SECOND);
  }
  const std::string body = "GPRMC," + std::string(time) + ",A," + DegreesAndMinutes(fix.lat, 2, 'N', 'S') + "," +
                           DegreesAndMinutes(fix.lon, 3, 'E', 'W') + "," + motion + "," + date + ",,,A";
  return WithChecksum(body);
}
