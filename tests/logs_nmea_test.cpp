// The NMEA track reader: the map conversion, the acceptance and resume
// rules, cut and damaged logs, and the real receiver logs in data/nmea/.
#include <sys/stat.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logs/nmea_reader.h"
#include "logs_test_support.h"

namespace {

// A track copied out of the reader's block.
struct Parsed {
  int32_t count = 0;
  int32_t minLon = 0, minLat = 0, maxLon = 0, maxLat = 0;
  std::vector<TrackPoint> points;
};

Parsed CopyTrack(const Track* track) {
  Parsed parsed;
  parsed.count = track->count;
  parsed.minLon = track->minLon;
  parsed.minLat = track->minLat;
  parsed.maxLon = track->maxLon;
  parsed.maxLat = track->maxLat;
  parsed.points.assign(track->points, track->points + track->count);
  return parsed;
}

// Parses `text` as a whole log held in exactly text.size() bytes of the
// heap, so that AddressSanitizer reports any read past its end.
Parsed ParseText(const std::string& text) {
  std::unique_ptr<char[]> bytes(new char[text.size()]);
  std::memcpy(bytes.get(), text.data(), text.size());
  int32_t capacity = CountTrackSentences(bytes.get(), text.size());
  Track* track = CreateTrack(capacity);
  EXPECT_NE(track, nullptr);
  ParseTrackSentences(bytes.get(), text.size(), track, capacity, nullptr, nullptr);
  Parsed parsed = CopyTrack(track);
  ReleaseTrack(track);
  return parsed;
}

// The worked example: 12:35:19 UTC at 35°40.1234' N, 139°45.6789' E.
const std::string EXAMPLE = Rmc("123519.00", "3540.1234", "13945.6789");
constexpr TrackPoint EXAMPLE_POINT = {45319, 64403490, 16434658};

void ExpectPoint(const TrackPoint& actual, const TrackPoint& expected) {
  EXPECT_EQ(actual.time, expected.time);
  EXPECT_EQ(actual.lon, expected.lon);
  EXPECT_EQ(actual.lat, expected.lat);
}

void ExpectEmptyBox(const Parsed& parsed) {
  EXPECT_EQ(parsed.minLon, EMPTY_BOX_MIN);
  EXPECT_EQ(parsed.minLat, EMPTY_BOX_MIN);
  EXPECT_EQ(parsed.maxLon, EMPTY_BOX_MAX);
  EXPECT_EQ(parsed.maxLat, EMPTY_BOX_MAX);
}

// A copy of the example whose checksum is written with letters (or, when
// `letters` is false, with two decimal digits), found by varying the time.
std::string ExampleWithChecksum(bool letters) {
  for (int second = 0; second < 60; ++second) {
    char time[16];
    std::snprintf(time, sizeof time, "1235%02d.00", second);
    std::string sentence = Rmc(time, "3540.1234", "13945.6789");
    std::string digits = sentence.substr(sentence.size() - 2);
    bool hasLetter = std::isalpha(static_cast<unsigned char>(digits[0])) ||
                     std::isalpha(static_cast<unsigned char>(digits[1]));
    if (hasLetter == letters) return sentence;
  }
  return "";
}

TEST(NmeaReader, WorkedExampleGivesTheMapPoint) {
  // 35°40.1234': 35 × 360,000 + 40 × 6,000 = 12,840,000 hundredths of an
  // arc-second, plus 0.1234 × 6,000 = 740.4, truncated: 12,840,740.
  // 139°45.6789': 50,310,000 + 4,073.4 → 50,314,073. The datum shift gives
  // 12,839,578 and 50,315,227; × 64 / 100 × 2 gives 16,434,658 and
  // 64,403,490. 12:35:19 is (12 × 60 + 35) × 60 + 19 = 45,319 s.
  int32_t lon = 50314073;
  int32_t lat = 12840740;
  ShiftToTokyoDatum(&lon, &lat);
  EXPECT_EQ(lon, 50315227);
  EXPECT_EQ(lat, 12839578);

  Parsed parsed = ParseText(EXAMPLE + "\r\n");
  ASSERT_EQ(parsed.count, 1);
  ExpectPoint(parsed.points[0], EXAMPLE_POINT);
  EXPECT_EQ(parsed.minLon, EXAMPLE_POINT.lon);
  EXPECT_EQ(parsed.maxLon, EXAMPLE_POINT.lon);
  EXPECT_EQ(parsed.minLat, EXAMPLE_POINT.lat);
  EXPECT_EQ(parsed.maxLat, EXAMPLE_POINT.lat);
}

TEST(NmeaReader, PointsKeepFileOrderAndWidenTheBox) {
  std::string log = Rmc("000010", "3540.1234", "13945.6789") + "\n" +  // 10 s
                    Rmc("235959", "3600.0000", "14000.0000") + "\n" +  // 86,399 s, north-east
                    Rmc("000005", "3500.0000", "13900.0000") + "\n";   // 5 s, south-west
  Parsed parsed = ParseText(log);
  ASSERT_EQ(parsed.count, 3);
  EXPECT_EQ(parsed.points[0].time, 10);
  EXPECT_EQ(parsed.points[1].time, 86399);
  EXPECT_EQ(parsed.points[2].time, 5);
  EXPECT_EQ(parsed.minLon, parsed.points[2].lon);
  EXPECT_EQ(parsed.minLat, parsed.points[2].lat);
  EXPECT_EQ(parsed.maxLon, parsed.points[1].lon);
  EXPECT_EQ(parsed.maxLat, parsed.points[1].lat);
  for (const TrackPoint& point : parsed.points) {
    EXPECT_EQ(point.lon % 2, 0);
    EXPECT_EQ(point.lat % 2, 0);
  }
}

struct AcceptanceCase {
  const char* rule;
  std::string log;
  int32_t points;
};

TEST(NmeaReader, AcceptanceRules) {
  std::string sentenceAt255(EXAMPLE.substr(1, EXAMPLE.size() - 4) + std::string(255, 'x'));
  sentenceAt255.resize(254);  // "$" + 254 bytes puts the "*" 255 bytes after the "$"
  std::string wrongChecksum = EXAMPLE;
  wrongChecksum.back() = wrongChecksum.back() == '0' ? '1' : '0';
  std::string lowerLetters = ExampleWithChecksum(true);
  for (size_t i = lowerLetters.size() - 2; i < lowerLetters.size(); ++i) {
    lowerLetters[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lowerLetters[i])));
  }
  std::string lowerDigits = ExampleWithChecksum(false);
  const AcceptanceCase cases[] = {
      {"status V with coordinates is used", Rmc("123519", "3540.1234", "13945.6789", "V"), 1},
      {"hemisphere letters are not looked at",
       Sentence("GPRMC,123519,A,3540.1234,S,13945.6789,W,0.0,0.0,270705,,"), 1},
      {"empty latitude", Sentence("GPRMC,123519,V,,N,13945.6789,E,,,270705,,"), 0},
      {"empty coordinates", Sentence("GPRMC,123519,V,,,,,,,270705,,"), 0},
      {"zero longitude", Rmc("123519", "3540.1234", "00000.0000"), 0},
      {"10 degrees north", Rmc("123519", "1000.0000", "13945.6789"), 0},
      {"160 degrees east", Rmc("123519", "3540.1234", "16000.0000"), 0},
      {"exactly 20 degrees north after conversion", Rmc("123519", "2000.2944", "13945.6789"), 1},
      {"just south of 20 degrees north", Rmc("123519", "2000.2943", "13945.6789"), 0},
      {"wrong checksum", wrongChecksum, 0},
      {"no checksum", EXAMPLE.substr(0, EXAMPLE.size() - 3), 0},
      {"lower-case checksum with letters", lowerLetters, 0},
      {"checksum of two decimal digits", lowerDigits, 1},
      {"\"*\" 255 bytes after \"$\"", Sentence(sentenceAt255), 1},
      {"\"*\" 256 bytes after \"$\"", Sentence(sentenceAt255 + "x"), 0},
      {"only $GPGGA", Sentence("GPGGA,123519,3540.1234,N,13945.6789,E,1,08,0.9,545.4,M,46.9,M,,"), 0},
      {"$GNRMC is not read", Sentence("GNRMC,123519,A,3540.1234,N,13945.6789,E,0.0,0.0,270705,,"), 0},
      // A longitude whose 32-bit product would wrap into the accepted area
      // (310° east, or a negative value) is far outside the map.
      {"wrapping longitude", Rmc("123519", "3540.1234", "31000.0000"), 0},
      {"negative longitude", Rmc("123519", "3540.1234", "-3540.0000"), 0},
      {"longitude beyond 32 bits", Rmc("123519", "3540.1234", "1e30"), 0},
      {"not a number", Rmc("123519", "nan", "13945.6789"), 0},
  };
  for (const AcceptanceCase& c : cases) {
    Parsed parsed = ParseText(c.log + "\r\n");
    EXPECT_EQ(parsed.count, c.points) << c.rule << ": " << c.log;
    if (parsed.count == 0) ExpectEmptyBox(parsed);
  }
  EXPECT_EQ(ParseText(Rmc("123519", "2000.2944", "13945.6789")).points.at(0).lat, TRACK_MIN_LAT);
}

