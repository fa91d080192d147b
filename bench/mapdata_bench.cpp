// FindParcels for the renderer's 996 × 580 canvas at steps 0, 6, 12 and 18
// on a map of realistic size (thousands of parcels per level), with a cold
// block cache (every table read from the file) and a warm one.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "mapdata/block_cache.h"
#include "mapdata/parcel_index.h"
#include "tools/mapwriter/map_writer.h"

namespace {

constexpr int32_t CANVAS_WIDTH = 996;
constexpr int32_t CANVAS_HEIGHT = 580;
// Near Tokyo station, away from parcel corners.
constexpr MapCoord VIEW_CENTER = {DegreesToUnits(139.7671), DegreesToUnits(35.6812)};
// Each level covers up to 64 × 48 of its parcels around the view (clipped
// to the map's extent): 3072 parcels at levels 62, 0, 2 and 4.
constexpr int32_t COVER_COLUMNS = 64;
constexpr int32_t COVER_ROWS = 48;

struct BenchStep {
  int step;
  int32_t unitsPerPixel;
  uint16_t levelCode;
};
constexpr BenchStep STEPS[] = {{0, 2, 62}, {6, 16, 0}, {12, 160, 4}, {18, 1600, 6}};

std::string WriteBenchMap(const std::filesystem::path& dir) {
  MapDescription map;
  if (AddStandardLevels(&map) != 0) return {};
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    const int32_t w = STANDARD_LEVELS[level].parcelWidth, h = STANDARD_LEVELS[level].parcelHeight;
    const MapBox box{VIEW_CENTER.x - w * COVER_COLUMNS / 2, VIEW_CENTER.y - h * COVER_ROWS / 2,
                     VIEW_CENTER.x + w * (COVER_COLUMNS / 2 - 1), VIEW_CENTER.y + h * (COVER_ROWS / 2 - 1)};
    CoverBox(&map, level, box, [](int, uint32_t row, uint32_t column) {
      ParcelData data;
      data.road.assign(96, static_cast<uint8_t>(row ^ column));
      data.background.assign(64, 1);
      return data;
    });
  }
  const std::string path = (dir / "bench.kwi").string();
  MapLayout layout;
  if (WriteMapFile(map, path.c_str(), &layout) != 0) return {};
  std::fprintf(stderr, "bench map: %zu parcels, %u bytes\n", map.parcels.size(), layout.fileBytes);
  return path;
}

void Query(benchmark::State& state, const BenchStep& step, bool cold) {
  const int32_t halfWidth = CANVAS_WIDTH * step.unitsPerPixel / 2;
  const int32_t halfHeight = CANVAS_HEIGHT * step.unitsPerPixel / 2;
  int64_t entries = 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      DestroyBlockCache();
      state.ResumeTiming();
    }
    ParcelList* list = FindParcels(&VIEW_CENTER, halfWidth, halfHeight, step.levelCode);
    if (list == nullptr) {
      state.SkipWithError("no parcels found");
      break;
    }
    entries = list->count;
    FreeParcelList(list);
  }
  state.counters["parcels"] = static_cast<double>(entries);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::random_device seed;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tevo-bench-mapdata-" + std::to_string(seed()));
  std::filesystem::create_directories(dir);
  const std::string path = WriteBenchMap(dir);
  if (path.empty() || LoadMapDatabase(path.c_str()) != 0) {
    std::fprintf(stderr, "bench_mapdata: cannot write or load the bench map in %s\n", dir.c_str());
    std::filesystem::remove_all(dir);
    return 1;
  }
  for (const BenchStep& step : STEPS) {
    for (const bool cold : {false, true}) {
      const std::string name =
          std::string("FindParcels/") + (cold ? "cold" : "warm") + "/step:" + std::to_string(step.step);
      benchmark::RegisterBenchmark(name.c_str(), [step, cold](benchmark::State& state) { Query(state, step, cold); })
          ->Unit(benchmark::kMicrosecond);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  MapDatabase::Destroy();
  DestroyBlockCache();
  std::filesystem::remove_all(dir);
  return 0;
}
