// tevo-logtool render: one frame of the map with a day's track, drawn as the
// map screen has it drawn: the map renderer on its own worker, asked for a
// frame, waited for through its frame-done event and copied out.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "canvas/canvas.h"
#include "canvas/sizes.h"
#include "logs/nmea_reader.h"
#include "logs/log_directory.h"
#include "logs/selected_day.h"
#include "mapdata/block_cache.h"
#include "mapdata/parcel_index.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/picture.h"
#include "render/map_renderer.h"
#include "tools/logtool/commands.h"
#include "tools/logtool/map_file_checks.h"

namespace {

constexpr char RENDER_SYNOPSIS[] =
    "render [--device-root DIR] [--map FILE] [--date YYYY-MM-DD | --log FILE] [--step N]\n"
    "       [--center LON,LAT | --center-units X,Y] [--area canvas|screen] [--size WxH] [--screen]\n"
    "       [--stats] [--repeat N] -o OUT.png";

// The map screen's canvas, and the part of it the screen shows.
constexpr int32_t DEFAULT_WIDTH = MAP_CANVAS_WIDTH;
constexpr int32_t DEFAULT_HEIGHT = MAP_CANVAS_HEIGHT;
// Canvases larger than this per side are refused (four of them are made).
constexpr int32_t MAX_CANVAS_SIDE = 4096;
// A frame takes milliseconds; a frame that has not come by then never will.
constexpr uint32_t FRAME_TIMEOUT_MS = 60000;
// --repeat takes at most this many frames.
constexpr long MAX_REPEAT = 100000;
// The canvas fills timed for the unit of the frame's time.
constexpr int MEMSET_SAMPLES = 201;

void PrintRenderHelp() {
  std::printf(
      "usage: tevo-logtool %s\n"
      "\n"
      "Draws one frame of the map with the track of a day's log, exactly as the\n"
      "viewer's map screen has it drawn, and writes it as a PNG picture. The view is\n"
      "fitted to the track as when the day is opened, unless --center, --center-units\n"
      "or --step say otherwise; with --step and --center-units the frame is drawn at\n"
      "exactly that view (the centre snapped to the step's pixel grid), not fitted.\n"
      "Without --date and --log the frame has no track and the default view.\n"
      "\n"
      "  --device-root DIR   the device's root directory, with the logs under\n"
      "                      SDMMC/TEVOLOG/ and the map in NAND/CMC/KDH/ALLDATA.KWI\n"
      "                      (default: $TEVO_DEVICE_ROOT, then\n"
      "                      ~/.local/share/tevo-logviewer/device)\n"
      "  --map FILE          the map database to draw instead of the device's\n"
      "  --date YYYY-MM-DD   the day whose log is shown\n"
      "  --log FILE          a log file to show instead of a day of the device\n"
      "  --step N            scale step 0 (10 m) .. 26 (200 km) instead of the fitted one\n"
      "  --center LON,LAT    centre in degrees east and north, in the map's datum,\n"
      "                      instead of the middle of the track\n"
      "  --center-units X,Y  centre in map units (1/128 arc-second, integers)\n"
      "  --area canvas|screen  the area whose parcels the frame loads: the whole\n"
      "                      canvas (as after a pan, the default) or the middle\n"
      "                      480x272 (as after a zoom)\n"
      "  --size WxH          canvas size in pixels (default %dx%d, at most %d per side)\n"
      "  --screen            write only the middle %dx%d that the map screen shows\n"
      "  --stats             also print what the frame drew and how long it took\n"
      "  --repeat N          draw the frame N times (the first one included) and\n"
      "                      print the median times with --stats\n"
      "  -o OUT.png          the picture to write\n"
      "\n"
      "Prints the frame's day, point count, step, scale and centre, then the centre\n"
      "in map units as snapped, the level code of the roads' parcels and the detail\n"
      "class of names. With --stats, one line each: the parcels of the roads' and\n"
      "the areas' lists; road groups and links; background areas and lines; names\n"
      "placed and left out for room, by kind; the frame's time, as milliseconds and\n"
      "as a multiple of a memset of the canvas, and the time of each pass.\n",
      RENDER_SYNOPSIS, DEFAULT_WIDTH, DEFAULT_HEIGHT, MAX_CANVAS_SIDE, SCREEN_WIDTH, SCREEN_HEIGHT);
}

struct RenderOptions {
  const char* deviceRoot = nullptr;
  const char* output = nullptr;
  int32_t year = 0, month = 0, day = 0;
  bool hasDate = false;
  int32_t step = -1;  // -1: fitted
  bool hasCenter = false;
  bool centerInUnits = false;
  MapCoord center{0, 0};
  const char* mapPath = nullptr;
  const char* logPath = nullptr;
  uint16_t area = AREA_CANVAS;
  int32_t width = DEFAULT_WIDTH;
  int32_t height = DEFAULT_HEIGHT;
  bool screen = false;
  bool stats = false;
  int32_t repeat = 1;
};

bool IsLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// "YYYY-MM-DD", a real date.
bool ParseDate(const char* text, RenderOptions* options) {
  int32_t y = 0, m = 0, d = 0;
  int consumed = 0;
  if (std::strlen(text) != 10 || std::sscanf(text, "%4d-%2d-%2d%n", &y, &m, &d, &consumed) != 3 || consumed != 10) {
    return false;
  }
  static constexpr int32_t DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1) return false;
  if (d > DAYS[m - 1] + (m == 2 && IsLeapYear(y) ? 1 : 0)) return false;
  options->year = y;
  options->month = m;
  options->day = d;
  options->hasDate = true;
  return true;
}

