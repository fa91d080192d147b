// The recorder's parts without gpsd: how sentences are rewritten and made,
// the Japanese days and the settings file's times, the recording window,
// and the day files' repair and failures.
#include <fcntl.h>
#include <unistd.h>

#include "logs/nmea_reader.h"
#include "logs_test_support.h"
#include "tools/recorder/day_file_appender.h"
#include "tools/recorder/nmea_sentence.h"
#include "tools/recorder/recorder.h"
#include "tools/recorder/recorder_time.h"
#include "tools/recorder/recording_window.h"

namespace {

// RMC sentences of other talkers become $GPRMC with a new checksum; a
// sentence whose checksum fails, and every other sentence, stays as it came.
TEST(RecorderSentences, RewritesOnlySoundRmcOfOtherTalkers) {
  const std::string body = "RMC,123519.00,A,3540.1234,N,13945.6789,E,0.0,0.0,110226,,,A";
  const std::string gn = Sentence("GN" + body);
  struct Case {
    std::string in, out;
  } cases[] = {
      {gn, Sentence("GP" + body)},
      {Sentence("GL" + body), Sentence("GP" + body)},
      {Sentence("BD" + body), Sentence("GP" + body)},
      {Sentence("GP" + body), Sentence("GP" + body)},
      {gn.substr(0, gn.size() - 1) + "0", gn.substr(0, gn.size() - 1) + "0"},  // wrong checksum
      {"$GN" + body, "$GN" + body},                                          // none at all
      {Sentence("GNGGA,123519.00,3540.1234,N"), Sentence("GNGGA,123519.00,3540.1234,N")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RewriteSentence(c.in), c.out) << c.in;
    EXPECT_EQ(HasValidChecksum(RewriteSentence(c.in)), HasValidChecksum(c.in)) << c.in;
  }
  // Lower-case hex digits are a valid checksum too; the new one is upper case.
  std::string lower = gn;
  for (size_t i = lower.size() - 2; i < lower.size(); ++i) lower[i] = static_cast<char>(std::tolower(lower[i]));
  EXPECT_EQ(RewriteSentence(lower), Sentence("GP" + body));
}

TEST(RecorderSentences, RecordsOnlyPrintableSentencesOfBoundedLength) {
  EXPECT_TRUE(IsRecordableSentence(Sentence("GPGGA,1")));
  EXPECT_TRUE(IsRecordableSentence("$" + std::string(MAX_RECORDED_LINE - 1, 'A')));
  for (const std::string& bad : {std::string(), std::string("GPGGA"), std::string("{\"class\":\"TPV\"}"),
                                 std::string("$GPGGA,\x01"), std::string("$GPGGA\0,1", 9), std::string("$GP\xC3\xA9"),
                                 "$" + std::string(MAX_RECORDED_LINE, 'A')}) {
    EXPECT_FALSE(IsRecordableSentence(bad)) << bad;
  }
}

TEST(RecorderSentences, ReadsTheUtcTimeOfRmc) {
  struct Case {
    std::string fields;  // time and date fields around the rest of an RMC
    int64_t utc;         // -1: no usable time
  } cases[] = {
      {"123519.00|110226", DaysFromCivil(2026, 2, 11) * 86400 + 12 * 3600 + 35 * 60 + 19},
      {"000000|010100", DaysFromCivil(2000, 1, 1) * 86400},
      {"235960|311299", DaysFromCivil(2099, 12, 31) * 86400 + 86399},  // leap second
      {"120000|290224", DaysFromCivil(2024, 2, 29) * 86400 + 43200},
      {"120000|290223", -1},
      {"|110226", -1},
      {"120000|", -1},
      {"246000|110226", -1},
      {"12ab00|110226", -1},
      {"120000|1102260", -1},
  };
  for (const Case& c : cases) {
    const size_t bar = c.fields.find('|');
    const std::string rmc = Sentence("GNRMC," + c.fields.substr(0, bar) + ",A,3540.1,N,13945.6,E,0.0,0.0," +
                                     c.fields.substr(bar + 1) + ",,,A");
    int64_t utc = -1;
    EXPECT_EQ(ReadRmcTime(rmc, &utc), c.utc < 0 ? -1 : 0) << rmc;
    if (c.utc >= 0) {
      EXPECT_EQ(utc, c.utc) << rmc;
    }
  }
}

// A sentence made from gpsd's fix is one that the viewer's reader takes:
// its time, and its position in each hemisphere to a ten-thousandth of a
// minute.
TEST(RecorderSentences, MadeRmcIsReadByTheViewer) {
  const fs::path directory = MakeScratchDirectory();
  struct Case {
    double lat, lon;
    const char* latField;
    const char* lonField;
  } cases[] = {
      {35.6686, 139.7601, "3540.1160,N", "13945.6060,E"},
      {-27.21, 153.052, "2712.6000,S", "15303.1200,E"},
      {35.0, -0.5, "3500.0000,N", "00030.0000,W"},
  };
  std::string log;
  const int64_t utc = DaysFromCivil(2026, 2, 11) * 86400 + 45319;
  for (const Case& c : cases) {
    GpsdFix fix;
    fix.utcMillis = utc * 1000 + 250;
    fix.hasPosition = true;
    fix.lat = c.lat;
    fix.lon = c.lon;
    fix.speed = 10.0;
    fix.track = 90.0;
    const std::string rmc = MakeRmcFromFix(fix);
    EXPECT_TRUE(HasValidChecksum(rmc)) << rmc;
    EXPECT_NE(rmc.find(std::string(c.latField) + "," + c.lonField), std::string::npos) << rmc;
    EXPECT_NE(rmc.find(",19.4,90.0,110226,"), std::string::npos) << rmc;
    int64_t read = 0;
    EXPECT_EQ(ReadRmcTime(rmc, &read), 0);
    EXPECT_EQ(read, utc);
    log += rmc + "\r\n";
  }
  GpsdFix noPosition;
  noPosition.utcMillis = utc * 1000;
  EXPECT_EQ(MakeRmcFromFix(noPosition), "");
  WriteFile(directory / "made.log", log);
  Track* track = LoadTrack((directory / "made.log").c_str());
  ASSERT_NE(track, nullptr);
  // The first two lie in the reader's area (it ignores the hemisphere
  // letters); the third, at longitude 0.5, does not.
  EXPECT_EQ(track->count, 2);
  EXPECT_EQ(track->points[0].time, 45319);
  std::free(track);
  fs::remove_all(directory);
}

// Every day from 1999 to 2101 goes to days since 1970 and back, one apart.
TEST(RecorderTime, CalendarRoundTripsEveryDay) {
  int64_t previous = DaysFromCivil(1998, 12, 31);
  for (int32_t year = 1999; year <= 2101; ++year) {
    for (int32_t month = 1; month <= 12; ++month) {
      for (int32_t day = 1; day <= 31; ++day) {
        if (!IsRealDate(year, month, day)) continue;
        const int64_t days = DaysFromCivil(year, month, day);
        ASSERT_EQ(days, previous + 1) << year << "-" << month << "-" << day;
        int32_t y = 0, m = 0, d = 0;
        CivilFromDays(days, &y, &m, &d);
        ASSERT_EQ(y * 10000 + m * 100 + d, year * 10000 + month * 100 + day);
        previous = days;
      }
    }
  }
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  EXPECT_FALSE(IsRealDate(2100, 2, 29));
  EXPECT_TRUE(IsRealDate(2000, 2, 29));
}

// A Japanese day begins at 15:00 UTC of the day before; the settings file's
// day and time values name Japan time.
TEST(RecorderTime, JapanDaysAndSettingsValues) {
  const int64_t lastUtcSecond = DaysFromCivil(2026, 3, 31) * 86400 + 15 * 3600 - 1;
  EXPECT_EQ(DayValueOf(JapanTimeOf(lastUtcSecond)), 20260331);
  EXPECT_EQ(TimeValueOf(JapanTimeOf(lastUtcSecond)), 235959);
  EXPECT_EQ(DayValueOf(JapanTimeOf(lastUtcSecond + 1)), 20260401);
  EXPECT_EQ(TimeValueOf(JapanTimeOf(lastUtcSecond + 1)), 0);
  EXPECT_EQ(UtcOfDayAndTime(20260401, 0), lastUtcSecond + 1);
  for (int64_t utc : {int64_t{946684800} - 9 * 3600, lastUtcSecond, int64_t{4102444799} - 9 * 3600}) {
    const CivilTime japan = JapanTimeOf(utc);
    EXPECT_EQ(UtcOfDayAndTime(DayValueOf(japan), TimeValueOf(japan)), utc);
  }
  for (auto [day, time] : {std::pair{-1, 0}, {20260401, -1}, {20260230, 0}, {20260401, 240000}, {20260401, 6000},
                           {19991231, 0}, {21000101, 0}}) {
    EXPECT_EQ(UtcOfDayAndTime(day, time), -1) << day << " " << time;
  }
}

// The receiver's time carried on by the monotonic clock it is given.
TEST(RecorderTime, ClockFollowsTheReceiver) {
  RecorderClock clock;
  EXPECT_EQ(clock.Now(5000), -1);
  clock.SetReceiverTime(1000000, 5000);
  EXPECT_EQ(clock.Now(5000), 1000000);
  EXPECT_EQ(clock.Now(7999), 1000002);
  EXPECT_EQ(clock.Now(4000), 1000000);  // a monotonic time before the fix adds nothing
  clock.Forget();
  EXPECT_EQ(clock.Now(9000), -1);
}

RecordingSettings Settings(uint8_t logRec, int32_t startDay, int32_t startTime, int32_t endDay, int32_t endTime) {
  RecordingSettings settings;
  settings.logRec = logRec;
  settings.recStartDay = startDay;
  settings.recStartTime = startTime;
  settings.recEndDay = endDay;
  settings.recEndTime = endTime;
  return settings;
}

TEST(RecordingWindow, DecidesFromTheSettingsAndTheTime) {
  const int64_t now = UtcOfDayAndTime(20260211, 223000);
  struct Case {
    const char* what;
    RecordingSettings settings;
    int64_t now;
    WindowState state;
    bool rewrite;
    RecordingSettings written;  // when rewrite
  } cases[] = {
      {"off", Settings(0, -1, -1, -1, -1), now, WINDOW_OFF, false, {}},
      {"unknown mode", Settings(4, -1, -1, -1, -1), now, WINDOW_OFF, false, {}},
      {"8 h from now", Settings(1, -1, -1, -1, -1), now, WINDOW_OPEN, true, Settings(1, 20260211, 223000, 20260212, 63000)},
      {"12 h", Settings(2, -1, -1, -1, -1), now, WINDOW_OPEN, true, Settings(2, 20260211, 223000, 20260212, 103000)},
      {"24 h", Settings(3, -1, -1, -1, -1), now, WINDOW_OPEN, true, Settings(3, 20260211, 223000, 20260212, 223000)},
      {"no time yet", Settings(1, -1, -1, -1, -1), -1, WINDOW_WAITING_FOR_TIME, false, {}},
      {"open", Settings(1, 20260211, 200000, 20260212, 40000), now, WINDOW_OPEN, false, {}},
      {"open, time unknown", Settings(1, 20260211, 200000, 20260212, 40000), -1, WINDOW_OPEN, false, {}},
      {"last second", Settings(1, 20260211, 143000, 20260211, 223001), now, WINDOW_OPEN, false, {}},
      {"ended on the second", Settings(1, 20260211, 143000, 20260211, 223000), now, WINDOW_ENDED, true,
       Settings(0, 20260211, 143000, 20260211, 223000)},
      {"end before start", Settings(1, 20260212, 0, 20260211, 0), now, WINDOW_OPEN, true,
       Settings(1, 20260211, 223000, 20260212, 63000)},
      {"not a day", Settings(1, 20260231, 0, 20260301, 0), now, WINDOW_OPEN, true,
       Settings(1, 20260211, 223000, 20260212, 63000)},
  };
  for (const Case& c : cases) {
    const WindowDecision decision = DecideWindow(c.settings, c.now);
    EXPECT_EQ(decision.state, c.state) << c.what;
    EXPECT_EQ(decision.rewrite, c.rewrite) << c.what;
    if (c.rewrite) {
      EXPECT_TRUE(SameSettings(decision.settings, c.written)) << c.what;
    }
  }
}

class DayFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = MakeScratchDirectory();
    fs::create_directories(directory / "SDMMC");
    SetDeviceRoot(directory.c_str());
  }
  void TearDown() override { fs::remove_all(directory); }
  fs::path Day(const char* name) const { return directory / "SDMMC/TEVOLOG/2026/02" / name; }
  fs::path directory;
};

