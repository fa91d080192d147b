// Loads a log once with the system's reader, for instruction counts, peak
// memory and the cold load: nmea_load_once [--chunks] LOG. Prints the
// points, the process's resident memory (kB) before the load and at its
// peak, and the load's wall time in microseconds. With --chunks it reads the
// log in 256 KB pieces counting lines with memchr instead (the limit).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "bench/nmea_chunked_scan.h"
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

long Microseconds(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - since).count());
}

}  // namespace

int main(int argc, char** argv) {
  const bool chunks = argc == 3 && std::strcmp(argv[1], "--chunks") == 0;
  if (argc != 2 && !chunks) {
    std::fprintf(stderr, "usage: nmea_load_once [--chunks] LOG\n");
    return 2;
  }
  const char* log = argv[argc - 1];
  const long before = StatusKilobytes("VmRSS");
  const auto start = std::chrono::steady_clock::now();
  if (chunks) {
    long lines = CountLinesInChunks(log);
    const long elapsed = Microseconds(start);
    std::printf("lines %ld rss_before_kb %ld peak_kb %ld load_us %ld\n", lines, before, StatusKilobytes("VmHWM"),
                elapsed);
    return lines < 0 ? 1 : 0;
  }
  Track* track = LoadTrack(log);
  const long elapsed = Microseconds(start);
  if (track == nullptr) {
    std::fprintf(stderr, "nmea_load_once: no track in %s\n", log);
    return 1;
  }
  const long peak = StatusKilobytes("VmHWM");
  std::printf("points %d track_bytes %zu rss_before_kb %ld peak_kb %ld load_us %ld\n", track->count,
              sizeof(Track) + track->count * sizeof(TrackPoint), before, peak, elapsed);
  ReleaseTrack(track);
  return 0;
}
