// Loads a log once with the system's reader, for instruction counts and
// peak memory: nmea_load_once LOG. Prints the points and the process's
// resident memory (kB) before the load and at its peak.
#include <cstdio>
#include <fstream>
#include <string>

#include "logs/nmea_reader.h"

namespace {

// A "VmXXX:  1234 kB" line of /proc/self/status, in kB (0 when missing).
long StatusKilobytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nmea_load_once LOG\n");
    return 2;
  }
  const long before = StatusKilobytes("VmRSS");
  Track* track = LoadTrack(argv[1]);
  if (track == nullptr) {
    std::fprintf(stderr, "nmea_load_once: no track in %s\n", argv[1]);
    return 1;
  }
  const long peak = StatusKilobytes("VmHWM");
  std::printf("points %d track_bytes %zu rss_before_kb %ld peak_kb %ld\n", track->count,
              sizeof(Track) + track->count * sizeof(TrackPoint), before, peak);
  ReleaseTrack(track);
  return 0;
}
