// The view of one frame: centre, scale step, canvas size and the area whose
// parcels are loaded, with the one mapping of points to canvas pixels that
// every drawing pass uses: parcel-local points through the current parcel's
// transform (SetParcelView, MapPoint) and map-unit points of the track
// (PixelOfMapCoord). North is up; pixel rows grow southwards.
#pragma once

#include <cstdint>

#include "geometry/rect_tests.h"
#include "geometry/types.h"
#include "mapdata/map_layout.h"
#include "mapdata/parcel_index.h"
#include "mapdata/parcel_list.h"
#include "render/exact_divider.h"

// Areas a frame loads parcels for.
constexpr uint16_t AREA_CANVAS = 1;  // the whole canvas (pans, redraws)
constexpr uint16_t AREA_SCREEN = 2;  // the middle 480 x 272 (zooms)

// How far beyond its points anything drawn from them may set pixels: the
// widest line pattern (a wide road, a railway's blended edge) reaches two
// pixels across its line.
constexpr int32_t DRAW_REACH = 2;

// Normalised coordinates of the current parcel beyond which points lie more
// than DRAW_REACH pixels outside the canvas: x below `west` (above `east`)
// west (east) of it, y below `south` (above `north`) south (north) of it.
// They hold for coordinates from 0 to safeX (safeY), where MapPoint grows
// with the coordinate; SetParcelView makes them.
struct CanvasLimits {
  int32_t west = 0, east = -1, south = 0, north = -1;
  int32_t safeX = -1, safeY = -1;  // -1: no limits known, nothing is beyond
};

// The transform of one parcel's normalised points to canvas pixels.
struct ParcelView {
  int32_t originX = 0;  // pixel of the parcel's south-west corner, x from the left
  int32_t originY = 0;  // ... and y measured upwards from the canvas bottom
  uint32_t width = 0;   // parcel size in map units
  uint32_t height = 0;
  // Pixel of the parcel's north-east corner, as originX / originY: points on
  // the east or north edge take the pixel the neighbouring parcel's west or
  // south edge gets, so that areas of neighbours meet without a gap.
  int32_t eastX = 0;
  int32_t northY = 0;
  int32_t window[4] = {0, 0, PARCEL_SPAN, PARCEL_SPAN};  // left, bottom, right, top of the loaded area, normalised
  CanvasLimits canvas;  // where the parcel's points leave the canvas
};

struct FrameView {
  MapCoord center{0, 0};  // map units, on the step's pixel grid once snapped
  uint16_t step = DEFAULT_SCALE_STEP;
  int32_t width = 0;  // canvas size in pixels
  int32_t height = 0;
  int32_t halfWidth = 0;  // half size of the loaded area in map units
  int32_t halfHeight = 0;
  int32_t unitsX = 1;  // map units per pixel of the step
  int32_t unitsY = 1;
  // West and south edges of the whole canvas in map units, and the
  // divisions by the units per pixel as multiplications.
  int64_t canvasWest = 0;
  int64_t canvasSouth = 0;
  ExactDivider perPixelX;
  ExactDivider perPixelY;
  ParcelView parcel;  // of the parcel whose points are being mapped
};

// Sets up the view of a frame centred on `center` at `step` on a width x
// height canvas, loading parcels for `area` (AREA_CANVAS or AREA_SCREEN):
// the step's units per pixel, the half sizes of the loaded area (signed
// products, halved towards zero) and the canvas edges. The centre is taken
// as given (SnapToPixelGrid puts it on the grid).
void SetFrameView(FrameView* view, MapCoord center, uint16_t step, int32_t width, int32_t height, uint16_t area);

// The centre on the step's pixel grid: each coordinate a multiple of the
// units per pixel, divided towards zero.
MapCoord SnapToPixelGrid(MapCoord center, uint16_t step);

// Sets the current parcel's transform from its entry: the pixel of its
// south-west corner, its size, and the loaded area in its normalised units
// (clamped to 0 and 4096 where the area reaches beyond the parcel).
void SetParcelView(FrameView* view, const ParcelEntry& entry);