TEST(NmeaReader, ResumeRules) {
  // A sentence that fails its checksum is searched past by one byte, so the
  // "$" of a sentence run into it is still found.
  EXPECT_EQ(ParseText("$GPRMC,000426.00,A,48" + EXAMPLE).count, 1);
  // The fields of a sentence run on past its "*" into the next sentence;
  // reading resumes after the sixth field, which skips the next "$". Here
  // the sixth field is the next sentence's status: its longitude field
  // ("123520.00") puts the point outside the area.
  std::string shortSentence = Sentence("GPRMC,123519.00,A,3540.1234,N");
  EXPECT_EQ(ParseText(shortSentence + "\n" + Rmc("123520.00", "3540.1234", "13945.6789") + "\n").count, 0);
  // A sentence whose six fields cannot be taken (a field of 32 characters
  // or more, or no comma left) ends the reading; earlier points stay.
  std::string longField = Sentence("GPRMC,123520.00,A," + std::string(40, '9') + ",N,13945.6789,E,,,");
  Parsed parsed = ParseText(EXAMPLE + "\n" + longField + "\n" + EXAMPLE + "\n");
  ASSERT_EQ(parsed.count, 1);
  ExpectPoint(parsed.points[0], EXAMPLE_POINT);
  EXPECT_EQ(ParseText(EXAMPLE + "\n" + Sentence("GPRMC") + "\n").count, 1);
}