// A whole number from `low` to `high`, all of `text`.
bool ParseWhole(const char* text, long low, long high, long* value) {
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

// "LON,LAT" in degrees, within -180..180 and -90..90.
bool ParseCenter(const char* text, MapCoord* center) {
  char* end = nullptr;
  double lon = std::strtod(text, &end);
  if (end == text || *end != ',') return false;
  const char* latText = end + 1;
  double lat = std::strtod(latText, &end);
  if (end == latText || *end != '\0') return false;
  if (!(std::fabs(lon) <= 180.0) || !(std::fabs(lat) <= 90.0)) return false;
  center->x = static_cast<int32_t>(std::lround(lon * MAP_UNITS_PER_DEGREE));
  center->y = static_cast<int32_t>(std::lround(lat * MAP_UNITS_PER_DEGREE));
  return true;
}

// "X,Y": two whole numbers of map units.
bool ParseCenterUnits(const char* text, MapCoord* center) {
  const char* comma = std::strchr(text, ',');
  if (comma == nullptr) return false;
  std::string x(text, comma);
  long parsedX = 0, parsedY = 0;
  if (!ParseWhole(x.c_str(), INT32_MIN, INT32_MAX, &parsedX) || !ParseWhole(comma + 1, INT32_MIN, INT32_MAX, &parsedY)) {
    return false;
  }
  center->x = static_cast<int32_t>(parsedX);
  center->y = static_cast<int32_t>(parsedY);
  return true;
}

// "WxH", each side 1..MAX_CANVAS_SIDE.
bool ParseSize(const char* text, int32_t* width, int32_t* height) {
  const char* x = std::strchr(text, 'x');
  if (x == nullptr) return false;
  std::string w(text, x);
  long parsedWidth = 0, parsedHeight = 0;
  if (!ParseWhole(w.c_str(), 1, MAX_CANVAS_SIDE, &parsedWidth) || !ParseWhole(x + 1, 1, MAX_CANVAS_SIDE, &parsedHeight)) {
    return false;
  }
  *width = static_cast<int32_t>(parsedWidth);
  *height = static_cast<int32_t>(parsedHeight);
  return true;
}

// Bad values give a message naming the option and exit status 1; an
// unknown option or a missing one the usage line and exit status 2.
// Returns -1 to go on, else the exit status.
int ParseRenderOptions(int argc, char** argv, RenderOptions* options) {
  for (int i = 0; i < argc; ++i) {
    const char* option = argv[i];
    if (IsHelpOption(option)) {
      PrintRenderHelp();
      return 0;
    }
    if (std::strcmp(option, "--screen") == 0) {
      options->screen = true;
      continue;
    }
    if (std::strcmp(option, "--stats") == 0) {
      options->stats = true;
      continue;
    }
    if (i + 1 >= argc) return LogtoolUsage(RENDER_SYNOPSIS);
    const char* value = argv[++i];
    long step = 0;
    if (std::strcmp(option, "--device-root") == 0) {
      options->deviceRoot = value;
    } else if (std::strcmp(option, "-o") == 0) {
      options->output = value;
    } else if (std::strcmp(option, "--date") == 0) {
      if (!ParseDate(value, options)) return LogtoolFail("--date takes a date YYYY-MM-DD, not '%s'", value);
    } else if (std::strcmp(option, "--step") == 0) {
      if (!ParseWhole(value, 0, MAX_SCALE_STEP, &step)) {
        return LogtoolFail("--step takes a scale step from 0 to %d, not '%s'", MAX_SCALE_STEP, value);
      }
      options->step = static_cast<int32_t>(step);
    } else if (std::strcmp(option, "--center") == 0) {
      if (!ParseCenter(value, &options->center)) {
        return LogtoolFail("--center takes LON,LAT in degrees (-180..180, -90..90), not '%s'", value);
      }
      options->hasCenter = true;
    } else if (std::strcmp(option, "--center-units") == 0) {
      if (!ParseCenterUnits(value, &options->center)) {
        return LogtoolFail("--center-units takes X,Y in whole map units, not '%s'", value);
      }
      options->hasCenter = true;
      options->centerInUnits = true;
    } else if (std::strcmp(option, "--area") == 0) {
      if (std::strcmp(value, "canvas") == 0) {
        options->area = AREA_CANVAS;
      } else if (std::strcmp(value, "screen") == 0) {
        options->area = AREA_SCREEN;
      } else {
        return LogtoolFail("--area takes canvas or screen, not '%s'", value);
      }
    } else if (std::strcmp(option, "--repeat") == 0) {
      long repeat = 0;
      if (!ParseWhole(value, 1, MAX_REPEAT, &repeat)) {
        return LogtoolFail("--repeat takes a number of frames from 1 to %ld, not '%s'", MAX_REPEAT, value);
      }
      options->repeat = static_cast<int32_t>(repeat);
    } else if (std::strcmp(option, "--map") == 0) {
      options->mapPath = value;
    } else if (std::strcmp(option, "--log") == 0) {
      options->logPath = value;
    } else if (std::strcmp(option, "--size") == 0) {
      if (!ParseSize(value, &options->width, &options->height)) {
        return LogtoolFail("--size takes WxH, each from 1 to %d pixels, not '%s'", MAX_CANVAS_SIDE, value);
      }
    } else {
      return LogtoolUsage(RENDER_SYNOPSIS);
    }
  }
  if (options->output == nullptr) return LogtoolUsage(RENDER_SYNOPSIS);
  if (options->hasDate && options->logPath != nullptr) return LogtoolFail("--date and --log cannot be used together");
  return -1;
}

// 0 when the device has a log for the day, as the calendar finds it.
int CheckDayHasLog(const RenderOptions& options) {
  int32_t days[DAY_LIST_CAPACITY];
  int count = ListLogDays(options.year, options.month, days);
  const int32_t wanted = options.year * 10000 + options.month * 100 + options.day;
  for (int i = 0; i < count; ++i) {
    if (days[i] == wanted) return 0;
  }
  return LogtoolFail("no log for %04d-%02d-%02d under %s (SDMMC/TEVOLOG/%04d/%02d/%08d.log)", options.year,
                     options.month, options.day, DeviceRoot().c_str(), options.year, options.month, wanted);
}

// 0 when the selected day's log can be read (and a note when it is cut).
int CheckSelectedLog() {
  std::string hostPath;
  if (ResolveDevicePath(SelectedLogPath(), &hostPath) != 0) return LogtoolFail("the log's path cannot be resolved");
  return CheckLogFile(hostPath.c_str());
}

// The host path of the map drawn: the one given, else the device's.
int MapHostPath(const RenderOptions& options, std::string* hostPath) {
  if (options.mapPath != nullptr) {
    *hostPath = options.mapPath;
  } else if (ResolveDevicePath(MAP_DATABASE_PATH, hostPath) != 0) {
    return LogtoolFail("the map database path cannot be resolved");
  }
  return 0;
}

// 0 when the picture would not replace the map or the log it is drawn from.
int CheckOutputIsNoInput(const RenderOptions& options) {
  std::string mapPath, logPath;
  if (MapHostPath(options, &mapPath) != 0) return 1;
  if (options.logPath != nullptr) {
    logPath = options.logPath;
  } else if (options.hasDate && ResolveDevicePath(SelectedLogPath(), &logPath) != 0) {
    return LogtoolFail("the log's path cannot be resolved");
  }
  for (const std::string& input : {mapPath, logPath}) {
    if (IsSameFile(options.output, input.c_str())) {
      return LogtoolFail("-o %s is the input %s: refused, it would be overwritten", options.output, input.c_str());
    }
  }
  return 0;
}

// 0 when the renderer found a map with a parcel index that has levels and
// a block size: an all-zero file opens, but draws nothing.
int CheckMapLoaded(const RenderOptions& options, const MapDataOwner& map) {
  const MapDatabase* database = map.Database();
  const ManagementHeader* header = database->GetManagementHeader();
  const ParcelIndex* index = database->GetParcelIndex();
  std::string hostPath;
  if (MapHostPath(options, &hostPath) != 0) return 1;
  if (header != nullptr && index != nullptr && header->blockSize != 0 && index->levelCount != 0) {
    return CheckMapIndex(hostPath.c_str(), *database) != 0 ? 1 : CheckEveryParcel(hostPath.c_str(), map);
  }
  FILE* probe = OpenReadableFile(hostPath.c_str());
  if (probe == nullptr) return LogtoolFail("no map database at %s: %s", hostPath.c_str(), OpenFailureText(errno));
  std::fclose(probe);
  return LogtoolFail("the map database %s cannot be read (damaged, or not a map database)", hostPath.c_str());
}

// Waits for the renderer's frame-done event of the frame asked for.
int WaitForFrame(Event* frameDone, const char* what) {
  if (WaitEvent(frameDone, FRAME_TIMEOUT_MS) == WAIT_SIGNALLED) return 0;
  return LogtoolFail("the renderer did not finish the %s frame within %u s", what, FRAME_TIMEOUT_MS / 1000);
}

// Draws the frame asked for: at exactly the view given by a centre and a
// step, else fitted to the track (or the default view) first, then moved to
// the centre or step asked for, if any.
int DrawRequestedFrame(MapRenderer* renderer, Event* frameDone, const RenderOptions& options) {
  if (!(options.hasCenter && options.step >= 0)) {
    renderer->RequestRedraw();
    if (WaitForFrame(frameDone, "fitted") != 0) return 1;
    if (!options.hasCenter && options.step < 0 && options.area == AREA_CANVAS) return 0;
  }
  MapCoord center = options.hasCenter ? options.center : renderer->TargetCenter();
  int32_t step = options.step >= 0 ? options.step : renderer->TargetStep();
  renderer->RequestView(center, step, options.area);
  return WaitForFrame(frameDone, "requested");
}

// The picture written: the whole canvas, or the part the screen shows.
void OutputSize(const RenderOptions& options, int32_t* width, int32_t* height) {
  *width = options.screen ? std::min(options.width, SCREEN_WIDTH) : options.width;
  *height = options.screen ? std::min(options.height, SCREEN_HEIGHT) : options.height;
}

int WriteFrame(MapRenderer* renderer, const RenderOptions& options) {
  int32_t width = 0, height = 0;
  OutputSize(options, &width, &height);
  Canvas picture;
  CreateCanvas(&picture, width, height);
  if (picture.pixels == nullptr) return LogtoolFail("no memory for a %dx%d picture", width, height);
  if (renderer->CopyFrame(&picture, 0, 0, width, height) != 0) return LogtoolFail("the renderer has no finished frame");
  std::string error;
  if (WriteRgb565Png(options.output, picture.pixels, width, height, picture.stride, &error) != 0) {
    return LogtoolFail("%s", error.c_str());
  }
  return 0;
}

void PrintSummary(const MapRenderer& renderer, const Track* track, const RenderOptions& options) {
  const MapCoord center = renderer.CurrentCenter();
  int32_t width = 0, height = 0;
  OutputSize(options, &width, &height);
  const char* source = options.logPath != nullptr ? options.logPath : "-";
  char day[16] = "-";
  if (options.hasDate) std::snprintf(day, sizeof day, "%04d-%02d-%02d", options.year, options.month, options.day);
  std::printf("%s %s points %d step %u scale %d m center %.6f,%.6f size %dx%d\n", options.output,
              options.hasDate ? day : source, track != nullptr ? track->count : 0, renderer.CurrentStep(),
              renderer.GetScaleMetres(), static_cast<double>(center.x) / MAP_UNITS_PER_DEGREE,
              static_cast<double>(center.y) / MAP_UNITS_PER_DEGREE, width, height);
  const ParcelList* roads = renderer.RoadParcels();
  const uint16_t level = roads != nullptr ? roads->levelCode : SCALE_STEPS[renderer.CurrentStep()].roadLevel;
  std::printf("center-units %d,%d step %u level %u detail %d\n", center.x, center.y, renderer.CurrentStep(), level,
              DetailClassAt(LoadedParcelIndex(renderer.Map()), renderer.CurrentStep()));
}

// Draws the frame just drawn again at its view until `options.repeat`
// frames are drawn, and gives what each of them drew.
int RepeatFrame(MapRenderer* renderer, Event* frameDone, const RenderOptions& options,
                std::vector<FrameStats>* frames) {
  frames->push_back(renderer->LastFrameStats());
  const MapCoord center = renderer->CurrentCenter();
  const uint16_t step = renderer->CurrentStep();
  for (int32_t i = 1; i < options.repeat; ++i) {
    renderer->RequestView(center, step, options.area);
    if (WaitForFrame(frameDone, "repeated") != 0) return 1;
    frames->push_back(renderer->LastFrameStats());
  }
  return 0;
}

// The median of what `seconds` takes from each frame.
template <typename Seconds>
double MedianOf(const std::vector<FrameStats>& frames, Seconds seconds) {
  std::vector<double> values;
  for (const FrameStats& stats : frames) values.push_back(seconds(stats));
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

// The median time of a memset of a width x height canvas: the unit frame
// times are compared with, on this machine at this moment.
double CanvasMemsetSeconds(int32_t width, int32_t height) {
  std::vector<uint16_t> pixels(static_cast<size_t>(width) * height);
  std::vector<double> seconds;
  volatile uint16_t sink = 0;
  for (int i = 0; i < MEMSET_SAMPLES; ++i) {
    const auto start = std::chrono::steady_clock::now();
    std::memset(pixels.data(), i & 0xFF, pixels.size() * sizeof(uint16_t));
    sink = pixels[static_cast<size_t>(i) % pixels.size()];
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  (void)sink;
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

void PrintStats(const std::vector<FrameStats>& frames, const RenderOptions& options) {
  const FrameStats& last = frames.back();
  std::printf("parcels roads %u, areas %u\n", last.roadParcels, last.areaParcels);
  std::printf("road groups %u, links %u\n", last.roadGroups, last.roadLinks);
  std::printf("background areas %u, lines %u\n", last.areasFilled, last.linesDrawn);
  const uint32_t* placed = last.namesPlaced;
  const uint32_t* leftOut = last.namesLeftOut;
  std::printf(
      "names placed %u, left out for room %u (placed: point %u, anchored %u, angled %u, along lines %u; "
      "left out: point %u, anchored %u, angled %u)\n",
      last.NamesPlaced(), last.NamesLeftOut(), placed[NAME_KIND_POINT], placed[NAME_KIND_ANCHORED],
      placed[NAME_KIND_ANGLED], placed[NAME_KIND_LINE], leftOut[NAME_KIND_POINT], leftOut[NAME_KIND_ANCHORED],
      leftOut[NAME_KIND_ANGLED]);
  const double frame = MedianOf(frames, [](const FrameStats& f) { return f.frameSeconds; });
  const double frameCpu = MedianOf(frames, [](const FrameStats& f) { return f.frameCpuSeconds; });
  const double memset = CanvasMemsetSeconds(options.width, options.height);
  static constexpr const char* PASS_NAMES[PASS_COUNT] = {"base areas", "features", "roads", "names", "track"};
  std::printf("time frame %.3f ms, %.1f x a canvas memset (%.1f us), processor %.3f ms; passes", frame * 1e3,
              memset > 0 ? frame / memset : 0.0, memset * 1e6, frameCpu * 1e3);
  for (int pass = 0; pass < PASS_COUNT; ++pass) {
    const double seconds = MedianOf(frames, [pass](const FrameStats& f) { return f.passSeconds[pass]; });
    std::printf("%s %s %.3f ms", pass == 0 ? "" : ",", PASS_NAMES[pass], seconds * 1e3);
  }
  const double select = MedianOf(frames, [](const FrameStats& f) { return f.selectSeconds; });
  std::printf("; parcel selection %.3f ms (first frame %.3f ms) (median of %zu frames)\n", select * 1e3,
              frames.front().selectSeconds * 1e3, frames.size());
}

}  // namespace

int RunRenderCommand(int argc, char** argv) {
  RenderOptions options;
  int status = ParseRenderOptions(argc, argv, &options);
  if (status >= 0) return status;
  SetDeviceRoot(options.deviceRoot);
  Track* logTrack = nullptr;
  if (options.logPath != nullptr) {
    if (CheckLogFile(options.logPath) != 0) return 1;
    logTrack = LoadTrack(options.logPath);
    if (logTrack == nullptr) return LogtoolFail("no track in the log '%s'", options.logPath);
  } else if (options.hasDate) {
    if (CheckDayHasLog(options) != 0) return 1;
    SelectLogDay(options.year, options.month, options.day);
    if (CheckSelectedLog() != 0) return 1;
  } else {
    ReplaceSelectedDay("");
  }
  if (CheckOutputIsNoInput(options) != 0) {
    ReleaseTrack(logTrack);
    return 1;
  }

  // The renderer loads the map when it is made (the one given, else the
  // device's); without one a frame would show nothing but the land colour.
  MapDataOwner mapData(options.mapPath);
  auto* renderer = new MapRenderer(&mapData);
  renderer->SetFixedTrack(logTrack);
  Event* frameDone = CreateEvent(nullptr);
  status = CheckMapLoaded(options, mapData);
  if (status == 0) {
    renderer->Initialise(options.width, options.height, frameDone);
    status = DrawRequestedFrame(renderer, frameDone, options);
  }
  // A log that the reader gave no track for draws no track: not the
  // picture asked for.
  if (status == 0 && options.hasDate && GetSelectedTrack() == nullptr) status = LogtoolFail("no track in the day's log");
  std::vector<FrameStats> frames;
  if (status == 0) status = RepeatFrame(renderer, frameDone, options, &frames);
  if (status == 0) status = WriteFrame(renderer, options);
  if (status == 0) PrintSummary(*renderer, logTrack != nullptr ? logTrack : GetSelectedTrack(), options);
  if (status == 0 && options.stats) PrintStats(frames, options);
  delete renderer;
  CloseEvent(frameDone);
  ReleaseTrack(logTrack);
  return status;
}
