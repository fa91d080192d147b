#include "tools/mapbuild/parcel_cutter.h"

#include "tools/mapbuild/parcel_distribute.h"
#include "tools/mapbuild/parcel_units.h"

namespace {

// Cuts away what lies beyond the level's parcel grid (the map's edge),
// counting the feature as having a piece left out: the cells are found
// within the grid, so a piece reaching past it would be stored with
// points outside its parcel. False when nothing is left.
bool KeepInsideMap(const LevelGrid& grid, std::unique_ptr<OGRGeometry>* shape, CutReport* report) {
  const double x0 = grid.west, y0 = grid.south;
  const double x1 = x0 + static_cast<double>(grid.columns) * grid.parcelWidth;
  const double y1 = y0 + static_cast<double>(grid.rows) * grid.parcelHeight;
  OGREnvelope e;
  (*shape)->getEnvelope(&e);
  if (e.MinX >= x0 && e.MaxX <= x1 && e.MinY >= y0 && e.MaxY <= y1) return true;
  ++report->outsideMap;
  std::unique_ptr<OGRGeometry> inside = InRectangle(**shape, x0, y0, x1, y1);
  if (!inside || inside->IsEmpty()) return false;
  *shape = std::move(inside);
  return true;
}

// An area's piece in the parcel at (row, column): taken apart where its
// parts join along the parcel's edges, moved to local units and emitted.
void EmitAreaPiece(const EmitContext& c, const Emitter& emitter, ParcelContent* content, uint32_t row, uint32_t column,
                   const ClipShape& shape, const std::atomic<bool>* stop) {
  const ParcelFrame frame(c.grid, row, column);
  const ClipBox box{frame.x0, frame.y0, frame.x0 + c.grid.parcelWidth, frame.y0 + c.grid.parcelHeight};
  ClipShape parts = SeparatedWhereJoined(shape, box);
  MoveToLocal(frame, &parts);
  for (const ClipPolygon& part : parts) {
    if (StopRequested(stop)) return;
    emitter.area(c, content, part);
  }
}

// A line's (or label's) piece in the parcel at (row, column): each of its
// parts in local units, lines rounded to units, to the emitter that takes it.
void EmitLinePiece(const EmitContext& c, const Emitter& emitter, ParcelContent* content, uint32_t row, uint32_t column,
                   const OGRGeometry& shape) {
  const ParcelFrame frame(c.grid, row, column);
  ForEachPart(&shape, [&](const OGRGeometry* part) {
    if (const auto* point = dynamic_cast<const OGRPoint*>(part)) {
      if (emitter.point != nullptr) emitter.point(c, content, frame.Local(point->getX(), point->getY()));
    } else if (const auto* line = dynamic_cast<const OGRLineString*>(part)) {
      if (emitter.line == nullptr) return;
      std::vector<LocalPoint> points;
      points.reserve(static_cast<size_t>(line->getNumPoints()));
      for (int i = 0; i < line->getNumPoints(); ++i) AppendDistinct(Rounded(frame.Local(line->getX(i), line->getY(i))), &points);
      if (points.size() >= 2) emitter.line(c, content, std::move(points));
    }
  });
}

// The whole parcel as an area ring in local units.
ClipPolygon WholeParcelRing() {
  return {{{0, 0}, {double(PARCEL_SPAN), 0}, {double(PARCEL_SPAN), double(PARCEL_SPAN)}, {0, double(PARCEL_SPAN)}}};
}

}  // namespace

int CutFeature(const LevelGrid& grid, const RecipeRule& rule, const SourceFeature& feature, bool creating,
               ParcelKeys* existing, LevelParcels* pieces, CutReport* report, const PiecesSink* sink,
               const std::atomic<bool>* stop) {
  const Emitter& emitter = EmitterFor(rule.kind);
  std::unique_ptr<OGRGeometry> shape =
      Generalised(feature.geometry.get(), emitter.shape, grid.pixelUnits, &report->belowPixel, stop);
  if (StopRequested(stop)) return -1;
  if (!shape || !KeepInsideMap(grid, &shape, report)) return 0;
  OGREnvelope e;
  shape->getEnvelope(&e);
  const CellRange wholeGrid{0, int64_t{grid.columns} - 1, 0, int64_t{grid.rows} - 1};
  CellRange cells;
  if (!CellsTouched(grid, {e.MinX, e.MinY, e.MaxX, e.MaxY}, wholeGrid, &cells)) return 0;
  const EmitContext context{grid, rule, feature, report};
  ParcelDistributor distributor(grid, creating, existing, pieces, report, sink, stop);
  if (emitter.shape == FeatureShape::AREAS) {
    const ClipShape rings = ClipShapeOf(*shape);
    shape.reset();
    distributor.Areas(
        rings, cells,
        [&](ParcelContent* content, uint32_t row, uint32_t column, const ClipShape& piece) {
          EmitAreaPiece(context, emitter, content, row, column, piece, stop);
        },
        [&](ParcelContent* content) { emitter.area(context, content, WholeParcelRing()); });
  } else {
    distributor.Lines(std::move(shape), cells, [&](ParcelContent* content, uint32_t row, uint32_t column, const OGRGeometry& piece) {
      EmitLinePiece(context, emitter, content, row, column, piece);
    });
  }
  return distributor.Interrupted() ? -1 : 0;
}
