// Checks of a build's files, made before any source is read into the map
// and before anything is written: every input (the recipe, each source
// with the companion files a reader opens beside it, each licence) is a plain
// file or, for a source, a folder; no named pipe or device, which would
// block the build or feed it without end. Licences lie below the recipe's
// data folder and are of a sane size, since they are copied into the
// attribution file that ships with the map. No output is one of the inputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mapbuild/recipe.h"

// The largest licence text copied into the attribution file.
constexpr uint64_t MAX_LICENCE_BYTES = uint64_t{1} << 20;

// Checks the files of building `recipe` (read from `recipePath`) into
// `outputs` (the map and its attribution file). Returns 0, or -1 with the
// first problem, naming the file, in *error.
int CheckBuildFiles(const std::string& recipePath, const Recipe& recipe, const std::vector<std::string>& outputs,
                    std::string* error);
