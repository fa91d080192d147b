// The recorder: sentences from gpsd into the day files, while the recording
// window of the settings file is open.
//
// Each sentence belongs to the receiver's time of its epoch: the time of the
// latest RMC sentence (or, for a receiver that gives no RMC, of gpsd's fix).
// That time names the Japanese day of its file and is what the recording
// window is measured against, so that a drive across midnight in Japan goes
// into two files and the window follows the receiver, not a system clock
// that may be wrong. Sentences that come before the first time are held
// (at most UNTIMED_LINE_LIMIT of them) and written once it is known.
//
// The settings file is read again every SETTINGS_POLL_MS, so a change made on
// the settings screen takes effect without a restart. Before the recorder
// writes it (a new window's start and end, LOG_REC 0 after the end) it reads
// it once more and writes only when nothing changed since it decided, then
// replaces it whole, in its fixed format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "logs/recording_settings.h"
#include "tools/recorder/day_file_appender.h"
#include "tools/recorder/gpsd_client.h"
#include "tools/recorder/recorder_time.h"
#include "tools/recorder/recording_window.h"

constexpr int64_t SETTINGS_POLL_MS = 1000;
constexpr size_t UNTIMED_LINE_LIMIT = 256;
// Distinct fix times without an RMC sentence after which the receiver is
// taken to give none, and RMC sentences are made from gpsd's fixes. gpsd
// reports a fix after each sentence until it has learnt the receiver's
// cycle, so two fix times may pass between two RMC sentences of a receiver
// that does send them.
constexpr int FIX_TIMES_WITHOUT_RMC = 3;
// Times the recorder decides again when the settings file changes between
// its decision and its writing.
constexpr int SETTINGS_WRITE_ATTEMPTS = 3;

struct RecorderCounts {
  int64_t received = 0;  // sentences from gpsd
  int64_t made = 0;      // RMC sentences made from fixes
  int64_t recorded = 0;  // sentences handed to the day files
};

class Recorder {
 public:
  Recorder() = default;

  // Handles one message from gpsd, received at monotonic time `monotonicMs`.
  void HandleMessage(const GpsdMessage& message, int64_t monotonicMs);
  // Writes what has been queued; called when gpsd has nothing more waiting.
  void Flush(int64_t monotonicMs);
  // Called often (at least once a second): reads the settings when due,
  // ends the window on time, flushes the day file to the card when due.
  void Tick(int64_t monotonicMs);
  // The connection to gpsd was lost: another receiver may come with the
  // next one.
  void ConnectionLost(int64_t monotonicMs);
  // Writes and closes everything.
  void Close();

  const RecorderCounts& Counts() const { return counts; }
  const DayFileAppender& Appender() const { return appender; }

 private:
  void ReadSettings(int64_t monotonicMs);
  bool WriteSettings(const RecordingSettings& next);
  WindowDecision Decide(int64_t nowUtc);
  void ReportState(const WindowDecision& decision);
  void Record(const std::string& sentence, int64_t monotonicMs);
  void RecordAt(const std::string& sentence, int64_t epochUtc, int64_t monotonicMs);
  void HandleFix(const GpsdFix& fix, int64_t monotonicMs);
  void WriteHeldLines(int64_t monotonicMs);

  DayFileAppender appender;
  RecorderClock clock;
  RecordingSettings settings;      // in force
  RecordingSettings fileSettings;  // as last read from the file
  // A window the file could not take, kept while the file holds keptOver.
  bool keptInMemory = false;
  RecordingSettings keptOver;
  RecordingSettings keptWindow;
  bool settingsRead = false;
  bool settingsUsable = true;
  int64_t settingsReadAtMs = 0;
  WindowState reportedState = WINDOW_OFF;
  bool stateReported = false;
  bool outsideYearsReported = false;
  std::vector<std::string> untimed;
  int fixTimesWithoutRmc = 0;
  int64_t lastFixSecond = -1;
  int64_t lastMadeSecond = -1;
  RecorderCounts counts;
};
