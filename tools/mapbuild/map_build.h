// Builds a map database from a recipe as a pipeline with bounded memory:
//   1. read and classify: every source is read once in order (OSM extracts
//      with libosmium, everything else with GDAL/OGR); each rule match is
//      turned into map units and spilled to temporary files;
//   2. per level: the features that reach the level are generalised and
//      cut into parcel buckets, spilled to temporary files in sorted runs;
//   3. per level: the buckets are merged parcel by parcel, each parcel
//      encoded (divided into pieces when it does not fit one data area)
//      and appended to the level's data file;
//   4. the map's head (header, index, parcel tables) is laid out from the
//      data areas' sizes and the file written to a temporary file beside
//      the output, renamed over it only when everything succeeded.
// Levels are independent and are built by parallel workers. The attribution
// file (the sources' attributions and licence texts) is written beside it.
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
  int64_t droppedForSize = 0;  // of those, content left out because it did not fit: the build fails
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
