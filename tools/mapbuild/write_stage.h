// Writing the map file: the parcels the level stage stored are described
// for the map's head, and the file is laid out and written by the map
// writer (StreamMapFile), the data areas copied from the levels' data
// files, each file removed once copied.
#pragma once

#include <cstdio>
#include <string>

#include "tools/mapbuild/build_context.h"
#include "tools/mapbuild/level_stage.h"

// Writes the map of `map` (levels and header, no parcels yet) and
// `levels` to `file`, named `name` in messages, and sets
// context.summary->bytes. Returns 0, or -1 with *error (a data file that
// cannot be read, the file that cannot be written, the stop flag).
int WriteMap(const BuildContext& context, MapDescription* map, LevelResult levels[STANDARD_LEVEL_COUNT], FILE* file,
             const std::string& name, std::string* error);
