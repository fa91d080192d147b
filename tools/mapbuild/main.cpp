// tevo-mapbuild: builds a map database from open geodata with a recipe, or
// routes waypoints over the recipe's drivable roads.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_replacement.h"
#include "platform/files.h"
#include "platform/program_files.h"
#include "tools/demo/route_text.h"
#include "tools/mapbuild/build_inputs.h"
#include "tools/mapbuild/coastline_land.h"
#include "tools/mapbuild/map_build.h"
#include "tools/mapbuild/progress_meter.h"
#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/road_router.h"
#include "tools/mapbuild/temporary_folder.h"

namespace {

constexpr char SYNOPSIS[] =
    "usage: tevo-mapbuild RECIPE -o ALLDATA.KWI [--data DIR] [--osm EXTRACT] [--land LAND] [--tmp DIR] [--quiet]\n"
    "       [--summary] [--strict]\n"
    "       tevo-mapbuild --osm EXTRACT.osm.pbf -o ALLDATA.KWI [--land LAND] [--tmp DIR] [--quiet] [--summary]\n"
    "       [--strict]\n"
    "       tevo-mapbuild RECIPE --routes WAYPOINTS [-o ROUTES] [--snap METRES] [--data DIR] [--quiet]\n";
// "-" for a file: stdin or stdout.
constexpr char STANDARD_STREAM[] = "-";

// The standard OSM recipe: installed with the programs, else (a program run
// from its build tree) in the source tree.
constexpr char OSM_RECIPE_FILE[] = "/osm.yaml";

// Set by SIGINT, SIGTERM and SIGHUP: the build stops, removes its
// temporary files, leaves the old map as it was and exits with 128 + the
// signal's number, as a program the signal ended would.
std::atomic<bool> stopRequested{false};
std::atomic<int> stopSignal{0};
constexpr int SIGNAL_EXIT_BASE = 128;

void RequestStop(int signal) {
  int none = 0;
  stopSignal.compare_exchange_strong(none, signal);
  stopRequested.store(true);
}

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
      "%s"
      "\n"
      "Builds a map database for the viewer from the open geodata a recipe names\n"
      "(OSM PBF extracts, OSM XML, shapefiles, GeoJSON, anything GDAL/OGR reads),\n"
      "and writes the attributions and licences of its sources to ALLDATA.KWI%s\n"
      "beside it. With --osm and no recipe, the standard OSM recipe builds a map of\n"
      "an OpenStreetMap extract as downloaded; land and sea come from the extract's\n"
      "coastline (assembled by osmcoastline) or from land polygons given with --land.\n"
      "Memory stays bounded whatever the input's size: work in progress goes to\n"
      "temporary files, removed at the end.\n"
      "Progress (a bar on a terminal) and everything that was left out go to stderr.\n"
      "\n"
      "With --routes it builds no map: it routes each stretch between two\n"
      "waypoints over the drivable roads of the recipe's sources (the shortest\n"
      "drive, main roads preferred) and writes the roads it found.\n"
      "\n"
      "  -o FILE      the map database to write; with --routes the roads (default\n"
      "               and \"-\": stdout)\n"
      "  --osm EXTRACT  the OSM extract (.osm.pbf) for the standard recipe, or for a\n"
      "               recipe whose source path is $EXTRACT\n"
      "  --land LAND  land polygons (a shapefile, GeoJSON, ... in any CRS) to use instead\n"
      "               of assembling the coastline of the extract\n"
      "  --data DIR   folder the recipe's source paths are relative to\n"
      "               (default: the recipe's own folder)\n"
      "  --tmp DIR    folder for the temporary files (default: $TMPDIR, else /tmp)\n"
      "  --quiet      no progress lines\n"
      "  --summary    print \"parcels N\", \"bytes N\", \"features N\" and \"dropped N\"\n"
      "               lines on stdout once the map is written\n"
      "  --strict     write no map when a hot spot (a place with more content than\n"
      "               its parcel holds even in pieces) would lose content; without\n"
      "               it the spot keeps its most important roads, items and names\n"
      "               and a warning names its place and what was left out\n"
      "  --routes FILE  the waypoints to route (\"-\": stdin)\n"
      "  --snap METRES  a waypoint further than this from every drivable road\n"
      "               gives its stretches no road (default %.0f)\n"
      "  --help       this text\n"
      "  --version    show the version\n"
      "\n"
      "Waypoints, one block per route:      Roads, the same routes in order:\n"
      "  route NAME                           route NAME\n"
      "  LAT LON   (WGS84 degrees)            stretch N   (one per pair of waypoints;\n"
      "  LAT LON                                           N points, 0: no road)\n"
      "  ...                                  LAT LON\n"
      "Blank lines and lines beginning with # are left out.\n"
      "\n"
      "See tevo-mapbuild(1) for the recipe format.\n",
      SYNOPSIS, ATTRIBUTION_SUFFIX, ROAD_SNAP_METRES);
}