// Whatever a power cut left of the last line is dropped before the first
// append; the whole lines before it stay.
TEST_F(DayFiles, DropsAPartialLastLineBeforeAppending) {
  const std::string whole = Sentence("GPRMC,010000.00,A,3540.1,N,13945.6,E,0.0,0.0,110226,,,A") + "\r\n";
  const std::string next = Sentence("GPGGA,010001.00");
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    WriteFile(Day("20260211.log"), whole + whole.substr(0, cut));
    DayFileAppender appender;
    appender.Append(20260211, next, 0);
    appender.Close();
    const std::string kept = cut == whole.size() ? whole + whole : whole;
    ASSERT_EQ(ReadFile(Day("20260211.log")), kept + next + "\r\n") << "cut " << cut;
  }
}

// Lines of each day go to that day's file, made with its folders.
TEST_F(DayFiles, WritesEachDayIntoItsOwnFile) {
  DayFileAppender appender;
  appender.Append(20260210, "$A", 0);
  appender.Append(20260211, "$B", 1);
  appender.Append(20260211, "$C", 2);
  appender.Close();
  EXPECT_EQ(ReadFile(Day("20260210.log")), "$A\r\n");
  EXPECT_EQ(ReadFile(Day("20260211.log")), "$B\r\n$C\r\n");
  EXPECT_EQ(appender.LinesWritten(), 3);
}

