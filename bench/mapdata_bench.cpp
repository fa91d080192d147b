// FindParcels for the renderer's 996 × 580 canvas at steps 0, 6, 12 and 18
// on a map of realistic size (thousands of parcels per level), with a cold
// block cache (every table read from the file) and a warm one; and the
// decoding of the roads, background and names of all parcels of such a
// frame, cold (pools and cache emptied) and warm (pooled), with the decoded
// parcels' memory against their bytes in the file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "canvas/sizes.h"
#include "mapdata/background_records.h"
#include "mapdata/block_cache.h"
#include "mapdata/name_records.h"
#include "mapdata/parcel_index.h"
#include "mapdata/road_records.h"
#include "tests/map_records_support.h"
#include "tools/mapwriter/map_writer.h"

namespace {

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

// Parcel content of a middling town parcel: 6 road groups of 8 objects of
// two 12-delta segments, an area class and a line class of 6 items each,
// and 6 names of 8 characters.
constexpr int ROAD_GROUPS = 6;
constexpr int ROAD_OBJECTS = 8;
constexpr int SEGMENT_DELTAS = 12;
constexpr int FEATURE_ITEMS = 6;
constexpr int NAME_RECORDS = 6;
constexpr int NAME_CHARS = 8;

Bytes BenchRoads(uint32_t seed) {
  Bytes object;
  object.U32(5).U16(2).U16(0).U16(0x2000);
  for (int s = 0; s < 2; ++s) {
    object.U16(SEGMENT_DELTAS).U16(100 + seed % 1000).U16(200 + 40 * s);
    for (int d = 0; d < SEGMENT_DELTAS; ++d) object.U8(d % 2 ? 3 : 0xFD).U8(5);
  }
  Bytes group;
  group.U16(0x000F);
  for (int i = 0; i < ROAD_OBJECTS; ++i) group.Append(object);
  Bytes section;
  section.U16(0).U16(0).U8(ROAD_GROUPS).U8(0).U16(0);
  const uint32_t tableWords = (8 + 4 * ROAD_GROUPS) / 2;
  for (int g = 0; g < ROAD_GROUPS; ++g) section.U16(tableWords + g * group.Size() / 2).U16(ROAD_OBJECTS);
  for (int g = 0; g < ROAD_GROUPS; ++g) section.Append(group);
  return section;
}

Bytes BenchItems(uint16_t points) {
  Bytes items;
  for (int i = 0; i < FEATURE_ITEMS; ++i) {
    items.U16(6 + points - 1).U16((4u << 11) | (points - 1)).U16(3).U16(0x0001).U16(100 * i).U16(50);
    for (int p = 1; p < points; ++p) items.U8(p % 4 == 0 ? 0xF0 : 4).U8(p % 3);
  }
  return items;
}

Bytes BenchBackground() {
  Bytes section;
  section.U16(64);
  const Bytes areas = BenchItems(24), lines = BenchItems(16);
  const uint32_t areaClass = 65, lineClass = areaClass + 3 + areas.Size() / 2;
  for (int c = 0; c < 32; ++c) section.U16(c == 0 ? areaClass : c == 1 ? lineClass : 0).U16(c < 2 ? 1 : 0);
  section.U16(1).U16(3).U16(0x8000 | FEATURE_ITEMS).Append(areas);
  section.U16(1).U16(3).U16(0x4000 | FEATURE_ITEMS).Append(lines);
  return section;
}

Bytes BenchNames() {
  Bytes section;
  section.U16(3).U16(3).U16(NAME_RECORDS);
  for (int r = 0; r < NAME_RECORDS; ++r) {
    section.U16(7 + NAME_CHARS).U16(0xF900).U16(r).U16(0).U16(500 * r).U16(300).U16(NAME_CHARS);
    for (int c = 0; c < NAME_CHARS; ++c) section.U8(0x42 + c).U8(0x30);
  }
  return section;
}

ParcelData BenchSections(uint32_t seed) {
  ParcelData data;
  data.road = BenchRoads(seed).data;
  data.background = BenchBackground().data;
  data.names = BenchNames().data;
  return data;
}

std::string WriteBenchMap(const std::filesystem::path& dir) {
  MapDescription map;
  if (AddStandardLevels(&map) != 0) return {};
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    const int32_t w = STANDARD_LEVELS[level].parcelWidth, h = STANDARD_LEVELS[level].parcelHeight;
    const InclusiveRect box{VIEW_CENTER.x - w * COVER_COLUMNS / 2, VIEW_CENTER.y - h * COVER_ROWS / 2,
                     VIEW_CENTER.x + w * (COVER_COLUMNS / 2 - 1), VIEW_CENTER.y + h * (COVER_ROWS / 2 - 1)};
    CoverBox(&map, level, box, [](int, uint32_t row, uint32_t column) { return BenchSections(row ^ column); });
  }
  const std::string path = (dir / "bench.kwi").string();
  MapLayout layout;
  if (WriteMapFile(map, path.c_str(), &layout) != 0) return {};
  std::fprintf(stderr, "bench map: %zu parcels, %u bytes\n", map.parcels.size(), layout.fileBytes);
  return path;
}

