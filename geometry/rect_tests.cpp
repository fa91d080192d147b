#include "geometry/rect_tests.h"

#include <algorithm>

int PointInRect(const InclusiveRect& rect, Point p) {
  return (rect.x0 <= p.x && p.x <= rect.x1 && rect.y0 <= p.y && p.y <= rect.y1) ? 1 : 0;
}

int SegmentTouchesRect(const InclusiveRect& rect, Point16 p, Point16 q) {
  if (PointInRect(rect, Point{p.x, p.y}) || PointInRect(rect, Point{q.x, q.y})) return 1;
  if (p.x < rect.x0 && q.x < rect.x0) return 0;
  if (p.x > rect.x1 && q.x > rect.x1) return 0;
  return (std::max(p.y, q.y) >= rect.y0 && std::min(p.y, q.y) <= rect.y1) ? 1 : 0;
}
