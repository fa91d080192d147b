// Helpers of the renderer tests: a device root with a map file and day
// logs, a renderer with its frame-done event, and a gate that holds the
// renderer's worker inside a frame.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "canvas/canvas.h"
#include "canvas/sizes.h"
#include "logs/log_directory.h"
#include "logs/selected_day.h"
#include "logs_test_support.h"
#include "mapdata/block_cache.h"
#include "mapdata/map_database.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "render/map_renderer.h"
#include "tools/mapwriter/map_writer.h"

// Frames are waited for at most this long; a frame takes milliseconds.
constexpr uint32_t FRAME_WAIT_MS = 20000;

// A position in degrees east and north.
struct Degrees {
  double lon;
  double lat;
};

// Degrees as NMEA "ddmm.mmmm" (latitude, 2 degree digits) or "dddmm.mmmm".
inline std::string NmeaDegrees(double degrees, int degreeDigits) {
  long long tenThousandths = std::llround(degrees * 60.0 * 10000.0);
  char text[32];
  std::snprintf(text, sizeof text, "%0*lld%02lld.%04lld", degreeDigits, tenThousandths / 600000,
                tenThousandths % 600000 / 10000, tenThousandths % 10000);
  return text;
}

// A day log of one "$GPRMC" sentence per position, one second apart.
inline std::string DayLog(const std::vector<Degrees>& positions) {
  std::string log;
  for (size_t i = 0; i < positions.size(); ++i) {
    char time[16];
    std::snprintf(time, sizeof time, "%02zu%02zu%02zu.00", i / 3600 % 24, i / 60 % 60, i % 60);
    log += Rmc(time, NmeaDegrees(positions[i].lat, 2), NmeaDegrees(positions[i].lon, 3)) + "\r\n";
  }
  return log;
}

// A map with the seven standard levels and no parcels yet.
inline MapDescription StandardMap(uint16_t flags = 0) {
  MapDescription map;
  map.flags = flags;
  AddStandardLevels(&map);
  return map;
}

// The demonstration map: Tokyo, Nagoya and Osaka at every level, parcels
// without content.
inline MapDescription DemoMap(uint16_t flags = 0) {
  MapDescription map;
  map.flags = flags;
  DescribeDemoMap(&map, [](int, uint32_t, uint32_t) { return ParcelData{}; });
  return map;
}

// Covers `box` at the level with `levelCode` with empty parcels.
inline void CoverLevel(MapDescription* map, uint16_t levelCode, const InclusiveRect& box) {
  for (int i = 0; i < STANDARD_LEVEL_COUNT; ++i) {
    if (STANDARD_LEVELS[i].levelCode == levelCode) {
      CoverBox(map, i, box, [](int, uint32_t, uint32_t) { return ParcelData{}; });
    }
  }
}

// Central Tokyo, inside the demonstration map.
constexpr Degrees TOKYO = {139.7671, 35.6812};

// A device root with a map file and logs; each test builds a renderer after
// writing the map, since the renderer loads the map when it is constructed.
class RenderTest : public DeviceRootTest {
 protected:
  void TearDown() override {
    renderer.reset();
    CloseEvent(frameDone);
    frameDone = nullptr;
    // Later tests start without a selected day.
    ReplaceSelectedDay("");
    mapData.reset();
    DeviceRootTest::TearDown();
  }

  // Writes the device's map. A renderer and the map data of an earlier map
  // go first, so the next renderer loads this one.
  void WriteMap(const MapDescription& map) {
    renderer.reset();
    mapData.reset();
    fs::path file = root / "NAND/CMC/KDH/ALLDATA.KWI";
    fs::create_directories(file.parent_path());
    std::string error;
    ASSERT_EQ(WriteMapFile(map, file.c_str(), nullptr, &error), 0) << error;
  }

  // Writes the log of 2009-05-`day`.
  void WriteDay(int32_t day, const std::string& log) {
    char name[64];
    std::snprintf(name, sizeof name, "SDMMC/TEVOLOG/2009/05/200905%02d.log", day);
    WriteFile(root / name, log);
  }

