#include <cstdint>

#include "mapdata/map_database.h"
#include "render/passes.h"

namespace {

void RunPass(Frame* frame, const PassObserver& observer, RenderPass pass, void (*draw)(Frame*)) {
  if (observer.beforePass != nullptr) observer.beforePass(observer.context, pass, *frame);
  draw(frame);
}

}  // namespace

void DrawLayers(Frame* frame, const PassObserver& observer) {
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

int32_t DetailClass(const Frame& frame) { return DetailClassAt(frame.view.step); }

int32_t DetailClassAt(uint16_t step) {
  if (step > MAX_SCALE_STEP) return -1;
  const MapDatabase* database = MapDatabase::Instance();
  const ParcelIndex* index = database != nullptr ? database->GetParcelIndex() : nullptr;
  if (index == nullptr) return -1;
  int level = FindLevel(*index, SCALE_STEPS[step].roadLevel);
  if (level < 0) return -1;
  const uint32_t wanted = THRESHOLD_PER_METRE * static_cast<uint32_t>(SCALE_STEPS[step].metres);
  for (int32_t i = 0; i < LEVEL_THRESHOLDS; ++i) {
    if (index->levels[level].thresholds[i] >= wanted) return i;
  }
  return -1;
}