TEST(NmeaReader, ZeroByteEndsTheLog) {
  std::string log = EXAMPLE + "\n" + std::string(1, '\0') + EXAMPLE + "\n";
  EXPECT_EQ(ParseText(log).count, 1);
  EXPECT_EQ(CountTrackSentences(log.data(), log.size()), 1);
  EXPECT_EQ(ParseText(std::string(1, '\0') + EXAMPLE).count, 0);
}

TEST(NmeaReader, EveryCutOfASentenceIsSafe) {
  // Cut after each byte: the point is there once the checksum's two digits
  // are; before that the sentence fails, whatever byte ends the text
  // ("$GPRMC" at the very end, a "*" as the last byte, a field without its
  // comma).
  const std::string full = EXAMPLE + "\r\n";
  const size_t complete = EXAMPLE.size();
  for (size_t length = 0; length <= full.size(); ++length) {
    EXPECT_EQ(ParseText(full.substr(0, length)).count, length >= complete ? 1 : 0) << "cut at " << length;
  }
  // The same cuts with a zero byte in place of the end of the file.
  for (size_t length = 0; length < complete; ++length) {
    EXPECT_EQ(ParseText(full.substr(0, length) + '\0' + "1A\r\n").count, 0) << "zero at " << length;
  }
}

TEST(NmeaReader, InnerOperations) {
  EXPECT_EQ(NmeaChecksum("$AB*", 3), 'A' ^ 'B');
  EXPECT_EQ(NmeaChecksum("$AB*C*", 5), 'A' ^ 'B');  // stops at the first "*"
  EXPECT_EQ(NmeaChecksum("$ABC", 3), 0);           // stopped on "C", not on "*"
  EXPECT_EQ(NmeaChecksum("$", 0), 0);

  struct HexCase {
    const char* text;
    int value;
  };
  for (HexCase c : {HexCase{"00", 0}, {"7F", 127}, {"FF", 255}, {"ff", 0}, {"1a", 16}, {"a1", 1}, {"G9", 9}}) {
    EXPECT_EQ(ParseChecksumHex(c.text), c.value) << c.text;
  }

  char field[FIELD_SIZE];
  std::string text = std::string(31, 'a') + "," + std::string(32, 'b') + ",x";
  const char* end = text.data() + text.size();
  const char* next = NextField(text.data(), end, field);
  ASSERT_EQ(next, text.data() + 32);
  EXPECT_EQ(std::string(field), std::string(31, 'a'));
  EXPECT_EQ(NextField(next, end, field), nullptr);  // 32 characters
  EXPECT_STREQ(field, "");
  EXPECT_EQ(NextField(end - 1, end, field), nullptr);     // no comma left
  EXPECT_EQ(NextField(text.data(), text.data() + 31, field), nullptr);  // its comma lies at the end
  const char* emptyField = ",";
  EXPECT_EQ(NextField(emptyField, emptyField + 1, field), emptyField + 1);
  EXPECT_STREQ(field, "");
}