// The distance in pixels of normalised coordinate n from the parcel's
// south-west corner along a side of `size` map units, truncated. Parcels
// wider than 0x1FFFF units divide before multiplying, to stay within 32 bits.
inline uint32_t ParcelOffset(uint32_t n, uint32_t size, const ExactDivider& perPixel) {
  constexpr uint32_t SMALL_PARCEL_MAX_WIDTH = 0x1FFFF;
  if (size <= SMALL_PARCEL_MAX_WIDTH) return Divide((n * size) >> 12, perPixel);
  return Divide(n * (size >> 7), perPixel) >> 5;
}

// The canvas pixel of a normalised point of the current parcel. Unsigned
// 32-bit arithmetic throughout: points stored slightly outside their parcel
// (negative values) land far outside the canvas, where the rasterisers clip
// them.
inline Point MapPoint(const FrameView& view, Point16 normalised) {
  const ParcelView& pv = view.parcel;
  auto nx = static_cast<uint32_t>(static_cast<int32_t>(normalised.x));
  auto ny = static_cast<uint32_t>(static_cast<int32_t>(normalised.y));
  const uint32_t dx = ParcelOffset(nx, pv.width, view.perPixelX);
  const uint32_t dy = ParcelOffset(ny, pv.height, view.perPixelY);
  // The steps above truncate, so the far edges would fall up to a pixel
  // short of the neighbour's near edge: they take the neighbour's pixel.
  const int32_t x = nx == PARCEL_SPAN ? pv.eastX : static_cast<int32_t>(static_cast<uint32_t>(pv.originX) + dx);
  const int32_t up = ny == PARCEL_SPAN ? pv.northY : static_cast<int32_t>(dy + static_cast<uint32_t>(pv.originY));
  return Point{x, static_cast<int32_t>(static_cast<uint32_t>(view.height) - static_cast<uint32_t>(up))};
}

// True when every point of the current parcel with coordinates from `low`
// to `high` (each between theirs) maps more than DRAW_REACH pixels beyond
// one edge of the canvas: nothing drawn from such points shows. Decided
// from the parcel's limits (SetParcelView), without mapping a point; false
// whenever it cannot be told that way.
inline bool RangeBeyondCanvas(const FrameView& view, Point16 low, Point16 high) {
  const CanvasLimits& c = view.parcel.canvas;
  if (low.x < 0 || low.y < 0 || high.x > c.safeX || high.y > c.safeY) return false;
  return high.x < c.west || low.x > c.east || high.y < c.south || low.y > c.north;
}

// 1 when the segment p..q (normalised points of the current parcel) may
// touch the loaded area (SegmentTouchesRect on the parcel's window); a
// single point is tested as the segment (p, p).
inline int InWindow(const FrameView& view, Point16 p, Point16 q) {
  const int32_t* w = view.parcel.window;
  return SegmentTouchesRect(InclusiveRect{w[0], w[1], w[2], w[3]}, p, q);
}

// The rectangle of the whole canvas in map units, bounds included.
inline InclusiveRect CanvasInMapUnits(const FrameView& view) {
  return InclusiveRect{static_cast<int32_t>(view.canvasWest), static_cast<int32_t>(view.canvasSouth),
                       static_cast<int32_t>(view.canvasWest + int64_t{view.width} * view.unitsX),
                       static_cast<int32_t>(view.canvasSouth + int64_t{view.height} * view.unitsY)};
}

// The canvas pixel of a point in map units that lies in CanvasInMapUnits:
// its distance from the canvas's west (south) edge in whole pixels, as two
// exact multiplications.
inline Point PixelOfMapCoordInCanvas(const FrameView& view, Point p) {
  auto east = static_cast<uint32_t>(int64_t{p.x} - view.canvasWest);
  auto north = static_cast<uint32_t>(int64_t{p.y} - view.canvasSouth);
  return Point{static_cast<int32_t>(Divide(east, view.perPixelX)),
               view.height - static_cast<int32_t>(Divide(north, view.perPixelY))};
}

// The canvas pixel of any point in map units (also far outside the canvas),
// by the same mapping with a division rounding down.
Point PixelOfMapCoord(const FrameView& view, Point p);
