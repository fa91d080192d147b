#include "tools/mapbuild/parcel_cutter.h"

#include <algorithm>
#include <cmath>
#include <set>

#include <ogr_api.h>

#include "geometry/types.h"
#include "mapdata/map_layout.h"
#include "platform/unicode.h"
#include "tools/mapbuild/ring_clip.h"
#include "tools/mapbuild/section_encoders.h"

namespace {

// A label character's width in pixels (the label font's full-width
// characters) and the room left at each end of an along-line name.
constexpr double CHARACTER_PIXELS = 15.0;
// Steps (pixels) in which a line is walked to place those characters.
constexpr double SAMPLE_PIXELS = 0.5;
// Background items are split further above this many encoded points, so
// that the encoder's limit is never reached.
constexpr int32_t ITEM_POINT_BUDGET = FEATURE_MAX_POINTS - 64;
// A ring is split at most this many times before it is given up.
constexpr int MAX_SPLIT_DEPTH = 16;
// Parcels tested one by one before a clip when only existing parcels count.
constexpr int64_t PRUNE_CELL_LIMIT = 1 << 16;
constexpr int MAX_CUT_EXAMPLES = 5;
// Parcels one feature's pieces may fill before they are handed on.
constexpr size_t SINK_PARCELS = 4096;
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

std::unique_ptr<OGRGeometry> RectangleGeometry(double x0, double y0, double x1, double y1) {
  auto ring = std::make_unique<OGRLinearRing>();
  ring->addPoint(x0, y0);
  ring->addPoint(x1, y0);
  ring->addPoint(x1, y1);
  ring->addPoint(x0, y1);
  ring->addPoint(x0, y0);
  auto polygon = std::make_unique<OGRPolygon>();
  polygon->addRingDirectly(ring.release());
  return polygon;
}

// Map units to the local units of one parcel (0..4096 across it).
class ToLocal : public OGRCoordinateTransformation {
 public:
  ToLocal(double x0, double y0, double width, double height) : x0(x0), y0(y0), sx(PARCEL_SPAN / width), sy(PARCEL_SPAN / height) {}
  OGRSpatialReference* GetSourceCS() override { return nullptr; }
  OGRSpatialReference* GetTargetCS() override { return nullptr; }
  OGRCoordinateTransformation* Clone() const override { return new ToLocal(*this); }
  OGRCoordinateTransformation* GetInverse() const override { return nullptr; }
  int Transform(int count, double* x, double* y, double*, double*, int* success) override {
    for (int i = 0; i < count; ++i) {
      x[i] = (x[i] - x0) * sx;
      y[i] = (y[i] - y0) * sy;
      if (success != nullptr) success[i] = TRUE;
    }
    return TRUE;
  }

 private:
  double x0, y0, sx, sy;
};

std::vector<LocalPoint> RoundedPoints(const OGRLineString& line) {
  std::vector<LocalPoint> points;
  for (int i = 0; i < line.getNumPoints(); ++i) {
    const LocalPoint p{static_cast<int32_t>(std::lround(line.getX(i))), static_cast<int32_t>(std::lround(line.getY(i)))};
    if (points.empty() || !(points.back() == p)) points.push_back(p);
  }
  return points;
}

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

bool OnSameEdge(const LocalPoint& a, const LocalPoint& b, const InclusiveRect& r) {
  return (a.x == r.x0 && b.x == r.x0) || (a.x == r.x1 && b.x == r.x1) || (a.y == r.y0 && b.y == r.y0) ||
         (a.y == r.y1 && b.y == r.y1);
}

class Cutter {
 public:
  Cutter(const LevelGrid& grid, const RecipeRule& rule, const SourceFeature& feature, bool creating,
         ParcelKeys* existing, LevelParcels* parcels, CutReport* report, const PiecesSink* sink)
      : grid(grid), rule(rule), feature(feature), creating(creating), existing(existing), parcels(parcels),
        report(report), sink(sink) {}

