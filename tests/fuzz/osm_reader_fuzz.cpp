// Fuzz target of the OSM reader: the input is a whole PBF extract. It is
// read with a recipe whose rules take points, lines and areas, label texts
// corrected and ranked, as a build reads it; any read outside a buffer,
// overflow, hang or leak is a fault. Refusing the input is fine.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "tools/mapbuild/osm_reader.h"
#include "tools/mapbuild/recipe.h"

namespace {

constexpr char RECIPE[] = R"(sources:
  - id: osm
    path: in.osm.pbf
    trim: [駅]
    rename: {key: ref, texts: {"1": renamed}}
    rules:
      - {where: "highway=motorway|primary", road: 3, levels: 62-0}
      - {where: "railway=*", line: 2816, levels: 62}
      - {where: "natural=water", area: 3349, levels: 62-6, order: 4}
      - {where: "building=*", area: 3200, levels: 62, order: 5}
      - {where: "place=city|town&population>=1000", label: 320, text: name, rank: population, levels: 62-4}
      - {where: "waterway=river&name!=x", along: 10, text: name, levels: 62}
      - {where: "*", line: 9, levels: 62}
)";

struct Scratch {
  std::filesystem::path folder;
  Recipe recipe;
  Scratch() {
    std::random_device seed;
    folder = std::filesystem::temp_directory_path() / ("tevo-fuzz-osm-" + std::to_string(seed()));
    std::filesystem::create_directories(folder);
    std::string error;
    if (ParseRecipe(RECIPE, "fuzz.yaml", folder.string(), &recipe, &error) != 0) {
      std::fprintf(stderr, "fuzz recipe: %s\n", error.c_str());
      std::abort();
    }
    // One decoding thread: the target is the reader, not the thread pool.
    ::setenv("OSMIUM_POOL_THREADS", "1", 0);
  }
  ~Scratch() { std::filesystem::remove_all(folder); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  const std::string path = scratch.recipe.sources[0].resolvedPath;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  OsmReadOptions options;
  options.temporaryDirectory = scratch.folder.string();
  int64_t features = 0;
  const FeatureSink sink = [&](SourceFeature&& feature) {
    if (!feature.geometry || feature.geometry->IsEmpty()) std::abort();
    ++features;
    return 0;
  };
  SourceSummary summary;
  OsmReadSummary osm;
  std::string error;
  ReadOsmSource(scratch.recipe.sources[0], options, sink, &summary, &osm, &error);
  return 0;
}
