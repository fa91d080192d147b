// LoadTrack of the 18,000,000-byte day log against gpsbabel parsing the
// same file, side by side in one run: nmea_bench [benchmark flags] LOG
// (LOG is written first when it does not exist).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "logs/nmea_reader.h"
#include "bench/nmea_day_log.h"

namespace {

std::string logPath;

void BM_LoadTrack(benchmark::State& state) {
  int32_t points = 0;
  for (auto _ : state) {
    Track* track = LoadTrack(logPath.c_str());
    if (track == nullptr) {
      state.SkipWithError("no track");
      return;
    }
    points = track->count;
    ReleaseTrack(track);
  }
  state.counters["points"] = points;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(NMEA_DAY_LOG_BYTES));
}
BENCHMARK(BM_LoadTrack)->Unit(benchmark::kMillisecond)->UseRealTime();

// gpsbabel reads the log as tracks and drops them, so that only its
// parsing is timed.
void BM_Gpsbabel(benchmark::State& state) {
  const std::string command =
      "gpsbabel -t -i nmea -f '" + logPath + "' -x nuketypes,tracks -o unicsv -F /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("gpsbabel failed");
      return;
    }
  }
}
BENCHMARK(BM_Gpsbabel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

bool EnsureLog(const std::string& path) {
  if (std::ifstream(path).good()) return true;
  std::string log = GenerateNmeaDayLog(NMEA_DAY_LOG_BYTES);
  std::ofstream out(path, std::ios::binary);
  out.write(log.data(), static_cast<std::streamsize>(log.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: nmea_bench [benchmark flags] LOG\n");
    return 2;
  }
  logPath = argv[1];
  if (!EnsureLog(logPath)) {
    std::fprintf(stderr, "nmea_bench: cannot write %s\n", logPath.c_str());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
