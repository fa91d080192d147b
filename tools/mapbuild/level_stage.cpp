#include "tools/mapbuild/level_stage.h"

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "tools/mapbuild/build_report.h"
#include "tools/mapbuild/road_router.h"

namespace {

// A level's work and its outcome, whichever thread did it.
struct LevelWork {
  std::unique_ptr<ParcelSpill> spill;
  std::string error;
  bool failed = false;
};

// The levels by the number of features that reach them, most first, so
// that the small levels' encoding is what is left at the end.
std::vector<int> LevelOrder(const SourceSpills& features) {
  std::vector<int> order(STANDARD_LEVEL_COUNT);
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) order[level] = level;
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return features.CountAt(a) > features.CountAt(b); });
  return order;
}

int CutOneLevel(const BuildContext& context, const SourceSpills& features, const MapDescription& map, int level,
                LevelWork* work, LevelResult* result) {
  const LevelGrid grid = GridOfLevel(map, level);
  const std::string prefix = context.temporary.Path() + "/level-" + std::to_string(grid.levelCode);
  work->spill = std::make_unique<ParcelSpill>(prefix + ".parcels", context.options.bucketBytes,
                                              CutWorkers(context.options));
  result->data.dataPath = prefix + ".data";
  if (CutLevel(context, features, grid, work->spill.get(), &result->cut, &work->error) != 0) {
    work->failed = true;
    return -1;
  }
  context.temporary.Measure();
  return 0;
}

void EncodeOneLevel(const BuildContext& context, uint16_t blockSize, LevelWork* work, LevelResult* result) {
  work->failed = EncodeLevel(context, blockSize, work->spill.get(), &result->data, &work->error) != 0;
  work->spill.reset();
}

// A warning for each of the level's hot spots, placed by its parcel's centre.
void WarnOfHotSpots(const BuildContext& context, const LevelGrid& grid, const std::vector<HotSpot>& spots) {
  for (const HotSpot& spot : spots) {
    const RoadPoint centre{static_cast<int32_t>(grid.west + (int64_t{spot.column} * 2 + 1) * grid.parcelWidth / 2),
                           static_cast<int32_t>(grid.south + (int64_t{spot.row} * 2 + 1) * grid.parcelHeight / 2)};
    double lat = 0, lon = 0;
    RoadPointToDegrees(centre, &lat, &lon);
    context.Warning(DescribeHotSpot(grid.levelCode, lon, lat, spot));
  }
}

// Says what the level gave and adds its parcels and losses to the summary.
void ReportLevel(const BuildContext& context, const LevelGrid& grid, const LevelResult& result) {
  const CutReport& cut = result.cut.report;
  const LevelData& data = result.data;
  BuildSummary* summary = context.summary;
  summary->parcels += static_cast<int32_t>(data.parcels.size());
  summary->dividedParcels += data.divided;
  const int64_t forSize = DroppedForSize(data.report) + cut.tooComplex;
  summary->droppedForSize += forSize;
  summary->hotSpots += static_cast<int32_t>(data.hotSpots.size());
  summary->hotSpotRecords += DroppedForSize(data.report);
  summary->dropped += forSize + cut.cutNames + cut.outsideMap;
  const LevelCounts counts{grid.levelCode, result.cut.features, data.parcels.size(),
                           data.divided, result.cut.spilledBytes, result.cut.runs};
  context.Line(DescribeLevel(counts, cut, data.report));
  for (const std::string& failure : data.report.failures) context.Line("  refused parcel: " + failure);
  for (const std::string& example : cut.cutExamples) context.Line("  cut name: " + example);
  WarnOfHotSpots(context, grid, data.hotSpots);
}

}  // namespace

int BuildLevels(const BuildContext& context, const SourceSpills& features, const MapDescription& map,
                LevelResult levels[STANDARD_LEVEL_COUNT], std::string* error) {
  int64_t total = 0;
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) total += features.CountAt(level);
  if (context.Meter() != nullptr) context.Meter()->Start("levels", static_cast<uint64_t>(total), "features");
  LevelWork work[STANDARD_LEVEL_COUNT];
  std::vector<std::thread> encoders;
  for (int level : LevelOrder(features)) {
    if (CutOneLevel(context, features, map, level, &work[level], &levels[level]) != 0) break;
    encoders.emplace_back([&context, &map, &work, levels, level]() {
      EncodeOneLevel(context, map.blockSize, &work[level], &levels[level]);
    });
  }
  for (std::thread& thread : encoders) thread.join();
  if (context.Meter() != nullptr) context.Meter()->Finish();
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    if (!work[level].failed) continue;
    *error = work[level].error;
    return -1;
  }
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    ReportLevel(context, GridOfLevel(map, level), levels[level]);
  }
  return 0;
}
