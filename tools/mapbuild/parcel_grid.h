// What cutting features into the parcels of one level shares: the level's
// grid, the parcels that exist there, the pieces cut so far and the
// report of what was left out or changed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/mapbuild/parcel_content.h"

// The parcel grid of one level, in map units.
struct LevelGrid {
  int levelIndex = 0;   // index into STANDARD_LEVELS
  uint16_t levelCode = 0;
  int32_t west = 0, south = 0;
  int32_t parcelWidth = 0, parcelHeight = 0;
  uint32_t rows = 0, columns = 0;
  int firstStep = 0, lastStep = 0;  // the scale steps the level serves
  double pixelUnits = 0;            // map units per pixel at its finest step
};

// The key of the parcel at (row, column).
inline uint64_t ParcelKey(uint32_t row, uint32_t column) { return (uint64_t{row} << 32) | column; }

// Parcels of one level (or the pieces one feature adds to them) by ParcelKey.
using LevelParcels = std::unordered_map<uint64_t, ParcelContent>;
// The parcels that exist at a level: those that rules making parcels put
// something in. One bit per cell of the level's grid, so that it stays a
// few megabytes however many parcels a level has.
class ParcelKeys {
 public:
  ParcelKeys() = default;
  explicit ParcelKeys(const LevelGrid& grid) : columns(grid.columns), bits((uint64_t{grid.rows} * grid.columns + 63) / 64) {}
  bool Contains(uint64_t key) const {
    const uint64_t cell = Cell(key);
    return cell / 64 < bits.size() && (bits[cell / 64] >> (cell % 64) & 1) != 0;
  }
  void Insert(uint64_t key) {
    const uint64_t cell = Cell(key);
    if (cell / 64 < bits.size()) bits[cell / 64] |= uint64_t{1} << (cell % 64);
  }
  // Adds every parcel of `other` (of the same grid).
  void Merge(const ParcelKeys& other) {
    for (size_t i = 0; i < bits.size() && i < other.bits.size(); ++i) bits[i] |= other.bits[i];
  }

 private:
  uint64_t Cell(uint64_t key) const { return (key >> 32) * columns + (key & 0xFFFFFFFF); }

  uint64_t columns = 0;
  std::vector<uint64_t> bits;
};

// What generalising and cutting left out or changed, for the progress lines.
struct CutReport {
  int64_t belowPixel = 0;    // features smaller than a pixel at the level
  int64_t noParcel = 0;      // pieces of filling rules where the level has no parcel (as meant)
  int64_t outsideMap = 0;    // features reaching past the map's edge, cut there (the rest left out)
  int64_t cutNames = 0;      // names cut to 32 characters
  int64_t noRoom = 0;        // along-line names whose line was too short
  int64_t splitAreas = 0;    // areas split further (holes, too many points)
  int64_t tooComplex = 0;    // area pieces still over the point limit after every split
  std::vector<std::string> cutExamples;  // a few of the cut names
};

// Takes the pieces cut so far (and empties `pieces`); 0, or -1 to stop.
using PiecesSink = std::function<int(LevelParcels* pieces)>;

