// The day's track over the map: a red dot for every recorded point in the
// canvas area, a start flag at the first point and an end flag at the last.
#include <climits>
#include <cstdint>

#include "canvas/blit.h"
#include "geometry/raster.h"
#include "render/passes.h"

namespace {

constexpr int32_t FLAG_SIZE = 20;
constexpr int32_t START_FLAG_X = 96;  // in the round-buttons picture
constexpr int32_t END_FLAG_X = 116;
constexpr int32_t DOT_OFFSET = 2;     // a dot's top-left corner from its point

}  // namespace

void DrawTrack(Frame* frame) {
  const Track* track = frame->track;
  if (track == nullptr || track->count < 1) return;
  const FrameView& view = frame->view;
  const InclusiveRect canvasArea = CanvasInMapUnits(view);
  // A day's fixes come a second apart, so most of them share the pixel of
  // the fix before at all but the finest steps; a dot drawn again on the
  // last dot's pixel would set the same pixels, and is left out.
  Point lastDot{INT32_MIN, INT32_MIN};
  for (int32_t i = 0; i < track->count; ++i) {
    const Point p{track->points[i].lon, track->points[i].lat};
    if (PointInRect(canvasArea, p) == 0) continue;
    Point pixel = PixelOfMapCoordInCanvas(view, p);
    if (pixel.x == lastDot.x && pixel.y == lastDot.y) continue;
    DrawDot(&frame->kit->canvas, pixel.x - DOT_OFFSET, pixel.y - DOT_OFFSET);
    lastDot = pixel;
  }
  // A flag's bottom-left corner stands on its point, also outside the view;
  // the end flag covers the start flag on a round trip. BlitKeyed cuts a
  // flag at the canvas edges.
  const TrackPoint& first = track->points[0];
  const TrackPoint& last = track->points[track->count - 1];
  Point start = PixelOfMapCoord(view, Point{first.lon, first.lat});
  Point end = PixelOfMapCoord(view, Point{last.lon, last.lat});
  BlitKeyed(&frame->kit->canvas, &frame->kit->flagAtlas, start.x, start.y - FLAG_SIZE, FLAG_SIZE, FLAG_SIZE, START_FLAG_X, 0);
  BlitKeyed(&frame->kit->canvas, &frame->kit->flagAtlas, end.x, end.y - FLAG_SIZE, FLAG_SIZE, FLAG_SIZE, END_FLAG_X, 0);
}