TEST(NmeaReader, DecimalFieldsReadAsTheCLibraryReadsThem) {
  ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  const char* inputs[] = {"",      " 12.5", "+3",    "-0.5e1", "1e5",   "1.5e",     "1.5e+",  "0x1A",
                          "0X1p4", "0x",    "0x.8",  "inf",    "-Infinity", ".",    "--1",    "+-1",
                          "1e400", "-1e400", "1e-400", "\t\n7", "3540.1234", "12,3", "000426.00", "45.",
                          "0.000000000000000000000000000000001e-300", "1e-310", "4.9e-324", "2e-324", "1.7976931348623157e308", "1.8e308", "0x1p-1074", "0x1p1024"};
  for (const char* input : inputs) {
    EXPECT_EQ(ParseDecimal(input), std::strtod(input, nullptr)) << '"' << input << '"';
  }
  EXPECT_TRUE(std::isnan(ParseDecimal("nan")));
  EXPECT_TRUE(std::isnan(ParseDecimal("NAN(123)")));
}

// Plain fields are read in place; any other form of the same number goes
// through the fields' copies and the general number reading. Each row's
// plain sentence and its other forms must give the same point, whichever
// way each is read.
TEST(NmeaReader, PlainFieldsReadInPlaceGiveWhatTheGeneralReadingGives) {
  struct Row {
    const char* time;
    const char* lat;
    const char* lon;
  };
  const Row plain[] = {
      {"123519.00", "3540.1234", "13945.6789"}, {"123519", "3540.1234", "13945.6789"},
      {"000000.5", "3400.0000001", "13500.99999999"}, {"235959.999", "4459.", "15300"},
      {"12345678", "3540.12345678", "13945.678901234"}, {"123456789.5", "3540.1", "13945.6"},
      {"1", "3540.123456789012", "13945.67890123456"},  // 16 digits: the general reading
      {"123519.00", "3540.12340000000000000001", "13945.6789"},  // long, exact in the general reading
  };
  // Other forms of a field's number: read by the general reading, or in
  // place with more digits.
  auto forms = [](const std::string& field) {
    std::vector<std::string> other{"+" + field, " " + field, field + "e0", "0" + field};
    if (field.find('.') != std::string::npos) other.push_back(field + "0");
    return other;
  };
  for (const Row& row : plain) {
    const Parsed expected = ParseText(Rmc(row.time, row.lat, row.lon) + "\r\n");
    ASSERT_EQ(expected.points.size(), 1u) << row.lat;
    for (const std::string& lat : forms(row.lat)) {
      for (const std::string& lon : forms(row.lon)) {
        const Parsed other = ParseText(Rmc(row.time, lat, lon) + "\r\n");
        ASSERT_EQ(other.points.size(), 1u) << lat << " " << lon;
        ExpectPoint(other.points[0], expected.points[0]);
      }
    }
    for (const std::string& time : forms(row.time)) {
      const Parsed other = ParseText(Rmc(time, row.lat, row.lon) + "\r\n");
      ASSERT_EQ(other.points.size(), 1u) << time;
      EXPECT_EQ(other.points[0].time, expected.points[0].time) << time;
    }
  }
  // A field of 31 digits ends within the field's limit and is read; one of
  // 32 does not, and ends the track, whichever way the others are written.
  const std::string digits31(31, '1');
  EXPECT_EQ(ParseText(Rmc("123519", "3540.1234", "13945.6789") + "\r\n" + Rmc(digits31, "3540.1234", "13945.6789") +
                      "\r\n").points.size(),
            2u);
  EXPECT_EQ(ParseText(Rmc("123519", "3540.1234", "13945.6789") + "\r\n" + Rmc(digits31 + "1", "3540.1234", "13945.6789") +
                      "\r\n" + Rmc("123519", "3540.1234", "13945.6789") + "\r\n").points.size(),
            1u);
}

