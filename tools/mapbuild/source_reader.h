// Reads the features of a recipe's sources through GDAL/OGR and turns them
// into map geometry: every vertex is transformed from the source's CRS to
// WGS84 and then, by the same function the log reader applies to fixes,
// into map units on the Tokyo datum.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <ogr_geometry.h>

#include "tools/mapbuild/recipe.h"

// One feature that a rule matched.
struct SourceFeature {
  int rule = 0;                              // index into the source's rules
  std::unique_ptr<OGRGeometry> geometry;     // map units (x east, y north)
  std::string text;                          // a label's text, UTF-8
  double rank = 0;                           // a label's rank attribute
};

struct SourceSummary {
  int64_t read = 0;       // features read
  int64_t matched = 0;    // rule matches kept
  int64_t noGeometry = 0; // features without a usable geometry
  int64_t outside = 0;    // features that could not be transformed to map units
  int64_t deleted = 0;    // OSM objects an editor marked deleted (not read)
};

// Receives the features of a source one by one; a non-zero result stops
// the reading as a failure (the receiver has set the error).
using FeatureSink = std::function<int(SourceFeature&& feature)>;

// Reads every layer (or the recipe's layers) of `source` and hands one
// SourceFeature per feature and matching rule to `sink`. Returns 0, or -1
// with the reason in *error when the source cannot be opened or its CRS
// cannot be transformed.
int ReadSource(const RecipeSource& source, const FeatureSink& sink, SourceSummary* summary, std::string* error);

// WGS84 degrees to map units by the log reader's conversion; false when the
// point lies outside what map units hold.
bool DegreesToMapUnits(double lon, double lat, double* x, double* y);

// Turns a geometry in WGS84 longitude/latitude degrees into map units in
// place. Returns 0, or -1 when a vertex lies outside what map units hold.
int DegreesToMapGeometry(OGRGeometry* geometry);

// Registers GDAL's drivers once and keeps its messages off stderr unless
// they are failures.
void PrepareGdal();
