// The features read from the sources, kept in temporary files between
// reading and cutting: one file per coarsest level of the matching rule, so
// that a level reads only the features that reach it. Every record carries
// its place in the reading order; reading a level merges the files back
// into that order, so parcels get their pieces in the order of the recipe's
// sources, as the features were read. Each source has a spill of its own
// (SourceSpills), so that sources can be read at the same time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mapdata/map_layout.h"
#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/source_reader.h"
#include "tools/mapbuild/spill_io.h"

// One spilled feature: its source and rule, and the feature itself.
struct SpilledFeature {
  uint64_t sequence = 0;  // place in the reading order
  int source = 0;
  SourceFeature feature;
};

class FeatureSpill {
 public:
  FeatureSpill() = default;
  ~FeatureSpill();
  FeatureSpill(const FeatureSpill&) = delete;
  FeatureSpill& operator=(const FeatureSpill&) = delete;

  // Opens the files `prefix`.LEVEL for writing. Returns 0, or -1 with *error.
  int Open(const std::string& prefix, std::string* error);
  // Appends a feature of `source` matched by `rule` (which names its levels).
  int Add(int source, const RecipeRule& rule, const SourceFeature& feature, std::string* error);
  // Closes the files for writing.
  int Close(std::string* error);

  // Calls `visit` with every feature whose rule reaches level `levelIndex`,
  // in reading order, numbered from `firstSequence`; `wanted` (sequence,
  // source, rule) says, before the geometry is decoded, whether a feature is
  // needed at all. Returns 0, or -1 with *error on a read error, a damaged
  // file or when `visit` returns non-zero. Safe to call from several
  // threads at once.
  using Wanted = std::function<bool(uint64_t sequence, int source, int rule)>;
  using Visit = std::function<int(const SpilledFeature& feature)>;
  int Read(int levelIndex, const Wanted& wanted, const Visit& visit, std::string* error,
           uint64_t firstSequence = 0) const;

  uint64_t Bytes() const { return bytes; }
  int64_t Count() const { return static_cast<int64_t>(sequence); }
  // Features whose rule reaches level `levelIndex`.
  int64_t CountAt(int levelIndex) const;

 private:
  std::string Path(int levelIndex) const;
  int Damaged(int levelIndex, std::string* error) const;

  std::string prefix;
  SpillFile files[STANDARD_LEVEL_COUNT];
  uint64_t fileBytes[STANDARD_LEVEL_COUNT] = {};
  uint64_t lastSequence[STANDARD_LEVEL_COUNT] = {};
  int64_t ranges[STANDARD_LEVEL_COUNT][STANDARD_LEVEL_COUNT] = {};  // features by finest, coarsest level
  uint64_t sequence = 0;
  uint64_t bytes = 0;
  uint64_t sources = 0;  // one more than the largest source and rule written,
  uint64_t rules = 0;    // which bound what a damaged file may claim
  std::vector<uint8_t> record;
  std::vector<uint8_t> body;
};

// The spills of a build's sources, one per source of the recipe, each
// written by the thread that reads its source; read back as one spill whose
// features are numbered across the sources in recipe order, as if every
// source had been read in turn into a single spill.
class SourceSpills {
 public:
  // The spill of source S lives in the files `prefix`-S.LEVEL.
  SourceSpills(std::string prefix, int sources);

  // Opens the spill of `source` for writing: null, with *error, when it cannot.
  FeatureSpill* Open(int source, std::string* error);

  // FeatureSpill::Read over all sources' spills in recipe order.
  int Read(int levelIndex, const FeatureSpill::Wanted& wanted, const FeatureSpill::Visit& visit,
           std::string* error) const;
  int64_t CountAt(int levelIndex) const;
  uint64_t Bytes() const;

 private:
  std::string prefix;
  std::vector<std::unique_ptr<FeatureSpill>> spills;  // null: a source not read (yet)
};