TEST(NmeaReader, LocaleOfTheProcessDoesNotChangeTheTrack) {
  // A German locale reads "1.5" as 1 with strtod. It is built into the
  // scratch directory, as the machine may have no locales installed.
  fs::path locales = MakeScratchDirectory();
  std::string build = "localedef -i de_DE -f UTF-8 '" + (locales / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  if (std::system(build.c_str()) != 0 || setenv("LOCPATH", locales.c_str(), 1) != 0 ||
      std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
    unsetenv("LOCPATH");
    GTEST_SKIP() << "no German locale can be built here";
  }
  double german = std::strtod("1.5", nullptr);
  Parsed parsed = ParseText(EXAMPLE + "\n");
  double decimal = ParseDecimal("3540.1234");
  std::setlocale(LC_NUMERIC, "C");
  unsetenv("LOCPATH");
  ASSERT_EQ(german, 1.0);  // the locale was in effect
  EXPECT_EQ(decimal, 3540.1234);
  ASSERT_EQ(parsed.count, 1);
  ExpectPoint(parsed.points[0], EXAMPLE_POINT);
}

// A log file in a scratch directory.
class NmeaFileTest : public ScratchDirectoryTest {};

TEST_F(NmeaFileTest, MissingEmptyAndUnreadableFilesGiveNoTrack) {
  EXPECT_EQ(LoadTrack((directory / "missing.log").c_str()), nullptr);
  EXPECT_EQ(LoadTrack(Write("empty.log", "").c_str()), nullptr);
  EXPECT_EQ(LoadTrack(directory.c_str()), nullptr);
  EXPECT_EQ(LoadTrack(nullptr), nullptr);
  std::string gga = Sentence("GPGGA,123519,3540.1234,N,13945.6789,E,1,08,0.9,545.4,M,,,,") + "\r\n";
  Track* track = LoadTrack(Write("gga.log", gga).c_str());
  ASSERT_NE(track, nullptr);
  Parsed parsed = CopyTrack(track);
  ReleaseTrack(track);
  EXPECT_EQ(parsed.count, 0);
  ExpectEmptyBox(parsed);
}

TEST_F(NmeaFileTest, OnlyTheFirst18000000BytesAreRead) {
  // A 20,000,000-byte log: a sentence well before the cut, one that begins
  // 20 bytes before it (cut inside its fields), one after it.
  std::string log(20000000, '\n');
  auto place = [&log](size_t at, const std::string& sentence) { log.replace(at, sentence.size(), sentence); };
  place(LOG_READ_LIMIT - 1000, Rmc("000001", "3540.1234", "13945.6789"));
  place(LOG_READ_LIMIT - 20, Rmc("000002", "3540.1234", "13945.6789"));
  place(LOG_READ_LIMIT + 1000, Rmc("000003", "3540.1234", "13945.6789"));
  Track* track = LoadTrack(Write("big.log", log).c_str());
  ASSERT_NE(track, nullptr);
  Parsed parsed = CopyTrack(track);
  ReleaseTrack(track);
  ASSERT_EQ(parsed.count, 1);
  EXPECT_EQ(parsed.points[0].time, 1);
}

// The file is read in pieces: whatever falls on a piece's edge, the track
// equals the one of the whole text read in one piece. The log mixes good
// and damaged sentences of varying length so that the edges cut every kind
// of sentence at many offsets, and it runs past the read limit.
TEST_F(NmeaFileTest, StreamedLoadEqualsTheWholeTextParse) {
  uint64_t state = 12;
  auto next = [&state](uint64_t range) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (state >> 33) % range;
  };
  auto degrees = [&next](int whole, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%02d.%04d", digits, whole, static_cast<int>(next(60)),
                  static_cast<int>(next(10000)));
    return std::string(text);
  };
  std::string log;
  log.reserve(LOG_READ_LIMIT + 2000000);
  while (log.size() < LOG_READ_LIMIT + 1000000) {
    const std::string rmc = Rmc("1200" + std::to_string(10 + next(50)) + ".00", degrees(35, 2), degrees(139, 3));
    switch (next(10)) {
      case 0:  // a checksum that does not match
        log += rmc.substr(0, rmc.size() - 1) + "Z\r\n";
        break;
      case 1:  // cut inside its fields
        log += rmc.substr(0, next(rmc.size())) + "\r\n";
        break;
      case 2:  // the other sentences of a receiver, of varying length
        log += Sentence("GPGSV,3,1,12," + std::string(next(20), '7')) + "\r\n";
        break;
      case 3:  // a long field run without a "*"
        log += "$GPRMC," + std::string(next(400), ',') + "\r\n";
        break;
      default:
        log += rmc + "\r\n";
    }
  }
  Track* track = LoadTrack(Write("mixed.log", log).c_str());
  ASSERT_NE(track, nullptr);
  Parsed streamed = CopyTrack(track);
  ReleaseTrack(track);
  Parsed whole = ParseText(log.substr(0, LOG_READ_LIMIT));
  ASSERT_GT(whole.count, 100000);
  EXPECT_EQ(streamed.count, whole.count);
  EXPECT_EQ(streamed.minLon, whole.minLon);
  EXPECT_EQ(streamed.minLat, whole.minLat);
  EXPECT_EQ(streamed.maxLon, whole.maxLon);
  EXPECT_EQ(streamed.maxLat, whole.maxLat);
  ASSERT_EQ(streamed.points.size(), whole.points.size());
  for (size_t i = 0; i < whole.points.size(); ++i) {
    ExpectPoint(streamed.points[i], whole.points[i]);
    if (HasFailure()) FAIL() << "first difference at point " << i;
  }
}

