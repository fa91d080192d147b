// The map renderer's frame time and the latency of opening a day, on a demo
// device: the demonstration map and a day's log of 86,400 fixes (a whole
// day at 1 Hz, driving around Tokyo).
//
//   BM_Memset          a memset of the 996 x 580 RGB565 canvas: the unit of the frame goal
//   BM_Frame/S         one frame at step S through the renderer's worker: the request, the
//                      frame-done event and CopyFrame of the whole canvas (S = -1: the step
//                      the day opens at)
//   BM_GeodataFrame/C/S  one frame at step S of the map built from the open geodata (the demo
//                      device's map) around city C (0 Tokyo, 1 Nagoya's Sakae, 2 Osaka), no
//                      track: the densest real-data views
//   BM_LoadTrack       LoadTrack of the day's log, on a thread as the renderer's worker loads it
//   BM_OpenDay         on the headless backend, from the pen-up on the marked day in the
//                      calendar until the map screen is ready (real time, watched from a
//                      thread of its own; the process's first opening is not counted)
//   BM_OpenDayFirst    the same for the first opening of a fresh process, which creates the
//                      map screen and loads its pictures (render_first_opening DEVICE,
//                      which prints that time)
//
// The device is written to a temporary directory (or to --device DIR, kept,
// and used again as it is by later runs); the geodata map is built into a
// second device root beside it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/day_openings.h"
#include "bench/nmea_day_log.h"
#include "canvas/sizes.h"
#include "logs/log_directory.h"
#include "logs/selected_day.h"
#include "platform/files.h"
#include "render/map_renderer.h"
#include "tools/mapbuild/map_build.h"
#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/road_router.h"
#include "tools/mapwriter/demo_content.h"
#include "tools/mapwriter/map_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t CANVAS_BYTES = size_t{MAP_CANVAS_WIDTH} * MAP_CANVAS_HEIGHT * sizeof(uint16_t);
constexpr int32_t DAY_FIXES = 86400;
constexpr int32_t YEAR = BENCH_DAY_YEAR, MONTH = BENCH_DAY_MONTH, DAY = BENCH_DAY_DAY;
constexpr uint32_t FRAME_TIMEOUT_MS = 30000;
// Openings measured per run of BM_OpenDay, loads per run of BM_LoadTrack.
constexpr int OPENINGS = 10;
constexpr int LOADS = 20;
// Fresh processes whose first opening is measured per run of BM_OpenDayFirst.
constexpr int FIRST_OPENINGS = 9;

std::string dayLogPath;  // host path of the day's log
fs::path geodataRoot;    // device root of the map built from the open geodata

// The centres of the geodata frames, WGS84 degrees (lat, lon).
constexpr double GEODATA_CENTRES[3][2] = {
    {35.6812, 139.7671},  // Tokyo Station
    {35.1690, 136.9084},  // Sakae, Nagoya: streets, buildings, parks, stations
    {34.6800, 135.5010},  // Honmachi, Osaka: national and prefectural roads, rivers
};

// The day's log: the benchmark's drive around Tokyo, with the "$GPRMC" and
// "$GPGGA" sentences of its first 86,400 seconds (the whole log with its
// satellite sentences would be cut by the reader's 18,000,000-byte limit
// long before the day ends).
std::string WholeDayLog() {
  const std::string drive = GenerateNmeaDayLog(size_t{DAY_FIXES} * 480);
  std::string log;
  int32_t fixes = 0;
  for (size_t start = 0; start < drive.size() && fixes < DAY_FIXES;) {
    size_t end = drive.find('\n', start);
    if (end == std::string::npos) break;
    if (drive.compare(start, 6, "$GPRMC") == 0) ++fixes;
    if (drive.compare(start, 6, "$GPRMC") == 0 || drive.compare(start, 6, "$GPGGA") == 0) {
      log.append(drive, start, end + 1 - start);
    }
    start = end + 1;
  }
  return log;
}

// The host path of the day's log under `root`.
std::string DayLogPath(const fs::path& root) {
  char name[64];
  std::snprintf(name, sizeof name, "SDMMC/TEVOLOG/%04d/%02d/%04d%02d%02d.log", YEAR, MONTH, YEAR, MONTH, DAY);
  return (root / name).string();
}

