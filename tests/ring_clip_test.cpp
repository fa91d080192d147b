// Clipping areas by hand against a grid of cells, as the builder halves a
// feature's parcel range: what the pieces enclose, cell by cell, is what
// the geometry library finds for the same cell, and nothing is lost or
// added across the grid.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <ogr_geometry.h>

#include "tools/mapbuild/ring_clip.h"

namespace {

constexpr double CELL = 10.0;
constexpr int CELLS = 5;  // per side: the grid is 0..50 on both axes

std::unique_ptr<OGRGeometry> FromWkt(const std::string& wkt) {
  OGRGeometry* geometry = nullptr;
  EXPECT_EQ(OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &geometry), OGRERR_NONE) << wkt;
  return std::unique_ptr<OGRGeometry>(geometry);
}

ClipBox CellBox(int64_t c0, int64_t c1, int64_t r0, int64_t r1) {
  return {c0 * CELL, r0 * CELL, (c1 + 1) * CELL, (r1 + 1) * CELL};
}

// The area of `geometry` in `box` and the number of polygons it is, as the
// geometry library finds them.
double LibraryArea(const OGRGeometry& geometry, const ClipBox& box, int* polygons = nullptr) {
  OGRPolygon rectangle;
  auto ring = new OGRLinearRing();
  ring->addPoint(box.x0, box.y0);
  ring->addPoint(box.x1, box.y0);
  ring->addPoint(box.x1, box.y1);
  ring->addPoint(box.x0, box.y1);
  ring->addPoint(box.x0, box.y0);
  rectangle.addRingDirectly(ring);
  std::unique_ptr<OGRGeometry> inside(geometry.Intersection(&rectangle));
  if (polygons != nullptr) {
    *polygons = 0;
    const auto* multi = dynamic_cast<const OGRGeometryCollection*>(inside.get());
    for (int i = 0; i < (multi != nullptr ? multi->getNumGeometries() : 1); ++i) {
      const OGRGeometry* part = multi != nullptr ? multi->getGeometryRef(i) : inside.get();
      const auto* polygon = dynamic_cast<const OGRPolygon*>(part);
      *polygons += polygon != nullptr && polygon->get_Area() > 1e-9 ? 1 : 0;  // not the library's slivers
    }
  }
  const auto* surface = dynamic_cast<const OGRSurface*>(inside.get());
  if (surface != nullptr) return surface->get_Area();
  const auto* collection = dynamic_cast<const OGRGeometryCollection*>(inside.get());
  return collection != nullptr ? collection->get_Area() : 0;
}

// Halves the cell range as the builder does, clipping at each halving, and
// records each cell's piece.
void Halve(const ClipShape& shape, int64_t c0, int64_t c1, int64_t r0, int64_t r1, std::vector<ClipShape>* cells) {
  if (shape.empty()) return;
  if (c0 == c1 && r0 == r1) {
    (*cells)[static_cast<size_t>(r0 * CELLS + c0)] = shape;
    return;
  }
  const bool byColumn = (c1 - c0) >= (r1 - r0);
  const int64_t middle = byColumn ? (c0 + c1) / 2 : (r0 + r1) / 2;
  const int64_t halves[2][4] = {{c0, byColumn ? middle : c1, r0, byColumn ? r1 : middle},
                                {byColumn ? middle + 1 : c0, c1, byColumn ? r0 : middle + 1, r1}};
  for (const auto& h : halves) Halve(ClipShapeToBox(shape, CellBox(h[0], h[1], h[2], h[3])), h[0], h[1], h[2], h[3], cells);
}

