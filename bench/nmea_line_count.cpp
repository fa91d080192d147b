// The whole-process limit of N1: reads a log in 256 KB pieces and counts its
// lines with memchr: nmea_line_count LOG.
#include <cstdio>

#include "bench/nmea_chunked_scan.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nmea_line_count LOG\n");
    return 2;
  }
  long lines = CountLinesInChunks(argv[1]);
  if (lines < 0) {
    std::fprintf(stderr, "nmea_line_count: cannot read %s\n", argv[1]);
    return 1;
  }
  std::printf("lines %ld\n", lines);
  return 0;
}
