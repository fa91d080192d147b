// Cutting one level: the features whose rules reach the level are read
// back from the feature spills and cut into the level's parcels
// (CutFeature), the pieces going into the level's parcel spill. All
// workers cut at once, each every n-th feature. The rules that make parcels
// are cut first; once all parcels are known, the rules that only fill them.
// A piece's place in its parcel is its pass, then its feature's place in
// the reading order, whichever worker cut it, so the level's content does
// not depend on how the work was shared.
#pragma once

#include <cstdint>
#include <string>

#include "tools/mapbuild/build_context.h"
#include "tools/mapbuild/feature_spill.h"
#include "tools/mapbuild/parcel_cutter.h"
#include "tools/mapbuild/parcel_spill.h"
#include "tools/mapwriter/map_writer.h"

// The most workers a level is cut by.
constexpr int MAX_WORKERS = 16;

// The parcel grid of level `levelIndex` of `map`.
LevelGrid GridOfLevel(const MapDescription& map, int levelIndex);

// What cutting one level gave.
struct LevelCut {
  CutReport report;
  int64_t features = 0;       // features cut (each once per pass it belongs to)
  uint64_t spilledBytes = 0;  // of the parcel spill
  int runs = 0;               // the spill's run files
};

// Cuts the level of `grid` into `spill` (made for context.options.workers
// parts, clamped to 1..MAX_WORKERS) and finishes the spill. Returns 0, or
// -1 with *error (a spill that cannot be written or read, the stop flag).
int CutLevel(const BuildContext& context, const SourceSpills& features, const LevelGrid& grid, ParcelSpill* spill,
             LevelCut* cut, std::string* error);

// The number of workers the options ask for, within 1..MAX_WORKERS.
int CutWorkers(const BuildOptions& options);
