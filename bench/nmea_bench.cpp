// The 18,000,000-byte day log, side by side in one run: whole processes of
// `tevo-logtool track --summary LOG`, of gpsbabel parsing the same log (with
// TZ=UTC, so that it does not ask for the local time zone at every fix) and
// of the chunked memchr limit; and LoadTrack against the limit in process.
//   nmea_bench [benchmark flags] LOG
// LOG is written first when it does not exist. $TEVO_BENCH_LOGTOOL names
// another tevo-logtool to time (an older build, for before-and-after
// figures).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "logs/nmea_reader.h"
#include "bench/nmea_chunked_scan.h"
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

void BM_ChunkedMemchr(benchmark::State& state) {
  for (auto _ : state) {
    if (CountLinesInChunks(logPath.c_str()) < 0) {
      state.SkipWithError("cannot read the log");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(NMEA_DAY_LOG_BYTES));
}
BENCHMARK(BM_ChunkedMemchr)->Unit(benchmark::kMillisecond)->UseRealTime();

extern "C" char** environ;

// Runs a program to its end with its output thrown away, without a shell
// in between; `environment` entries ("TZ=UTC") come before the process's
// own. True when it exits with status 0.
bool RunProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {}) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void TimeProcess(benchmark::State& state, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment = {}) {
  for (auto _ : state) {
    if (!RunProcess(arguments, environment)) {
      state.SkipWithError(("failed: " + arguments[0]).c_str());
      return;
    }
  }
}

std::string Logtool() {
  const char* other = std::getenv("TEVO_BENCH_LOGTOOL");
  return other != nullptr && other[0] != '\0' ? other : TEVO_LOGTOOL_PATH;
}

void BM_TrackSummaryProcess(benchmark::State& state) { TimeProcess(state, {Logtool(), "track", "--summary", logPath}); }
BENCHMARK(BM_TrackSummaryProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LineCountProcess(benchmark::State& state) { TimeProcess(state, {TEVO_LINE_COUNT_PATH, logPath}); }
BENCHMARK(BM_LineCountProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// gpsbabel reads the log as tracks and drops them, so that only its
// parsing is timed.
void BM_GpsbabelProcess(benchmark::State& state) {
  TimeProcess(state, {"/usr/bin/gpsbabel", "-t", "-i", "nmea", "-f", logPath, "-x", "nuketypes,tracks", "-o", "unicsv",
                      "-F", "/dev/null"},
              {"TZ=UTC"});
}
BENCHMARK(BM_GpsbabelProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

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
