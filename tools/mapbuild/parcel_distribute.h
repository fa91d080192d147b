// Distributing one feature over the parcels it touches: its range of
// parcels is halved until each piece lies in one parcel, and a piece is cut
// only where it leaves a half (areas by hand, see ring_clip.h; lines with
// GEOS's intersection). A half that an area covers whole is filled without
// going further, which keeps a large area's cost with its edge rather than
// with the parcels it covers.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include <ogr_geometry.h>

#include "tools/mapbuild/parcel_grid.h"
#include "tools/mapbuild/ring_clip.h"

// A range of a grid's cells, bounds included.
struct CellRange {
  int64_t c0 = 0, c1 = 0, r0 = 0, r1 = 0;
};

// The cells of `grid` within `within` that `box` (map units) touches; false
// when none. A box of one point touches the one cell it lies in.
bool CellsTouched(const LevelGrid& grid, const ClipBox& box, const CellRange& within, CellRange* cells);

// Hands the pieces of one feature to the parcels of one level (see
// CutFeature in parcel_cutter.h for `creating`, `existing` and `sink`).
class ParcelDistributor {
 public:
  // A piece in the parcel at (row, column), in map units.
  using AreaPiece = std::function<void(ParcelContent*, uint32_t row, uint32_t column, const ClipShape&)>;
  using LinePiece = std::function<void(ParcelContent*, uint32_t row, uint32_t column, const OGRGeometry&)>;
  // A parcel that the area covers whole.
  using WholeParcel = std::function<void(ParcelContent*)>;

  ParcelDistributor(const LevelGrid& grid, bool creating, ParcelKeys* existing, LevelParcels* parcels,
                    CutReport* report, const PiecesSink* sink, const std::atomic<bool>* stop)
      : grid(grid), creating(creating), existing(existing), parcels(parcels), report(report), sink(sink), stop(stop) {}

  void Areas(const ClipShape& shape, const CellRange& cells, const AreaPiece& piece, const WholeParcel& whole);
  void Lines(std::unique_ptr<OGRGeometry> shape, const CellRange& cells, const LinePiece& piece);

  // True when the sink failed or `stop` was set: the feature was left unfinished.
  bool Interrupted() const { return sinkFailed || StopSeen(); }

 private:
  // Halves `cells` for `shape` (a ClipShape or an OGR geometry) down to
  // single parcels, handing each piece to `piece`, and each parcel an
  // area covers whole to `whole`.
  template <typename Shape, typename Piece>
  void Distribute(const Shape& shape, const CellRange& cells, const Piece& piece, const WholeParcel* whole);
  bool RangeWanted(const CellRange& cells);
  bool AnyParcel(const CellRange& cells) const;
  void Halves(const CellRange& cells, CellRange halves[2], ClipBox boxes[2]) const;
  void FillCells(const CellRange& cells, const WholeParcel& whole);
  ParcelContent* Parcel(uint32_t row, uint32_t column);
  bool StopSeen() const;

  const LevelGrid& grid;
  bool creating;
  ParcelKeys* existing;
  LevelParcels* parcels;
  CutReport* report;
  const PiecesSink* sink;
  const std::atomic<bool>* stop;
  bool sinkFailed = false;
};
