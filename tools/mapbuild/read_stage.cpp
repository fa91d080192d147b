#include "tools/mapbuild/read_stage.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "tools/mapbuild/build_report.h"
#include "tools/mapbuild/coastline_land.h"
#include "tools/mapbuild/feature_filters.h"
#include "tools/mapbuild/feature_handoff.h"
#include "tools/mapbuild/osm_reader.h"

namespace {

// The error of a source whose reading was given up because another source
// failed: never shown, the other source's error is.
constexpr char GIVEN_UP[] = "given up";

// What reading one source gave. A source read alongside the others keeps
// its lines until it is joined, so that the lines come in a fixed order.
struct SourceRead {
  SourceCounts counts;
  OGREnvelope box;
  uint64_t peakWithIndex = 0;
  bool landEverywhere = false;
  bool alongside = false;
  std::vector<std::pair<bool, std::string>> said;  // (a warning, the line)
  std::string error;
  std::string chainError;  // set by the chain's thread
  int status = 0;
};

// The reading's state shared by the sources read at the same time.
struct Reading {
  const BuildContext& context;
  SourceSpills* spills;
  std::atomic<bool> failed{false};  // a source failed: the others stop too
};

void Say(const BuildContext& context, SourceRead* read, bool warning, const std::string& text) {
  if (read->alongside) {
    read->said.emplace_back(warning, text);
  } else if (warning) {
    context.Warning(text);
  } else {
    context.Line(text);
  }
}

bool FromExtract(const RecipeSource& source) {
  return !source.landFromCoastline && IsOsmExtract(source.resolvedPath);
}

// The chain from the reader's hand-off to the source's spill: repeats,
// then label twins, then the spill itself, which notes the feature's box.
// OSM objects are read once each, by their ids: only other sources can list
// a feature twice. The stop flag, or another source's failure, ends the
// chain. It runs on the hand-off's thread and says why it failed in
// read->chainError.
FeatureSink SpillChain(Reading* reading, int index, FeatureSpill* spill, SourceRead* read) {
  const RecipeSource& source = reading->context.recipe.sources[index];
  FeatureSink chain = [reading, &source, index, spill, read](SourceFeature&& feature) {
    if (reading->context.Stopped() || reading->failed.load()) {
      read->chainError = reading->failed.load() ? GIVEN_UP : INTERRUPTED;
      return -1;
    }
    OGREnvelope envelope;
    feature.geometry->getEnvelope(&envelope);
    read->box.Merge(envelope);
    return spill->Add(index, source.rules[feature.rule], feature, &read->chainError);
  };
  chain = MergeLabelTwins(source, LABEL_TWIN_UNITS, &read->counts.merged, std::move(chain));
  if (!FromExtract(source)) chain = DropRepeatedFeatures(source, &read->counts.repeated, std::move(chain));
  return chain;
}

// An OSM extract, with the passes' progress on the meter.
int ReadExtract(const BuildContext& context, const RecipeSource& source, const FeatureSink& sink, SourceRead* read) {
  ProgressMeter* meter = context.Meter();
  OsmReadOptions options;
  options.temporaryDirectory = context.temporary.Path();
  options.stop = context.options.stop;
  int shownPass = 0;
  options.progress = [&](int pass, uint64_t done, uint64_t total) {
    if (meter == nullptr) return;
    if (pass != shownPass) {
      if (shownPass != 0) meter->Finish();
      shownPass = pass;
      meter->Start(source.id + (pass == 1 ? ": relations" : ": nodes, ways, areas"), total / (1 << 20), "MB");
    }
    meter->Set(done / (1 << 20));
  };
  const int status = ReadOsmSource(source, options, sink, &read->counts.read, &read->counts.osm, &read->error);
  if (meter != nullptr && shownPass != 0) meter->Finish();
  if (status != 0) return -1;
  read->peakWithIndex = context.temporary.Measure() + read->counts.osm.indexBytes;
  return 0;
}

// Land polygons assembled from the coastline; without any, nothing tells
// land from sea and the map is land everywhere.
int ReadCoastline(const BuildContext& context, const RecipeSource& source, const FeatureSink& sink, SourceRead* read) {
  CoastlineSummary coast;
  if (ReadCoastlineLand(source, context.temporary.Path(), sink, &read->counts.read, &coast, &read->error) != 0) {
    if (context.Stopped()) read->error = INTERRUPTED;
    return -1;
  }
  read->peakWithIndex = context.temporary.Measure() + coast.databaseBytes;
  Say(context, read, false, DescribeCoastline(source, coast));
  const std::string warning = CoastlineWarning(source, coast);
  if (!warning.empty()) Say(context, read, true, warning);
  read->landEverywhere = !coast.usable;
  return 0;
}

// Reads source `index` with the reader that reads its kind, the features
// going to `sink`.
int ReadWithItsReader(const BuildContext& context, const RecipeSource& source, const FeatureSink& sink,
                      SourceRead* read) {
  if (source.landFromCoastline) return ReadCoastline(context, source, sink, read);
  if (FromExtract(source)) return ReadExtract(context, source, sink, read);
  return ReadSource(source, sink, &read->counts.read, &read->error);
}

// Reads source `index` into its spill, the reader and the chain on two
// threads, and says what it gave. When the chain failed, its reason is
// the source's error.
int ReadOneSource(Reading* reading, int index, FeatureSpill* spill, SourceRead* read) {
  const BuildContext& context = reading->context;
  const RecipeSource& source = context.recipe.sources[index];
  FeatureHandOff handOff(SpillChain(reading, index, spill, read));
  int status = ReadWithItsReader(context, source, handOff.Sink(), read);
  if (handOff.Finish() != 0) {
    read->error = read->chainError;
    status = -1;
  }
  if (status == 0 && spill->Close(&read->error) != 0) status = -1;
  if (status != 0) {
    reading->failed.store(true);
    return -1;
  }
  Say(context, read, false, DescribeSource(source, read->counts));
  // A coastline without land polygons has had its own line.
  if (read->counts.read.matched == 0 && !source.landFromCoastline) {
    Say(context, read, true, "source " + source.id + " gave no feature that a rule matches");
  }
  return 0;
}

// Starts reading source `index` on a thread of its own.
int StartAlongside(Reading* reading, int index, SourceRead* read, std::vector<std::thread>* threads) {
  FeatureSpill* spill = reading->spills->Open(index, &read->error);
  if (spill == nullptr) return -1;
  read->alongside = true;
  threads->emplace_back([reading, index, spill, read]() { read->status = ReadOneSource(reading, index, spill, read); });
  return 0;
}

// The sources read in turn on this thread, stopping at the first failure.
void ReadInTurn(Reading* reading, std::vector<SourceRead>* reads) {
  const BuildContext& context = reading->context;
  for (size_t s = 0; s < reads->size() && !reading->failed.load(); ++s) {
    SourceRead& read = (*reads)[s];
    if (read.alongside) continue;
    FeatureSpill* spill = reading->spills->Open(static_cast<int>(s), &read.error);
    read.status = spill == nullptr ? -1 : ReadOneSource(reading, static_cast<int>(s), spill, &read);
    if (read.status == 0 && context.Stopped()) {
      read.status = -1;
      read.error = INTERRUPTED;
    }
    if (read.status != 0) reading->failed.store(true);
  }
}

// Says what the sources read alongside said, adds every source's counts to
// the summary and its box to the result; the first failure's error, if any.
int Gather(const BuildContext& context, std::vector<SourceRead>* reads, ReadResult* result, std::string* error) {
  bool failed = false;
  for (const SourceRead& read : *reads) {
    if (read.status == 0) continue;
    failed = true;
    if (read.error != GIVEN_UP && error->empty()) *error = read.error;
  }
  if (failed && error->empty()) *error = "a source could not be read";
  if (failed) return -1;
  for (const SourceRead& read : *reads) {
    for (const auto& [warning, text] : read.said) warning ? context.Warning(text) : context.Line(text);
    context.summary->features += read.counts.read.matched;
    context.summary->dropped += read.counts.read.noGeometry + read.counts.read.outside;
    result->dataBox.Merge(read.box);
    result->landEverywhere = result->landEverywhere || read.landEverywhere;
    result->peakWithIndex = std::max(result->peakWithIndex, read.peakWithIndex);
  }
  return 0;
}

}  // namespace

int ReadSources(const BuildContext& context, SourceSpills* spills, ReadResult* result, std::string* error) {
  Reading reading{context, spills};
  std::vector<SourceRead> reads(context.recipe.sources.size());
  std::vector<std::thread> alongside;
  for (size_t s = 0; s < reads.size(); ++s) {
    if (!context.recipe.sources[s].landFromCoastline) continue;
    if (StartAlongside(&reading, static_cast<int>(s), &reads[s], &alongside) != 0) {
      reads[s].status = -1;
      reading.failed.store(true);
      break;
    }
  }
  ReadInTurn(&reading, &reads);
  for (std::thread& thread : alongside) thread.join();
  if (Gather(context, &reads, result, error) != 0) return -1;
  context.temporary.Measure();
  return 0;
}
