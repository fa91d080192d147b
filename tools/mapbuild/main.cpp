// tevo-mapbuild: builds a map database from open geodata with a recipe.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/program_files.h"
#include "tools/mapbuild/map_build.h"
#include "tools/mapbuild/progress_meter.h"
#include "tools/mapbuild/recipe.h"

namespace {

// The standard OSM recipe: installed with the programs, else (a program run
// from its build tree) in the source tree.
constexpr char OSM_RECIPE_FILE[] = "/osm.yaml";

// Set by SIGINT, SIGTERM and SIGHUP: the build stops, removes its
// temporary files and leaves the old map as it was.
std::atomic<bool> stopRequested{false};

void RequestStop(int) { stopRequested.store(true); }

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

std::string StandardOsmRecipe() {
  const std::string installed = ProgramDataDirectory() + OSM_RECIPE_FILE;
  std::error_code code;
  return std::filesystem::is_regular_file(installed, code) ? installed : std::string(TEVO_SOURCE_OSM_RECIPE);
}

void PrintHelp() {
  std::printf(
      "usage: tevo-mapbuild RECIPE -o ALLDATA.KWI [--data DIR] [--osm EXTRACT] [--tmp DIR] [--quiet]\n"
      "       tevo-mapbuild --osm EXTRACT.osm.pbf -o ALLDATA.KWI [--tmp DIR] [--quiet]\n"
      "\n"
      "Builds a map database for the viewer from the open geodata a recipe names\n"
      "(OSM PBF extracts, OSM XML, shapefiles, GeoJSON, anything GDAL/OGR reads),\n"
      "and writes the attributions and licences of its sources to ALLDATA.KWI%s\n"
      "beside it. With --osm and no recipe, the standard OSM recipe builds a map of\n"
      "an OpenStreetMap extract as downloaded. Memory stays bounded whatever the\n"
      "input's size: work in progress goes to temporary files, removed at the end.\n"
      "The map is written to a temporary file beside ALLDATA.KWI and renamed over\n"
      "it only when the build succeeded. Progress and everything that was left out\n"
      "go to stderr.\n"
      "\n"
      "  -o FILE        the map database to write\n"
      "  --osm EXTRACT  the OSM extract (.osm.pbf) for the standard recipe, or for a\n"
      "                 recipe whose source path is $EXTRACT\n"
      "  --data DIR     folder the recipe's source paths are relative to\n"
      "                 (default: the recipe's own folder)\n"
      "  --tmp DIR      folder for the temporary files (default: $TMPDIR, else /tmp)\n"
      "  --quiet        no progress lines\n"
      "  --help         this text\n"
      "  --version      show the version\n"
      "\n"
      "See tevo-mapbuild(1) for the recipe format.\n",
      ATTRIBUTION_SUFFIX);
}

int Usage() {
  std::fprintf(stderr,
               "usage: tevo-mapbuild [RECIPE] -o ALLDATA.KWI [--osm EXTRACT] [--data DIR] [--tmp DIR] [--quiet] "
               "(--help for more)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* recipePath = nullptr;
  const char* out = nullptr;
  std::string data;
  std::string extract;
  std::string temporary;
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
    } else if (std::strcmp(argv[i], "--osm") == 0 && i + 1 < argc) {
      extract = argv[++i];
    } else if (std::strcmp(argv[i], "--tmp") == 0 && i + 1 < argc) {
      temporary = argv[++i];
    } else if (std::strcmp(argv[i], "--quiet") == 0) {
      quiet = true;
    } else if (argv[i][0] != '-' && recipePath == nullptr) {
      recipePath = argv[i];
    } else {
      return Usage();
    }
  }
  if ((recipePath == nullptr && extract.empty()) || out == nullptr) return Usage();
  const std::string recipeFile = recipePath != nullptr ? std::string(recipePath) : StandardOsmRecipe();

  Recipe recipe;
  std::string error;
  if (LoadRecipe(recipeFile, data, &recipe, &error) != 0 || UseExtract(&recipe, extract, &error) != 0) {
    std::fprintf(stderr, "tevo-mapbuild: %s\n", error.c_str());
    return 1;
  }
  CatchStopSignals();
  ProgressMeter meter(stderr, ::isatty(STDERR_FILENO) == 1, quiet);
  BuildOptions options;
  options.temporaryParent = temporary;
  options.stop = &stopRequested;
  options.meter = &meter;
  BuildSummary summary;
  if (BuildMap(recipe, out, options, &summary, &error) != 0) {
    std::fprintf(stderr, "tevo-mapbuild: %s\n", error.c_str());
    return 1;
  }
  meter.Line("wrote " + std::string(out) + ": " + std::to_string(summary.parcels) + " parcels (" +
             std::to_string(summary.dividedParcels) + " divided into pieces), " + std::to_string(summary.bytes) +
             " bytes, " + std::to_string(summary.dropped) + " pieces left out; temporary files took at most " +
             std::to_string(summary.temporaryBytes / (1 << 20)) + " MB");
  return 0;
}
