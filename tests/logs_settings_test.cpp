// The recording settings file: its exact bytes, the positional reading of
// its first 128 bytes, and writes that never leave a damaged file.
#include <csignal>
#include <cstdlib>
#include <string>

#include "logs/recording_settings.h"
#include "logs_test_support.h"

namespace {

const std::string DEFAULT_FILE =
    "LOG_REC = 0\n"
    "REC_START_DAY = -1\n"
    "REC_START_TIME= -1\n"
    "REC_END_DAY = -1\n"
    "REC_END_TIME= -1\n";

class RecordingSettingsTest : public DeviceRootTest {
 protected:
  fs::path Directory() const { return root / "NAND" / "QXAPP" / "Data"; }
  fs::path File() const { return Directory() / "TEVOLOG.ini"; }
  void Write(const std::string& bytes) { WriteFile(File(), bytes); }
};

void ExpectSettings(const RecordingSettings& s, int logRec, int startDay, int startTime, int endDay, int endTime) {
  EXPECT_EQ(s.logRec, logRec);
  EXPECT_EQ(s.recStartDay, startDay);
  EXPECT_EQ(s.recStartTime, startTime);
  EXPECT_EQ(s.recEndDay, endDay);
  EXPECT_EQ(s.recEndTime, endTime);
}

TEST_F(RecordingSettingsTest, WritesTheFiveLinesByteForByte) {
  RecordingSettings settings;
  EXPECT_EQ(WriteRecordingSettings(settings), -1);  // no directory to write in
  EXPECT_EQ(WriteDefaultRecordingSettings(), 0);    // whose result is always 0
  EXPECT_FALSE(fs::exists(File()));

  fs::create_directories(Directory());
  EXPECT_EQ(WriteDefaultRecordingSettings(), 0);
  EXPECT_EQ(ReadFile(File()), DEFAULT_FILE);

  settings.logRec = 3;
  EXPECT_EQ(WriteRecordingSettings(settings), 0);
  EXPECT_EQ(ReadFile(File()), "LOG_REC = 3\nREC_START_DAY = -1\nREC_START_TIME= -1\nREC_END_DAY = -1\nREC_END_TIME= -1\n");
  RecordingSettings read;
  EXPECT_EQ(ReadRecordingSettings(&read), 0);
  ExpectSettings(read, 3, -1, -1, -1, -1);

  settings = {255, 20090512, 2147483647, -2147483647 - 1, 0};
  EXPECT_EQ(WriteRecordingSettings(settings), 0);
  EXPECT_EQ(ReadFile(File()),
            "LOG_REC = 255\nREC_START_DAY = 20090512\nREC_START_TIME= 2147483647\nREC_END_DAY = -2147483648\n"
            "REC_END_TIME= 0\n");
  EXPECT_EQ(ReadRecordingSettings(&read), 0);
  ExpectSettings(read, 255, 20090512, 2147483647, -2147483647 - 1, 0);
  EXPECT_FALSE(fs::exists(File().string() + ".tmp"));
}

struct ReadCase {
  const char* what;
  std::string file;
  int result;
  int values[5];
};

TEST_F(RecordingSettingsTest, ValuesAreTakenByPositionFromTheFirst128Bytes) {
  const std::string defaultTail = DEFAULT_FILE.substr(DEFAULT_FILE.find('\n') + 1);
  // Four "=" in the first 128 bytes, the fifth just after them.
  std::string fifthTooLate = "A = 1\nB = 2\nC = 3\nD = 4\n";
  fifthTooLate += std::string(128 - fifthTooLate.size(), '#') + "E = 5\n";
  // Five "=" in the first 128 bytes, the last being the 128th byte.
  std::string fifthLast = "A = 1\nB = 2\nC = 3\nD = 4\n";
  fifthLast += std::string(127 - fifthLast.size(), '#') + "= 9";
  const ReadCase cases[] = {
      {"mode 2", "LOG_REC = 2\n" + defaultTail, 0, {2, -1, -1, -1, -1}},
      {"no blanks: read from after the 2", "LOG_REC=2\n" + defaultTail, 0, {0, -1, -1, -1, -1}},
      {"only the first line", "LOG_REC = 3\n", -1, {3, -1, -1, -1, -1}},
      {"keys are never compared", "A = 1\nB = 2\nC = 3\nD = 4\nE = 5\n", 0, {1, 2, 3, 4, 5}},
      {"carriage returns", "LOG_REC = 1\r\nREC_START_DAY = 7\r\nREC_START_TIME= 8\r\nREC_END_DAY = 9\r\nX= 10\r\n", 0,
       {1, 7, 8, 9, 10}},
      {"low 8 bits of the mode", "LOG_REC = 258\n" + defaultTail, 0, {2, -1, -1, -1, -1}},
      {"values beyond 32 bits are held at the limits", "A = 99999999999\nB = -99999999999\nC = +5\nD =\nE = x", 0,
       {255, -2147483647 - 1, 5, 0, 0}},
      {"fifth \"=\" after 128 bytes", fifthTooLate, -1, {1, 2, 3, 4, -1}},
      {"fifth \"=\" as the 128th byte", fifthLast, 0, {1, 2, 3, 4, 0}},
      {"a zero byte ends the text", "A = 1\nB = 2\n" + std::string(1, '\0') + "C = 3\nD = 4\nE = 5\n", -1,
       {1, 2, -1, -1, -1}},
      {"empty file", "", -1, {0, -1, -1, -1, -1}},
  };
  for (const ReadCase& c : cases) {
    Write(c.file);
    RecordingSettings read;
    read.logRec = 99;
    EXPECT_EQ(ReadRecordingSettings(&read), c.result) << c.what;
    ExpectSettings(read, c.values[0], c.values[1], c.values[2], c.values[3], c.values[4]);
  }
}

TEST_F(RecordingSettingsTest, MissingFileGivesTheDefaults) {
  RecordingSettings read{3, 1, 2, 3, 4};
  EXPECT_EQ(ReadRecordingSettings(&read), -1);
  ExpectSettings(read, 0, -1, -1, -1, -1);
  // The device's FAT names match whatever their case.
  WriteFile(root / "nand" / "qxapp" / "data" / "tevolog.INI", "LOG_REC = 2\n" + DEFAULT_FILE.substr(12));
  EXPECT_EQ(ReadRecordingSettings(&read), 0);
  EXPECT_EQ(read.logRec, 2);
}

void AbortBeforeRename(const char*) { std::abort(); }

TEST_F(RecordingSettingsTest, AnInterruptedWriteNeverLosesTheOldFile) {
  const std::string old = "LOG_REC = 2\n" + DEFAULT_FILE.substr(12);
  Write(old);
  const std::string temporary = File().string() + ".tmp";
  RecordingSettings settings;
  settings.logRec = 1;
  // The program dies after the new bytes are written and flushed, before
  // they take the old file's place.
  EXPECT_DEATH(
      {
        SetReplaceDeviceFileHook(AbortBeforeRename);
        WriteRecordingSettings(settings);
      },
      "");
  EXPECT_EQ(ReadFile(File()), old);
  EXPECT_TRUE(fs::exists(temporary));
  RecordingSettings read;
  EXPECT_EQ(ReadRecordingSettings(&read), 0);
  EXPECT_EQ(read.logRec, 2);

  // A half-written temporary file left behind is removed by the next write,
  // whatever the case of its name.
  for (const std::string& stale : {temporary, File().string() + ".TMP"}) {
    Write(old);
    WriteFile(stale, "LOG_REC = 3\nREC_ST");
    EXPECT_EQ(ReadRecordingSettings(&read), 0);
    EXPECT_EQ(read.logRec, 2);
    EXPECT_EQ(WriteRecordingSettings(settings), 0);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(ReadFile(File()), "LOG_REC = 1\n" + DEFAULT_FILE.substr(12));
  }
}

TEST_F(RecordingSettingsTest, AFailedWriteReportsFailureAndKeepsTheOldFile) {
  const std::string old = "LOG_REC = 2\n" + DEFAULT_FILE.substr(12);
  Write(old);
  // The temporary name is taken by a directory, which cannot be replaced.
  fs::create_directories(File().string() + ".tmp/x");
  RecordingSettings settings;
  EXPECT_EQ(WriteRecordingSettings(settings), -1);
  EXPECT_EQ(ReadFile(File()), old);
  fs::remove_all(File().string() + ".tmp");

  // A link planted under the temporary name is replaced, never written through.
  fs::path outside = root / "outside.txt";
  WriteFile(outside, "keep");
  fs::create_symlink(outside, File().string() + ".tmp");
  EXPECT_EQ(WriteRecordingSettings(settings), 0);
  EXPECT_EQ(ReadFile(outside), "keep");
  EXPECT_EQ(ReadFile(File()), DEFAULT_FILE);
}

}  // namespace
