// The selected day: the path of the chosen day's log file and its track,
// loaded once and kept until another day is selected.
//
// Days are selected on the user-interface thread; the map renderer reads the
// track on its own worker thread. A frame pins the selected track for as
// long as it reads it, and a track that a new selection replaces is freed
// only once no frame holds a pin.
#pragma once

#include "logs/nmea_reader.h"

// Size of the selected day's path, with its terminating zero.
constexpr int SELECTED_LOG_PATH_SIZE = 128;

// The device path of the selected day's log file ("" until a day is
// selected). For the thread that selects days; the text changes with the
// next SelectLogDay.
const char* SelectedLogPath();

// Makes `devicePath` (cut to SELECTED_LOG_PATH_SIZE - 1 bytes) the selected
// day and drops the cached track: it is freed at once, or, while a frame
// holds a pin, when the last pin is released. Called by SelectLogDay.
void ReplaceSelectedDay(const char* devicePath);

// The track of the selected day, read from its log file (under the device
// root) on the first call after a selection; null when no day is selected or
// the file cannot be read (the next call then tries again). The caller does
// not own the track and must not release it. A caller on another thread than
// the one that selects days must hold a pin while it reads the track.
const Track* GetSelectedTrack();

// Pins the selected track for one frame: until the matching
// UnpinSelectedTrack, no track that GetSelectedTrack returns is freed, even
// when another day is selected meanwhile. Pins nest and may come from several
// threads.
void PinSelectedTrack();
// Ends one pin; the last one frees the tracks that selections replaced meanwhile.
void UnpinSelectedTrack();

// Scoped pin for one frame of the renderer.
class SelectedTrackPin {
 public:
  SelectedTrackPin() { PinSelectedTrack(); }
  ~SelectedTrackPin() { UnpinSelectedTrack(); }
  SelectedTrackPin(const SelectedTrackPin&) = delete;
  SelectedTrackPin& operator=(const SelectedTrackPin&) = delete;
};
