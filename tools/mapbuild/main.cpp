// tevo-mapbuild: builds a map database from open geodata with a recipe.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/mapbuild/build_inputs.h"
#include "tools/mapbuild/map_build.h"
#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/staged_output.h"

namespace {

void PrintHelp() {
  std::printf(
      "usage: tevo-mapbuild RECIPE -o ALLDATA.KWI [--data DIR] [--quiet]\n"
      "\n"
      "Builds a map database for the viewer from the open geodata a recipe names\n"
      "(OSM XML or PBF, shapefiles, GeoJSON, anything GDAL/OGR reads), and writes\n"
      "the attributions and licences of its sources to ALLDATA.KWI%s beside it.\n"
      "Progress and everything that was left out go to stderr.\n"
      "\n"
      "  -o FILE      the map database to write\n"
      "  --data DIR   folder the recipe's source paths are relative to\n"
      "               (default: the recipe's own folder)\n"
      "  --quiet      no progress lines\n"
      "  --help       this text\n"
      "  --version    show the version\n"
      "\n"
      "See tevo-mapbuild(1) for the recipe format.\n",
      ATTRIBUTION_SUFFIX);
}

int Usage() {
  std::fprintf(stderr, "usage: tevo-mapbuild RECIPE -o ALLDATA.KWI [--data DIR] [--quiet] (--help for more)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* recipePath = nullptr;
  const char* out = nullptr;
  std::string data;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHelp();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tevo-mapbuild %s\n", TEVO_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
      data = argv[++i];
    } else if (std::strcmp(argv[i], "--quiet") == 0) {
      quiet = true;
    } else if (argv[i][0] != '-' && recipePath == nullptr) {
      recipePath = argv[i];
    } else {
      return Usage();
    }
  }
  if (recipePath == nullptr || out == nullptr) return Usage();

  Recipe recipe;
  std::string error;
  const std::string attribution = std::string(out) + ATTRIBUTION_SUFFIX;
  if (LoadRecipe(recipePath, data, &recipe, &error) != 0 ||
      CheckBuildFiles(recipePath, recipe, {out, attribution}, &error) != 0) {
    std::fprintf(stderr, "tevo-mapbuild: %s\n", error.c_str());
    return 1;
  }
  BuildSummary summary;
  const auto progress = [quiet](const std::string& line) {
    if (!quiet || line.compare(0, std::strlen(BUILD_WARNING), BUILD_WARNING) == 0) {
      std::fprintf(stderr, "tevo-mapbuild: %s\n", line.c_str());
    }
  };
  // The map and its attribution file are built under temporary names and
  // replace the old ones only when both are complete.
  StagedOutputs staged;
  std::string temporary;
  if (staged.Stage(out, {"", ATTRIBUTION_SUFFIX}, &temporary, &error) != 0 ||
      BuildMapFromRecipe(recipe, temporary, progress, &summary, &error) != 0 || staged.Commit(&error) != 0) {
    std::fprintf(stderr, "tevo-mapbuild: %s\n", error.c_str());
    return 1;
  }
  progress("wrote " + std::string(out) + ": " + std::to_string(summary.parcels) + " parcels, " +
           std::to_string(summary.bytes) + " bytes, " + std::to_string(summary.dropped) + " pieces left out");
  return 0;
}