  // Selects 2009-05-`day` and returns its track as the reader gives it.
  const Track* SelectDay(int32_t day) {
    SelectLogDay(2009, 5, day);
    return GetSelectedTrack();
  }

  // Constructs and initialises the renderer with a map-sized canvas.
  MapRenderer* StartRenderer(int32_t width = MAP_CANVAS_WIDTH, int32_t height = MAP_CANVAS_HEIGHT) {
    renderer.reset();
    CloseEvent(frameDone);
    frameDone = CreateEvent(nullptr);
    renderer = std::make_unique<MapRenderer>(MapData());
    renderer->Initialise(width, height, frameDone);
    return renderer.get();
  }

  // True when the frame-done event comes within `ms`.
  bool FrameDone(uint32_t ms = FRAME_WAIT_MS) { return WaitEvent(frameDone, ms) == WAIT_SIGNALLED; }

  // Asks for a view and waits for its frame.
  void DrawView(MapCoord center, int32_t step) {
    ASSERT_EQ(renderer->RequestView(center, step), 0);
    ASSERT_TRUE(FrameDone());
  }

  // The whole last frame.
  std::vector<uint16_t> CopyWholeFrame() {
    Canvas picture;
    CreateCanvas(&picture, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
    EXPECT_EQ(renderer->CopyFrame(&picture, 0, 0, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT), 0);
    std::vector<uint16_t> pixels;
    for (int32_t y = 0; y < picture.height; ++y) {
      pixels.insert(pixels.end(), picture.pixels + y * picture.stride, picture.pixels + y * picture.stride + picture.width);
    }
    return pixels;
  }

  Event* frameDone = nullptr;
  // The test's owner of the map data, made on first use (after the test
  // has written its map) and kept until the end of the test.
  MapDataOwner* MapData() {
    if (!mapData) mapData = std::make_unique<MapDataOwner>();
    return mapData.get();
  }

  std::unique_ptr<MapDataOwner> mapData;
  std::unique_ptr<MapRenderer> renderer;
};

// A day log that holds the renderer's worker inside a frame: the log is an
// empty file, and every open of it for reading waits at a gate in this
// process until the test lets one through. The reader then finds no bytes
// and the day has no track. One gate at a time; it opens for good when it
// goes.
class LogGate {
 public:
  explicit LogGate(const fs::path& file) : path(file.string()) {
    WriteFile(file, "");
    active = this;
    SetReadableFileHook(&LogGate::OnOpen);
  }
  ~LogGate() {
    SetReadableFileHook(nullptr);
    Open();
    active = nullptr;
  }
  LogGate(const LogGate&) = delete;
  LogGate& operator=(const LogGate&) = delete;

  // True once a reader waits at the gate, within `ms`.
  bool Held(uint32_t ms = FRAME_WAIT_MS) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return arrived > passed; });
  }

  // Lets every reader through from now on.
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      open = true;
    }
    changed.notify_all();
  }

  // Lets one waiting reader through, waiting up to `ms` for one to arrive.
  // False when none came; no pass is then left for a later reader.
  bool Release(uint32_t ms = FRAME_WAIT_MS) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return arrived > passed; })) return false;
    ++passed;
    changed.notify_all();
    return true;
  }

 private:
  static void OnOpen(const char* hostPath) {
    LogGate* gate = active;
    if (gate != nullptr && gate->path == hostPath) gate->Wait();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    const uint64_t ticket = arrived++;
    changed.notify_all();
    changed.wait(lock, [&] { return open || passed > ticket; });
  }

  static inline std::atomic<LogGate*> active{nullptr};
  std::string path;
  std::mutex mutex;
  std::condition_variable changed;
  uint64_t arrived = 0;  // readers that came to the gate
  uint64_t passed = 0;   // readers let through, in the order they came
  bool open = false;
};

// Polls `condition` every millisecond for up to `ms`; true when it held.
template <typename Condition>
bool Eventually(Condition condition, uint32_t ms = FRAME_WAIT_MS) {
  for (uint32_t waited = 0; waited < ms; ++waited) {
    if (condition()) return true;
    Sleep(1);
  }
  return condition();
}