// Without the card nothing is written and nothing made in its place; the
// lines are counted as lost, and writing resumes once the card is back.
TEST_F(DayFiles, WaitsForAMissingCardWithoutMakingIt) {
  fs::remove(directory / "SDMMC");
  DayFileAppender appender;
  appender.Append(20260211, "$A", 0);
  appender.Append(20260211, "$B", RETRY_INTERVAL_MS - 1);
  appender.Flush(RETRY_INTERVAL_MS - 1);
  EXPECT_FALSE(fs::exists(directory / "SDMMC"));
  EXPECT_EQ(appender.LinesLost(), 2);
  fs::create_directories(directory / "SDMMC");
  appender.Append(20260211, "$C", RETRY_INTERVAL_MS);
  appender.Close();
  EXPECT_EQ(ReadFile(Day("20260211.log")), "$C\r\n");
}

// A day file deleted while the recorder writes it (the logs deleted on the
// settings screen) is made again for the next lines.
TEST_F(DayFiles, OpensAVanishedDayFileAgain) {
  DayFileAppender appender;
  appender.Append(20260211, "$A", 0);
  appender.Flush(0);
  fs::remove_all(directory / "SDMMC/TEVOLOG");
  appender.Tick(1);
  appender.Append(20260211, "$B", 2);
  appender.Close();
  EXPECT_EQ(ReadFile(Day("20260211.log")), "$B\r\n");
  EXPECT_EQ(appender.LinesLost(), 0);
}

}  // namespace

