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
//                      map screen and loads its pictures (the program run again with
//                      --first-opening DEVICE, which prints that time)
//
// The device is written to a temporary directory (or to --device DIR, kept,
// and used again as it is by later runs); the geodata map is built into a
// second device root beside it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/calendar_dlg.h"
#include "app/map_dialog.h"
#include "app/month_grid.h"
#include "bench/nmea_day_log.h"
#include "canvas/sizes.h"
#include "logs/log_directory.h"
#include "logs/selected_day.h"
#include "platform/files.h"
#include "platform/headless/headless.h"
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
constexpr int32_t YEAR = 2009, MONTH = 5, DAY = 12;
constexpr uint32_t FRAME_TIMEOUT_MS = 30000;
// Openings measured per run of BM_OpenDay, loads per run of BM_LoadTrack.
constexpr int OPENINGS = 10;
constexpr int LOADS = 20;
// The calendar is shown this long before its first tap.
constexpr auto USER_PAUSE = std::chrono::milliseconds(300);
// Fresh processes whose first opening is measured per run of BM_OpenDayFirst.
constexpr int FIRST_OPENINGS = 9;
// The map screen's back button, in screen pixels.
constexpr int32_t BACK_BUTTON_X = 20, BACK_BUTTON_Y = 20;

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

// The centre of the day's cell in the calendar, in screen pixels.
void DayCell(int32_t* x, int32_t* y) {
  ForEachDayCell(YEAR, MONTH, [&](int32_t day, const Rect& cell) {
    if (day == DAY) {
      *x = (cell.left + cell.right) / 2;
      *y = (cell.top + cell.bottom) / 2;
    }
  });
}

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Waits, on a thread of its own, for the map screen to become ready for
// the opening that follows, and takes the real time from the pen-up.
class ReadyWatch {
 public:
  // Before the pen-up, on the user-interface thread. `slot` is where the
  // calendar keeps its map screen: null before the first opening creates it
  // (that screen is not ready until its first frame); an existing screen
  // still holds the previous opening's frame, so the watch waits for its
  // ready flag to drop and rise again.
  void Start(MapDialog** slot) {
    penUp = Clock::now();
    cpuAtPenUp = ProcessCpuSeconds();
    const bool fresh = *slot == nullptr;
    watcher = std::thread([this, slot, fresh] {
      const Clock::time_point limit = penUp + std::chrono::milliseconds(FRAME_TIMEOUT_MS);
      bool dropped = fresh;
      while (Clock::now() < limit) {
        const MapDialog* screen = std::atomic_ref<MapDialog*>(*slot).load();
        int ready = screen != nullptr ? screen->IsMapReady() : 0;
        if (ready == 0) dropped = true;
        if (dropped && ready != 0) {
          seconds = std::chrono::duration<double>(Clock::now() - penUp).count();
          cpuSeconds = ProcessCpuSeconds() - cpuAtPenUp;
          return;
        }
        std::this_thread::sleep_for(POLL);
      }
    });
  }
  // Once the workers are idle: the time, or a negative value.
  double Finish() {
    watcher.join();
    return seconds;
  }
  // The processor time all threads of the process spent meanwhile.
  double CpuSeconds() const { return cpuSeconds; }

 private:
  static constexpr auto POLL = std::chrono::microseconds(20);
  Clock::time_point penUp;
  std::thread watcher;
  double seconds = -1.0;
  double cpuAtPenUp = 0.0;
  double cpuSeconds = 0.0;
};

// Opens the day `openings` + 1 times in a new calendar on the headless
// backend and returns the real time of each opening in seconds, the first
// one (which creates the map screen and loads its pictures) first; empty
// when an opening did not finish. Each opening: pen down on the day and a
// repaint, the pen-up, the busy timer that shows the map screen, and its
// back button that hides it again.
std::vector<double> MeasureOpenings(int openings, std::vector<double>* cpuSeconds = nullptr) {
  HeadlessBackend backend;
  SetBackend(&backend);
  std::vector<double> seconds;
  bool failed = false;
  {
    MapDataOwner mapData;
    CalendarDlg calendar(&mapData);
    ReadyWatch watch;
    int32_t x = 0, y = 0;
    DayCell(&x, &y);
    backend.Wait(10);
    // The calendar is on the screen for a moment before anyone can tap a
    // day: a person needs well over this long to see it and reach a cell.
    backend.Call([] { std::this_thread::sleep_for(USER_PAUSE); });
    for (int i = 0; i <= openings; ++i) {
      backend.Down(x, y).Wait(10);
      backend.Call([&] { watch.Start(&calendar.mapScreen); });
      backend.Up();
      backend.Call([&] {
        double time = watch.Finish();
        if (time < 0) failed = true;
        seconds.push_back(time);
        if (cpuSeconds != nullptr) cpuSeconds->push_back(watch.CpuSeconds());
      });
      backend.Wait(MAP_BUSY_MS).Down(BACK_BUTTON_X, BACK_BUTTON_Y).Wait(10).Up().Wait(10);
    }
    backend.Quit();
    calendar.RunModal();
  }
  SetBackend(nullptr);
  if (failed) seconds.clear();
  return seconds;
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

// The first opening of a fresh process each: this program run again with
// --first-opening, which prints the times of its process's first and
// second openings. The counter second_ms is the median second opening of
// the same processes, a later opening measured under the same conditions.
void BM_OpenDayFirst(benchmark::State& state) {
  const std::string command = "'" + selfPath + "' --first-opening '" + deviceRoot.string() + "'";
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

// --first-opening DEVICE: opens the day twice in this fresh process and
// prints "first SECONDS cpu SECONDS second SECONDS cpu SECONDS": the real
// time of each opening and the processor time of all threads meanwhile.
int RunFirstOpening(const char* device) {
  SetDeviceRoot(device);
  std::vector<double> cpu;
  std::vector<double> seconds = MeasureOpenings(1, &cpu);
  if (seconds.size() != 2 || cpu.size() != 2) return 1;
  std::printf("first %.9f cpu %.9f second %.9f cpu %.9f\n", seconds[0], cpu[0], seconds[1], cpu[1]);
  return 0;
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
  if (argc == 3 && std::strcmp(argv[1], "--first-opening") == 0) return RunFirstOpening(argv[2]);
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
