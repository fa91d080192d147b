// Land and sea from an OSM file's coastline. OSM maps no sea as areas: the
// sea is whatever lies on the right of the ways tagged natural=coastline.
// osmcoastline (a program of its own, run as a child process) assembles
// those ways into land polygons in a database in the build's temporary
// folder; the polygons are then read through GDAL/OGR like any polygon
// source, with the rules of the recipe source that asks for them
// (`from: coastline`).
#pragma once

#include <cstdint>
#include <string>

#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/source_reader.h"

// The program that assembles the coastline, looked up on $PATH.
constexpr char COASTLINE_PROGRAM[] = "osmcoastline";

// What the assembly found and cost.
struct CoastlineSummary {
  int64_t coastlineWays = 0;  // ways tagged natural=coastline in the file
  int64_t openEnds = 0;       // coastline ends that could not be joined into a ring
  int64_t landPolygons = 0;   // land polygons assembled (split into pieces of at most 1000 points)
  // The polygons tell land from sea: there are some, and no coastline is
  // left open (else the land behind an open coast would come out as sea).
  bool usable = false;
  int exitStatus = 0;         // the program's: 0 clean, 1 warnings, 2 errors in the coastline data
  double seconds = 0;         // the program's wall time
  uint64_t databaseBytes = 0; // the size of the database it wrote (removed once read)
  std::string messages;       // what it wrote on stderr, its lines joined by spaces
};

// Assembles the land polygons of the OSM file `source.resolvedPath` into
// `temporaryDirectory` and hands one SourceFeature per polygon and matching
// rule of `source` to `sink` when they are usable; a file without
// coastline, or with coastline ends that join no ring, gives no feature.
// Returns 0, or -1
// with the reason in *error when the program is missing, could not read the
// file or failed (exit status 3 and up, or a signal), or its output cannot
// be read.
int ReadCoastlineLand(const RecipeSource& source, const std::string& temporaryDirectory, const FeatureSink& sink,
                      SourceSummary* summary, CoastlineSummary* coast, std::string* error);

// Land polygons given instead of the coastline must hold some: a file of
// coast lines or points would make the map all sea. Returns 0 when the
// file `path` (anything GDAL/OGR reads) holds a polygon or multipolygon, or
// cannot be opened (its reading says why later), else -1 with *error
// naming the file.
int CheckLandPolygons(const std::string& path, std::string* error);

// The progress line of an assembly: the ways and polygons, the time and the
// space it took; or that the file has no coastline and the map is land
// everywhere.
std::string DescribeCoastline(const RecipeSource& source, const CoastlineSummary& coast);

// What the user must know about an assembly's result, or "": coastline
// ends that join no ring (the map is then land everywhere), or errors in the
// coastline data that the program mended.
std::string CoastlineWarning(const RecipeSource& source, const CoastlineSummary& coast);
