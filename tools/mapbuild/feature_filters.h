// The filters a source's features pass on their way from the reader to the
// feature spill, chained as handlers are: each link either drops a feature
// (and counts it) or hands it on to the next sink. The reading stage builds
// the chain repeats → label twins → spill, so that a feature listed twice
// is counted as a repeat, never as a twin of itself.
#pragma once

#include <cstdint>

#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/source_reader.h"

// Point labels of the same rule and text closer than this (map units,
// about 250 m) are one place mapped twice, such as a station with a node
// per line or platform: only the first is kept.
constexpr double LABEL_TWIN_UNITS = 1024.0;

// Drops the features whose rule and geometry (and text) repeat an earlier
// feature of `source` exactly, such as a road section that a source lists
// once per route running over it: drawn twice it would give the same pixels
// (or two classes over each other), and its name twice. Road rules count as
// one: a section listed under two road classes keeps the first rule's class
// (the recipe lists the bigger roads first). Counts each in *dropped.
FeatureSink DropRepeatedFeatures(const RecipeSource& source, int64_t* dropped, FeatureSink next);

// Drops the point labels of `source` that repeat the rule and text of a
// label kept before within `distance` map units (LabelTwins). Counts each in
// *merged. Other features pass unchanged.
FeatureSink MergeLabelTwins(const RecipeSource& source, double distance, int64_t* merged, FeatureSink next);
