#include "tools/mapbuild/ring_clip.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace {

// Positive for counterclockwise rings.
double SignedArea(const ClipRing& ring) {
  double twice = 0;
  for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    twice += (ring[j].x - ring[i].x) * (ring[j].y + ring[i].y);
  }
  return twice / 2;
}

double RingArea(const ClipRing& ring) { return std::fabs(SignedArea(ring)); }

void Append(const ClipPoint& p, ClipRing* ring) {
  if (ring->empty() || !(ring->back() == p)) ring->push_back(p);
}

// The part of `ring` on the inside of `side`.
ClipRing ClippedToSide(ClipRing ring, const MapBoxSide& side) {
  return ClipRingToSide(FlaggedRing<ClipPoint>{std::move(ring), {}}, side).points;
}

bool EnclosesSomething(const ClipRing& ring) { return ring.size() >= 3 && RingArea(ring) > 0; }

bool Inside(const ClipPoint& p, const ClipRing& ring) {
  bool inside = false;
  for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    const ClipPoint& a = ring[i];
    const ClipPoint& b = ring[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) / (b.y - a.y) * (b.x - a.x)) inside = !inside;
  }
  return inside;
}

// Positions on a box's border, measured counterclockwise from its
// south-west corner.
class BorderWalk {
 public:
  explicit BorderWalk(const ClipBox& box)
      : box(box), width(box.x1 - box.x0), height(box.y1 - box.y0), perimeter(2 * (width + height)) {}

  bool OnOneSide(const ClipPoint& a, const ClipPoint& b) const {
    return (a.x == b.x && (a.x == box.x0 || a.x == box.x1)) || (a.y == b.y && (a.y == box.y0 || a.y == box.y1));
  }
  double Position(const ClipPoint& p) const {
    if (p.y == box.y0) return p.x - box.x0;
    if (p.x == box.x1) return width + (p.y - box.y0);
    if (p.y == box.y1) return width + height + (box.x1 - p.x);
    return 2 * width + height + (box.y1 - p.y);
  }
  // Appends the corners passed going counterclockwise from `from` to `to`.
  void AppendCorners(double from, double to, ClipRing* ring) const {
    const ClipPoint corners[4] = {{box.x1, box.y0}, {box.x1, box.y1}, {box.x0, box.y1}, {box.x0, box.y0}};
    const double at[4] = {width, width + height, 2 * width + height, perimeter};
    const double distance = Ahead(from, to);
    std::vector<std::pair<double, int>> passed;
    for (int k = 0; k < 4; ++k) {
      const double d = Ahead(from, at[k]);
      if (d > 0 && d < distance) passed.push_back({d, k});
    }
    std::sort(passed.begin(), passed.end());
    for (const auto& [d, k] : passed) Append(corners[k], ring);
  }
  double Ahead(double from, double to) const {
    const double d = std::fmod(to - from, perimeter);
    return d < 0 ? d + perimeter : d;
  }

 private:
  ClipBox box;
  double width, height, perimeter;
};

// Orients the last of `rings` as the geometry library gives the rings of
// an area it has cut: outer rings clockwise, holes counterclockwise (so
// that outlines are drawn the same way whichever cut them).
void OrientAsCut(ClipPolygon* rings) {
  if (rings->empty()) return;
  ClipRing& ring = rings->back();
  if ((SignedArea(ring) < 0) != (rings->size() == 1)) std::reverse(ring.begin(), ring.end());
}

// A stretch of a ring between two points on the border, with no edge
// along the border in between.
struct Chain {
  ClipRing points;
  double start = 0, end = 0;  // border positions of its ends
};

enum class Along { NOWHERE, PARTLY, ALL_ROUND };

