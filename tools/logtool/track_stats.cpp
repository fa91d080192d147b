#include "tools/logtool/track_stats.h"

#include <cmath>
#include <deque>

namespace {

constexpr double EARTH_RADIUS_METRES = 6371008.8;
constexpr double RADIANS_PER_DEGREE = M_PI / 180.0;

double Seconds(const LogFix& fix) { return fix.utcMillis / 1000.0; }

// Time and distance so far at each position where the car moved, over the
// last SPEED_WINDOW_SECONDS of driving.
class SpeedWindow {
 public:
  void Restart(double time, double distance) {
    marks.clear();
    marks.push_back({time, distance});
  }
  // Adds a position and returns the speed over the shortest span that
  // reaches back at least SPEED_WINDOW_SECONDS (0 while there is none).
  double Add(double time, double distance) {
    marks.push_back({time, distance});
    while (marks.size() > 2 && time - marks[1].time >= SPEED_WINDOW_SECONDS) marks.pop_front();
    const Mark& start = marks.front();
    if (time - start.time < SPEED_WINDOW_SECONDS) return 0.0;
    return (distance - start.distance) / (time - start.time);
  }

 private:
  struct Mark {
    double time;
    double distance;
  };
  std::deque<Mark> marks;
};

}  // namespace

double GreatCircleMetres(double lat1, double lon1, double lat2, double lon2) {
  const double phi1 = lat1 * RADIANS_PER_DEGREE;
  const double phi2 = lat2 * RADIANS_PER_DEGREE;
  const double dPhi = phi2 - phi1;
  const double dLambda = (lon2 - lon1) * RADIANS_PER_DEGREE;
  const double a = std::sin(dPhi / 2) * std::sin(dPhi / 2) +
                   std::cos(phi1) * std::cos(phi2) * std::sin(dLambda / 2) * std::sin(dLambda / 2);
  return 2 * EARTH_RADIUS_METRES * std::asin(std::sqrt(std::fmin(1.0, a)));
}

TrackStats ComputeTrackStats(const std::vector<LogFix>& fixes) {
  TrackStats stats;
  const LogFix* standing = nullptr;  // where the car last moved to
  int jumps = 0;
  SpeedWindow window;
  for (const LogFix& fix : fixes) {
    if (!fix.hasDate) {
      ++stats.undated;
      continue;
    }
    if (stats.dated++ == 0 || fix.utcMillis < stats.first.utcMillis) stats.first = fix;
    if (stats.dated == 1 || fix.utcMillis > stats.last.utcMillis) stats.last = fix;
    if (standing == nullptr) {
      standing = &fix;
      window.Restart(Seconds(fix), 0);
      continue;
    }
    const double seconds = Seconds(fix) - Seconds(*standing);
    const double metres = GreatCircleMetres(standing->latitude, standing->longitude, fix.latitude, fix.longitude);
    if (seconds <= 0 || metres < JITTER_RADIUS_METRES) continue;
    const bool continuous = seconds <= STOP_GAP_SECONDS;
    if (continuous && metres / seconds > MAX_PLAUSIBLE_SPEED) {
      if (++jumps < JUMP_CONFIRMATIONS) continue;
      // The receiver stays there: take the new position, but not the jump.
      jumps = 0;
      standing = &fix;
      window.Restart(Seconds(fix), stats.distanceMetres);
      continue;
    }
    jumps = 0;
    stats.distanceMetres += metres;
    if (continuous) {
      stats.drivingSeconds += seconds;
      stats.maxSpeed = std::fmax(stats.maxSpeed, window.Add(Seconds(fix), stats.distanceMetres));
    } else {
      window.Restart(Seconds(fix), stats.distanceMetres);
    }
    standing = &fix;
  }
  if (stats.dated > 0) stats.durationSeconds = Seconds(stats.last) - Seconds(stats.first);
  return stats;
}
