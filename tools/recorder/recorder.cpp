#include "tools/recorder/recorder.h"

#include <cstdio>

#include "logs/log_directory.h"
#include "tools/recorder/nmea_sentence.h"
#include "tools/recorder/recorder_report.h"

namespace {

constexpr int64_t MILLIS_PER_SECOND = 1000;

const char* DescribeTime(int64_t utc, char (&text)[32]) {
  const CivilTime t = JapanTimeOf(utc);
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

}  // namespace

void Recorder::ReadSettings(int64_t monotonicMs) {
  RecordingSettings read;
  const bool usable = ReadRecordingSettings(&read) == 0;
  // A file that is missing or cannot be read records nothing; the settings
  // screen writes the file, the recorder never makes it.
  if (!usable) read = RecordingSettings();
  if (usable != settingsUsable || !settingsRead) {
    if (!usable) Report("no usable recording settings file (%s): recording nothing", RECORDING_SETTINGS_PATH);
    settingsUsable = usable;
  }
  fileSettings = read;
  // A window that could not be written holds for as long as the file
  // stays as it was.
  settings = keptInMemory && SameSettings(read, keptOver) ? keptWindow : read;
  if (!SameSettings(settings, keptWindow)) keptInMemory = false;
  settingsRead = true;
  settingsReadAtMs = monotonicMs;
}

bool Recorder::WriteSettings(const RecordingSettings& next) {
  // Read again just before writing: a change made on the settings screen
  // since the last reading wins, and is decided on instead.
  RecordingSettings current;
  if (ReadRecordingSettings(&current) != 0 || !SameSettings(current, fileSettings)) {
    settingsReadAtMs = 0;
    ReadSettings(settingsReadAtMs);
    return false;
  }
  if (WriteRecordingSettings(next) == 0) {
    fileSettings = next;
    keptInMemory = false;
  } else {
    Report("cannot write the recording settings file (%s): the window is kept until the file changes",
           RECORDING_SETTINGS_PATH);
    keptInMemory = true;
    keptOver = fileSettings;
    keptWindow = next;
  }
  settings = next;
  return true;
}

WindowDecision Recorder::Decide(int64_t nowUtc) {
  WindowDecision decision = DecideWindow(settings, nowUtc);
  // The file changed under the recorder at most a few times in a row.
  for (int attempt = 0; decision.rewrite && attempt < SETTINGS_WRITE_ATTEMPTS; ++attempt) {
    if (WriteSettings(decision.settings)) {
      decision.rewrite = false;
      break;
    }
    decision = DecideWindow(settings, nowUtc);
  }
  if (decision.rewrite) decision.state = WINDOW_WAITING_FOR_TIME;
  if (!stateReported || decision.state != reportedState) ReportState(decision);
  return decision;
}

void Recorder::ReportState(const WindowDecision& decision) {
  char from[32], to[32];
  switch (decision.state) {
    case WINDOW_OFF: Report("recording is off (LOG_REC %u)", static_cast<unsigned>(settings.logRec)); break;
    case WINDOW_WAITING_FOR_TIME: Report("waiting for the receiver's time to start recording"); break;
    case WINDOW_OPEN:
      Report("recording from %s to %s, Japan time", DescribeTime(decision.startUtc, from),
             DescribeTime(decision.endUtc, to));
      break;
    case WINDOW_ENDED: Report("the recording window has ended: recording is off"); break;
  }
  reportedState = decision.state;
  stateReported = true;
}

void Recorder::RecordAt(const std::string& sentence, int64_t epochUtc, int64_t monotonicMs) {
  const WindowDecision decision = Decide(epochUtc);
  if (decision.state != WINDOW_OPEN || epochUtc >= decision.endUtc) return;
  const CivilTime day = JapanTimeOf(epochUtc);
  if (day.year < FIRST_LOG_YEAR || day.year > LAST_LOG_YEAR) {
    if (!outsideYearsReported) {
      Report("the receiver's date %04d-%02d-%02d lies outside the years %d to %d that the log tree holds: "
             "nothing is recorded for it",
             day.year, day.month, day.day, FIRST_LOG_YEAR, LAST_LOG_YEAR);
      outsideYearsReported = true;
    }
    return;
  }
  outsideYearsReported = false;
  appender.Append(DayValueOf(day), RewriteSentence(sentence), monotonicMs);
  ++counts.recorded;
}

void Recorder::WriteHeldLines(int64_t monotonicMs) {
  std::vector<std::string> held;
  held.swap(untimed);
  for (const std::string& sentence : held) RecordAt(sentence, clock.ReceiverTime(), monotonicMs);
}

void Recorder::Record(const std::string& sentence, int64_t monotonicMs) {
  if (!clock.Known()) {
    if (settings.logRec != 0 && untimed.size() < UNTIMED_LINE_LIMIT) untimed.push_back(sentence);
    return;
  }
  RecordAt(sentence, clock.ReceiverTime(), monotonicMs);
}

void Recorder::HandleFix(const GpsdFix& fix, int64_t monotonicMs) {
  if (fix.utcMillis < 0) return;
  const int64_t second = fix.utcMillis / MILLIS_PER_SECOND;
  if (second != lastFixSecond) {
    lastFixSecond = second;
    ++fixTimesWithoutRmc;
  }
  if (fixTimesWithoutRmc < FIX_TIMES_WITHOUT_RMC || !fix.hasPosition || second == lastMadeSecond) return;
  const std::string rmc = MakeRmcFromFix(fix);
  if (rmc.empty()) return;
  lastMadeSecond = second;
  clock.SetReceiverTime(second, monotonicMs);
  WriteHeldLines(monotonicMs);
  ++counts.made;
  Record(rmc, monotonicMs);
}

void Recorder::HandleMessage(const GpsdMessage& message, int64_t monotonicMs) {
  if (!settingsRead) ReadSettings(monotonicMs);
  if (message.kind == GPSD_FIX) {
    HandleFix(message.fix, monotonicMs);
    return;
  }
  if (message.kind != GPSD_SENTENCE || !IsRecordableSentence(message.text)) return;
  ++counts.received;
  int64_t epoch = 0;
  if (IsRmcSentence(message.text)) {
    fixTimesWithoutRmc = 0;
    if (HasValidChecksum(message.text) && ReadRmcTime(message.text, &epoch) == 0) {
      clock.SetReceiverTime(epoch, monotonicMs);
      WriteHeldLines(monotonicMs);
    }
  }
  Record(message.text, monotonicMs);
}

void Recorder::Flush(int64_t monotonicMs) { appender.Flush(monotonicMs); }

void Recorder::Tick(int64_t monotonicMs) {
  if (!settingsRead || monotonicMs - settingsReadAtMs >= SETTINGS_POLL_MS) {
    ReadSettings(monotonicMs);
    Decide(clock.Now(monotonicMs));
  }
  appender.Tick(monotonicMs);
}

void Recorder::ConnectionLost(int64_t monotonicMs) {
  appender.Flush(monotonicMs);
  untimed.clear();
  clock.Forget();
  fixTimesWithoutRmc = 0;
  lastFixSecond = -1;
}

void Recorder::Close() { appender.Close(); }
