#include "tools/mapbuild/parcel_units.h"

void MoveToLocal(const ParcelFrame& frame, ClipShape* shape) {
  for (ClipPolygon& polygon : *shape) {
    for (ClipRing& ring : polygon) {
      for (ClipPoint& point : ring) point = frame.Local(point.x, point.y);
    }
  }
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