void Query(benchmark::State& state, const BenchStep& step, bool cold) {
  const int32_t halfWidth = MAP_CANVAS_WIDTH * step.unitsPerPixel / 2;
  const int32_t halfHeight = MAP_CANVAS_HEIGHT * step.unitsPerPixel / 2;
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

// Heap bytes a decoded parcel holds (its structures, arrays and points).
uint64_t DecodedBytes(const RoadParcel* roads) {
  uint64_t bytes = sizeof(RoadParcel);
  for (int g = 0; g < roads->groupCount; ++g) {
    const RoadGroup& group = roads->groups[g];
    if (group.objects != nullptr) bytes += group.objectCount * (sizeof(ShapeSegment*) + sizeof(uint16_t));
    for (int o = 0; o < group.decodedCount; ++o) {
      for (const ShapeSegment* s = group.objects[o]; s != nullptr; s = s->next) bytes += sizeof(ShapeSegment) + 2 * s->deltaCount;
    }
  }
  return bytes;
}

uint64_t DecodedBytes(const BackgroundParcel* background) {
  uint64_t bytes = sizeof(BackgroundParcel);
  for (const FeatureClass& featureClass : background->classes) {
    bytes += featureClass.groupCount * (2 * sizeof(uint16_t) + sizeof(FeatureGroup));
    for (int g = 0; g < featureClass.groupCount; ++g) {
      const FeatureGroup& group = featureClass.groups[g];
      bytes += group.itemCount * sizeof(FeatureItem);
      for (int i = 0; i < group.itemCount; ++i) {
        if (group.items[i].points != nullptr) bytes += group.items[i].pointCount * sizeof(FeaturePoint);
      }
    }
  }
  return bytes;
}

uint64_t DecodedBytes(const NameParcel* names) {
  uint64_t bytes = sizeof(NameParcel);
  for (int g = 0; g < names->groupCount; ++g) {
    const NameGroup& group = names->groups[g];
    if (group.records == nullptr) continue;
    bytes += group.recordCount * sizeof(NameRecord);
    for (int r = 0; r < group.recordCount; ++r) {
      const NameRecord& record = group.records[r];
      if (record.text != nullptr) bytes += 2 * record.charCount + 2;
      if (record.placement != nullptr) bytes += 3 * record.charCount;
    }
  }
  return bytes;
}

// Acquires the roads, background and names of every parcel of a frame and
// releases them. Cold: the pools and the block cache are emptied before
// each frame, so every parcel is read and decoded; warm: every parcel comes
// from the pools.
void Decode(benchmark::State& state, const BenchStep& step, bool cold) {
  const int32_t halfWidth = MAP_CANVAS_WIDTH * step.unitsPerPixel / 2;
  const int32_t halfHeight = MAP_CANVAS_HEIGHT * step.unitsPerPixel / 2;
  ParcelList* list = FindParcels(&VIEW_CENTER, halfWidth, halfHeight, step.levelCode);
  if (list == nullptr) {
    state.SkipWithError("no parcels found");
    return;
  }
  MapDatabase* database = MapDatabase::Instance();
  const uint32_t blockSize = database->GetManagementHeader()->blockSize;
  uint64_t decodedBytes = 0, fileBytes = 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      database->roadPool.ReleaseAll();
      database->backgroundPool.ReleaseAll();
      database->namePool.ReleaseAll();
      DestroyBlockCache();
      state.ResumeTiming();
    }
    decodedBytes = fileBytes = 0;
    for (uint16_t i = 0; i < list->count; ++i) {
      const ParcelEntry& entry = list->entries[i];
      RoadParcel* roads = AcquireRoads(entry);
      BackgroundParcel* background = AcquireBackground(entry);
      NameParcel* names = AcquireNames(entry);
      if (roads == nullptr || background == nullptr || names == nullptr) state.SkipWithError("a parcel did not decode");
      decodedBytes += DecodedBytes(roads) + DecodedBytes(background) + DecodedBytes(names);
      fileBytes += uint64_t{entry.size} * blockSize;
      ReleaseNames(names);
      ReleaseBackground(background);
      ReleaseRoads(roads);
    }
  }
  state.counters["parcels"] = list->count;
  state.counters["decodedBytes"] = static_cast<double>(decodedBytes);
  state.counters["fileBytes"] = static_cast<double>(fileBytes);
  state.counters["memoryPerFileByte"] = fileBytes == 0 ? 0.0 : static_cast<double>(decodedBytes) / fileBytes;
  FreeParcelList(list);
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
  for (const BenchStep& step : STEPS) {
    for (const bool cold : {true, false}) {
      const std::string name = std::string("DecodeFrame/") + (cold ? "cold" : "warm") + "/step:" + std::to_string(step.step);
      benchmark::RegisterBenchmark(name.c_str(), [step, cold](benchmark::State& state) { Decode(state, step, cold); })
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
