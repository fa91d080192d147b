// Encoding one level: the parcels come out of the level's parcel spill one
// at a time with their pieces in order, and each is encoded into data areas
// appended to the level's data file: whole when its content fits one data
// area, else divided into S × S pieces at the first grid of PIECE_GRIDS at
// which every piece fits. A parcel that overflows even the finest grid is a
// hot spot: its content is encoded again in order of importance, and what
// still does not fit is left out and counted with the parcel's place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapdata/map_layout.h"
#include "tools/mapbuild/build_context.h"
#include "tools/mapbuild/parcel_spill.h"
#include "tools/mapbuild/section_encoders.h"

// The pieces per side of a parcel divided with split kinds 1, 2, 3 in turn.
// Small grids keep a view's parcel list within the reader's limit.
constexpr uint16_t PIECE_GRIDS[SPLIT_KINDS] = {2, 4, 8};

// One parcel of a level as stored: whole (side 0, one data area) or
// divided into side × side pieces (as many data areas). Kept for every
// parcel until the map's head is laid out, so it is small.
struct StoredParcel {
  uint32_t row = 0, column = 0;
  uint8_t splitKind = 0;
  uint16_t side = 0;

  size_t Areas() const { return side != 0 ? size_t{side} * side : 1; }
};

// A parcel whose content did not fit even its finest pieces, and what of
// it was left out.
struct HotSpot {
  uint32_t row = 0, column = 0;
  int32_t items = 0, links = 0, names = 0, refusedPieces = 0;
};

// What encoding one level made.
struct LevelData {
  std::string dataPath;  // the data file, its data areas back to back
  std::vector<StoredParcel> parcels;
  // The size of each data area in the data file, the parcels' in turn
  // (0: a piece without data).
  std::vector<uint32_t> areaBytes;
  uint64_t dataBytes = 0;
  EncodeReport report;
  int64_t mergedNames = 0;  // along-line names that repeated one in their parcel
  int32_t divided = 0;      // parcels divided into pieces
  std::vector<HotSpot> hotSpots;
};

// Records an encoding left out for want of room.
int64_t DroppedForSize(const EncodeReport& report);

// Encodes every parcel of `spill` into data->dataPath in `blockSize` units.
// Returns 0, or -1 with *error (a file that cannot be written, a spill that
// cannot be read, the stop flag).
int EncodeLevel(const BuildContext& context, uint16_t blockSize, ParcelSpill* spill, LevelData* data,
                std::string* error);
