#include "logs/recording_settings.h"

#include <cstdio>
#include <cstring>

#include "platform/files.h"

namespace {

// One line per value, in file order. The spacing differs between the keys
// and the recorder reads the file too, so the lines stay exactly these.
constexpr char SETTINGS_FORMAT[] =
    "LOG_REC = %u\n"
    "REC_START_DAY = %d\n"
    "REC_START_TIME= %d\n"
    "REC_END_DAY = %d\n"
    "REC_END_TIME= %d\n";
// Longest file: five keys, blanks and line feeds (75 bytes), a mode of 3
// digits and four values of at most 11 characters.
constexpr int SETTINGS_TEXT_SIZE = 160;
// A value starts this many characters after its "=", which is followed by
// exactly one blank in every line the system writes.
constexpr int VALUE_OFFSET = 2;

// Values in the file, and those after logRec in file order.
constexpr int SETTINGS_VALUE_COUNT = 5;
constexpr int32_t RecordingSettings::*REC_VALUES[SETTINGS_VALUE_COUNT - 1] = {
    &RecordingSettings::recStartDay, &RecordingSettings::recStartTime, &RecordingSettings::recEndDay,
    &RecordingSettings::recEndTime};

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The decimal integer at `text` as atoi reads it on the device (blanks
// skipped, optional sign, digits; 32-bit values held at their limits), 0
// when there are no digits.
int32_t ReadInteger(const char* text) {
  while (IsCSpace(*text)) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int32_t>(value);
}

}  // namespace

int ReadRecordingSettings(RecordingSettings* settings) {
  *settings = RecordingSettings();
  FILE* file = OpenDeviceFile(RECORDING_SETTINGS_PATH, "rb");
  if (file == nullptr) return -1;
  char text[RECORDING_SETTINGS_READ_SIZE + 1] = {};
  std::fread(text, 1, RECORDING_SETTINGS_READ_SIZE, file);
  std::fclose(file);
  // The bytes are one zero-terminated text: a zero byte ends it early.
  const char* end = text + std::strlen(text);
  const char* from = text;
  for (int i = 0; i < SETTINGS_VALUE_COUNT; ++i) {
    const char* equals = static_cast<const char*>(std::memchr(from, '=', static_cast<size_t>(end - from)));
    if (equals == nullptr) return -1;
    // An "=" among the last two characters leaves nothing to read.
    from = end - equals > VALUE_OFFSET ? equals + VALUE_OFFSET : end;
    int32_t value = ReadInteger(from);
    if (i == 0) {
      settings->logRec = static_cast<uint8_t>(value & 0xFF);
    } else {
      settings->*REC_VALUES[i - 1] = value;
    }
  }
  return 0;
}

bool RecordingSettingsFileMissing() { return IsDeviceEntryMissing(RECORDING_SETTINGS_PATH) == 1; }

int WriteRecordingSettings(const RecordingSettings& settings) {
  char text[SETTINGS_TEXT_SIZE];
  int length = std::snprintf(text, sizeof text, SETTINGS_FORMAT, static_cast<unsigned>(settings.logRec),
                             settings.recStartDay, settings.recStartTime, settings.recEndDay, settings.recEndTime);
  if (length < 0 || length >= static_cast<int>(sizeof text)) return -1;
  return ReplaceDeviceFile(RECORDING_SETTINGS_PATH, text, static_cast<size_t>(length));
}

int WriteDefaultRecordingSettings() {
  WriteRecordingSettings(RecordingSettings());
  return 0;
}