TEST(RingClipTest, PiecesEncloseWhatTheAreaHasInEachCell) {
  const struct {
    const char* name;
    const char* wkt;
  } shapes[] = {
      {"convex, tilted", "POLYGON((25 -5,57 20,30 48,-4 27,25 -5))"},
      {"concave comb leaving and re-entering cells",
       "POLYGON((2 2,48 2,48 45,41 45,41 8,33 8,33 45,26 45,26 8,17 8,17 45,9 45,9 8,2 8,2 2))"},
      {"hole crossing cell edges", "POLYGON((3 3,47 3,47 47,3 47,3 3),(15 15,35 15,35 35,15 35,15 15))"},
      {"hole inside one cell", "POLYGON((1 1,49 1,49 49,1 49,1 1),(22 22,28 22,28 28,22 28,22 22))"},
      {"edges along cell edges", "POLYGON((10 10,30 10,30 40,10 40,10 10))"},
      {"touching a cell from outside", "POLYGON((20 20,30 20,30 30,20 30,20 20))"},
      {"reaching past the grid", "POLYGON((-20 -20,70 -20,70 25,-20 25,-20 -20))"},
      {"two parts, one clockwise", "MULTIPOLYGON(((1 1,9 1,9 9,1 9,1 1)),((12 12,12 38,38 38,38 12,12 12)))"},
      {"repeated points and a spike", "POLYGON((5 5,5 5,45 5,45 25,45 25,60 26,45 27,45 45,5 45,5 5))"},
      {"collinear (encloses nothing)", "POLYGON((0 0,20 20,40 40,0 0))"},
  };
  const ClipBox grid = CellBox(0, CELLS - 1, 0, CELLS - 1);
  for (const auto& s : shapes) {
    const std::unique_ptr<OGRGeometry> geometry = FromWkt(s.wkt);
    std::vector<ClipShape> cells(CELLS * CELLS);
    Halve(ClipShapeToBox(ClipShapeOf(*geometry), grid), 0, CELLS - 1, 0, CELLS - 1, &cells);
    double total = 0;
    for (int r = 0; r < CELLS; ++r) {
      for (int c = 0; c < CELLS; ++c) {
        const ClipShape& piece = cells[static_cast<size_t>(r * CELLS + c)];
        const ClipBox box = CellBox(c, c, r, r);
        ClipBox bounds;
        if (ClipShapeBounds(piece, &bounds)) {
          EXPECT_TRUE(bounds.x0 >= box.x0 && bounds.x1 <= box.x1 && bounds.y0 >= box.y0 && bounds.y1 <= box.y1)
              << s.name << ": a piece reaches out of cell " << c << "," << r;
        }
        int polygons = 0;
        const double area = LibraryArea(*geometry, box, &polygons);
        EXPECT_NEAR(ClipShapeArea(piece), area, 1e-9) << s.name << ", cell " << c << "," << r;
        total += ClipShapeArea(piece);
        // Taken apart where they run along the cell's sides: the same area
        // in as many polygons as the library finds, none joined any more.
        ClipShape parts;
        for (const ClipPolygon& polygon : piece) {
          for (ClipPolygon& part : SeparatedAlongTheBox(polygon, box)) parts.push_back(std::move(part));
        }
        EXPECT_NEAR(ClipShapeArea(parts), area, 1e-9) << s.name << ", cell " << c << "," << r << " taken apart";
        EXPECT_EQ(static_cast<int>(parts.size()), polygons) << s.name << ", cell " << c << "," << r;
        for (const ClipPolygon& part : parts) EXPECT_FALSE(RunsBackAlongTheBox(part, box)) << s.name << ", cell " << c << "," << r;
      }
    }
    EXPECT_NEAR(total, LibraryArea(*geometry, grid), 1e-9) << s.name;
  }
}

// An area that covers a cell whole clips to the cell's own area, which is
// what lets the builder fill such parcels without going further.
TEST(RingClipTest, ACoveredBoxClipsToItsWholeArea) {
  const ClipShape shape = ClipShapeOf(*FromWkt("POLYGON((-3 -1,17 -2,16 13,-2 12,-3 -1))"));
  EXPECT_DOUBLE_EQ(ClipShapeArea(ClipShapeToBox(shape, {0, 0, 10, 10})), 100.0);
  const ClipShape holed = ClipShapeOf(*FromWkt("POLYGON((-3 -3,13 -3,13 13,-3 13,-3 -3),(4 4,5 4,5 5,4 4))"));
  EXPECT_DOUBLE_EQ(ClipShapeArea(ClipShapeToBox(holed, {0, 0, 10, 10})), 99.5);
}

}  // namespace
