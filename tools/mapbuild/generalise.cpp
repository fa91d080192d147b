#include "tools/mapbuild/generalise.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <ogr_api.h>

namespace {

// Lines up to this many points are checked for whether simplifying would
// change them before they are handed to GEOS.
constexpr int EXACT_CHECK_POINTS = 48;
// Distances this close to the tolerance count as within it: GEOS computes
// them another way, and a vertex at exactly the tolerance is dropped.
constexpr double ROUNDING_MARGIN = 1e-6;
// Lines longer than this are simplified in consecutive sections of this
// many points that share their end points: the simplifier recurses once per
// split, and a long zigzag whose every split peels off one vertex would
// otherwise run out of stack.
constexpr int SIMPLIFY_SECTION_POINTS = 2048;
// Rings longer than this are simplified on their own and in sections as
// well: the simplifier checks each segment it keeps against every segment
// of the area near it, and on a ring of long spikes side by side (each
// near all the others) that grows with the square of its points.
constexpr int SIMPLIFY_RING_POINTS = 32768;

// Distance from p to the segment a-b (to the nearer end beyond its ends).
double SegmentDistance(const OGRRawPoint& p, const OGRRawPoint& a, const OGRRawPoint& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// True when the topology-preserving simplifier cannot drop a vertex of
// `line`: it drops vertices only by flattening a section whose inner
// vertices all lie within the tolerance of the section's chord, so a line
// without any such section keeps them all, whichever way the simplifier
// splits it. Closed lines are checked round their start as well, as the
// simplifier may drop a ring's start vertex. Lines longer than
// EXACT_CHECK_POINTS are left to the simplifier.
bool NoSectionFlattens(const OGRSimpleCurve& line, double tolerance) {
  const int n = line.getNumPoints();
  if (n <= 2) return true;
  if (n > EXACT_CHECK_POINTS) return false;
  std::vector<OGRRawPoint> points(static_cast<size_t>(n));
  line.getPoints(points.data());
  const bool closed = points[0].x == points[n - 1].x && points[0].y == points[n - 1].y;
  const int count = closed ? n - 1 : n;  // distinct vertices
  for (int first = 0; first < count; ++first) {
    // Sections first..last; round the start only for closed lines.
    const int end = closed ? first + count - 1 : count - 1;
    for (int last = first + 2; last <= end; ++last) {
      const OGRRawPoint& a = points[static_cast<size_t>(first % count)];
      const OGRRawPoint& b = points[static_cast<size_t>(last % count)];
      bool within = true;
      for (int k = first + 1; k < last && within; ++k) {
        within = SegmentDistance(points[static_cast<size_t>(k % count)], a, b) <= tolerance + ROUNDING_MARGIN;
      }
      if (within) return false;
    }
  }
  return true;
}

bool SimplifyKeepsEveryVertex(const OGRGeometry* geometry, double tolerance) {
  bool keeps = true;
  ForEachPart(geometry, [&](const OGRGeometry* part) {
    if (!keeps) return;
    if (const auto* line = dynamic_cast<const OGRSimpleCurve*>(part)) {
      keeps = NoSectionFlattens(*line, tolerance);
    } else if (const auto* polygon = dynamic_cast<const OGRPolygon*>(part)) {
      for (const OGRLinearRing* ring : *polygon) keeps = keeps && NoSectionFlattens(*ring, tolerance);
    } else if (dynamic_cast<const OGRPoint*>(part) == nullptr) {
      keeps = false;
    }
  });
  return keeps;
}

double Area(const OGRGeometry* geometry) {
  const auto* surface = dynamic_cast<const OGRSurface*>(geometry);
  if (surface != nullptr) return surface->get_Area();
  const auto* collection = dynamic_cast<const OGRGeometryCollection*>(geometry);
  return collection != nullptr ? collection->get_Area() : 0;
}

double Length(const OGRGeometry* geometry) {
  double length = 0;
  ForEachPart(geometry, [&](const OGRGeometry* part) {
    if (const auto* line = dynamic_cast<const OGRLineString*>(part)) length += line->get_Length();
  });
  return length;
}

// A label's anchor: the point itself, a point inside the largest polygon,
// or the middle vertex of a line.
std::unique_ptr<OGRGeometry> LabelPoint(const OGRGeometry* source) {
  const OGRGeometry* best = nullptr;
  double bestArea = -1;
  const OGRLineString* line = nullptr;
  ForEachPart(source, [&](const OGRGeometry* part) {
    if (dynamic_cast<const OGRPoint*>(part) != nullptr && best == nullptr) best = part;
    if (const auto* polygon = dynamic_cast<const OGRPolygon*>(part)) {
      if (polygon->get_Area() > bestArea) {
        bestArea = polygon->get_Area();
        best = part;
      }
    }
    if (line == nullptr) line = dynamic_cast<const OGRLineString*>(part);
  });
  if (best != nullptr && dynamic_cast<const OGRPoint*>(best) != nullptr) return std::unique_ptr<OGRGeometry>(best->clone());
  if (best != nullptr) {
    // GEOS's point on surface (OGRPolygon's own method is not implemented).
    std::unique_ptr<OGRGeometry> point(
        OGRGeometry::FromHandle(OGR_G_PointOnSurface(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(best)))));
    return point && !point->IsEmpty() ? std::move(point) : nullptr;
  }
  if (line != nullptr && line->getNumPoints() > 0) {
    auto point = std::make_unique<OGRPoint>();
    line->getPoint(line->getNumPoints() / 2, point.get());
    return point;
  }
  return nullptr;
}

// `line` simplified section by section (each of at most
// SIMPLIFY_SECTION_POINTS points, the sections sharing their end points,
// which the simplifier always keeps), joined into one line again; null
// when GEOS fails on a section or `stop` is set.
std::unique_ptr<OGRLineString> SimplifyInSections(const OGRLineString& line, double tolerance,
                                                  const std::atomic<bool>* stop) {
  auto joined = std::make_unique<OGRLineString>();
  const int n = line.getNumPoints();
  for (int first = 0; first + 1 < n; first += SIMPLIFY_SECTION_POINTS - 1) {
    if (StopRequested(stop)) return nullptr;
    OGRLineString section;
    const int last = std::min(n - 1, first + SIMPLIFY_SECTION_POINTS - 1);
    section.addSubLineString(&line, first, last);
    std::unique_ptr<OGRGeometry> simple(section.SimplifyPreserveTopology(tolerance));
    const auto* simpleLine = dynamic_cast<const OGRLineString*>(simple.get());
    if (simpleLine == nullptr || simpleLine->getNumPoints() < 2) return nullptr;
    joined->addSubLineString(simpleLine, joined->getNumPoints() == 0 ? 0 : 1);
  }
  return joined;
}

// A pixel on a grid of `pixel` map units.
struct PixelAt {
  int64_t x, y;
  bool operator==(const PixelAt& other) const { return x == other.x && y == other.y; }
};

// Appends `p` unless it repeats the last pixel.
void AppendPixel(const PixelAt& p, std::vector<PixelAt>* path) {
  if (path->empty() || !(path->back() == p)) path->push_back(p);
}

// `pixels` with every run of points along one straight line (such as a
// line swinging up and down within one pixel column) replaced by its start,
// the run's two extreme points and its end: the same pixels are drawn, and
// the line still runs on from where the run ended.
std::vector<PixelAt> WithoutStraightRuns(const std::vector<PixelAt>& pixels) {
  std::vector<PixelAt> path;
  if (pixels.empty()) return path;
  path.push_back(pixels[0]);
  for (size_t i = 1; i < pixels.size();) {
    const PixelAt a = path.back(), b = pixels[i];
    const int64_t dx = b.x - a.x, dy = b.y - a.y;
    const auto along = [&](const PixelAt& p) { return (p.x - a.x) * dx + (p.y - a.y) * dy; };
    PixelAt low = a, high = b;
    size_t end = i + 1;
    for (; end < pixels.size(); ++end) {
      const PixelAt& p = pixels[end];
      if ((p.x - a.x) * dy - (p.y - a.y) * dx != 0) break;
      if (along(p) < along(low)) low = p;
      if (along(p) > along(high)) high = p;
    }
    const PixelAt last = pixels[end - 1];
    const bool lowFirst = !(last == low);
    AppendPixel(lowFirst ? low : high, &path);
    AppendPixel(lowFirst ? high : low, &path);
    AppendPixel(last, &path);
    i = end;
  }
  return path;
}

// `line` drawn on the pixel grid of `pixel` map units: its points moved to
// the nearest pixel centre, repeats dropped and straight runs shortened.
// For lines that double back within a pixel many times, which a
// simplifier keeping their shape cannot thin out.
std::unique_ptr<OGRLineString> ReducedToPixels(const OGRLineString& line, double pixel) {
  std::vector<PixelAt> pixels;
  for (int i = 0; i < line.getNumPoints(); ++i) {
    AppendPixel({std::llround(line.getX(i) / pixel), std::llround(line.getY(i) / pixel)}, &pixels);
  }
  auto reduced = std::make_unique<OGRLineString>();
  for (const PixelAt& p : WithoutStraightRuns(pixels)) reduced->addPoint(p.x * pixel, p.y * pixel);
  return reduced;
}

// True when `line` has more points than a path through the pixels of its
// box needs: it doubles back on itself within pixels.
bool MorePointsThanPixels(const OGRLineString& line, double pixel) {
  OGREnvelope e;
  line.getEnvelope(&e);
  const double pixelsAcross = (e.MaxX - e.MinX) / pixel + (e.MaxY - e.MinY) / pixel;
  return line.getNumPoints() > 2 * pixelsAcross + 2;
}

// A line (or ring) too long for the simplifier at once: simplified in
// sections. One with more points than the level's pixels can show is
// drawn on the pixel grid first (the simplifier's checks grow with the
// points near each other, which such a line has many of) and again after,
// as a simplifier keeping its shape may leave it as many. Null when GEOS
// fails or `stop` is set.
std::unique_ptr<OGRLineString> ThinnedLongLine(const OGRLineString& line, double tolerance, const std::atomic<bool>* stop) {
  std::unique_ptr<OGRLineString> onPixels;
  if (MorePointsThanPixels(line, tolerance)) onPixels = ReducedToPixels(line, tolerance);
  std::unique_ptr<OGRLineString> sections = SimplifyInSections(onPixels ? *onPixels : line, tolerance, stop);
  if (sections && MorePointsThanPixels(*sections, tolerance)) return ReducedToPixels(*sections, tolerance);
  return sections;
}

// True when `geometry` is made of lines only and one of them is longer
// than a section.
bool IsLinesWithALongOne(const OGRGeometry* geometry) {
  bool lines = true, longOne = false;
  ForEachPart(geometry, [&](const OGRGeometry* part) {
    const auto* line = dynamic_cast<const OGRLineString*>(part);
    lines = lines && line != nullptr && wkbFlatten(part->getGeometryType()) == wkbLineString;
    longOne = longOne || (line != nullptr && line->getNumPoints() > SIMPLIFY_SECTION_POINTS);
  });
  return lines && longOne;
}

// Lines of which one is too long for the simplifier at once: each
// simplified on its own, the long ones in sections.
OGRGeometry* SimplifyLinesInSections(const OGRGeometry* geometry, double tolerance, const std::atomic<bool>* stop) {
  auto lines = std::make_unique<OGRMultiLineString>();
  bool failed = false;
  ForEachPart(geometry, [&](const OGRGeometry* part) {
    const auto* line = static_cast<const OGRLineString*>(part);
    std::unique_ptr<OGRGeometry> simple;
    if (failed) return;
    if (line->getNumPoints() > SIMPLIFY_SECTION_POINTS) simple = ThinnedLongLine(*line, tolerance, stop);
    else simple.reset(line->SimplifyPreserveTopology(tolerance));
    if (!simple) failed = true;
    else if (!simple->IsEmpty()) lines->addGeometryDirectly(simple.release());
  });
  if (failed) return nullptr;
  if (lines->getNumGeometries() == 1) return lines->getGeometryRef(0)->clone();
  return lines.release();
}

// True when `geometry` is made of areas and one of their rings is too
// long for the simplifier at once.
bool IsAreasWithAVeryLongRing(const OGRGeometry* geometry) {
  bool areas = true, longOne = false;
  ForEachPart(geometry, [&](const OGRGeometry* part) {
    const auto* polygon = dynamic_cast<const OGRPolygon*>(part);
    areas = areas && polygon != nullptr && wkbFlatten(part->getGeometryType()) == wkbPolygon;
    if (polygon == nullptr) return;
    for (const OGRLinearRing* ring : *polygon) longOne = longOne || ring->getNumPoints() > SIMPLIFY_RING_POINTS;
  });
  return areas && longOne;
}

// Areas with a ring too long for the simplifier at once: each ring
// simplified on its own as a closed line, the long ones in sections. A
// polygon whose outer ring collapses is left out, and so is a hole that
// does.
OGRGeometry* SimplifyRingsInSections(const OGRGeometry* geometry, double tolerance, const std::atomic<bool>* stop) {
  auto polygons = std::make_unique<OGRMultiPolygon>();
  bool failed = false;
  ForEachPart(geometry, [&](const OGRGeometry* part) {
    if (failed) return;
    auto simplePolygon = std::make_unique<OGRPolygon>();
    for (const OGRLinearRing* ring : *static_cast<const OGRPolygon*>(part)) {
      OGRLineString line;
      line.addSubLineString(ring);
      std::unique_ptr<OGRGeometry> simple;
      if (line.getNumPoints() > SIMPLIFY_SECTION_POINTS) simple = ThinnedLongLine(line, tolerance, stop);
      else simple.reset(line.SimplifyPreserveTopology(tolerance));
      const auto* simpleLine = dynamic_cast<const OGRLineString*>(simple.get());
      if (simpleLine == nullptr) {
        failed = true;
        return;
      }
      const bool outer = simplePolygon->getExteriorRing() == nullptr;
      if (simpleLine->getNumPoints() < 4) {
        if (outer) return;
        continue;
      }
      auto simpleRing = std::make_unique<OGRLinearRing>();
      simpleRing->addSubLineString(simpleLine);
      simpleRing->closeRings();
      simplePolygon->addRingDirectly(simpleRing.release());
    }
    if (!simplePolygon->IsEmpty()) polygons->addGeometryDirectly(simplePolygon.release());
  });
  if (failed) return nullptr;
  if (polygons->getNumGeometries() == 1) return polygons->getGeometryRef(0)->clone();
  return polygons.release();
}

}  // namespace