  int Run() {
    std::unique_ptr<OGRGeometry> shape = Generalised();
    if (!shape || !KeepInsideMap(&shape)) return 0;
    OGREnvelope envelope;
    shape->getEnvelope(&envelope);
    int64_t c0, c1, r0, r1;
    if (!CellRange(envelope, 0, grid.columns - 1, 0, grid.rows - 1, &c0, &c1, &r0, &r1)) return 0;
    if (rule.kind == RULE_AREA) Distribute(ClipShapeOf(*shape), c0, c1, r0, r1);
    else Distribute(shape, c0, c1, r0, r1);
    return sinkFailed ? -1 : 0;
  }

 private:
  // The feature's geometry as this rule and level need it, or null when it
  // is smaller than a pixel.
  std::unique_ptr<OGRGeometry> Generalised() {
    const OGRGeometry* source = feature.geometry.get();
    const double tolerance = grid.pixelUnits;
    const OGRwkbGeometryType type = wkbFlatten(source->getGeometryType());
    const bool polygonal = type == wkbPolygon || type == wkbMultiPolygon;
    std::unique_ptr<OGRGeometry> shape;
    switch (rule.kind) {
      case RULE_LABEL:
        return LabelPoint(source);
      case RULE_AREA:
        if (!polygonal) return nullptr;
        shape.reset(SimplifyPreservingTopology(source, tolerance));
        if (!shape || shape->IsEmpty() || Area(shape.get()) < tolerance * tolerance) {
          ++report->belowPixel;
          return nullptr;
        }
        return shape;
      default:
        shape.reset(polygonal ? source->Boundary() : source->clone());
        if (!shape) return nullptr;
        if (rule.kind != RULE_ALONG) shape.reset(SimplifyPreservingTopology(shape.get(), tolerance));
        if (!shape || shape->IsEmpty() || Length(shape.get()) < tolerance) {
          ++report->belowPixel;
          return nullptr;
        }
        return shape;
    }
  }

  static double Area(const OGRGeometry* geometry) {
    const auto* surface = dynamic_cast<const OGRSurface*>(geometry);
    if (surface != nullptr) return surface->get_Area();
    const auto* collection = dynamic_cast<const OGRGeometryCollection*>(geometry);
    return collection != nullptr ? collection->get_Area() : 0;
  }

  static double Length(const OGRGeometry* geometry) {
    double length = 0;
    ForEachPart(geometry, [&](const OGRGeometry* part) {
      if (const auto* line = dynamic_cast<const OGRLineString*>(part)) length += line->get_Length();
    });
    return length;
  }

