// Writes the benchmark's NMEA day log: nmea_day_log OUT [BYTES]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/nmea_day_log.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: nmea_day_log OUT [BYTES]\n");
    return 2;
  }
  size_t bytes = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : NMEA_DAY_LOG_BYTES;
  std::string log = GenerateNmeaDayLog(bytes);
  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr || std::fwrite(log.data(), 1, log.size(), out) != log.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "nmea_day_log: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
