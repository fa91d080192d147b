// Map units to one parcel's local units (0 at its west / south edge,
// PARCEL_SPAN at its east / north edge), and parcel-local points rounded to
// whole units.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "mapdata/map_layout.h"
#include "tools/mapbuild/parcel_content.h"
#include "tools/mapbuild/parcel_grid.h"
#include "tools/mapbuild/ring_clip.h"

// One parcel of a grid: where it lies in map units and how its points
// become local ones.
struct ParcelFrame {
  double x0 = 0, y0 = 0;  // its south-west corner in map units
  double sx = 0, sy = 0;  // local units per map unit

  ParcelFrame(const LevelGrid& grid, uint32_t row, uint32_t column)
      : x0(grid.west + static_cast<double>(column) * grid.parcelWidth),
        y0(grid.south + static_cast<double>(row) * grid.parcelHeight),
        sx(PARCEL_SPAN / static_cast<double>(grid.parcelWidth)),
        sy(PARCEL_SPAN / static_cast<double>(grid.parcelHeight)) {}

  ClipPoint Local(double x, double y) const { return {(x - x0) * sx, (y - y0) * sy}; }
};

// The whole parcel in local units.
constexpr InclusiveRect WHOLE_PARCEL{0, 0, PARCEL_SPAN, PARCEL_SPAN};

inline LocalPoint Rounded(const ClipPoint& p) {
  return {static_cast<int32_t>(std::lround(p.x)), static_cast<int32_t>(std::lround(p.y))};
}

// Appends `p` unless it repeats the last point.
inline void AppendDistinct(const LocalPoint& p, std::vector<LocalPoint>* points) {
  if (points->empty() || !(points->back() == p)) points->push_back(p);
}

// Moves the rings of `shape` into `frame`'s local units, point for point.
void MoveToLocal(const ParcelFrame& frame, ClipShape* shape);

// A ring's points rounded to units and closed (the first point repeated at
// the end), repeats dropped.
std::vector<LocalPoint> RoundedClosedRing(const ClipRing& ring);

// `polygon` with repeated points merged and rings of fewer than three
// points left out; nothing when that leaves no outer ring.
ClipPolygon WithoutRepeats(const ClipPolygon& polygon);