// Splits `ring` at its edges along the border into chains (none when it
// runs along the border nowhere or all round).
Along ChainsOf(const ClipRing& ring, const BorderWalk& walk, std::vector<Chain>* chains) {
  const size_t n = ring.size();
  size_t first = n, along = 0;
  for (size_t i = 0; i < n; ++i) {
    const bool before = walk.OnOneSide(ring[(i + n - 1) % n], ring[i]);
    along += before ? 1 : 0;
    if (first == n && before && !walk.OnOneSide(ring[i], ring[(i + 1) % n])) first = i;
  }
  if (along == 0) return Along::NOWHERE;
  if (first == n) return Along::ALL_ROUND;
  Chain chain;
  for (size_t k = 0; k < n; ++k) {
    const size_t i = (first + k) % n;
    const ClipPoint& next = ring[(i + 1) % n];
    if (walk.OnOneSide(ring[i], next)) {
      if (!chain.points.empty()) {
        chain.points.push_back(ring[i]);
        chain.start = walk.Position(chain.points.front());
        chain.end = walk.Position(chain.points.back());
        chains->push_back(std::move(chain));
        chain = Chain();
      }
      continue;
    }
    chain.points.push_back(ring[i]);
  }
  return Along::PARTLY;
}


}  // namespace

ClipShape ClipShapeOf(const OGRGeometry& geometry) {
  ClipShape shape;
  const auto addPolygon = [&](const OGRPolygon& polygon) {
    ClipPolygon rings;
    for (const OGRLinearRing* ogrRing : polygon) {
      ClipRing ring;
      const int n = ogrRing->getNumPoints();
      ring.reserve(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) Append({ogrRing->getX(i), ogrRing->getY(i)}, &ring);
      while (ring.size() > 1 && ring.back() == ring.front()) ring.pop_back();
      if (rings.empty() && ring.size() < 3) return;  // no outer ring: nothing of it is drawn
      if (ring.size() >= 3) rings.push_back(std::move(ring));
    }
    if (!rings.empty()) shape.push_back(std::move(rings));
  };
  const std::function<void(const OGRGeometry&)> addParts = [&](const OGRGeometry& part) {
    if (const auto* polygon = dynamic_cast<const OGRPolygon*>(&part)) {
      addPolygon(*polygon);
    } else if (const auto* collection = dynamic_cast<const OGRGeometryCollection*>(&part)) {
      for (const OGRGeometry* inner : *collection) addParts(*inner);
    }
  };
  addParts(geometry);
  return shape;
}

ClipShape ClipShapeToBox(const ClipShape& shape, const ClipBox& box) {
  ClipBox bounds;
  if (!ClipShapeBounds(shape, &bounds)) return {};
  const MapBoxSide sides[4] = {{0, box.x0, false}, {0, box.x1, true}, {1, box.y0, false}, {1, box.y1, true}};
  const bool crossed[4] = {bounds.x0 < box.x0, bounds.x1 > box.x1, bounds.y0 < box.y0, bounds.y1 > box.y1};
  ClipShape clipped;
  for (const ClipPolygon& polygon : shape) {
    ClipPolygon rings;
    for (const ClipRing& source : polygon) {
      ClipRing ring = source;
      for (int s = 0; s < 4 && EnclosesSomething(ring); ++s) {
        if (crossed[s]) ring = ClippedToSide(std::move(ring), sides[s]);
      }
      const bool kept = EnclosesSomething(ring);
      if (rings.empty() && !kept) break;  // the outer ring lies outside: so do its holes
      if (!kept) continue;
      rings.push_back(std::move(ring));
      OrientAsCut(&rings);
    }
    if (!rings.empty()) clipped.push_back(std::move(rings));
  }
  return clipped;
}

bool RunsBackAlongTheBox(const ClipPolygon& polygon, const ClipBox& box) {
  // Per side: the stretches of the rings' edges that lie on it.
  const double sides[4] = {box.x0, box.x1, box.y0, box.y1};
  std::vector<std::pair<double, double>> stretches[4];
  for (const ClipRing& ring : polygon) {
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
      const ClipPoint& a = ring[j];
      const ClipPoint& b = ring[i];
      for (int side = 0; side < 4; ++side) {
        const bool vertical = side < 2;
        if ((vertical ? a.x : a.y) != sides[side] || (vertical ? b.x : b.y) != sides[side]) continue;
        const double from = vertical ? a.y : a.x, to = vertical ? b.y : b.x;
        stretches[side].push_back({std::min(from, to), std::max(from, to)});
      }
    }
  }
  for (auto& onSide : stretches) {
    std::sort(onSide.begin(), onSide.end());
    for (size_t k = 1; k < onSide.size(); ++k) {
      if (onSide[k].first < onSide[k - 1].second) return true;
      onSide[k].second = std::max(onSide[k].second, onSide[k - 1].second);
    }
  }
  return false;
}

