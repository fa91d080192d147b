// The first opening of the benchmark's day in a fresh process, as the
// viewer opens it: render_first_opening DEVICE opens the day twice and
// prints "first SECONDS cpu SECONDS second SECONDS cpu SECONDS", the real
// time of each opening and the processor time of all threads meanwhile.
// It links what the viewer links, so that the first calls into the shared
// libraries cost what they cost there.
#include <cstdio>
#include <vector>

#include "bench/day_openings.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: render_first_opening DEVICE\n");
    return 2;
  }
  SetDeviceRoot(argv[1]);
  std::vector<double> cpu;
  std::vector<double> seconds = MeasureOpenings(1, &cpu);
  if (seconds.size() != 2 || cpu.size() != 2) return 1;
  std::printf("first %.9f cpu %.9f second %.9f cpu %.9f\n", seconds[0], cpu[0], seconds[1], cpu[1]);
  return 0;
}
