#include "tools/mapbuild/parcel_distribute.h"

#include <algorithm>
#include <cmath>

#include "tools/mapbuild/generalise.h"

namespace {

// Parcels tested one by one before a clip when only existing parcels count.
constexpr int64_t PRUNE_CELL_LIMIT = 1 << 16;
// Parcels one feature's pieces may fill before they are handed on.
constexpr size_t SINK_PARCELS = 4096;

// The shapes Distribute cuts: areas as rings, lines as OGR geometries.
bool IsEmpty(const ClipShape& shape) { return shape.empty(); }
bool IsEmpty(const std::unique_ptr<OGRGeometry>& shape) { return !shape || shape->IsEmpty(); }
bool BoundsOf(const ClipShape& shape, ClipBox* bounds) { return ClipShapeBounds(shape, bounds); }
bool BoundsOf(const std::unique_ptr<OGRGeometry>& shape, ClipBox* bounds) {
  if (IsEmpty(shape)) return false;
  OGREnvelope e;
  shape->getEnvelope(&e);
  *bounds = {e.MinX, e.MinY, e.MaxX, e.MaxY};
  return true;
}
ClipShape CutToBox(const ClipShape& shape, const ClipBox& box) { return ClipShapeToBox(shape, box); }
std::unique_ptr<OGRGeometry> CutToBox(const std::unique_ptr<OGRGeometry>& shape, const ClipBox& box) {
  return InRectangle(*shape, box.x0, box.y0, box.x1, box.y1);
}
// True when the area cut to `box` fills it: then nothing of the box lies
// outside the area (up to the rounding of the areas' sums, far below a
// parcel unit).
bool Covers(const ClipShape& piece, const ClipBox& box) {
  constexpr double COVER_MARGIN = 1e-9;
  const double boxArea = (box.x1 - box.x0) * (box.y1 - box.y0);
  return ClipShapeArea(piece) >= boxArea * (1 - COVER_MARGIN);
}
bool Covers(const std::unique_ptr<OGRGeometry>&, const ClipBox&) { return false; }

void Emit(const ParcelDistributor::AreaPiece& piece, ParcelContent* content, uint32_t row, uint32_t column,
          const ClipShape& shape) {
  piece(content, row, column, shape);
}
void Emit(const ParcelDistributor::LinePiece& piece, ParcelContent* content, uint32_t row, uint32_t column,
          const std::unique_ptr<OGRGeometry>& shape) {
  piece(content, row, column, *shape);
}

bool Outside(const ClipBox& e, const ClipBox& box) { return e.x1 < box.x0 || e.x0 > box.x1 || e.y1 < box.y0 || e.y0 > box.y1; }
bool Within(const ClipBox& e, const ClipBox& box) { return e.x0 >= box.x0 && e.x1 <= box.x1 && e.y0 >= box.y0 && e.y1 <= box.y1; }

}  // namespace

bool CellsTouched(const LevelGrid& grid, const ClipBox& e, const CellRange& within, CellRange* cells) {
  auto first = [](double v, double origin, double size) { return static_cast<int64_t>(std::floor((v - origin) / size)); };
  auto last = [](double v, double origin, double size) {
    return std::max<int64_t>(static_cast<int64_t>(std::ceil((v - origin) / size)) - 1,
                             static_cast<int64_t>(std::floor((v - origin) / size)));
  };
  const bool point = e.x0 == e.x1 && e.y0 == e.y1;
  cells->c0 = std::max(within.c0, first(e.x0, grid.west, grid.parcelWidth));
  cells->c1 = std::min(within.c1, point ? first(e.x1, grid.west, grid.parcelWidth) : last(e.x1, grid.west, grid.parcelWidth));
  cells->r0 = std::max(within.r0, first(e.y0, grid.south, grid.parcelHeight));
  cells->r1 = std::min(within.r1, point ? first(e.y1, grid.south, grid.parcelHeight) : last(e.y1, grid.south, grid.parcelHeight));
  return cells->c0 <= cells->c1 && cells->r0 <= cells->r1;
}

void ParcelDistributor::Areas(const ClipShape& shape, const CellRange& cells, const AreaPiece& piece,
                              const WholeParcel& whole) {
  Distribute(shape, cells, piece, &whole);
}

