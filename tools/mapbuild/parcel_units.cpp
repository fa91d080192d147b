#include "tools/mapbuild/parcel_units.h"

ClipShape LocalShape(const ClipShape& shape, const ParcelFrame& frame) {
  ClipShape local(shape.size());
  for (size_t p = 0; p < shape.size(); ++p) {
    local[p].resize(shape[p].size());
    for (size_t r = 0; r < shape[p].size(); ++r) {
      ClipRing& ring = local[p][r];
      ring.reserve(shape[p][r].size());
      for (const ClipPoint& point : shape[p][r]) ring.push_back(frame.Local(point.x, point.y));
    }
  }
  return local;
}

std::vector<LocalPoint> RoundedClosedRing(const ClipRing& ring) {
  std::vector<LocalPoint> points;
  points.reserve(ring.size() + 1);
  for (const ClipPoint& p : ring) AppendDistinct(Rounded(p), &points);
  if (!ring.empty()) AppendDistinct(Rounded(ring.front()), &points);
  return points;
}

ClipPolygon WithoutRepeats(const ClipPolygon& polygon) {
  ClipPolygon rings;
  for (const ClipRing& source : polygon) {
    ClipRing ring;
    ring.reserve(source.size());
    for (const ClipPoint& p : source) {
      if (ring.empty() || !(ring.back() == p)) ring.push_back(p);
    }
    while (ring.size() > 1 && ring.back() == ring.front()) ring.pop_back();
    if (rings.empty() && ring.size() < 3) return {};  // no outer ring: nothing of it is drawn
    if (ring.size() >= 3) rings.push_back(std::move(ring));
  }
  return rings;
}
