// The recording settings file "NAND\QXAPP\Data\TEVOLOG.ini", shared with
// the device's recorder: five lines of "KEY = value", read by position.
#pragma once

#include <cstdint>

// The device path of the settings file.
constexpr char RECORDING_SETTINGS_PATH[] = "NAND\\QXAPP\\Data\\TEVOLOG.ini";
// Bytes of the file that are read.
constexpr int RECORDING_SETTINGS_READ_SIZE = 128;

// The five values of the file, in file order.
struct RecordingSettings {
  uint8_t logRec = 0;          // recording mode 0..3 (LOG_REC)
  int32_t recStartDay = -1;    // REC_START_DAY
  int32_t recStartTime = -1;   // REC_START_TIME
  int32_t recEndDay = -1;      // REC_END_DAY
  int32_t recEndTime = -1;     // REC_END_TIME
};

// Reads the file into `settings`, which first gets the defaults. The values
// are taken by position from the first 128 bytes: the integer two
// characters after the first "=" is logRec (its low 8 bits), after the
// second recStartDay, and so on. Returns 0 when all five were found, -1
// when the file cannot be opened or has fewer than five "=" (the values
// found before the missing one stay in `settings`).
int ReadRecordingSettings(RecordingSettings* settings);

// Whether there is no settings file at all (not one that merely cannot be
// read): only then may the defaults be written without losing anything.
bool RecordingSettingsFileMissing();

// Writes the five lines of `settings`. The old file is replaced only by a
// complete new one. Returns 0, or -1 when the file cannot be written (the
// old file then stays as it was).
int WriteRecordingSettings(const RecordingSettings& settings);

// Writes the default settings (mode 0, -1 elsewhere). Returns 0 whatever the
// write gives.
int WriteDefaultRecordingSettings();
