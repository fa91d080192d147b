// Fuzzes the track reader on log text as it lies in memory after the read:
// nothing may be read outside the text, and every accepted point must lie
// in the accepted area and inside the track's box.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "logs/nmea_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > LOG_READ_LIMIT) return 0;
  // An exactly sized copy, so that AddressSanitizer sees any read past it.
  char* text = static_cast<char*>(std::malloc(size == 0 ? 1 : size));
  if (size > 0) std::memcpy(text, data, size);
  const int32_t capacity = CountTrackSentences(text, size);
  Track* track = CreateTrack(capacity);
  if (track != nullptr) {
    ParseTrackSentences(text, size, track, capacity, nullptr, nullptr);
    if (track->count > capacity) std::abort();
    for (int32_t i = 0; i < track->count; ++i) {
      const TrackPoint& p = track->points[i];
      if (p.lon < TRACK_MIN_LON || p.lon > TRACK_MAX_LON || p.lat < TRACK_MIN_LAT || p.lat > TRACK_MAX_LAT) std::abort();
      if (p.lon < track->minLon || p.lon > track->maxLon || p.lat < track->minLat || p.lat > track->maxLat) std::abort();
      if (p.lon % 2 != 0 || p.lat % 2 != 0) std::abort();
    }
  }
  ReleaseTrack(track);
  std::free(text);
  return 0;
}