// A sentence whose tag is not followed by its comma takes its fields from
// the next comma in the text, however far away: across pieces too. A zero
// byte in a later piece ends the text there.
TEST_F(NmeaFileTest, FarCommasAndLateZeroBytesAcrossPieces) {
  const std::string tagOnly = Sentence("GPRMC");
  const std::string fields = "123519.00,A,3540.1234,N,13945.6789,E,\r\n";
  const std::string far = tagOnly + std::string(300000, ' ') + "," + fields;
  const std::string zeroLate = EXAMPLE + "\n" + std::string(600000, '\n') + std::string(1, '\0') + EXAMPLE + "\n";
  for (const std::string& log : {far, zeroLate, std::string(262140, '\n') + EXAMPLE + "\n"}) {
    Track* track = LoadTrack(Write("piece.log", log).c_str());
    ASSERT_NE(track, nullptr);
    Parsed streamed = CopyTrack(track);
    ReleaseTrack(track);
    Parsed whole = ParseText(log);
    ASSERT_EQ(streamed.count, whole.count);
    ASSERT_EQ(whole.count, 1);
    ExpectPoint(streamed.points[0], whole.points[0]);
  }
}

// Files that are not plain files are refused at once, without waiting for
// a writer.
TEST_F(NmeaFileTest, NamedPipesAndDevicesGiveNoTrackAtOnce) {
  const fs::path pipe = directory / "pipe.log";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(LoadTrack(pipe.c_str()), nullptr);
  EXPECT_EQ(LoadTrack("/dev/zero"), nullptr);
}

// The real logs, with their points worked out by hand from the sentences.
struct RealLog {
  const char* file;
  int32_t count;
  int32_t minLon, minLat, maxLon, maxLat;
  TrackPoint first, last;
};

