// tevo-logtool track: a log's track as the viewer reads it.
#include <cstdio>
#include <cstring>

#include "logs/nmea_reader.h"
#include "tools/logtool/commands.h"

namespace {

constexpr char TRACK_SYNOPSIS[] = "track FILE [--summary]";

void PrintTrackHelp() {
  std::printf(
      "usage: tevo-logtool %s\n"
      "\n"
      "Reads the NMEA log FILE with the viewer's own reader and prints its track:\n"
      "  points N\n"
      "  bbox MINLON MINLAT MAXLON MAXLAT\n"
      "then one line per point, TIME<TAB>LON<TAB>LAT: seconds since UTC midnight and\n"
      "map units (1/128 arc-second, Tokyo datum).\n"
      "\n"
      "  --summary   print the first two lines only\n",
      TRACK_SYNOPSIS);
}

}  // namespace

int RunTrackCommand(int argc, char** argv) {
  const char* file = nullptr;
  bool summary = false;
  for (int i = 0; i < argc; ++i) {
    if (IsHelpOption(argv[i])) {
      PrintTrackHelp();
      return 0;
    }
    if (std::strcmp(argv[i], "--summary") == 0) {
      summary = true;
    } else if (argv[i][0] == '-' || file != nullptr) {
      return LogtoolUsage(TRACK_SYNOPSIS);
    } else {
      file = argv[i];
    }
  }
  if (file == nullptr) return LogtoolUsage(TRACK_SYNOPSIS);

  if (CheckLogFile(file) != 0) return 1;
  Track* track = LoadTrack(file);
  if (track == nullptr) return LogtoolFail("no track in '%s': the file is missing, unreadable or empty", file);
  std::printf("points %d\n", track->count);
  std::printf("bbox %d %d %d %d\n", track->minLon, track->minLat, track->maxLon, track->maxLat);
  if (!summary) {
    for (int32_t i = 0; i < track->count; ++i) {
      const TrackPoint& point = track->points[i];
      std::printf("%d\t%d\t%d\n", point.time, point.lon, point.lat);
    }
  }
  ReleaseTrack(track);
  return 0;
}