void ParcelDistributor::Lines(std::unique_ptr<OGRGeometry> shape, const CellRange& cells, const LinePiece& piece) {
  Distribute(shape, cells, piece, nullptr);
}

template <typename Shape, typename Piece>
void ParcelDistributor::Distribute(const Shape& shape, const CellRange& cells, const Piece& piece,
                                   const WholeParcel* whole) {
  if (IsEmpty(shape) || !RangeWanted(cells)) return;
  if (cells.c0 == cells.c1 && cells.r0 == cells.r1) {
    ParcelContent* content = Parcel(static_cast<uint32_t>(cells.r0), static_cast<uint32_t>(cells.c0));
    if (content != nullptr) Emit(piece, content, static_cast<uint32_t>(cells.r0), static_cast<uint32_t>(cells.c0), shape);
    return;
  }
  CellRange halves[2];
  ClipBox boxes[2];
  Halves(cells, halves, boxes);
  ClipBox bounds;
  if (!BoundsOf(shape, &bounds)) return;
  for (int h = 0; h < 2 && !Interrupted(); ++h) {
    if (Outside(bounds, boxes[h])) continue;
    ClipBox e = bounds;
    Shape cut;
    const Shape* inHalf = &shape;
    if (!Within(e, boxes[h])) {
      cut = CutToBox(shape, boxes[h]);
      if (Covers(cut, boxes[h])) {
        if (whole != nullptr) FillCells(halves[h], *whole);
        continue;
      }
      if (!BoundsOf(cut, &e)) continue;
      inHalf = &cut;
    }
    CellRange inside;
    if (CellsTouched(grid, e, halves[h], &inside)) Distribute(*inHalf, inside, piece, whole);
  }
}

// The two halves of a cell range (split across its longer side) with
// their rectangles in map units.
void ParcelDistributor::Halves(const CellRange& cells, CellRange halves[2], ClipBox boxes[2]) const {
  const bool byColumn = (cells.c1 - cells.c0) >= (cells.r1 - cells.r0);
  const int64_t middle = byColumn ? (cells.c0 + cells.c1) / 2 : (cells.r0 + cells.r1) / 2;
  for (int half = 0; half < 2; ++half) {
    CellRange& h = halves[half];
    h = cells;
    if (byColumn) (half == 0 ? h.c1 : h.c0) = half == 0 ? middle : middle + 1;
    else (half == 0 ? h.r1 : h.r0) = half == 0 ? middle : middle + 1;
    boxes[half] = {grid.west + static_cast<double>(h.c0) * grid.parcelWidth, grid.south + static_cast<double>(h.r0) * grid.parcelHeight,
                   grid.west + static_cast<double>(h.c1 + 1) * grid.parcelWidth,
                   grid.south + static_cast<double>(h.r1 + 1) * grid.parcelHeight};
  }
}

// False when the feature is given up, or when only existing parcels count
// and the range has none.
bool ParcelDistributor::RangeWanted(const CellRange& cells) {
  if (Interrupted()) return false;
  if (!creating && !AnyParcel(cells)) {
    ++report->noParcel;
    return false;
  }
  return true;
}

bool ParcelDistributor::AnyParcel(const CellRange& cells) const {
  if ((cells.c1 - cells.c0 + 1) * (cells.r1 - cells.r0 + 1) > PRUNE_CELL_LIMIT) return true;
  for (int64_t r = cells.r0; r <= cells.r1; ++r) {
    for (int64_t c = cells.c0; c <= cells.c1; ++c) {
      if (existing->Contains(ParcelKey(static_cast<uint32_t>(r), static_cast<uint32_t>(c)))) return true;
    }
  }
  return false;
}

void ParcelDistributor::FillCells(const CellRange& cells, const WholeParcel& whole) {
  for (int64_t r = cells.r0; r <= cells.r1 && !Interrupted(); ++r) {
    for (int64_t c = cells.c0; c <= cells.c1; ++c) {
      ParcelContent* content = Parcel(static_cast<uint32_t>(r), static_cast<uint32_t>(c));
      if (content != nullptr) whole(content);
    }
  }
}

ParcelContent* ParcelDistributor::Parcel(uint32_t row, uint32_t column) {
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

bool ParcelDistributor::StopSeen() const { return StopRequested(stop); }
