// tevo-logtool stats: times, distance and speeds of a day's log.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/logtool/commands.h"
#include "tools/logtool/log_fixes.h"
#include "tools/logtool/track_stats.h"

namespace {

constexpr char STATS_SYNOPSIS[] = "stats FILE";
constexpr double METRES_PER_KM = 1000.0;
constexpr double KMH_PER_MS = 3.6;

void PrintStatsHelp() {
  std::printf(
      "usage: tevo-logtool %s\n"
      "\n"
      "Prints, for the fixes of the NMEA log FILE that the viewer's reader accepts:\n"
      "start and end time (UTC and Japan time), duration, driving time (stops left\n"
      "out), distance (great circle; movement within %.0f m of where the car stands is\n"
      "taken as receiver jitter), average speed while driving and maximum speed\n"
      "(over at least %.0f s).\n",
      STATS_SYNOPSIS, JITTER_RADIUS_METRES, SPEED_WINDOW_SECONDS);
}

void PrintDuration(const char* label, double seconds) {
  long total = std::lround(seconds);
  std::printf("%-10s %ld:%02ld:%02ld\n", label, total / 3600, total / 60 % 60, total % 60);
}

}  // namespace

int RunStatsCommand(int argc, char** argv) {
  const char* file = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (IsHelpOption(argv[i])) {
      PrintStatsHelp();
      return 0;
    }
    if (argv[i][0] == '-' || file != nullptr) return LogtoolUsage(STATS_SYNOPSIS);
    file = argv[i];
  }
  if (file == nullptr) return LogtoolUsage(STATS_SYNOPSIS);

  std::vector<LogFix> fixes;
  if (CheckLogFile(file) != 0) return 1;
  if (ReadLogFixes(file, &fixes) != 0) {
    return LogtoolFail("no track in '%s': the file is missing, unreadable or empty", file);
  }
  TrackStats stats = ComputeTrackStats(fixes);
  std::printf("%-10s %d\n", "points", static_cast<int>(fixes.size()));
  if (stats.undated > 0) std::printf("%-10s %d (left out: no date)\n", "undated", stats.undated);
  if (stats.dated == 0) return 0;
  std::printf("%-10s %s  (%s)\n", "start", FormatTime(stats.first).c_str(),
              FormatTime(stats.first, JAPAN_TIME_OFFSET_SECONDS).c_str());
  std::printf("%-10s %s  (%s)\n", "end", FormatTime(stats.last).c_str(),
              FormatTime(stats.last, JAPAN_TIME_OFFSET_SECONDS).c_str());
  PrintDuration("duration", stats.durationSeconds);
  PrintDuration("driving", stats.drivingSeconds);
  std::printf("%-10s %.2f km\n", "distance", stats.distanceMetres / METRES_PER_KM);
  double average = stats.drivingSeconds > 0 ? stats.distanceMetres / stats.drivingSeconds : 0.0;
  std::printf("%-10s %.1f km/h\n", "average", average * KMH_PER_MS);
  std::printf("%-10s %.1f km/h\n", "maximum", stats.maxSpeed * KMH_PER_MS);
  return 0;
}
