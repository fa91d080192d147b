// Point-in-rectangle and segment-against-rectangle tests, used to skip
// geometry that lies off screen.
#pragma once

#include <algorithm>

#include "geometry/types.h"

// 1 when p lies in the rectangle, bounds included; otherwise 0. Inline:
// the track pass asks it for every point of a day.
inline int PointInRect(const InclusiveRect& rect, Point p) {
  return (rect.x0 <= p.x && p.x <= rect.x1 && rect.y0 <= p.y && p.y <= rect.y1) ? 1 : 0;
}

// 1 when the segment p..q may touch the rectangle: either end lies in it
// (bounds included), or the segment's bounding box overlaps it on both axes.
// A cheap conservative test: it may answer 1 for a segment that passes
// beside a corner. 0 when the segment certainly misses the rectangle.
// Inline: the road pass asks it for every segment.
inline int SegmentTouchesRect(const InclusiveRect& rect, Point16 p, Point16 q) {
  if (PointInRect(rect, Point{p.x, p.y}) || PointInRect(rect, Point{q.x, q.y})) return 1;
  if (p.x < rect.x0 && q.x < rect.x0) return 0;
  if (p.x > rect.x1 && q.x > rect.x1) return 0;
  return (std::max(p.y, q.y) >= rect.y0 && std::min(p.y, q.y) <= rect.y1) ? 1 : 0;
}
