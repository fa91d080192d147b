// Builds a map database from a recipe as a pipeline of stages with bounded
// memory, each in a file of its own:
//   read_stage    every source read once (OSM extracts with libosmium,
//                 everything else with GDAL/OGR; land from the coastline
//                 alongside the others), each rule match passed through the
//                 filters (feature_filters) into its source's feature spill
//                 (feature_spill);
//   cut_stage     per level, the features that reach the level generalised
//                 and cut into parcel pieces, spilled in sorted runs
//                 (parcel_spill);
//   encode_stage  per level, the parcels merged one at a time and encoded,
//                 divided into pieces when they do not fit one data area,
//                 into the level's data file (level_stage runs the levels,
//                 each cut by all workers while the one before is encoded);
//   write_stage   the map's head laid out from the data areas' sizes and the
//                 file written by the map writer to a temporary file beside
//                 the output, renamed over it only when everything succeeded.
// The stages share one BuildContext (build_context.h); this file's BuildMap
// runs them in turn. The attribution file (the sources' attributions and
// licence texts, build_report) is written beside the map.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/mapbuild/recipe.h"

class ProgressMeter;

// One line of progress (a source read, a level cut, what was dropped).
using BuildProgress = std::function<void(const std::string& line)>;

struct BuildSummary {
  int32_t parcels = 0;
  int32_t dividedParcels = 0;  // parcels stored as pieces
  int64_t features = 0;
  int64_t dropped = 0;         // pieces, records and names left out (each reported)
  int64_t droppedForSize = 0;  // of those, content left out because it did not fit
  int32_t hotSpots = 0;        // parcels that overflowed even their finest pieces
  int64_t hotSpotRecords = 0;  // records those left out, the least important (part of droppedForSize)
  uint64_t bytes = 0;          // of the map file
  uint64_t temporaryBytes = 0; // the most the temporary folder held
};

// The start of a progress line that is a warning: shown also when
// progress is not (a source that gave no feature at all).
constexpr char BUILD_WARNING[] = "warning: ";

// Suffix of the attribution file written beside the map.
constexpr char ATTRIBUTION_SUFFIX[] = ".txt";

// Pieces a level's worker holds in memory before it spills them.
constexpr size_t DEFAULT_BUCKET_BYTES = size_t{16} << 20;
constexpr int DEFAULT_WORKERS = 2;

struct BuildOptions {
  std::string temporaryParent;  // "" for $TMPDIR or /tmp
  size_t bucketBytes = DEFAULT_BUCKET_BYTES;
  int workers = DEFAULT_WORKERS;
  const std::atomic<bool>* stop = nullptr;  // set (e.g. by a signal): stop, clean up, fail
  ProgressMeter* meter = nullptr;           // null: no progress at all
  // Refuse to write a map with hot spots (content that did not fit its
  // parcel even in pieces) instead of keeping their most important content.
  bool strict = false;
};

// Builds the map of `recipe` into the host file `outPath` and its
// attribution file outPath + ATTRIBUTION_SUFFIX. Returns 0, or -1 with the
// reason in *error (a source that cannot be read, a file that cannot be
// written, content that does not fit the format, an interruption); on
// failure neither file is touched and no temporary file is left.
int BuildMap(const Recipe& recipe, const std::string& outPath, const BuildOptions& options, BuildSummary* summary,
             std::string* error);

// BuildMap with the default options, progress lines going to `progress`.
int BuildMapFromRecipe(const Recipe& recipe, const std::string& outPath, const BuildProgress& progress,
                       BuildSummary* summary, std::string* error);
