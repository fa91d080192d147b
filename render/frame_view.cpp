#include "render/frame_view.h"

#include <algorithm>

#include "canvas/sizes.h"

namespace {

// The window keeps two more decimal digits than dividing by pw / 4096.
constexpr int64_t WINDOW_PRECISION = 100;
// Pixels of map points beyond this distance from the canvas are cut to it.
constexpr int64_t FAR_OFF_PIXEL = int64_t{1} << 30;

// floor(a / b) for b > 0.
int64_t FloorDivide(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

void SetFrameView(FrameView* view, MapCoord center, uint16_t step, int32_t width, int32_t height, uint16_t area) {
  const ScaleStep& s = SCALE_STEPS[std::min<uint16_t>(step, MAX_SCALE_STEP)];
  view->center = center;
  view->step = step;
  view->width = width;
  view->height = height;
  view->unitsX = s.unitsPerPixelX;
  view->unitsY = s.unitsPerPixelY;
  if (area == AREA_SCREEN) {
    view->halfWidth = s.unitsPerPixelX * SCREEN_WIDTH / 2;
    view->halfHeight = s.unitsPerPixelY * SCREEN_HEIGHT / 2;
  } else {
    view->halfWidth = width * s.unitsPerPixelX / 2;
    view->halfHeight = height * s.unitsPerPixelY / 2;
  }
  // The centre's pixel is (width / 2, height - height / 2), as for a parcel
  // corner at the centre.
  view->canvasWest = int64_t{center.x} - int64_t{width / 2} * s.unitsPerPixelX;
  view->canvasSouth = int64_t{center.y} - int64_t{height / 2} * s.unitsPerPixelY;
  view->perPixelX = MakeExactDivider(static_cast<uint32_t>(s.unitsPerPixelX));
  view->perPixelY = MakeExactDivider(static_cast<uint32_t>(s.unitsPerPixelY));
}

MapCoord SnapToPixelGrid(MapCoord center, uint16_t step) {
  const ScaleStep& s = SCALE_STEPS[std::min<uint16_t>(step, MAX_SCALE_STEP)];
  return MapCoord{s.unitsPerPixelX * (center.x / s.unitsPerPixelX), s.unitsPerPixelY * (center.y / s.unitsPerPixelY)};
}

Point PixelOfMapCoord(const FrameView& view, Point p) {
  int64_t x = FloorDivide(int64_t{p.x} - view.canvasWest, view.unitsX);
  int64_t y = int64_t{view.height} - FloorDivide(int64_t{p.y} - view.canvasSouth, view.unitsY);
  // Far-off points stay far off, with room for the callers' offsets.
  return Point{static_cast<int32_t>(std::clamp<int64_t>(x, -FAR_OFF_PIXEL, FAR_OFF_PIXEL)),
               static_cast<int32_t>(std::clamp<int64_t>(y, -FAR_OFF_PIXEL, FAR_OFF_PIXEL))};
}

namespace {

// The largest normalised coordinate (at most 32767) for which the products
// of ParcelOffset along a side of `size` units stay within 32 bits.
int32_t LargestSafeCoordinate(uint32_t size) {
  constexpr uint32_t SMALL_PARCEL_MAX_WIDTH = 0x1FFFF;
  const uint64_t factor = size <= SMALL_PARCEL_MAX_WIDTH ? size : size >> 7;
  const uint64_t largest = factor == 0 ? INT16_MAX : UINT32_MAX / factor;
  return static_cast<int32_t>(std::min<uint64_t>(largest, INT16_MAX));
}

// The first n in low..high at which the rising predicate holds; high + 1
// when it holds nowhere.
template <typename Holds>
int32_t FirstWhere(int32_t low, int32_t high, Holds holds) {
  int32_t end = high + 1;
  while (low < end) {
    const int32_t middle = low + (end - low) / 2;
    if (holds(middle)) {
      end = middle;
    } else {
      low = middle + 1;
    }
  }
  return end;
}

// Where the current parcel's points leave the canvas by more than
// DRAW_REACH pixels. A point's pixel is its origin plus ParcelOffset, which
// grows with the coordinate up to the safe one; points on the far edge take
// the neighbour's pixel instead, at most one further. Limits are given only
// where no sum leaves 32 bits.
CanvasLimits LimitsOf(const FrameView& view) {
  const ParcelView& pv = view.parcel;
  const int32_t safeX = LargestSafeCoordinate(pv.width);
  const int32_t safeY = LargestSafeCoordinate(pv.height);
  auto x = [&](int32_t n) {
    return int64_t{pv.originX} + ParcelOffset(static_cast<uint32_t>(n), pv.width, view.perPixelX);
  };
  auto up = [&](int32_t n) {
    return int64_t{pv.originY} + ParcelOffset(static_cast<uint32_t>(n), pv.height, view.perPixelY);
  };
  CanvasLimits limits;
  if (x(safeX) > INT32_MAX || up(safeY) > INT32_MAX) return limits;
  const int64_t reach = DRAW_REACH;
  limits.west = FirstWhere(0, safeX, [&](int32_t n) { return x(n) + 1 >= -reach; });
  limits.east = FirstWhere(0, safeX, [&](int32_t n) { return x(n) >= view.width + reach; }) - 1;
  limits.south = FirstWhere(0, safeY, [&](int32_t n) { return up(n) + 1 > -reach; });
  limits.north = FirstWhere(0, safeY, [&](int32_t n) { return up(n) > view.height + reach; }) - 1;
  limits.safeX = safeX;
  limits.safeY = safeY;
  return limits;
}

}  // namespace

void SetParcelView(FrameView* view, const ParcelEntry& entry) {
  ParcelView& pv = view->parcel;
  // The corner's pixel by the frame's one mapping; originY counts upwards.
  Point corner = PixelOfMapCoord(*view, Point{entry.x0, entry.y0});
  pv.originX = corner.x;
  pv.originY = view->height - corner.y;
  pv.width = static_cast<uint32_t>(entry.width);
  pv.height = static_cast<uint32_t>(entry.height);
  Point farCorner = PixelOfMapCoord(*view, Point{static_cast<int32_t>(int64_t{entry.x0} + entry.width),
                                                 static_cast<int32_t>(int64_t{entry.y0} + entry.height)});
  pv.eastX = farCorner.x;
  pv.northY = view->height - farCorner.y;

  // Map units per hundredth of a normalised unit. A parcel narrower than 41
  // units would make it 0: it is taken as 1 so that such a parcel cannot
  // stop the frame with a division by zero.
  int64_t kx = std::max<int64_t>(int64_t{entry.width} * WINDOW_PRECISION / PARCEL_SPAN, 1);
  int64_t ky = std::max<int64_t>(int64_t{entry.height} * WINDOW_PRECISION / PARCEL_SPAN, 1);
  int64_t left = int64_t{view->center.x} - view->halfWidth;
  int64_t bottom = int64_t{view->center.y} - view->halfHeight;
  int64_t right = left + 2 * int64_t{view->halfWidth};
  int64_t top = bottom + 2 * int64_t{view->halfHeight};
  int64_t x0 = entry.x0, y0 = entry.y0, x1 = x0 + entry.width, y1 = y0 + entry.height;
  auto clampWindow = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  pv.window[0] = x0 > left ? 0 : clampWindow((left - x0) * WINDOW_PRECISION / kx);
  pv.window[1] = y0 > bottom ? 0 : clampWindow((bottom - y0) * WINDOW_PRECISION / ky);
  pv.window[2] = x1 < right ? PARCEL_SPAN : clampWindow((right - x1) * WINDOW_PRECISION / kx + PARCEL_SPAN);
  pv.window[3] = y1 < top ? PARCEL_SPAN : clampWindow((top - y1) * WINDOW_PRECISION / ky + PARCEL_SPAN);
  pv.canvas = LimitsOf(*view);
}