int CountLines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// The recorder driven directly, on a virtual monotonic clock: messages as
// gpsd passes them on, the settings file as the settings screen writes it.
class RecorderRun : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = MakeScratchDirectory();
    fs::create_directories(directory / "SDMMC");
    fs::create_directories(directory / "NAND/QXAPP/Data");
    SetDeviceRoot(directory.c_str());
  }
  void TearDown() override { fs::remove_all(directory); }
  // As the settings screen writes a new recording time.
  static void ChooseRecordingTime(uint8_t logRec) {
    RecordingSettings settings;
    settings.logRec = logRec;
    ASSERT_EQ(WriteRecordingSettings(settings), 0);
  }
  // An RMC at 2026-02-11 `hhmmss` UTC (Japan: the same day, 9 hours later).
  static std::string Rmc(const char* hhmmss) {
    return Sentence(std::string("GNRMC,") + hhmmss + ".00,A,3540.1234,N,13945.6789,E,0.0,0.0,110226,,,A");
  }
  void Feed(const std::string& sentence) {
    GpsdMessage message;
    message.kind = GPSD_SENTENCE;
    message.text = sentence;
    recorder.HandleMessage(message, nowMs);
  }
  void Fix(int64_t utcSeconds) {
    GpsdMessage message;
    message.kind = GPSD_FIX;
    message.fix.mode = 3;
    message.fix.utcMillis = utcSeconds * 1000;
    message.fix.hasPosition = true;
    message.fix.lat = 35.5;
    message.fix.lon = 139.5;
    recorder.HandleMessage(message, nowMs);
  }
  std::string Day() const { return ReadFile(directory / "SDMMC/TEVOLOG/2026/02/20260211.log"); }
  fs::path directory;
  Recorder recorder;
  int64_t nowMs = 0;
};

