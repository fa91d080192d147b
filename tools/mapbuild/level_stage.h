// The level stage: every level, largest first, is cut into its parcel
// spill by all workers at once (cut_stage.h), then encoded into its data
// file (encode_stage.h) on a thread of its own while the next level is cut.
#pragma once

#include <string>

#include "tools/mapbuild/build_context.h"
#include "tools/mapbuild/cut_stage.h"
#include "tools/mapbuild/encode_stage.h"
#include "tools/mapwriter/map_writer.h"

// What the stage made of one level.
struct LevelResult {
  LevelCut cut;
  LevelData data;
};

// Builds every level of `map` from `features` into `levels` (indexed as
// map.levels), its data files in the temporary folder, and says what each
// level gave, adding to context.summary. Returns 0, or -1 with the first
// failing level's error.
int BuildLevels(const BuildContext& context, const SourceSpills& features, const MapDescription& map,
                LevelResult levels[STANDARD_LEVEL_COUNT], std::string* error);
