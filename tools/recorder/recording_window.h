// The recording window: how long the recorder records after the user has
// chosen a recording time on the settings screen.
//
// LOG_REC 1, 2 and 3 record for 8, 12 and 24 hours; 0 (and any value the
// screen does not offer) records nothing. A window is kept in the settings
// file as its start, REC_START_DAY (yyyymmdd) and REC_START_TIME (hhmmss),
// and its end, REC_END_DAY and REC_END_TIME, all in Japan time; sentences
// are recorded from the start until, and not including, the end.
//
// The settings screen writes -1 for the four values whenever the user
// changes the recording time: that starts a new window. The recorder then
// writes the window's start (the receiver's time at that moment) and end
// (start + the recording time). When the end has passed, the recorder writes
// LOG_REC 0 and keeps the four values, so that the screen shows that nothing
// is recorded and one tap starts a new window. Values that do not describe a
// window (-1, a day that does not exist, an end not after its start) also
// start a new one.
#pragma once

#include <cstdint>

#include "logs/recording_settings.h"

// Seconds recorded for a LOG_REC value; 0 for one that records nothing.
int64_t RecordingDurationSeconds(uint8_t logRec);

enum WindowState {
  WINDOW_OFF = 0,               // LOG_REC records nothing
  WINDOW_WAITING_FOR_TIME = 1,  // a new window starts once the time is known
  WINDOW_OPEN = 2,              // recording from startUtc until endUtc
  WINDOW_ENDED = 3,             // the window's end has passed
};

struct WindowDecision {
  WindowState state = WINDOW_OFF;
  int64_t startUtc = -1;  // the window, seconds since 1970 UTC, for WINDOW_OPEN
  int64_t endUtc = -1;
  // The settings file is to be written with `settings`: a new window's
  // start and end, or LOG_REC 0 after a window's end.
  bool rewrite = false;
  RecordingSettings settings;
};

// What the settings mean at `nowUtc` (seconds since 1970 UTC; -1 when the
// time is not known yet).
WindowDecision DecideWindow(const RecordingSettings& settings, int64_t nowUtc);

// Whether two records hold the same five values.
bool SameSettings(const RecordingSettings& a, const RecordingSettings& b);