OGRGeometry* SimplifyPreservingTopology(const OGRGeometry* geometry, double tolerance, const std::atomic<bool>* stop) {
  if (IsLinesWithALongOne(geometry)) return SimplifyLinesInSections(geometry, tolerance, stop);
  if (IsAreasWithAVeryLongRing(geometry)) return SimplifyRingsInSections(geometry, tolerance, stop);
  if (!SimplifyKeepsEveryVertex(geometry, tolerance)) return geometry->SimplifyPreserveTopology(tolerance);
  // GEOS gives a collection of one part back as that part.
  const auto* collection = dynamic_cast<const OGRGeometryCollection*>(geometry);
  if (collection != nullptr && collection->getNumGeometries() == 1) return collection->getGeometryRef(0)->clone();
  return geometry->clone();
}

std::unique_ptr<OGRGeometry> Generalised(const OGRGeometry* source, FeatureShape shape, double tolerance,
                                         int64_t* belowPixel, const std::atomic<bool>* stop) {
  const OGRwkbGeometryType type = wkbFlatten(source->getGeometryType());
  const bool polygonal = type == wkbPolygon || type == wkbMultiPolygon;
  std::unique_ptr<OGRGeometry> result;
  switch (shape) {
    case FeatureShape::ANCHOR:
      return LabelPoint(source);
    case FeatureShape::AREAS:
      if (!polygonal) return nullptr;
      result.reset(SimplifyPreservingTopology(source, tolerance, stop));
      if (!result || result->IsEmpty() || Area(result.get()) < tolerance * tolerance) {
        ++*belowPixel;
        return nullptr;
      }
      return result;
    case FeatureShape::LINES:
    case FeatureShape::LINES_EXACT:
      result.reset(polygonal ? source->Boundary() : source->clone());
      if (!result) return nullptr;
      if (shape == FeatureShape::LINES) result.reset(SimplifyPreservingTopology(result.get(), tolerance, stop));
      if (!result || result->IsEmpty() || Length(result.get()) < tolerance) {
        ++*belowPixel;
        return nullptr;
      }
      return result;
  }
  return nullptr;
}

std::unique_ptr<OGRGeometry> InRectangle(const OGRGeometry& geometry, double x0, double y0, double x1, double y1) {
  OGRLinearRing* ring = new OGRLinearRing();
  ring->addPoint(x0, y0);
  ring->addPoint(x1, y0);
  ring->addPoint(x1, y1);
  ring->addPoint(x0, y1);
  ring->addPoint(x0, y0);
  OGRPolygon rectangle;
  rectangle.addRingDirectly(ring);
  return std::unique_ptr<OGRGeometry>(geometry.Intersection(&rectangle));
}
