// Reads OpenStreetMap extracts (PBF, as downloaded) with libosmium: a first
// pass collects the multipolygon and boundary relations, a second pass
// reads nodes, ways and areas in order, with node locations kept in a
// compact store in the temporary folder (the extract's nodes must be
// sorted by id, as downloaded extracts are). Tagged nodes are points, ways
// are lines, closed ways and relations whose tags an area rule asks for are
// areas; the rules are matched against each object's tags as against the
// attributes of other sources.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/source_reader.h"

// True when `path` names an OSM PBF file, which this reader reads.
bool IsOsmExtract(const std::string& path);

struct OsmReadOptions {
  std::string temporaryDirectory;    // where the node-location index lives
  const std::atomic<bool>* stop = nullptr;  // set: stop reading (a failure)
  // Called now and then with the input bytes read so far and in all, per pass.
  std::function<void(int pass, uint64_t done, uint64_t total)> progress;
};

struct OsmReadSummary {
  int64_t incompleteRelations = 0;  // areas of relations whose members are missing (left out)
  int64_t brokenAreas = 0;          // areas the assembler could not close (left out)
  uint64_t indexBytes = 0;          // the node-location store's size on disk
};

// Reads `source` and hands one SourceFeature per object and matching rule to
// `sink`. Returns 0, or -1 with the source's name and the library's message
// in *error when anything cannot be read.
int ReadOsmSource(const RecipeSource& source, const OsmReadOptions& options, const FeatureSink& sink,
                  SourceSummary* summary, OsmReadSummary* osm, std::string* error);