  // A label's anchor: the point itself, a point inside the largest polygon,
  // or the middle vertex of a line.
  static std::unique_ptr<OGRGeometry> LabelPoint(const OGRGeometry* source) {
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

  // Cuts away what lies beyond the level's parcel grid (the map's edge),
  // counting the feature as having a piece left out: the cells are found
  // within the grid, so a piece reaching past it would be stored with
  // points outside its parcel. False when nothing is left.
  bool KeepInsideMap(std::unique_ptr<OGRGeometry>* shape) {
    const double x0 = grid.west, y0 = grid.south;
    const double x1 = x0 + static_cast<double>(grid.columns) * grid.parcelWidth;
    const double y1 = y0 + static_cast<double>(grid.rows) * grid.parcelHeight;
    OGREnvelope e;
    (*shape)->getEnvelope(&e);
    if (e.MinX >= x0 && e.MaxX <= x1 && e.MinY >= y0 && e.MaxY <= y1) return true;
    ++report->outsideMap;
    std::unique_ptr<OGRGeometry> inside((*shape)->Intersection(RectangleGeometry(x0, y0, x1, y1).get()));
    if (!inside || inside->IsEmpty()) return false;
    *shape = std::move(inside);
    return true;
  }

  // The cells that an envelope touches within [c0, c1] × [r0, r1]; false when none.
  bool CellRange(const OGREnvelope& e, int64_t c0, int64_t c1, int64_t r0, int64_t r1, int64_t* oc0, int64_t* oc1,
                 int64_t* or0, int64_t* or1) const {
    auto first = [](double v, double origin, double size) { return static_cast<int64_t>(std::floor((v - origin) / size)); };
    auto last = [](double v, double origin, double size) {
      return std::max<int64_t>(static_cast<int64_t>(std::ceil((v - origin) / size)) - 1,
                               static_cast<int64_t>(std::floor((v - origin) / size)));
    };
    const bool point = e.MinX == e.MaxX && e.MinY == e.MaxY;
    *oc0 = std::max(c0, first(e.MinX, grid.west, grid.parcelWidth));
    *oc1 = std::min(c1, point ? first(e.MaxX, grid.west, grid.parcelWidth) : last(e.MaxX, grid.west, grid.parcelWidth));
    *or0 = std::max(r0, first(e.MinY, grid.south, grid.parcelHeight));
    *or1 = std::min(r1, point ? first(e.MaxY, grid.south, grid.parcelHeight) : last(e.MaxY, grid.south, grid.parcelHeight));
    return *oc0 <= *oc1 && *or0 <= *or1;
  }

  bool AnyParcel(int64_t c0, int64_t c1, int64_t r0, int64_t r1) const {
    if ((c1 - c0 + 1) * (r1 - r0 + 1) > PRUNE_CELL_LIMIT) return true;
    for (int64_t r = r0; r <= r1; ++r) {
      for (int64_t c = c0; c <= c1; ++c) {
        if (existing->Contains(ParcelKey(static_cast<uint32_t>(r), static_cast<uint32_t>(c)))) return true;
      }
    }
    return false;
  }

  // The two halves of a cell range (split across its longer side) with
  // their rectangles in map units.
  struct Half {
    int64_t c0, c1, r0, r1;
    ClipBox box;
  };
  void Halves(int64_t c0, int64_t c1, int64_t r0, int64_t r1, Half halves[2]) const {
    const bool byColumn = (c1 - c0) >= (r1 - r0);
    const int64_t middle = byColumn ? (c0 + c1) / 2 : (r0 + r1) / 2;
    for (int half = 0; half < 2; ++half) {
      Half& h = halves[half];
      h = {c0, c1, r0, r1, {}};
      if (byColumn) (half == 0 ? h.c1 : h.c0) = half == 0 ? middle : middle + 1;
      else (half == 0 ? h.r1 : h.r0) = half == 0 ? middle : middle + 1;
      h.box = {grid.west + static_cast<double>(h.c0) * grid.parcelWidth, grid.south + static_cast<double>(h.r0) * grid.parcelHeight,
               grid.west + static_cast<double>(h.c1 + 1) * grid.parcelWidth,
               grid.south + static_cast<double>(h.r1 + 1) * grid.parcelHeight};
    }
  }

  // False when only existing parcels count and the range has none.
  bool RangeWanted(int64_t c0, int64_t c1, int64_t r0, int64_t r1) {
    if (sinkFailed) return false;
    if (!creating && !AnyParcel(c0, c1, r0, r1)) {
      ++report->noParcel;
      return false;
    }
    return true;
  }

  // Halves the cell range until each piece lies in one parcel, cutting a
  // piece only where it leaves a half: areas by hand (each halving a pass
  // over the points of the piece, see ring_clip.h), lines with OGR's
  // Intersection. A half that an area covers whole is filled without going
  // further, which keeps a large area's cost with its edge rather than with
  // the parcels it covers.
  template <typename Shape>
  void Distribute(const Shape& shape, int64_t c0, int64_t c1, int64_t r0, int64_t r1) {
    if (IsEmpty(shape) || !RangeWanted(c0, c1, r0, r1)) return;
    if (c0 == c1 && r0 == r1) {
      Emit(shape, static_cast<uint32_t>(r0), static_cast<uint32_t>(c0));
      return;
    }
    Half halves[2];
    Halves(c0, c1, r0, r1, halves);
    for (const Half& h : halves) {
      ClipBox e;
      if (!BoundsOf(shape, &e) || e.x1 < h.box.x0 || e.x0 > h.box.x1 || e.y1 < h.box.y0 || e.y0 > h.box.y1) continue;
      Shape piece;
      const Shape* inHalf = &shape;
      if (!(e.x0 >= h.box.x0 && e.x1 <= h.box.x1 && e.y0 >= h.box.y0 && e.y1 <= h.box.y1)) {
        piece = CutToBox(shape, h.box);
        if (Covers(piece, h.box)) {
          FillCells(h.c0, h.c1, h.r0, h.r1);
          continue;
        }
        if (!BoundsOf(piece, &e)) continue;
        inHalf = &piece;
      }
      int64_t nc0, nc1, nr0, nr1;
      if (CellRange(Envelope(e), h.c0, h.c1, h.r0, h.r1, &nc0, &nc1, &nr0, &nr1)) Distribute(*inHalf, nc0, nc1, nr0, nr1);
    }
  }

  // The shapes Distribute cuts: areas as rings, lines as OGR geometries.
  static bool IsEmpty(const ClipShape& shape) { return shape.empty(); }
  static bool IsEmpty(const std::unique_ptr<OGRGeometry>& shape) { return !shape || shape->IsEmpty(); }
  static bool BoundsOf(const ClipShape& shape, ClipBox* bounds) { return ClipShapeBounds(shape, bounds); }
  static bool BoundsOf(const std::unique_ptr<OGRGeometry>& shape, ClipBox* bounds) {
    if (IsEmpty(shape)) return false;
    OGREnvelope e;
    shape->getEnvelope(&e);
    *bounds = {e.MinX, e.MinY, e.MaxX, e.MaxY};
    return true;
  }
  static ClipShape CutToBox(const ClipShape& shape, const ClipBox& box) { return ClipShapeToBox(shape, box); }
  static std::unique_ptr<OGRGeometry> CutToBox(const std::unique_ptr<OGRGeometry>& shape, const ClipBox& box) {
    return std::unique_ptr<OGRGeometry>(shape->Intersection(RectangleGeometry(box.x0, box.y0, box.x1, box.y1).get()));
  }
  static bool Covers(const std::unique_ptr<OGRGeometry>&, const ClipBox&) { return false; }

  static OGREnvelope Envelope(const ClipBox& box) {
    OGREnvelope e;
    e.MinX = box.x0;
    e.MinY = box.y0;
    e.MaxX = box.x1;
    e.MaxY = box.y1;
    return e;
  }

  // True when the area cut to `box` fills it: then nothing of the box lies
  // outside the area (up to the rounding of the areas' sums, far below a
  // parcel unit).
  static bool Covers(const ClipShape& piece, const ClipBox& box) {
    constexpr double COVER_MARGIN = 1e-9;
    const double boxArea = (box.x1 - box.x0) * (box.y1 - box.y0);
    return ClipShapeArea(piece) >= boxArea * (1 - COVER_MARGIN);
  }

  // Every cell of the range with the area filling the whole parcel.
  void FillCells(int64_t c0, int64_t c1, int64_t r0, int64_t r1) {
    for (int64_t r = r0; r <= r1 && !sinkFailed; ++r) {
      for (int64_t c = c0; c <= c1; ++c) {
        ParcelContent* content = Parcel(static_cast<uint32_t>(r), static_cast<uint32_t>(c));
        if (content == nullptr) continue;
        const std::unique_ptr<OGRGeometry> whole = RectangleGeometry(0, 0, PARCEL_SPAN, PARCEL_SPAN);
        AddArea(content, *static_cast<const OGRPolygon*>(whole.get()), {0, 0, PARCEL_SPAN, PARCEL_SPAN}, 0);
      }
    }
  }

  ParcelContent* Parcel(uint32_t row, uint32_t column) {
    const uint64_t key = ParcelKey(row, column);
    if (!creating && !existing->Contains(key)) {
      ++report->noParcel;
      return nullptr;
    }
    // No content of the feature is being filled here: hand on what it has.
    if (sink != nullptr && parcels->size() >= SINK_PARCELS && (*sink)(parcels) != 0) {
      sinkFailed = true;
      return nullptr;
    }
    if (creating) existing->Insert(key);
    ParcelContent* content = &(*parcels)[key];
    content->created = true;
    return content;
  }

  // An area's piece in one parcel, in the parcel's local units.
  void Emit(const ClipShape& shape, uint32_t row, uint32_t column) {
    ParcelContent* content = Parcel(row, column);
    if (content == nullptr) return;
    const double x0 = grid.west + static_cast<double>(column) * grid.parcelWidth;
    const double y0 = grid.south + static_cast<double>(row) * grid.parcelHeight;
    const double sx = PARCEL_SPAN / static_cast<double>(grid.parcelWidth);
    const double sy = PARCEL_SPAN / static_cast<double>(grid.parcelHeight);
    const auto toLocal = [&](const ClipPoint& p) { return ClipPoint{(p.x - x0) * sx, (p.y - y0) * sy}; };
    const ClipBox box{x0, y0, x0 + grid.parcelWidth, y0 + grid.parcelHeight};
    for (const OGRPolygon& part : OgrPolygonsOf(SeparatedWhereJoined(shape, box), toLocal)) {
      AddArea(content, part, {0, 0, PARCEL_SPAN, PARCEL_SPAN}, 0);
    }
  }

  void Emit(const std::unique_ptr<OGRGeometry>& shape, uint32_t row, uint32_t column) {
    ParcelContent* content = Parcel(row, column);
    if (content == nullptr) return;
    std::unique_ptr<OGRGeometry> local(shape->clone());
    ToLocal toLocal(grid.west + static_cast<double>(column) * grid.parcelWidth,
                    grid.south + static_cast<double>(row) * grid.parcelHeight, grid.parcelWidth, grid.parcelHeight);
    local->transform(&toLocal);
    ForEachPart(local.get(), [&](const OGRGeometry* part) {
      if (const auto* point = dynamic_cast<const OGRPoint*>(part)) {
        if (rule.kind == RULE_LABEL) AddPointLabel(content, *point);
      } else if (const auto* line = dynamic_cast<const OGRLineString*>(part)) {
        AddLine(content, *line);
      } else if (const auto* polygon = dynamic_cast<const OGRPolygon*>(part)) {
        if (rule.kind == RULE_AREA) AddArea(content, *polygon, {0, 0, PARCEL_SPAN, PARCEL_SPAN}, 0);
      }
    });
  }

  void AddLine(ParcelContent* content, const OGRLineString& line) {
    const std::vector<LocalPoint> points = RoundedPoints(line);
    if (points.size() < 2) return;
    if (rule.kind == RULE_ROAD) {
      content->roads.push_back({static_cast<uint8_t>(rule.code), points});
    } else if (rule.kind == RULE_LINE) {
      // Long lines go into several items that share their end points.
      constexpr size_t CHUNK = ITEM_POINT_BUDGET / 2;
      for (size_t first = 0; first + 1 < points.size(); first += CHUNK) {
        BackgroundItem item;
        item.code = rule.code;
        item.order = static_cast<uint8_t>(rule.order);
        item.points.assign(points.begin() + first, points.begin() + std::min(points.size(), first + CHUNK + 1));
        if (EncodedPointCount(item) > ITEM_POINT_BUDGET) {  // long moves: halve the chunk's points again
          const size_t half = item.points.size() / 2;
          BackgroundItem second = item;
          second.points.erase(second.points.begin(), second.points.begin() + half);
          item.points.resize(half + 1);
          content->background.push_back(second);
        }
        content->background.push_back(item);
      }
    } else if (rule.kind == RULE_ALONG) {
      AddAlongLabels(content, points);
    }
  }

  // An area as closed rings without holes and within the point budget:
  // rings that have holes or too many points are split through the middle
  // (through a hole, which opens it) and each half is handled again.
  void AddArea(ParcelContent* content, const OGRPolygon& polygon, const InclusiveRect& rect, int depth) {
    const OGRLinearRing* outer = polygon.getExteriorRing();
    if (outer == nullptr || outer->getNumPoints() < 4) return;
    BackgroundItem item;
    item.code = rule.code;
    item.area = true;
    item.order = static_cast<uint8_t>(rule.order);
    item.points = RoundedPoints(*outer);
    if (item.points.size() < 3) return;
    const bool tooBig = EncodedPointCount(item) > ITEM_POINT_BUDGET;
    if ((polygon.getNumInteriorRings() == 0 && !tooBig) || depth >= MAX_SPLIT_DEPTH ||
        (rect.x1 - rect.x0 < 2 && rect.y1 - rect.y0 < 2)) {
      if (tooBig) {
        ++report->tooComplex;
        return;
      }
      item.hidden.resize(item.points.size(), 0);
      for (size_t i = 0; i + 1 < item.points.size(); ++i) {
        item.hidden[i] = OnSameEdge(item.points[i], item.points[i + 1], rect) ? 1 : 0;
      }
      content->background.push_back(std::move(item));
      return;
    }
    ++report->splitAreas;
    // Split through the first hole's centre when there is one, else through the middle.
    OGREnvelope e;
    polygon.getEnvelope(&e);
    if (polygon.getNumInteriorRings() > 0) polygon.getInteriorRing(0)->getEnvelope(&e);
    const bool vertical = (rect.x1 - rect.x0) >= (rect.y1 - rect.y0);
    int32_t cut = vertical ? static_cast<int32_t>(std::lround((e.MinX + e.MaxX) / 2))
                           : static_cast<int32_t>(std::lround((e.MinY + e.MaxY) / 2));
    cut = vertical ? std::clamp(cut, rect.x0 + 1, rect.x1 - 1) : std::clamp(cut, rect.y0 + 1, rect.y1 - 1);
    const InclusiveRect halves[2] = {
        vertical ? InclusiveRect{rect.x0, rect.y0, cut, rect.y1} : InclusiveRect{rect.x0, rect.y0, rect.x1, cut},
        vertical ? InclusiveRect{cut, rect.y0, rect.x1, rect.y1} : InclusiveRect{rect.x0, cut, rect.x1, rect.y1},
    };
    // Cut by hand as between parcels: a hole the cut runs through opens
    // into a bay of its shell.
    const ClipShape whole = ClipShapeOf(polygon);
    for (const InclusiveRect& half : halves) {
      const ClipBox box{double(half.x0), double(half.y0), double(half.x1), double(half.y1)};
      const ClipShape parts = SeparatedWhereJoined(ClipShapeToBox(whole, box), box);
      for (const OGRPolygon& part : OgrPolygonsOf(parts, [](const ClipPoint& p) { return p; })) {
        AddArea(content, part, half, depth + 1);
      }
    }
  }

  std::u16string LabelText() {
    std::u16string text = Utf8ToUtf16(feature.text);
    if (text.size() > MAX_NAME_CHARACTERS) {
      ++report->cutNames;
      if (report->cutExamples.size() < MAX_CUT_EXAMPLES) report->cutExamples.push_back(feature.text);
      text.resize(Utf16CutLength(text, MAX_NAME_CHARACTERS));
    }
    return text;
  }

  void AddPointLabel(ParcelContent* content, const OGRPoint& point) {
    NameItem name;
    name.type = NAME_POINT;
    name.code = rule.code;
    name.detailMask = rule.detailMask;
    name.group = static_cast<uint8_t>(std::min(rule.order, MAX_NAME_GROUPS - 1));
    name.priority = static_cast<int>(std::clamp(feature.rank, -2e9, 2e9));
    name.anchor = {static_cast<int32_t>(std::lround(point.getX())), static_cast<int32_t>(std::lround(point.getY()))};
    name.text = LabelText();
    if (!name.text.empty()) content->names.push_back(std::move(name));
  }

  // Where the characters of an along-line name go on `line` (pixels at one
  // step, x east, y north), as distances along it from `start`: each
  // character is placed at the first point of the line whose pixel lies
  // CHARACTER_PIXELS or more from the previous character's pixel on either
  // axis, so that their boxes never overlap, also on diagonal and curved
  // lines. Returns fewer positions than `count` where the line ends first.
  static std::vector<double> CharacterPositions(const std::vector<double>& along, const std::vector<double>& px,
                                                const std::vector<double>& py, double start, size_t count) {
    std::vector<double> positions;
    double lastX = 0, lastY = 0;
    size_t segment = 1;
    for (double at = start; at <= along.back() && positions.size() < count; at += SAMPLE_PIXELS) {
      while (segment + 1 < along.size() && along[segment] < at) ++segment;
      const double length = along[segment] - along[segment - 1];
      const double f = length > 0 ? (at - along[segment - 1]) / length : 0;
      const double x = px[segment - 1] + f * (px[segment] - px[segment - 1]);
      const double y = py[segment - 1] + f * (py[segment] - py[segment - 1]);
      if (positions.empty() || std::max(std::fabs(x - lastX), std::fabs(y - lastY)) >= CHARACTER_PIXELS) {
        positions.push_back(at);
        lastX = x;
        lastY = y;
      }
    }
    return positions;
  }

  // One along-line record per detail class of the rule, with its characters
  // spaced for that class's scale, centred on the line; none where the line
  // is too short or a record of the same text and class is already there.
  void AddAlongLabels(ParcelContent* content, std::vector<LocalPoint> points) {
    const std::u16string text = LabelText();
    if (text.empty()) return;
    if (points.back().x < points.front().x) std::reverse(points.begin(), points.end());  // read left to right
    for (int detail = 0; detail < RECIPE_DETAIL_CLASSES; ++detail) {
      const uint8_t bit = static_cast<uint8_t>(16 >> detail);
      const int step = grid.firstStep + detail;
      if ((rule.detailMask & bit) == 0 || step > grid.lastStep) continue;
      // The line in pixels of this step: parcel units differ east and north.
      const double xPixels = static_cast<double>(grid.parcelWidth) / PARCEL_SPAN / SCALE_STEPS[step].unitsPerPixelX;
      const double yPixels = static_cast<double>(grid.parcelHeight) / PARCEL_SPAN / SCALE_STEPS[step].unitsPerPixelY;
      std::vector<double> px, py, along(points.size(), 0);
      for (size_t i = 0; i < points.size(); ++i) {
        px.push_back(points[i].x * xPixels);
        py.push_back(points[i].y * yPixels);
        if (i > 0) along[i] = along[i - 1] + std::hypot(px[i] - px[i - 1], py[i] - py[i - 1]);
      }
      // Placed from the line's start first, then again from the start that
      // centres the name with equal room left at both ends.
      std::vector<double> at = CharacterPositions(along, px, py, CHARACTER_PIXELS, text.size());
      if (at.size() == text.size()) {
        const double room = along.back() - CHARACTER_PIXELS - at.back();
        at = CharacterPositions(along, px, py, CHARACTER_PIXELS + std::floor(room / 2), text.size());
      }
      if (at.size() < text.size() || along.back() - at.back() < CHARACTER_PIXELS) {
        ++report->noRoom;
        continue;
      }
      bool present = false;
      for (const NameItem& other : content->names) present = present || (other.text == text && other.detailMask == bit);
      if (present) continue;
      NameItem name;
      name.type = NAME_ALONG;
      name.code = rule.code;
      name.detailMask = bit;
      name.group = static_cast<uint8_t>(std::min(rule.order, MAX_NAME_GROUPS - 1));
      name.text = text;
      LocalPoint previous{};
      size_t segment = 1;
      for (size_t i = 0; i < text.size(); ++i) {
        while (segment + 1 < points.size() && along[segment] < at[i]) ++segment;
        const double length = along[segment] - along[segment - 1];
        const double f = length > 0 ? (at[i] - along[segment - 1]) / length : 0;
        const LocalPoint here{static_cast<int32_t>(std::lround(points[segment - 1].x + f * (points[segment].x - points[segment - 1].x))),
                              static_cast<int32_t>(std::lround(points[segment - 1].y + f * (points[segment].y - points[segment - 1].y)))};
        if (i == 0) name.anchor = here;
        name.offsets.push_back(i == 0 ? LocalPoint{} : LocalPoint{here.x - previous.x, here.y - previous.y});
        previous = here;
      }
      content->names.push_back(std::move(name));
    }
  }

  const LevelGrid& grid;
  const RecipeRule& rule;
  const SourceFeature& feature;
  bool creating;
  ParcelKeys* existing;
  LevelParcels* parcels;
  CutReport* report;
  const PiecesSink* sink;
  bool sinkFailed = false;
};

}  // namespace

int CutFeature(const LevelGrid& grid, const RecipeRule& rule, const SourceFeature& feature, bool creating,
               ParcelKeys* existing, LevelParcels* pieces, CutReport* report, const PiecesSink* sink) {
  return Cutter(grid, rule, feature, creating, existing, pieces, report, sink).Run();
}

int64_t MergeRepeatedAlongNames(ParcelContent* content) {
  std::set<std::pair<std::u16string, uint8_t>> seen;
  int64_t merged = 0;
  std::vector<NameItem> kept;
  kept.reserve(content->names.size());
  for (NameItem& name : content->names) {
    const bool repeated = !seen.insert({name.text, name.detailMask}).second;
    if (repeated && name.type == NAME_ALONG) {
      ++merged;
      continue;
    }
    kept.push_back(std::move(name));
  }
  content->names = std::move(kept);
  return merged;
}

namespace {

// `line` simplified section by section (each of at most
// SIMPLIFY_SECTION_POINTS points, the sections sharing their end points,
// which the simplifier always keeps), joined into one line again; null
// when GEOS fails on a section.
std::unique_ptr<OGRLineString> SimplifyInSections(const OGRLineString& line, double tolerance) {
  auto joined = std::make_unique<OGRLineString>();
  const int n = line.getNumPoints();
  for (int first = 0; first + 1 < n; first += SIMPLIFY_SECTION_POINTS - 1) {
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
// fails.
std::unique_ptr<OGRLineString> ThinnedLongLine(const OGRLineString& line, double tolerance) {
  std::unique_ptr<OGRLineString> onPixels;
  if (MorePointsThanPixels(line, tolerance)) onPixels = ReducedToPixels(line, tolerance);
  std::unique_ptr<OGRLineString> sections = SimplifyInSections(onPixels ? *onPixels : line, tolerance);
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
OGRGeometry* SimplifyLinesInSections(const OGRGeometry* geometry, double tolerance) {
  auto lines = std::make_unique<OGRMultiLineString>();
  bool failed = false;
  ForEachPart(geometry, [&](const OGRGeometry* part) {
    const auto* line = static_cast<const OGRLineString*>(part);
    std::unique_ptr<OGRGeometry> simple;
    if (line->getNumPoints() > SIMPLIFY_SECTION_POINTS) simple = ThinnedLongLine(*line, tolerance);
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
OGRGeometry* SimplifyRingsInSections(const OGRGeometry* geometry, double tolerance) {
  auto polygons = std::make_unique<OGRMultiPolygon>();
  bool failed = false;
  ForEachPart(geometry, [&](const OGRGeometry* part) {
    auto simplePolygon = std::make_unique<OGRPolygon>();
    for (const OGRLinearRing* ring : *static_cast<const OGRPolygon*>(part)) {
      OGRLineString line;
      line.addSubLineString(ring);
      std::unique_ptr<OGRGeometry> simple;
      if (line.getNumPoints() > SIMPLIFY_SECTION_POINTS) simple = ThinnedLongLine(line, tolerance);
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

OGRGeometry* SimplifyPreservingTopology(const OGRGeometry* geometry, double tolerance) {
  if (IsLinesWithALongOne(geometry)) return SimplifyLinesInSections(geometry, tolerance);
  if (IsAreasWithAVeryLongRing(geometry)) return SimplifyRingsInSections(geometry, tolerance);
  if (!SimplifyKeepsEveryVertex(geometry, tolerance)) return geometry->SimplifyPreserveTopology(tolerance);
  // GEOS gives a collection of one part back as that part.
  const auto* collection = dynamic_cast<const OGRGeometryCollection*>(geometry);
  if (collection != nullptr && collection->getNumGeometries() == 1) return collection->getGeometryRef(0)->clone();
  return geometry->clone();
}
