// Times, distance and speeds of a day's fixes.
#pragma once

#include <vector>

#include "tools/logtool/log_fixes.h"

// Movement within this distance of where the car last stood is taken as
// receiver jitter: a parked car gains no distance.
constexpr double JITTER_RADIUS_METRES = 15.0;
// A pause between two positions longer than this is a stop (or a gap in the
// recording) and does not count as driving.
constexpr double STOP_GAP_SECONDS = 60.0;
// The maximum speed is taken over spans of at least this many seconds, so
// that the jitter of single fixes does not count.
constexpr double SPEED_WINDOW_SECONDS = 5.0;
// A move faster than this (360 km/h) is a receiver glitch; the position is
// taken only when the receiver stays there for JUMP_CONFIRMATIONS fixes, and
// the jump itself adds no distance.
constexpr double MAX_PLAUSIBLE_SPEED = 100.0;
constexpr int JUMP_CONFIRMATIONS = 3;

struct TrackStats {
  int dated = 0;                // fixes with a date, which the figures use
  int undated = 0;              // fixes without a usable date, left out
  LogFix first = {};            // the earliest and latest dated fix
  LogFix last = {};
  double durationSeconds = 0;   // from the earliest to the latest fix
  double drivingSeconds = 0;    // time spent moving, stops left out
  double distanceMetres = 0;    // great-circle distance driven
  double maxSpeed = 0;          // metres per second
};

TrackStats ComputeTrackStats(const std::vector<LogFix>& fixes);

// Great-circle distance between two WGS84 positions in degrees, in metres
// (haversine on the mean earth radius).
double GreatCircleMetres(double lat1, double lon1, double lat2, double lon2);
