#include "tools/mapbuild/box_clip.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

LocalPoint Rounded(double x, double y) { return {static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y))}; }

void Append(std::vector<LocalPoint>* points, const LocalPoint& p) {
  if (points->empty() || !(points->back() == p)) points->push_back(p);
}

// Hands the polyline gathered so far to `parts` when it has a segment, and
// starts a new one.
void EndPart(std::vector<LocalPoint>* current, std::vector<std::vector<LocalPoint>>* parts) {
  if (current->size() >= 2) parts->push_back(std::move(*current));
  current->clear();
}

}  // namespace

template <>
ClipPoint MapBoxSide::Crossing(const ClipPoint& from, const ClipPoint& to) const {
  const bool forward = from.x < to.x || (from.x == to.x && from.y <= to.y);
  const ClipPoint& a = forward ? from : to;
  const ClipPoint& b = forward ? to : from;
  if (axis == 0) return {at, a.y + (at - a.x) / (b.x - a.x) * (b.y - a.y)};
  return {a.x + (at - a.y) / (b.y - a.y) * (b.x - a.x), at};
}

template <>
LocalPoint LocalBoxSide::Crossing(const LocalPoint& a, const LocalPoint& b) const {
  if (axis == 0) {
    const double t = double(at - a.x) / double(b.x - a.x);
    return {at, static_cast<int32_t>(std::lround(a.y + t * (b.y - a.y)))};
  }
  const double t = double(at - a.y) / double(b.y - a.y);
  return {static_cast<int32_t>(std::lround(a.x + t * (b.x - a.x))), at};
}

FlaggedRing<LocalPoint> ClipRingToBox(FlaggedRing<LocalPoint> ring, const InclusiveRect& box) {
  const LocalBoxSide sides[4] = {{0, box.x0, false}, {0, box.x1, true}, {1, box.y0, false}, {1, box.y1, true}};
  for (const LocalBoxSide& side : sides) {
    ring = ClipRingToSide(ring, side);
    if (ring.points.size() < 3) return {};
  }
  return ring;
}

std::vector<std::vector<LocalPoint>> ClipPolylineToBox(const std::vector<LocalPoint>& points, const InclusiveRect& box) {
  std::vector<std::vector<LocalPoint>> parts;
  std::vector<LocalPoint> current;
  for (size_t i = 0; i + 1 < points.size(); ++i) {
    const double x0 = points[i].x, y0 = points[i].y, dx = points[i + 1].x - x0, dy = points[i + 1].y - y0;
    // The segment runs from t0 to t1 (of 0..1) inside each side in turn.
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - box.x0, box.x1 - x0, y0 - box.y0, box.y1 - y0};
    bool inside = true;
    for (int k = 0; k < 4 && inside; ++k) {
      if (p[k] == 0) {
        inside = q[k] >= 0;
      } else {
        const double t = q[k] / p[k];
        if (p[k] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        inside = t0 <= t1;
      }
    }
    if (!inside) {
      EndPart(&current, &parts);
      continue;
    }
    if (t0 > 0) EndPart(&current, &parts);
    Append(&current, t0 == 0 ? points[i] : Rounded(x0 + t0 * dx, y0 + t0 * dy));
    Append(&current, t1 == 1 ? points[i + 1] : Rounded(x0 + t1 * dx, y0 + t1 * dy));
    if (t1 < 1) EndPart(&current, &parts);
  }
  EndPart(&current, &parts);
  return parts;
}