int Usage() {
  std::fprintf(stderr, "%s(--help for more)\n", SYNOPSIS);
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "tevo-mapbuild: %s\n", message.c_str());
  return 1;
}

struct Options {
  const char* recipePath = nullptr;
  const char* out = nullptr;
  const char* waypoints = nullptr;  // --routes
  std::string data;
  std::string extract;    // --osm
  std::string land;       // --land
  std::string temporary;  // --tmp
  double snapMetres = ROAD_SNAP_METRES;
  bool snapGiven = false;
  bool quiet = false;
  bool summary = false;
  bool strict = false;
};

bool ParseMetres(const char* text, double* metres) {
  const char* end = text + std::strlen(text);
  const std::from_chars_result result = std::from_chars(text, end, *metres);
  return result.ec == std::errc() && result.ptr == end && std::isfinite(*metres) && *metres > 0.0;
}

// Returns 0, or the exit status of a bad command line.
int ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "-o") == 0 && hasValue) {
      options->out = argv[++i];
    } else if (std::strcmp(argv[i], "--data") == 0 && hasValue) {
      options->data = argv[++i];
    } else if (std::strcmp(argv[i], "--osm") == 0 && hasValue) {
      options->extract = argv[++i];
    } else if (std::strcmp(argv[i], "--land") == 0 && hasValue) {
      options->land = argv[++i];
    } else if (std::strcmp(argv[i], "--tmp") == 0 && hasValue) {
      options->temporary = argv[++i];
    } else if (std::strcmp(argv[i], "--routes") == 0 && hasValue) {
      options->waypoints = argv[++i];
    } else if (std::strcmp(argv[i], "--snap") == 0 && hasValue) {
      if (!ParseMetres(argv[++i], &options->snapMetres)) {
        std::fprintf(stderr, "tevo-mapbuild: --snap takes a distance in metres above 0, not \"%s\"\n", argv[i]);
        return 2;
      }
      options->snapGiven = true;
    } else if (std::strcmp(argv[i], "--quiet") == 0) {
      options->quiet = true;
    } else if (std::strcmp(argv[i], "--summary") == 0) {
      options->summary = true;
    } else if (std::strcmp(argv[i], "--strict") == 0) {
      options->strict = true;
    } else if (argv[i][0] != '-' && options->recipePath == nullptr) {
      options->recipePath = argv[i];
    } else {
      return Usage();
    }
  }
  const bool routing = options->waypoints != nullptr;
  if ((options->recipePath == nullptr && (options->extract.empty() || routing)) || (!routing && (options->out == nullptr || options->snapGiven)) ||
      (routing && (options->summary || options->strict))) {
    return Usage();
  }
  return 0;
}

int ReadAll(FILE* file, std::string* bytes) {
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, n);
  return std::ferror(file) ? -1 : 0;
}

int ReadInput(const char* path, std::string* bytes, std::string* error) {
  if (std::strcmp(path, STANDARD_STREAM) == 0) {
    if (ReadAll(stdin, bytes) == 0) return 0;
    *error = "cannot read the waypoints from stdin";
    return -1;
  }
  FILE* file = std::fopen(path, "rb");
  const int status = file != nullptr && ReadAll(file, bytes) == 0 ? 0 : -1;
  if (file != nullptr) std::fclose(file);
  if (status != 0) *error = std::string("cannot read the waypoints ") + path + ": " + std::strerror(errno);
  return status;
}

