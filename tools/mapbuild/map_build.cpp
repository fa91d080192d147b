#include "tools/mapbuild/map_build.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mapdata/map_layout.h"
#include "platform/file_replacement.h"
#include "tools/mapbuild/build_context.h"
#include "tools/mapbuild/build_report.h"
#include "tools/mapbuild/encode_stage.h"
#include "tools/mapbuild/feature_spill.h"
#include "tools/mapbuild/level_stage.h"
#include "tools/mapbuild/read_stage.h"
#include "tools/mapbuild/source_reader.h"
#include "tools/mapbuild/write_stage.h"
#include "tools/mapwriter/map_writer.h"

// The build as a pipeline of stages over one BuildContext: read the
// sources into the feature spills (read_stage), cut and encode every level
// (level_stage: cut_stage, encode_stage), write the map file (write_stage)
// and its attribution file beside it.
namespace {

constexpr int HEADER_TITLE = 0;
constexpr int HEADER_DESCRIPTION = 1;
constexpr int HEADER_PROGRAM = 2;
constexpr int HEADER_ATTRIBUTION = 5;  // the 128-byte field

// The recipe's extent in map units, through the conversion of the features.
int BoxOfDegrees(const double degrees[4], InclusiveRect* box) {
  OGRLineString corners;
  corners.addPoint(degrees[0], degrees[1]);
  corners.addPoint(degrees[2], degrees[3]);
  if (DegreesToMapGeometry(&corners) != 0) return -1;
  *box = {static_cast<int32_t>(std::floor(corners.getX(0))), static_cast<int32_t>(std::floor(corners.getY(0))),
          static_cast<int32_t>(std::ceil(corners.getX(1))), static_cast<int32_t>(std::ceil(corners.getY(1)))};
  return 0;
}

int Interrupted(std::string* error) {
  *error = INTERRUPTED;
  return -1;
}

// The box of the map: the data's box when the recipe asks for one, else
// the recipe's extent; *boxed false for the standard extent.
int MapBox(const Recipe& recipe, const ReadResult& read, InclusiveRect* box, bool* boxed, std::string* error) {
  const OGREnvelope& data = read.dataBox;
  *boxed = false;
  if (recipe.extentOfData && !recipe.sources.empty()) {
    *box = {static_cast<int32_t>(std::floor(data.MinX)), static_cast<int32_t>(std::floor(data.MinY)),
            static_cast<int32_t>(std::ceil(data.MaxX)), static_cast<int32_t>(std::ceil(data.MaxY))};
    *boxed = data.IsInit() && box->x1 > box->x0 && box->y1 > box->y0;
  } else if (recipe.hasExtent) {
    if (BoxOfDegrees(recipe.extent, box) != 0) {
      *error = "the recipe's extent lies outside what map units hold";
      return -1;
    }
    *boxed = true;
  }
  return 0;
}

// Lays out the levels over the map's box (or the standard extent) and
// fills the header.
int DescribeLevels(const Recipe& recipe, const ReadResult& read, MapDescription* map, std::string* error) {
  InclusiveRect box{};
  bool boxed = false;
  if (MapBox(recipe, read, &box, &boxed, error) != 0) return -1;
  if ((boxed ? AddStandardLevelsOver(map, box) : AddStandardLevels(map)) != 0) {
    *error = "cannot lay out the levels over the map's extent";
    return -1;
  }
  for (MapLevelDescription& level : map->levels) std::copy(PIECE_GRIDS, PIECE_GRIDS + SPLIT_KINDS, level.pieceGrid);
  map->flags = recipe.sea && !read.landEverywhere ? HEADER_FLAG_SEA_BACKGROUND : 0;
  map->headerTexts[HEADER_TITLE] = recipe.title;
  map->headerTexts[HEADER_DESCRIPTION] = recipe.description;
  map->headerTexts[HEADER_PROGRAM] = PROGRAM_TEXT;
  map->headerTexts[HEADER_ATTRIBUTION] = ShortAttribution(recipe);
  return 0;
}

int WriteMapFile(const BuildContext& context, MapDescription* map, LevelResult levels[STANDARD_LEVEL_COUNT],
                 const std::string& outPath, std::string* error) {
  FileReplacement out;
  if (out.Begin(outPath, error) != 0) return -1;
  if (out.Stream() == nullptr) {
    *error = "cannot write " + outPath + ": " + std::strerror(errno);
    return -1;
  }
  if (WriteMap(context, map, levels, out.Stream(), outPath, error) != 0) return -1;
  return out.Commit(error);
}

// Writes the attribution text beside its file, complete on the medium; it
// takes its place once the map has taken its own.
int WriteAttribution(FileReplacement* attributions, const std::string& path, const std::string& text,
                     std::string* error) {
  if (attributions->Begin(path, error) != 0) return -1;
  if (attributions->Write(text.data(), text.size()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return -1;
  }
  return attributions->Complete(error);
}

// The stages in turn; the map and its attribution are replaced only when
// every stage succeeded and nothing but a hot spot's least important
// content had to be left out for its size.
int RunStages(const BuildContext& context, const std::string& outPath, ReadResult* read, std::string* error) {
  const std::string attribution = AttributionText(context.recipe, error);
  if (!error->empty()) return -1;
  SourceSpills features(context.temporary.Path() + "/features", static_cast<int>(context.recipe.sources.size()));
  MapDescription map;
  LevelResult levels[STANDARD_LEVEL_COUNT];
  if (ReadSources(context, &features, read, error) != 0 || DescribeLevels(context.recipe, *read, &map, error) != 0 ||
      BuildLevels(context, features, map, levels, error) != 0) {
    return -1;
  }
  if (context.Stopped()) return Interrupted(error);
  // Hot spots kept their most important content and were named; anything
  // else that did not fit (or a hot spot in a strict build) fails the build.
  const BuildSummary& summary = *context.summary;
  if (summary.droppedForSize > (context.options.strict ? 0 : summary.hotSpotRecords)) {
    *error = std::to_string(context.summary->droppedForSize) +
             " records did not fit their parcels even when divided into pieces; no map was written";
    return -1;
  }
  FileReplacement attributions;
  if (WriteAttribution(&attributions, outPath + ATTRIBUTION_SUFFIX, attribution, error) != 0 ||
      WriteMapFile(context, &map, levels, outPath, error) != 0 || attributions.Rename(error) != 0) {
    return -1;
  }
  context.summary->temporaryBytes = context.temporary.Peak();
  return 0;
}

}  // namespace

int BuildMap(const Recipe& recipe, const std::string& outPath, const BuildOptions& options, BuildSummary* summary,
             std::string* error) {
  PrepareGdal();
  error->clear();
  BuildSummary result;
  ReadResult read;
  int status = 0;
  {
    TemporaryFolder temporary;
    const BuildContext context{recipe, options, temporary, &result};
    status = temporary.Create(options.temporaryParent, error);
    if (status == 0) {
      context.Line("temporary files in " + temporary.Path());
      status = RunStages(context, outPath, &read, error);
    }
  }
  result.temporaryBytes = std::max(result.temporaryBytes, read.peakWithIndex);
  *summary = result;
  return status;
}

int BuildMapFromRecipe(const Recipe& recipe, const std::string& outPath, const BuildProgress& progress,
                       BuildSummary* summary, std::string* error) {
  ProgressMeter meter([&progress](const std::string& line) {
    if (progress) progress(line);
  });
  BuildOptions options;
  options.meter = &meter;
  return BuildMap(recipe, outPath, options, summary, error);
}
