// Which parcels a frame draws: the parcels of the step's levels around the
// centre, the finest level only where it covers the whole loaded area.
#include <algorithm>
#include <iterator>

#include "geometry/rect_tests.h"
#include "render/map_renderer.h"

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
// where its parcels cover all four corners of the loaded area (tested in
// the order south-west, south-east, north-east, north-west); otherwise, or
// when it has none there, the base level is asked instead.
ParcelList* FindViewParcels(const MapDataOwner* map, const FrameView& view, uint16_t level) {
  MapCoord center = view.center;
  const int32_t hw = view.halfWidth, hh = view.halfHeight;
  ParcelList* list = FindParcels(map, &center, hw, hh, level);
  if (level != LEVEL_CODE_FINEST) return list;
  if (list != nullptr) {
    const MapCoord corners[4] = {{center.x - hw, center.y - hh},
                                 {center.x + hw, center.y - hh},
                                 {center.x + hw, center.y + hh},
                                 {center.x - hw, center.y + hh}};
    bool covered = std::all_of(std::begin(corners), std::end(corners),
                               [list](MapCoord corner) { return CoversPoint(*list, corner); });
    if (covered) return list;
    FreeParcelList(list);
  }
  return FindParcels(map, &center, hw, hh, LEVEL_CODE_BASE);
}

}  // namespace

void MapRenderer::SelectParcels() {
  const ScaleStep& current = SCALE_STEPS[view.step];
  FreeParcelList(roadParcels);
  roadParcels = FindViewParcels(map, view, current.roadLevel);
  FreeParcelList(areaParcels);
  areaParcels = FindViewParcels(map, view, current.areaLevel);
}