// Writes `bytes` to stdout, or replaces the file `path` with them whole.
int WriteOutput(const char* path, const std::string& bytes, std::string* error) {
  if (path == nullptr || std::strcmp(path, STANDARD_STREAM) == 0) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0) return 0;
    *error = std::string("cannot write the roads to stdout: ") + std::strerror(errno);
    return -1;
  }
  return ReplaceFileWhole(path, bytes.data(), bytes.size(), error);
}

// Refuses an output name that cannot name the file to write, before
// anything is read: an empty name, a folder, and for a map stdout (the
// map's head is laid out last, so it is written to a file it can seek).
int CheckOutputName(const char* out, bool routing, std::string* error) {
  if (out == nullptr) return 0;
  const std::string name = out;
  std::error_code code;
  if (name.empty()) {
    *error = "the output's name (-o) is empty";
  } else if (name == STANDARD_STREAM && !routing) {
    *error = "a map cannot be written to stdout (-o -): give the map's file name";
  } else if (name != STANDARD_STREAM && (name.back() == '/' || std::filesystem::is_directory(name, code))) {
    *error = "the output " + name + " is a folder: give the file's name";
  } else {
    return 0;
  }
  return -1;
}

// With --osm, the extract is read by the OSM reader when it is a PBF file
// and by GDAL/OGR when it is OSM XML; a compressed or other file would
// only fail later with "cannot open".
int CheckExtractName(const std::string& extract, std::string* error) {
  const auto endsWith = [&extract](const std::string& end) {
    return extract.size() >= end.size() && extract.compare(extract.size() - end.size(), end.size(), end) == 0;
  };
  if (extract.empty() || endsWith(".pbf") || endsWith(".osm")) return 0;
  *error = "cannot read the extract " + extract +
           ": --osm reads OSM PBF files (.osm.pbf) and plain OSM XML (.osm) only; convert it first, for example "
           "with \"osmium cat " + extract + " -o extract.osm.pbf\"";
  return -1;
}

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1 << 20));
  return text;
}

// Says what a build killed before (SIGKILL, a file-size limit) left behind
// and this one removed, or could not remove.
void ReportLeftovers(const std::vector<LeftoverFile>& leftovers, const BuildProgress& progress) {
  for (const LeftoverFile& leftover : leftovers) {
    const std::string what = leftover.path + " (" + Megabytes(leftover.bytes) + ") left by a build that was killed";
    progress(leftover.removed ? "removed " + what : std::string(BUILD_WARNING) + "cannot remove " + what);
  }
}

int RouteWaypoints(const Options& options, const Recipe& recipe, const BuildProgress& progress) {
  if (options.out != nullptr && std::strcmp(options.waypoints, STANDARD_STREAM) != 0 &&
      IsSameFile(options.out, options.waypoints) == 1) {
    return Fail(std::string("will not write the roads over the waypoints ") + options.waypoints);
  }
  std::string text, error;
  std::vector<WaypointRoute> routes;
  if (ReadInput(options.waypoints, &text, &error) != 0) return Fail(error);
  if (ParseWaypointText(text, &routes, &error) < 0) {
    return Fail(std::string("the waypoints ") + options.waypoints + ", " + error);
  }
  RoadRouter router;
  const int features = LoadRecipeRoads(recipe, &router, &error);
  if (features < 0) return Fail(error);
  progress("read " + std::to_string(features) + " drivable roads with " + std::to_string(router.NodeCount()) +
           " vertices");
  std::vector<RouteRoads> roads(routes.size());
  int stretches = 0, onRoads = 0;
  for (size_t i = 0; i < routes.size(); ++i) {
    onRoads += std::max(RouteAlongRoads(router, routes[i], options.snapMetres, &roads[i]), 0);
    stretches += static_cast<int>(roads[i].size());
  }
  if (WriteOutput(options.out, FormatRoadText(routes, roads), &error) != 0) return Fail(error);
  progress("routed " + std::to_string(routes.size()) + " routes: " + std::to_string(onRoads) + " of " +
           std::to_string(stretches) + " stretches along the roads");
  return 0;
}

