// Which parcels a frame draws: the parcels of the step's levels around the
// centre, the finest level only where it covers the whole loaded area; and
// the decoded parcels of those lists, held by the frame for its passes.
#include "render/frame_setup.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "geometry/rect_tests.h"
#include "mapdata/parcel_index.h"
#include "render/passes.h"

namespace {

bool CoversPoint(const ParcelList& list, MapCoord corner) {
  for (uint16_t i = 0; i < list.count; ++i) {
    const ParcelEntry& e = list.entries[i];
    InclusiveRect rect{e.x0, e.y0, e.x0 + e.width, e.y0 + e.height};
    if (PointInRect(rect, Point{corner.x, corner.y})) return true;
  }
  return false;
}

// The parcels of `level` around the centre. The finest level is used only
// where its list is complete and its parcels cover all four corners of the
// loaded area (tested in the order south-west, south-east, north-east,
// north-west); otherwise, or when it has none there, the base level is
// asked instead.
ParcelList* FindViewParcels(const MapDataOwner* map, const FrameView& view, uint16_t level) {
  MapCoord center = view.center;
  const int32_t hw = view.halfWidth, hh = view.halfHeight;
  ParcelList* list = FindParcels(map, &center, hw, hh, level);
  if (level != LEVEL_CODE_FINEST) return list;
  if (list != nullptr && !list->incomplete) {
    const MapCoord corners[4] = {{center.x - hw, center.y - hh},
                                 {center.x + hw, center.y - hh},
                                 {center.x + hw, center.y + hh},
                                 {center.x - hw, center.y + hh}};
    bool covered = std::all_of(std::begin(corners), std::end(corners),
                               [list](MapCoord corner) { return CoversPoint(*list, corner); });
    if (covered) return list;
  }
  FreeParcelList(list);
  return FindParcels(map, &center, hw, hh, LEVEL_CODE_BASE);
}

const LevelEntry* LevelEntryOf(const MapDataOwner* map, uint16_t levelCode) {
  const ParcelIndex* index = LoadedParcelIndex(map);
  const int level = index == nullptr ? -1 : FindLevel(*index, levelCode);
  return level < 0 ? nullptr : &index->levels[level];
}

// Gives every entry of `list` its slot, holding its decoded parcel when
// `acquire` is given and leaving the slot null otherwise.
template <typename Parcel>
void HoldEach(MapDataOwner* map, const ParcelList& list, Parcel* (*acquire)(MapDataOwner*, const ParcelEntry&),
              std::vector<Parcel*>* slots) {
  slots->assign(list.count, nullptr);
  if (acquire == nullptr) return;
  for (uint16_t i = 0; i < list.count; ++i) (*slots)[i] = acquire(map, list.entries[i]);
}

template <typename Parcel>
void ReleaseEach(MapDataOwner* map, int (*release)(MapDataOwner*, Parcel*), std::vector<Parcel*>* slots) {
  for (Parcel* held : *slots) {
    if (held != nullptr) release(map, held);
  }
  slots->clear();
}

}  // namespace

void SelectViewParcels(const MapDataOwner* map, const FrameView& view, ParcelList** roads, ParcelList** areas) {
  const ScaleStep& current = SCALE_STEPS[view.step];
  FreeParcelList(*roads);
  *roads = FindViewParcels(map, view, current.roadLevel);
  FreeParcelList(*areas);
  *areas = FindViewParcels(map, view, current.areaLevel);
}

// Only the kinds that the passes of DrawLayers will draw at the frame's
// step are decoded: base areas need a detail class, background lines the
// area level, and the overview level draws base areas alone.
void HoldFrame(MapDataOwner* map, const FrameView& view, const ParcelList* roadParcels,
               const ParcelList* areaParcels, DrawKit* kit, Frame* frame) {
  frame->view = view;
  frame->roadParcels = roadParcels;
  frame->areaParcels = areaParcels;
  frame->kit = kit;
  frame->roadLevelEntry = LevelEntryOf(map, RoadLevel(*frame));
  frame->areaLevelEntry = LevelEntryOf(map, AreaLevel(*frame));
  if (roadParcels == nullptr || areaParcels == nullptr) return;
  const bool overview = RoadLevel(*frame) == LEVEL_CODE_OVERVIEW;
  const bool detailed = DetailClass(*frame) >= 0;
  const bool lines = !overview && frame->areaLevelEntry != nullptr;
  const bool linesFromAreas = LineParcels(*frame) == areaParcels;
  // Every pass may look at the slot of every entry of its list; the kinds
  // the passes will not draw keep null slots.
  HoldEach(map, *areaParcels, detailed || (lines && linesFromAreas) ? AcquireBackground : nullptr, &frame->areas);
  if (lines && linesFromAreas) {
    frame->lines = frame->areas;
  } else {
    HoldEach(map, *LineParcels(*frame), lines ? AcquireBackground : nullptr, &frame->lines);
  }
  HoldEach(map, *roadParcels, overview ? nullptr : AcquireRoads, &frame->roads);
  HoldEach(map, *roadParcels, !overview && detailed ? AcquireNames : nullptr, &frame->names);
}

void ReleaseFrame(MapDataOwner* map, Frame* frame) {
  // Lines drawn from the areas' list share the areas' parcels.
  if (LineParcels(*frame) == frame->areaParcels) frame->lines.clear();
  ReleaseEach(map, ReleaseBackground, &frame->lines);
  ReleaseEach(map, ReleaseBackground, &frame->areas);
  ReleaseEach(map, ReleaseRoads, &frame->roads);
  ReleaseEach(map, ReleaseNames, &frame->names);
}
