// Clipping to axis-aligned boxes, the one clipper of the builder: rings
// (with an optional hidden flag per edge) one side of the box at a time,
// and polylines. The area cut between parcels clips rings of map-unit
// doubles; dividing a parcel into pieces clips rings and lines of
// parcel-local points.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/types.h"
#include "tools/mapbuild/parcel_content.h"

// A ring's points, the last joined to the first (not repeated), and
// optionally a flag per edge: hidden[i] marks the edge from point i to
// point i + 1 (the last edge back to point 0) as not drawn.
template <typename Point>
struct FlaggedRing {
  std::vector<Point> points;
  std::vector<uint8_t> hidden;  // empty: the ring carries no flags
};

// The part of `ring` on the inside of `side` (one pass of Sutherland and
// Hodgman's clipper). `side` gives Inside(p) and Crossing(from, to), the
// point where an edge with one end inside meets the side. A kept edge
// keeps its flag, a new edge along the side is hidden. Repeated points
// are merged, so a ring touching the side at one vertex stays one point
// there.
template <typename Point, typename Side>
FlaggedRing<Point> ClipRingToSide(const FlaggedRing<Point>& ring, const Side& side) {
  FlaggedRing<Point> out;
  const size_t n = ring.points.size();
  if (n == 0) return out;
  const bool flagged = !ring.hidden.empty();
  out.points.reserve(n + 4);
  uint8_t firstLeading = 0;
  // Adds p reached over an edge flagged `leading`.
  const auto add = [&](const Point& p, uint8_t leading) {
    if (!out.points.empty() && out.points.back() == p) return;
    if (flagged && out.points.empty()) firstLeading = leading;
    else if (flagged) out.hidden.push_back(leading);
    out.points.push_back(p);
  };
  Point from = ring.points[n - 1];
  bool fromIn = side.Inside(from);
  for (size_t i = 0; i < n; ++i) {
    const Point& to = ring.points[i];
    const bool toIn = side.Inside(to);
    const uint8_t flag = flagged ? ring.hidden[(i + n - 1) % n] : 0;
    if (fromIn != toIn) add(side.Crossing(from, to), toIn ? 1 : flag);
    if (toIn) add(to, flag);
    from = to;
    fromIn = toIn;
  }
  while (out.points.size() > 1 && out.points.back() == out.points.front()) out.points.pop_back();
  if (flagged) {
    out.hidden.push_back(firstLeading);
    out.hidden.resize(out.points.size());
  }
  return out;
}

// A point in map units (areas cut between parcels).
struct ClipPoint {
  double x = 0, y = 0;
  bool operator==(const ClipPoint& other) const { return x == other.x && y == other.y; }
};

// One side of a box: points whose coordinate `axis` (0 x, 1 y) is at
// most (`below`) or at least `at` are inside.
template <typename Point, typename Coordinate>
struct BoxSide {
  int axis;
  Coordinate at;
  bool below;

  bool Inside(const Point& p) const {
    const Coordinate v = axis == 0 ? p.x : p.y;
    return below ? v <= at : v >= at;
  }
  // Where the edge a-b, one end inside, meets the side.
  Point Crossing(const Point& a, const Point& b) const;
};

// In map units the crossing lies on the side exactly, and is computed from
// the lower end whichever way the edge runs, so that the areas on both
// sides of a cut meet at the same point.
using MapBoxSide = BoxSide<ClipPoint, double>;
// In parcel-local units crossings are rounded to units from the edge's
// first point.
using LocalBoxSide = BoxSide<LocalPoint, int32_t>;
template <>
ClipPoint MapBoxSide::Crossing(const ClipPoint& from, const ClipPoint& to) const;
template <>
LocalPoint LocalBoxSide::Crossing(const LocalPoint& from, const LocalPoint& to) const;

// `ring` clipped to `box` (edges on the box's sides stay inside), its new
// edges along the sides hidden; no points when fewer than three are left.
FlaggedRing<LocalPoint> ClipRingToBox(FlaggedRing<LocalPoint> ring, const InclusiveRect& box);

// The parts of a polyline inside `box` (Liang and Barsky's clipper per
// segment; parts that continue across a vertex stay one polyline). Points
// where a segment enters or leaves are rounded to units; parts of fewer
// than two distinct points (a line touching the box at one point) are left
// out.
std::vector<std::vector<LocalPoint>> ClipPolylineToBox(const std::vector<LocalPoint>& points, const InclusiveRect& box);
