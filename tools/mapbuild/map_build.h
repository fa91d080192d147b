// Builds a map database from a recipe: reads its sources, generalises and
// cuts their features into the parcels of the seven levels, encodes each
// parcel's sections and writes the file with the map writer, together with
// a text file of the sources' attributions and licences beside it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tools/mapbuild/recipe.h"

// One line of progress (a source read, a level cut, what was dropped).
using BuildProgress = std::function<void(const std::string& line)>;

struct BuildSummary {
  int32_t parcels = 0;
  int64_t features = 0;
  int64_t dropped = 0;   // pieces, records and names left out (each reported)
  uint64_t bytes = 0;    // of the map file
};

// The start of a progress line that is a warning: shown also when
// progress is not (a source that gave no feature at all).
constexpr char BUILD_WARNING[] = "warning: ";

// Suffix of the attribution file written beside the map.
constexpr char ATTRIBUTION_SUFFIX[] = ".txt";

// Builds the map of `recipe` into the host file `outPath` and its
// attribution file outPath + ATTRIBUTION_SUFFIX. Returns 0, or -1 with the
// reason in *error (a source that cannot be read, a file that cannot be
// written, a map the format cannot hold).
int BuildMapFromRecipe(const Recipe& recipe, const std::string& outPath, const BuildProgress& progress,
                       BuildSummary* summary, std::string* error);