// The hot spots of the summary line, when there were any.
std::string HotSpotCounts(const BuildSummary& summary) {
  if (summary.hotSpots == 0) return "";
  return " (" + std::to_string(summary.hotSpots) + " hot spots kept their most important content, " +
         std::to_string(summary.hotSpotRecords) + " records left out there)";
}

int BuildMapFile(const Options& options, const Recipe& recipe, const BuildProgress& progress) {
  BuildSummary summary;
  std::string error;
  CatchStopSignals();
  // One build at a time writes a given map; what a killed build left
  // beside it or in the temporary folders is cleared first.
  OutputLock lock;
  if (lock.Take(options.out, &error) != 0) return Fail(error);
  for (const std::string& file : {std::string(options.out), std::string(options.out) + ATTRIBUTION_SUFFIX}) {
    ReportLeftovers(RemoveLeftoverReplacements(file), progress);
  }
  ReportLeftovers(RemoveLeftoverTemporaryFolders(options.temporary), progress);
  ProgressMeter meter(stderr, ::isatty(STDERR_FILENO) == 1, options.quiet);
  BuildOptions build;
  build.temporaryParent = options.temporary;
  build.stop = &stopRequested;
  build.meter = &meter;
  build.strict = options.strict;
  // The map and its attribution file are written beside their names and
  // each renamed over the old one once both are complete.
  if (BuildMap(recipe, options.out, build, &summary, &error) != 0) {
    if (const int signal = stopSignal.load(); signal != 0) {
      Fail(std::string("interrupted by ") + strsignal(signal) + "; the old map is kept");
      return SIGNAL_EXIT_BASE + signal;
    }
    return Fail(error);
  }
  meter.Line("wrote " + std::string(options.out) + ": " + std::to_string(summary.parcels) + " parcels (" +
             std::to_string(summary.dividedParcels) + " divided into pieces), " + std::to_string(summary.bytes) +
             " bytes, " + std::to_string(summary.dropped) + " pieces left out" + HotSpotCounts(summary) +
             "; temporary files took at most " +
             std::to_string(summary.temporaryBytes >> 20) + " MB");
  if (options.summary) {
    std::printf("parcels %d\nbytes %llu\nfeatures %lld\ndropped %lld\n", summary.parcels,
                static_cast<unsigned long long>(summary.bytes), static_cast<long long>(summary.features),
                static_cast<long long>(summary.dropped));
    if (std::fflush(stdout) != 0) return Fail(std::string("cannot write the summary: ") + std::strerror(errno));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHelp();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tevo-mapbuild %s\n", TEVO_VERSION);
      return 0;
    }
  }
  Options options;
  if (const int status = ParseOptions(argc, argv, &options); status != 0) return status;

  Recipe recipe;
  std::string error;
  const bool routing = options.waypoints != nullptr;
  if (CheckOutputName(options.out, routing, &error) != 0 || CheckExtractName(options.extract, &error) != 0) {
    return Fail(error);
  }
  const std::string recipePath = options.recipePath != nullptr ? std::string(options.recipePath) : StandardOsmRecipe();
  if (LoadRecipe(recipePath, options.data, &recipe, &error) != 0 || UseExtract(&recipe, options.extract, &error) != 0 ||
      UseLandPolygons(&recipe, options.land, &error) != 0 ||
      (!options.land.empty() && CheckLandPolygons(options.land, &error) != 0)) {
    return Fail(error);
  }
  if (!routing && CheckBuildFiles(recipePath, recipe, {options.out, std::string(options.out) + ATTRIBUTION_SUFFIX},
                                  &error) != 0) {
    return Fail(error);
  }
  // Warnings reach the user even with --quiet.
  const auto progress = [quiet = options.quiet](const std::string& line) {
    if (!quiet || line.compare(0, std::strlen(BUILD_WARNING), BUILD_WARNING) == 0) {
      std::fprintf(stderr, "tevo-mapbuild: %s\n", line.c_str());
    }
  };
  return routing ? RouteWaypoints(options, recipe, progress) : BuildMapFile(options, recipe, progress);
}
