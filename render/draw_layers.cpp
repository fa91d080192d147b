#include <chrono>
#include <cstdint>

#include "mapdata/parcel_index.h"
#include "render/passes.h"

namespace {

void RunPass(Frame* frame, const PassObserver& observer, RenderPass pass, void (*draw)(Frame*)) {
  if (observer.beforePass != nullptr) observer.beforePass(observer.context, pass, *frame);
  const auto start = std::chrono::steady_clock::now();
  draw(frame);
  frame->stats.passSeconds[pass] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void DrawLayers(Frame* frame, const PassObserver& observer) {
  frame->stats.roadParcels = frame->roadParcels != nullptr ? frame->roadParcels->count : 0;
  frame->stats.areaParcels = frame->areaParcels != nullptr ? frame->areaParcels->count : 0;
  // Where the map has no parcels (a day recorded outside its data) the
  // frame is the background colour, and the track is still drawn over it.
  if (frame->roadParcels == nullptr || frame->areaParcels == nullptr) {
    RunPass(frame, observer, PASS_TRACK, DrawTrack);
    return;
  }
  // At the overview level only the background areas and the track are drawn.
  const bool overview = RoadLevel(*frame) == LEVEL_CODE_OVERVIEW;
  RunPass(frame, observer, PASS_BASE_AREAS, DrawBaseAreas);
  if (!overview) {
    RunPass(frame, observer, PASS_FEATURES, DrawFeatures);
    RunPass(frame, observer, PASS_ROADS, DrawRoads);
    RunPass(frame, observer, PASS_NAMES, DrawNames);
  }
  RunPass(frame, observer, PASS_TRACK, DrawTrack);
}

int32_t DetailClass(const Frame& frame) { return DetailClassOf(frame.roadLevelEntry, frame.view.step); }

int32_t DetailClassAt(const ParcelIndex* index, uint16_t step) {
  if (step > MAX_SCALE_STEP || index == nullptr) return -1;
  int level = FindLevel(*index, SCALE_STEPS[step].roadLevel);
  return level < 0 ? -1 : DetailClassOf(&index->levels[level], step);
}

int32_t DetailClassOf(const LevelEntry* level, uint16_t step) {
  if (level == nullptr || step > MAX_SCALE_STEP) return -1;
  const uint32_t wanted = THRESHOLD_PER_METRE * static_cast<uint32_t>(SCALE_STEPS[step].metres);
  for (int32_t i = 0; i < LEVEL_THRESHOLDS; ++i) {
    if (level->thresholds[i] >= wanted) return i;
  }
  return -1;
}
