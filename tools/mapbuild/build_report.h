// The texts a build writes besides the map: the attribution file, the
// short attribution of the map's header, and the progress lines that say
// what each source and level gave and what was left out.
#pragma once

#include <cstdint>
#include <string>

#include "tools/mapbuild/encode_stage.h"
#include "tools/mapbuild/osm_reader.h"
#include "tools/mapbuild/parcel_cutter.h"
#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/section_encoders.h"
#include "tools/mapbuild/source_reader.h"

// The program's name, as the map's header and the attribution file give it.
constexpr char PROGRAM_TEXT[] = "tevo-mapbuild";

// The attribution file: the sources with their attributions and the texts
// of their licences. "" with *error when a licence text cannot be read.
std::string AttributionText(const Recipe& recipe, std::string* error);

// The short attributions of all sources, deduplicated, for the header.
std::string ShortAttribution(const Recipe& recipe);

// "12.3 MB".
std::string Megabytes(uint64_t bytes);

// What reading one source gave and left out.
struct SourceCounts {
  SourceSummary read;
  OsmReadSummary osm;
  int64_t repeated = 0;  // features repeating another exactly (left out)
  int64_t merged = 0;    // point labels repeating a label nearby (merged)
};
std::string DescribeSource(const RecipeSource& source, const SourceCounts& counts);

// What building one level gave and left out.
struct LevelCounts {
  uint16_t levelCode = 0;
  int64_t features = 0;
  size_t parcels = 0;
  int32_t divided = 0;  // parcels divided into pieces
  uint64_t spilledBytes = 0;
  int runs = 0;
};
std::string DescribeLevel(const LevelCounts& level, const CutReport& cut, const EncodeReport& encode);

// The warning for a hot spot of level `levelCode` whose parcel's centre
// lies at (lon, lat) degrees: where it is and what of it was left out.
std::string DescribeHotSpot(uint16_t levelCode, double lon, double lat, const HotSpot& spot);
