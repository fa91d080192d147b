// The reading stage: every source of the recipe read once, each rule match
// passed through the filters (feature_filters.h) into the source's own
// feature spill. A source of land polygons assembled from the coastline is
// read on a thread of its own, alongside the other sources: the assembly
// is a child process that reads the whole extract again, independent of
// the builder's own reading. Its lines come after the other sources' lines.
#pragma once

#include <cstdint>
#include <string>

#include <ogr_core.h>

#include "tools/mapbuild/build_context.h"
#include "tools/mapbuild/feature_spill.h"

// What the reading found beyond the features themselves.
struct ReadResult {
  OGREnvelope dataBox;          // of every feature spilled, in map units
  bool landEverywhere = false;  // a coastline source gave no usable land polygons
  // The most the temporary folder held with the node-location store and the
  // coastline's database, which are removed before the folder is measured.
  uint64_t peakWithIndex = 0;
};

// Reads every source of context.recipe into `spills`, adding the features
// and what was left out to context.summary. Returns 0, or -1 with *error
// (a source that cannot be read, a spill that cannot be written, the stop
// flag); no thread of it runs on after it returns.
int ReadSources(const BuildContext& context, SourceSpills* spills, ReadResult* result, std::string* error);
