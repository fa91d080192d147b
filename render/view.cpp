// The view: which parcels a frame draws, and where a parcel's normalised
// points land on the canvas.
#include <algorithm>

#include "geometry/rect_tests.h"
#include "render/map_renderer.h"

namespace {

constexpr int32_t SCREEN_AREA_WIDTH = 480;
constexpr int32_t SCREEN_AREA_HEIGHT = 272;
// Above this width the transform divides before it multiplies, to stay
// within 32 bits.
constexpr uint32_t SMALL_PARCEL_MAX_WIDTH = 0x1FFFF;
// The window keeps two more decimal digits than dividing by pw / 4096.
constexpr int64_t WINDOW_PRECISION = 100;

bool CoversPoint(const ParcelList& list, MapCoord corner) {
  for (uint16_t i = 0; i < list.count; ++i) {
    const ParcelEntry& e = list.entries[i];
    InclusiveRect rect{e.x0, e.y0, e.x0 + e.width, e.y0 + e.height};
    if (PointInRect(rect, Point{corner.x, corner.y})) return true;
  }
  return false;
}

}  // namespace

void MapRenderer::ComputeHalfSize() {
  const ScaleStep& current = SCALE_STEPS[step.load()];
  if (frameArea == AREA_SCREEN) {
    halfWidth = current.unitsPerPixelX * SCREEN_AREA_WIDTH / 2;
    halfHeight = current.unitsPerPixelY * SCREEN_AREA_HEIGHT / 2;
  } else {
    halfWidth = width * current.unitsPerPixelX / 2;
    halfHeight = height * current.unitsPerPixelY / 2;
  }
}

// The parcels of `level` around the centre. The finest level is used only
// where its parcels cover all four corners of the loaded area (tested in
// the order south-west, south-east, north-east, north-west); otherwise, or
// when it has none there, the base level is asked instead.
static ParcelList* FindViewParcels(MapCoord center, int32_t halfWidth, int32_t halfHeight, uint16_t level) {
  ParcelList* list = FindParcels(&center, halfWidth, halfHeight, level);
  if (level != LEVEL_CODE_FINEST) return list;
  if (list != nullptr) {
    const MapCoord corners[4] = {{center.x - halfWidth, center.y - halfHeight},
                                 {center.x + halfWidth, center.y - halfHeight},
                                 {center.x + halfWidth, center.y + halfHeight},
                                 {center.x - halfWidth, center.y + halfHeight}};
    bool covered = std::all_of(std::begin(corners), std::end(corners),
                               [list](MapCoord corner) { return CoversPoint(*list, corner); });
    if (covered) return list;
    FreeParcelList(list);
  }
  return FindParcels(&center, halfWidth, halfHeight, LEVEL_CODE_BASE);
}

void MapRenderer::SelectParcels() {
  MapCoord center = CurrentCenter();
  const ScaleStep& current = SCALE_STEPS[step.load()];
  FreeParcelList(roadParcels);
  roadParcels = FindViewParcels(center, halfWidth, halfHeight, current.roadLevel);
  FreeParcelList(areaParcels);
  areaParcels = FindViewParcels(center, halfWidth, halfHeight, current.areaLevel);
}

void MapRenderer::SetParcelView(const ParcelEntry& entry) {
  const ScaleStep& current = SCALE_STEPS[step.load()];
  MapCoord center = CurrentCenter();
  parcelView.originX = (entry.x0 - center.x) / current.unitsPerPixelX + width / 2;
  parcelView.originY = (entry.y0 - center.y) / current.unitsPerPixelY + height / 2;
  parcelView.width = static_cast<uint32_t>(entry.width);
  parcelView.height = static_cast<uint32_t>(entry.height);

  // Map units per hundredth of a normalised unit. A parcel narrower than 41
  // units would make it 0: it is taken as 1 so that such a parcel cannot
  // stop the frame with a division by zero.
  int64_t kx = std::max<int64_t>(int64_t{entry.width} * WINDOW_PRECISION / PARCEL_SPAN, 1);
  int64_t ky = std::max<int64_t>(int64_t{entry.height} * WINDOW_PRECISION / PARCEL_SPAN, 1);
  int64_t left = int64_t{center.x} - halfWidth;
  int64_t bottom = int64_t{center.y} - halfHeight;
  int64_t right = left + 2 * int64_t{halfWidth};
  int64_t top = bottom + 2 * int64_t{halfHeight};
  int64_t x0 = entry.x0, y0 = entry.y0, x1 = x0 + entry.width, y1 = y0 + entry.height;
  parcelView.window[0] = x0 > left ? 0 : static_cast<int32_t>((left - x0) * WINDOW_PRECISION / kx);
  parcelView.window[1] = y0 > bottom ? 0 : static_cast<int32_t>((bottom - y0) * WINDOW_PRECISION / ky);
  parcelView.window[2] =
      x1 < right ? PARCEL_SPAN : static_cast<int32_t>((right - x1) * WINDOW_PRECISION / kx + PARCEL_SPAN);
  parcelView.window[3] =
      y1 < top ? PARCEL_SPAN : static_cast<int32_t>((top - y1) * WINDOW_PRECISION / ky + PARCEL_SPAN);
}

// Unsigned 32-bit arithmetic throughout: points stored slightly outside
// their parcel (negative values) land far outside the canvas and are
// clipped by the rasterisers.
int MapRenderer::MapPoint(Point16 normalised, int32_t* px, int32_t* py) const {
  const ScaleStep& current = SCALE_STEPS[step.load()];
  auto ux = static_cast<uint32_t>(current.unitsPerPixelX);
  auto uy = static_cast<uint32_t>(current.unitsPerPixelY);
  auto nx = static_cast<uint32_t>(static_cast<int32_t>(normalised.x));
  auto ny = static_cast<uint32_t>(static_cast<int32_t>(normalised.y));
  uint32_t dx, dy;
  if (parcelView.width <= SMALL_PARCEL_MAX_WIDTH) {
    dx = ((nx * parcelView.width) >> 12) / ux;
    dy = ((ny * parcelView.height) >> 12) / uy;
  } else {
    dx = ((nx * (parcelView.width >> 7)) / ux) >> 5;
    dy = ((ny * (parcelView.height >> 7)) / uy) >> 5;
  }
  *px = static_cast<int32_t>(static_cast<uint32_t>(parcelView.originX) + dx);
  *py = static_cast<int32_t>(static_cast<uint32_t>(height) - dy - static_cast<uint32_t>(parcelView.originY));
  return 1;
}

int MapRenderer::InWindow(Point16 p, Point16 q) const {
  InclusiveRect window{parcelView.window[0], parcelView.window[1], parcelView.window[2], parcelView.window[3]};
  return SegmentTouchesRect(window, p, q);
}
