// Generalising a feature's geometry for one level, in map units: geometry
// in, geometry out, no parcel grid. Lines and areas are simplified to the
// level's pixel size (GEOS's topology-preserving simplifier through OGR),
// labels get their anchor point, and what is smaller than a pixel is left
// out.
#pragma once

#include <atomic>
#include <memory>

#include <ogr_geometry.h>

// True once `stop` (when given) is set: long loops over one feature end early.
inline bool StopRequested(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

// What a rule makes of a feature's geometry.
enum class FeatureShape {
  ANCHOR,      // one point: the point itself, a point inside the largest area, a line's middle vertex
  AREAS,       // areas only, simplified
  LINES,       // lines (areas give their outlines), simplified
  LINES_EXACT, // lines as they are (characters are placed along the line itself)
};

// `source` as `shape` for a level whose pixel is `tolerance` map units; null
// when nothing is left, counting in `belowPixel` what is smaller than a
// pixel. Null as well when `stop` is set while it is simplified.
std::unique_ptr<OGRGeometry> Generalised(const OGRGeometry* source, FeatureShape shape, double tolerance,
                                         int64_t* belowPixel, const std::atomic<bool>* stop = nullptr);

// The geometry simplified by GEOS's topology-preserving simplifier (as
// OGRGeometry::SimplifyPreserveTopology gives it; null when GEOS fails;
// very long lines in sections, each line on its own),
// or, without the round trip through GEOS, a copy when the simplifier would
// keep every vertex (most features at the finest levels). Null when `stop`
// is set between sections. The caller owns it.
OGRGeometry* SimplifyPreservingTopology(const OGRGeometry* geometry, double tolerance,
                                        const std::atomic<bool>* stop = nullptr);

// What of `geometry` lies in the rectangle [x0, x1] × [y0, y1] (GEOS's
// intersection); null when GEOS fails.
std::unique_ptr<OGRGeometry> InRectangle(const OGRGeometry& geometry, double x0, double y0, double x1, double y1);

// Calls `visit` with every simple part (point, line string, polygon) of a geometry.
template <typename Visit>
void ForEachPart(const OGRGeometry* geometry, const Visit& visit) {
  if (geometry == nullptr) return;
  if (const auto* collection = dynamic_cast<const OGRGeometryCollection*>(geometry)) {
    for (const OGRGeometry* part : *collection) ForEachPart(part, visit);
  } else {
    visit(geometry);
  }
}