TEST(NmeaReaderRealLogs, CountsBoxesAndEndPoints) {
  const char* data = std::getenv("TEVO_TEST_DATA_DIR");
  ASSERT_NE(data, nullptr);
  // gpsd_iTrek.log, Anpachi (Gifu): 37 $GPRMC; the two void ones have empty
  // coordinates, so 35 points. First: 045849.000, 3519.9048, 13640.2631.
  //   time (4 × 60 + 58) × 60 + 49 = 17,929.
  //   lat 35 × 360,000 + 19 × 6,000 + trunc(0.9048 × 6,000 = 5,428.8) = 12,719,428
  //   lon 136 × 360,000 + 40 × 6,000 + trunc(0.2631 × 6,000 = 1,578.6) = 49,201,578
  //   shift: lon' = trunc(12,719,428 × 4.6038e-5 + 49,201,578 × 1.000083043 − 3,614.4)
  //              = trunc(585.57 + 49,205,663.84 − 3,614.4) = 49,202,635
  //          lat' = trunc(12,719,428 × 1.00010695 − 49,201,578 × 1.7464e-5 − 1,656.612)
  //              = trunc(12,720,788.34 − 859.26 − 1,656.61) = 12,718,272
  //   map: 49,202,635 × 64 / 100 = 31,489,686 → × 2 = 62,979,372;
  //        12,718,272 × 64 / 100 = 8,139,694 → × 2 = 16,279,388.
  // Last: 045923.000, 3519.8998, 13640.2633: time 17,963; lat 12,719,398
  //   (0.8998 × 6,000 = 5,398.8), lon 49,201,579 (0.2633 × 6,000 = 1,579.8);
  //   shifted 49,202,636 and 12,718,242; map 62,979,374 and 16,279,348.
  // Box: latitudes 3519.8998 (last) to 3519.9048 (first); longitudes
  //   13640.2631 (62,979,372) to 13640.2637 (49,201,582 → 62,979,376).
  // gpsd_haicom-305N.log, Brisbane (27°12.6404' S, 153°03.12' E): all 74
  //   $GPRMC count, the 6 void ones and the southern latitude included.
  //   First: 095255.810 V, 2712.6404, 15303.1201: time 35,575;
  //   lat 27 × 360,000 + 12 × 6,000 + trunc(3,842.4) = 9,795,842,
  //   lon 153 × 360,000 + 3 × 6,000 + trunc(720.6) = 55,098,720; shifted
  //   55,100,132 and 9,794,270; map 70,528,168 and 12,536,664. Last:
  //   095415.787, same position (15303.1200 gives 720.0 → 55,098,720): 35,655.
  const RealLog logs[] = {
      {"japan/gpsd_iTrek.log", 35, 62979372, 16279348, 62979376, 16279388,
       {17929, 62979372, 16279388}, {17963, 62979374, 16279348}},
      {"elsewhere/gpsd_haicom-305N.log", 74, 70528116, 12536658, 70528320, 12536774,
       {35575, 70528168, 12536664}, {35655, 70528168, 12536664}},
  };
  for (const RealLog& log : logs) {
    Track* track = LoadTrack((std::string(data) + "/nmea/" + log.file).c_str());
    ASSERT_NE(track, nullptr) << log.file;
    Parsed parsed = CopyTrack(track);
    ReleaseTrack(track);
    ASSERT_EQ(parsed.count, log.count) << log.file;
    EXPECT_EQ(parsed.minLon, log.minLon) << log.file;
    EXPECT_EQ(parsed.minLat, log.minLat) << log.file;
    EXPECT_EQ(parsed.maxLon, log.maxLon) << log.file;
    EXPECT_EQ(parsed.maxLat, log.maxLat) << log.file;
    ExpectPoint(parsed.points.front(), log.first);
    ExpectPoint(parsed.points.back(), log.last);
  }
}

TEST(NmeaReaderRealLogs, LogsWithoutAUsableFixGiveEmptyTracks) {
  const char* data = std::getenv("TEVO_TEST_DATA_DIR");
  ASSERT_NE(data, nullptr);
  const char* files[] = {
      "elsewhere/gpsd_tn200.log",                          // never a fix
      "elsewhere/gpsd_beidou-bd.log",                      // $GNRMC only, just west of 122° E
      "elsewhere/gpsd_quectel-l76k-nmea.log",              // $GNRMC only, Seattle
      "elsewhere/nmeaparser_NmeaSampleData.txt",           // 120° W read as 120° E: west of the area
      "broken/gpsd_gp-320fw-2019-04-07-coldboot.log",      // bad checksums, glued lines, zero bytes
      "broken/gpsd_gpsdf.log",                             // blank lines, wrong checksums, Oregon
      "broken/josm_regress2147_WG20080203171807.log.nmea", // Brazil
  };
  for (const char* file : files) {
    Track* track = LoadTrack((std::string(data) + "/nmea/" + file).c_str());
    ASSERT_NE(track, nullptr) << file;
    Parsed parsed = CopyTrack(track);
    ReleaseTrack(track);
    EXPECT_EQ(parsed.count, 0) << file;
    ExpectEmptyBox(parsed);
  }
}

}  // namespace
