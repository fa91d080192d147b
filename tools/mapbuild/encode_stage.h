// Encoding one level: the parcels come out of the level's parcel spill one
// at a time with their pieces in order, and each is encoded into data areas
// appended to the level's data file: whole when its content fits one data
// area, else divided into S × S pieces at the first grid of PIECE_GRIDS at
// which every piece fits. What does not fit even then is left out and
// counted (the build then fails).
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
};

// Records an encoding left out for want of room (the build fails on any).
int64_t DroppedForSize(const EncodeReport& report);

// Encodes every parcel of `spill` into data->dataPath in `blockSize` units.
// Returns 0, or -1 with *error (a file that cannot be written, a spill that
// cannot be read, the stop flag).
int EncodeLevel(const BuildContext& context, uint16_t blockSize, ParcelSpill* spill, LevelData* data,
                std::string* error);