// Writes the demo map and the day's log under `root`. Returns 0, or -1.
int WriteDevice(const fs::path& root) {
  MapDescription map;
  if (DescribeDemoMap(&map, DemoContentFiller()) != 0) return -1;
  const fs::path mapFile = root / "NAND/CMC/KDH/ALLDATA.KWI";
  fs::create_directories(mapFile.parent_path());
  if (WriteMapFile(map, mapFile.c_str()) != 0) return -1;
  const fs::path log = DayLogPath(root);
  fs::create_directories(log.parent_path());
  const std::string text = WholeDayLog();
  std::ofstream(log, std::ios::binary) << text;
  dayLogPath = log.string();
  std::fprintf(stderr, "render bench device %s: map %ju bytes, day log %zu bytes\n", root.c_str(),
               static_cast<uintmax_t>(fs::file_size(mapFile)), text.size());
  return 0;
}

// Builds the demo device's map from the open geodata under `root`. Returns 0, or -1.
int WriteGeodataDevice(const fs::path& root) {
  Recipe recipe;
  std::string error;
  const fs::path mapFile = root / "NAND/CMC/KDH/ALLDATA.KWI";
  fs::create_directories(mapFile.parent_path());
  BuildSummary summary;
  if (LoadRecipe(TEVO_GEODATA_RECIPE, TEVO_GEODATA_DIR, &recipe, &error) != 0 ||
      BuildMapFromRecipe(recipe, mapFile.string(), [](const std::string&) {}, &summary, &error) != 0) {
    std::fprintf(stderr, "cannot build the geodata map: %s\n", error.c_str());
    return -1;
  }
  std::fprintf(stderr, "render bench geodata map %s: %ju bytes\n", mapFile.c_str(),
               static_cast<uintmax_t>(fs::file_size(mapFile)));
  return 0;
}

// A renderer on the day with its worker, as the map screen has one.
class FrameRig {
 public:
  FrameRig() : done(CreateEvent(nullptr)) {
    SelectLogDay(YEAR, MONTH, DAY);
    renderer = new MapRenderer(&mapData);
    renderer->Initialise(MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT, done);
    CreateCanvas(&copy, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
    // The day's first frame loads the track and fits the view.
    renderer->RequestRedraw();
    ok = WaitEvent(done, FRAME_TIMEOUT_MS) == WAIT_SIGNALLED;
    const Track* track = GetSelectedTrack();
    ok = ok && track != nullptr && track->count == DAY_FIXES;
    fittedStep = renderer->CurrentStep();
    trackCenter = renderer->TargetCenter();
  }
  ~FrameRig() {
    delete renderer;
    CloseEvent(done);
  }
  // One frame at `step` around the track's centre, copied out. False when
  // it did not come.
  bool Frame(int32_t step) {
    renderer->RequestView(trackCenter, step);
    if (WaitEvent(done, FRAME_TIMEOUT_MS) != WAIT_SIGNALLED) return false;
    return renderer->CopyFrame(&copy, 0, 0, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT) == 0;
  }

  bool ok = false;
  uint16_t fittedStep = 0;
  MapCoord trackCenter{0, 0};

 private:
  Event* done;
  MapDataOwner mapData;  // declared first: it outlives the renderer
  MapRenderer* renderer = nullptr;
  Canvas copy;
};

void BM_Memset(benchmark::State& state) {
  std::vector<uint16_t> canvas(CANVAS_BYTES / sizeof(uint16_t));
  int value = 0;
  for (auto _ : state) {
    std::memset(canvas.data(), ++value & 0xFF, CANVAS_BYTES);
    benchmark::DoNotOptimize(canvas.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CANVAS_BYTES));
}

void BM_Frame(benchmark::State& state) {
  FrameRig rig;
  if (!rig.ok) {
    state.SkipWithError("the day's first frame did not come");
    return;
  }
  const int32_t step = state.range(0) < 0 ? rig.fittedStep : static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    if (!rig.Frame(step)) {
      state.SkipWithError("a frame did not come");
      break;
    }
  }
  state.counters["step"] = step;
}