// A recording time chosen while the recorder runs starts a window at the
// receiver's time; nothing before it is recorded.
TEST_F(RecorderRun, ChosenRecordingTimeStartsAWindowWithoutRestart) {
  ChooseRecordingTime(0);
  recorder.Tick(nowMs);
  Feed(Rmc("010000"));
  Feed(Sentence("GPGGA,010000.00"));
  ChooseRecordingTime(1);
  nowMs += SETTINGS_POLL_MS + 2000;
  recorder.Tick(nowMs);
  Feed(Rmc("010003"));
  recorder.Close();
  EXPECT_EQ(Day(), RewriteSentence(Rmc("010003")) + "\r\n");
  RecordingSettings settings;
  ASSERT_EQ(ReadRecordingSettings(&settings), 0);
  EXPECT_TRUE(SameSettings(settings, Settings(1, 20260211, 100003, 20260211, 180003)));
}

// The settings screen changes the recording time between the recorder's
// reading and its writing: the recorder reads again before it writes and
// takes the new time instead of undoing it.
TEST_F(RecorderRun, NeverUndoesAChangeMadeJustBeforeItWrites) {
  ChooseRecordingTime(1);
  recorder.Tick(nowMs);
  ChooseRecordingTime(2);
  Feed(Rmc("010000"));
  RecordingSettings settings;
  ASSERT_EQ(ReadRecordingSettings(&settings), 0);
  EXPECT_TRUE(SameSettings(settings, Settings(2, 20260211, 100000, 20260211, 220000)));
}

// A receiver that gives gpsd no RMC gets one made from each fix, once it
// is clear that none comes; the sentences it does give are kept in order.
TEST_F(RecorderRun, MakesRmcForAReceiverWithoutOne) {
  ChooseRecordingTime(3);
  const int64_t start = UtcOfDayAndTime(20260211, 100000);
  for (int second = 0; second < 5; ++second) {
    Feed(Sentence("GPGGA," + std::to_string(10000 + second) + ".00"));
    Fix(start + second);
    Fix(start + second);  // gpsd may report a fix more than once a second
  }
  recorder.Close();
  const std::string day = Day();
  EXPECT_EQ(recorder.Counts().made, 3);
  int64_t utc = 0;
  const size_t made = day.find("$GPRMC");
  ASSERT_NE(made, std::string::npos) << day;
  ASSERT_EQ(ReadRmcTime(day.substr(made, day.find('\r', made) - made), &utc), 0);
  EXPECT_EQ(utc, start + 2);
  EXPECT_EQ(CountLines(day), 5 + 3);
}
