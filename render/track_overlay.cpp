// The day's track over the map: a red dot for every recorded point in the
// canvas area, a start flag at the first point and an end flag at the last.
#include <cstdint>

#include "canvas/blit.h"
#include "geometry/raster.h"
#include "geometry/rect_tests.h"
#include "logs/selected_day.h"
#include "render/map_renderer.h"

namespace {

constexpr int32_t FLAG_SIZE = 20;
constexpr int32_t START_FLAG_X = 96;  // in the round-buttons picture
constexpr int32_t END_FLAG_X = 116;
constexpr int32_t DOT_OFFSET = 2;     // a dot's top-left corner from its point

}  // namespace

void MapRenderer::DrawTrack(Canvas* canvas) {
  const Track* track = GetSelectedTrack();
  if (track == nullptr || track->count < 1) return;
  const ScaleStep& current = SCALE_STEPS[step.load()];
  MapCoord center = CurrentCenter();
  int32_t hw = width * current.unitsPerPixelX / 2;
  int32_t hh = height * current.unitsPerPixelY / 2;
  InclusiveRect view{center.x - hw, center.y - hh, center.x + hw, center.y + hh};
  int32_t ux = 2 * hw / width;
  int32_t uy = 2 * hh / height;
  auto pixelOf = [&](const TrackPoint& p) { return Point{(p.lon - view.x0) / ux, height - (p.lat - view.y0) / uy}; };
  // A day's fixes come a second apart, so most of them share the pixel of
  // the fix before at all but the finest steps; a dot drawn again on the
  // last dot's pixel would set the same pixels, and is left out.
  Point lastDot{INT32_MIN, INT32_MIN};
  for (int32_t i = 0; i < track->count; ++i) {
    const TrackPoint& p = track->points[i];
    if (PointInRect(view, Point{p.lon, p.lat}) == 0) continue;
    Point pixel = pixelOf(p);
    if (pixel.x == lastDot.x && pixel.y == lastDot.y) continue;
    DrawDot(canvas, pixel.x - DOT_OFFSET, pixel.y - DOT_OFFSET);
    lastDot = pixel;
  }
  // A flag's bottom-left corner stands on its point, also outside the view;
  // the end flag covers the start flag on a round trip. BlitKeyed cuts a
  // flag at the canvas edges.
  Point start = pixelOf(track->points[0]);
  Point end = pixelOf(track->points[track->count - 1]);
  BlitKeyed(canvas, &flagAtlas, start.x, start.y - FLAG_SIZE, FLAG_SIZE, FLAG_SIZE, START_FLAG_X, 0);
  BlitKeyed(canvas, &flagAtlas, end.x, end.y - FLAG_SIZE, FLAG_SIZE, FLAG_SIZE, END_FLAG_X, 0);
}
