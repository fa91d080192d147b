// The records one rule makes of a feature's piece in one parcel, in
// parcel-local units: one emitter per rule kind (road links, background
// lines, along-line names, point labels, areas). A new rule kind is one
// emitter and its row in EmitterFor.
#pragma once

#include <vector>

#include "tools/mapbuild/generalise.h"
#include "tools/mapbuild/parcel_grid.h"
#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/ring_clip.h"
#include "tools/mapbuild/source_reader.h"

// The feature being cut, with its rule and level.
struct EmitContext {
  const LevelGrid& grid;
  const RecipeRule& rule;
  const SourceFeature& feature;
  CutReport* report;
};

// A line's piece (at least two distinct points).
void AddRoad(const EmitContext& c, ParcelContent* content, std::vector<LocalPoint> points);
void AddLine(const EmitContext& c, ParcelContent* content, std::vector<LocalPoint> points);
// One record per detail class of the rule, its characters spaced for that
// class's scale and centred on the line; none where the line is too short
// or a record of the same text and class is already there.
void AddAlongLabels(const EmitContext& c, ParcelContent* content, std::vector<LocalPoint> points);
// A label at `anchor` (local units, not yet rounded).
void AddPointLabel(const EmitContext& c, ParcelContent* content, const ClipPoint& anchor);
// An area's piece (local units, not yet rounded) as closed rings without
// holes and within the encoder's point limit: rings with holes or too many
// points are split through the middle (through a hole, which opens it).
void AddArea(const EmitContext& c, ParcelContent* content, const ClipPolygon& polygon);

// What a rule kind takes of a feature and the emitters of its pieces
// (null for the parts it ignores).
struct Emitter {
  FeatureShape shape;
  void (*line)(const EmitContext&, ParcelContent*, std::vector<LocalPoint>);
  void (*point)(const EmitContext&, ParcelContent*, const ClipPoint&);
  void (*area)(const EmitContext&, ParcelContent*, const ClipPolygon&);
};
const Emitter& EmitterFor(RuleKind kind);

// Removes every along-line name that repeats the text and detail class of
// a name before it in the parcel (a road cut into several links is named
// once per parcel and scale). Returns the number removed.
int64_t MergeRepeatedAlongNames(ParcelContent* content);