ClipShape SeparatedAlongTheBox(const ClipPolygon& polygon, const ClipBox& box) {
  const BorderWalk walk(box);
  std::vector<Chain> chains;
  ClipShape parts;
  ClipPolygon holes;  // those that reach no side
  ClipRing wholeBox;  // an outer ring all round the border
  for (size_t r = 0; r < polygon.size(); ++r) {
    ClipRing ring = polygon[r];
    // The area on the left of every ring: outer rings counterclockwise.
    if ((SignedArea(ring) > 0) != (r == 0)) std::reverse(ring.begin(), ring.end());
    const Along along = ChainsOf(ring, walk, &chains);
    if (along == Along::PARTLY) continue;
    if (along == Along::ALL_ROUND) {
      if (r != 0) return {};  // a hole all round the box: nothing of the area is here
      wholeBox = std::move(ring);
    } else if (r == 0) {
      parts.push_back({std::move(ring)});
    } else {
      holes.push_back(std::move(ring));
    }
  }
  // Holes cut open by the border make bays in it, and the walk along the
  // border below draws it; else it is a part.
  if (chains.empty() && !wholeBox.empty()) parts.push_back({std::move(wholeBox)});
  // Each chain goes on, counterclockwise along the border, with the chain
  // that starts first after its end.
  std::multimap<double, size_t> starts;
  std::vector<std::multimap<double, size_t>::iterator> startOf(chains.size());
  for (size_t c = 0; c < chains.size(); ++c) startOf[c] = starts.emplace(chains[c].start, c);
  while (!starts.empty()) {
    const size_t first = starts.begin()->second;
    ClipRing ring;
    size_t chain = first;
    for (;;) {
      for (const ClipPoint& p : chains[chain].points) Append(p, &ring);
      if (chain != first) starts.erase(startOf[chain]);
      auto next = starts.lower_bound(chains[chain].end);
      if (next == starts.end()) next = starts.begin();
      walk.AppendCorners(chains[chain].end, next->first, &ring);
      if (next->second == first) break;
      chain = next->second;
    }
    starts.erase(startOf[first]);
    while (ring.size() > 1 && ring.back() == ring.front()) ring.pop_back();
    if (EnclosesSomething(ring)) parts.push_back({std::move(ring)});
  }
  if (parts.empty()) return parts;
  for (ClipRing& hole : holes) {
    size_t holder = 0;
    while (holder + 1 < parts.size() && !Inside(hole.front(), parts[holder].front())) ++holder;
    parts[holder].push_back(std::move(hole));
  }
  for (ClipPolygon& part : parts) {
    for (ClipRing& ring : part) std::reverse(ring.begin(), ring.end());
  }
  return parts;
}

ClipShape SeparatedWhereJoined(const ClipShape& shape, const ClipBox& box) {
  ClipShape parts;
  for (const ClipPolygon& polygon : shape) {
    if (!RunsBackAlongTheBox(polygon, box)) {
      parts.push_back(polygon);
      continue;
    }
    for (ClipPolygon& part : SeparatedAlongTheBox(polygon, box)) parts.push_back(std::move(part));
  }
  return parts;
}

double ClipShapeArea(const ClipShape& shape) {
  double area = 0;
  for (const ClipPolygon& polygon : shape) {
    for (size_t r = 0; r < polygon.size(); ++r) area += (r == 0 ? 1 : -1) * RingArea(polygon[r]);
  }
  return area;
}

bool ClipShapeBounds(const ClipShape& shape, ClipBox* bounds) {
  bool any = false;
  for (const ClipPolygon& polygon : shape) {
    for (const ClipRing& ring : polygon) {
      for (const ClipPoint& p : ring) {
        if (!any) *bounds = {p.x, p.y, p.x, p.y};
        any = true;
        bounds->x0 = std::min(bounds->x0, p.x);
        bounds->y0 = std::min(bounds->y0, p.y);
        bounds->x1 = std::max(bounds->x1, p.x);
        bounds->y1 = std::max(bounds->y1, p.y);
      }
    }
  }
  return any;
}