void BM_GeodataFrame(benchmark::State& state) {
  SetDeviceRoot(geodataRoot.c_str());
  ReplaceSelectedDay("");
  {
    Event* done = CreateEvent(nullptr);
    MapDataOwner mapData;
    MapRenderer renderer(&mapData);
    renderer.Initialise(MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT, done);
    Canvas copy;
    CreateCanvas(&copy, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
    const double* centre = GEODATA_CENTRES[state.range(0)];
    RoadPoint at{};
    DegreesToRoadPoint(centre[0], centre[1], &at);
    const auto step = static_cast<int32_t>(state.range(1));
    for (auto _ : state) {
      renderer.RequestView(MapCoord{at.x, at.y}, step);
      if (WaitEvent(done, FRAME_TIMEOUT_MS) != WAIT_SIGNALLED ||
          renderer.CopyFrame(&copy, 0, 0, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT) != 0) {
        state.SkipWithError("a frame did not come");
        break;
      }
    }
    CloseEvent(done);
  }
  // Back to the demo device, which holds the geodata device.
  SetDeviceRoot(geodataRoot.parent_path().c_str());
}

// The day's loads run on a thread of their own, as the renderer's worker
// runs them when a day is opened: a thread's loads cost more than the main
// thread's (its own allocator arena gives the 12 MB of text back between
// loads), and the opening is compared with what it really pays.
void BM_LoadTrack(benchmark::State& state) {
  std::vector<double> seconds;
  bool loaded = true;
  std::thread loader([&] {
    for (int i = 0; i < LOADS && loaded; ++i) {
      const Clock::time_point start = Clock::now();
      Track* track = LoadTrack(dayLogPath.c_str());
      seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      loaded = track != nullptr && track->count == DAY_FIXES;
      ReleaseTrack(track);
    }
  });
  loader.join();
  if (!loaded) {
    state.SkipWithError("the day's log did not load");
    return;
  }
  size_t i = 0;
  for (auto _ : state) state.SetIterationTime(seconds[i++ % seconds.size()]);
}

// Later openings, in this process (its first opening is not counted).
void BM_OpenDay(benchmark::State& state) {
  std::vector<double> seconds = MeasureOpenings(OPENINGS);
  if (seconds.size() != OPENINGS + 1) {
    state.SkipWithError("the map screen did not become ready");
    return;
  }
  size_t i = 0;
  for (auto _ : state) state.SetIterationTime(seconds[1 + i++ % OPENINGS]);
}

std::string selfPath;
fs::path deviceRoot;

// The first opening of a fresh process each: render_first_opening (beside
// this program) run on the device, which prints the times of its process's
// first and second openings. It links what the viewer links and no more:
// this program also links the map builder, whose libraries would make the
// first calls into shared libraries (resolved on first use) slower than in
// the viewer. The counter second_ms is the median second opening of
// the same processes, a later opening measured under the same conditions.
void BM_OpenDayFirst(benchmark::State& state) {
  const std::string program = (fs::path(selfPath).parent_path() / "render_first_opening").string();
  const std::string command = "'" + program + "' '" + deviceRoot.string() + "'";
  std::vector<double> seconds;
  for (auto _ : state) {
    FILE* child = popen(command.c_str(), "r");
    double first = -1.0, firstCpu = 0.0, second = -1.0, secondCpu = 0.0;
    if (child != nullptr) {
      if (std::fscanf(child, "first %lf cpu %lf second %lf cpu %lf", &first, &firstCpu, &second, &secondCpu) != 4) {
        first = -1.0;
      }
      if (pclose(child) != 0) first = -1.0;
    }
    if (first < 0 || second < 0) {
      state.SkipWithError("the first opening did not finish");
      return;
    }
    state.SetIterationTime(first);
    seconds.push_back(second);
  }
  std::sort(seconds.begin(), seconds.end());
  state.counters["second_ms"] = seconds.empty() ? 0.0 : seconds[seconds.size() / 2] * 1e3;
}

}  // namespace

BENCHMARK(BM_Memset);
// A frame's work is on the renderer's worker: real time decides the iterations.
BENCHMARK(BM_Frame)->Arg(0)->Arg(6)->Arg(12)->Arg(18)->Arg(24)->Arg(26)->Arg(-1)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GeodataFrame)
    ->ArgsProduct({{0, 1, 2}, {0, 6, 12, 18, 24}})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadTrack)->UseManualTime()->Iterations(LOADS)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenDay)->UseManualTime()->Iterations(OPENINGS)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenDayFirst)->UseManualTime()->Iterations(FIRST_OPENINGS)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  selfPath = fs::canonical("/proc/self/exe").string();
  fs::path device;
  bool keep = false;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--device") == 0) {
      device = argv[i + 1];
      keep = true;
      for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
      argc -= 2;
      break;
    }
  }
  if (!keep) {
    std::random_device seed;
    device = fs::temp_directory_path() / ("tevo-render-bench-" + std::to_string(seed()));
  }
  benchmark::Initialize(&argc, argv);
  geodataRoot = device / "geodata-device";
  // A kept device made by an earlier run is used again as it is.
  const bool made = keep && fs::exists(DayLogPath(device)) && fs::exists(geodataRoot / "NAND/CMC/KDH/ALLDATA.KWI");
  if (made) dayLogPath = DayLogPath(device);
  if (!made && (WriteDevice(device) != 0 || WriteGeodataDevice(geodataRoot) != 0)) {
    std::fprintf(stderr, "cannot write the demo device under %s\n", device.c_str());
    return 1;
  }
  SetDeviceRoot(device.c_str());
  deviceRoot = device;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!keep) fs::remove_all(device);
  return 0;
}
