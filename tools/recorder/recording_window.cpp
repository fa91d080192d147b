#include "tools/recorder/recording_window.h"

#include "tools/recorder/recorder_time.h"

namespace {

constexpr int64_t SECONDS_PER_HOUR = 3600;
// Hours of LOG_REC 1, 2 and 3, as the settings screen offers them.
constexpr int64_t RECORDING_HOURS[] = {8, 12, 24};
constexpr int RECORDING_MODES = sizeof RECORDING_HOURS / sizeof RECORDING_HOURS[0];

}  // namespace

int64_t RecordingDurationSeconds(uint8_t logRec) {
  return logRec >= 1 && logRec <= RECORDING_MODES ? RECORDING_HOURS[logRec - 1] * SECONDS_PER_HOUR : 0;
}

WindowDecision DecideWindow(const RecordingSettings& settings, int64_t nowUtc) {
  WindowDecision decision;
  decision.settings = settings;
  const int64_t duration = RecordingDurationSeconds(settings.logRec);
  if (duration == 0) return decision;
  const int64_t start = UtcOfDayAndTime(settings.recStartDay, settings.recStartTime);
  const int64_t end = UtcOfDayAndTime(settings.recEndDay, settings.recEndTime);
  if (start >= 0 && end > start) {
    if (nowUtc >= 0 && nowUtc >= end) {
      decision.state = WINDOW_ENDED;
      decision.rewrite = true;
      decision.settings.logRec = 0;
      return decision;
    }
    decision.state = WINDOW_OPEN;
    decision.startUtc = start;
    decision.endUtc = end;
    return decision;
  }
  if (nowUtc < 0) {
    decision.state = WINDOW_WAITING_FOR_TIME;
    return decision;
  }
  const CivilTime from = JapanTimeOf(nowUtc), to = JapanTimeOf(nowUtc + duration);
  decision.state = WINDOW_OPEN;
  decision.startUtc = nowUtc;
  decision.endUtc = nowUtc + duration;
  decision.rewrite = true;
  decision.settings.recStartDay = DayValueOf(from);
  decision.settings.recStartTime = TimeValueOf(from);
  decision.settings.recEndDay = DayValueOf(to);
  decision.settings.recEndTime = TimeValueOf(to);
  return decision;
}

bool SameSettings(const RecordingSettings& a, const RecordingSettings& b) {
  return a.logRec == b.logRec && a.recStartDay == b.recStartDay && a.recStartTime == b.recStartTime &&
         a.recEndDay == b.recEndDay && a.recEndTime == b.recEndTime;
}
