#include "tools/mapbuild/map_build.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "render/scale_steps.h"
#include "tools/mapbuild/parcel_cutter.h"
#include "tools/mapbuild/section_encoders.h"
#include "tools/mapbuild/source_reader.h"
#include "tools/mapwriter/map_writer.h"

namespace {

constexpr uint16_t FLAG_SEA_BACKGROUND = 1u << 14;
constexpr int HEADER_TITLE = 0;
constexpr int HEADER_DESCRIPTION = 1;
constexpr int HEADER_PROGRAM = 2;
constexpr int HEADER_ATTRIBUTION = 5;  // the 128-byte field
constexpr char PROGRAM_TEXT[] = "tevo-mapbuild";

// Point labels of the same rule and text closer than this (map units,
// about 250 m) are one place mapped twice, such as a station with a node
// per line or platform: only the first is kept, so that the names do not
// pile up on each other.
constexpr double LABEL_TWIN_UNITS = 1024.0;

struct SourceData {
  const RecipeSource* source;
  std::vector<SourceFeature> features;
};

LevelGrid GridOfLevel(const MapDescription& map, int levelIndex) {
  const StandardLevel& standard = STANDARD_LEVELS[levelIndex];
  LevelGrid grid;
  grid.levelIndex = levelIndex;
  grid.levelCode = standard.levelCode;
  grid.west = map.extent.west;
  grid.south = map.extent.south;
  grid.parcelWidth = standard.parcelWidth;
  grid.parcelHeight = standard.parcelHeight;
  grid.columns = static_cast<uint32_t>((int64_t{map.extent.east} - map.extent.west) / standard.parcelWidth);
  grid.rows = static_cast<uint32_t>((int64_t{map.extent.north} - map.extent.south) / standard.parcelHeight);
  grid.firstStep = standard.firstStep;
  grid.lastStep = standard.lastStep;
  grid.pixelUnits = SCALE_STEPS[standard.firstStep].unitsPerPixelX;
  return grid;
}

bool InRange(int level, int first, int last) { return level >= first && level <= last; }

std::string Count(const char* what, int64_t count) {
  return count == 0 ? std::string() : ", " + std::to_string(count) + " " + what;
}

// Cuts every feature that belongs to the level into its parcels: first the
// features that make parcels, then those that only fill parcels made.
void CutLevel(const LevelGrid& grid, const std::vector<SourceData>& sources, LevelParcels* parcels, CutReport* report,
              int64_t* cut) {
  for (int creatingPass = 1; creatingPass >= 0; --creatingPass) {
    for (const SourceData& data : sources) {
      for (const SourceFeature& feature : data.features) {
        const RecipeRule& rule = data.source->rules[feature.rule];
        if (!InRange(grid.levelIndex, rule.firstLevel, rule.lastLevel)) continue;
        const bool creating = InRange(grid.levelIndex, rule.firstCreating, rule.lastCreating);
        if (creating != (creatingPass == 1)) continue;
        CutFeature(grid, rule, feature, creating, parcels, report);
        ++*cut;
      }
    }
  }
}

void AddParcels(MapDescription* map, const LevelGrid& grid, const LevelParcels& parcels, EncodeReport* encode,
                int32_t* added) {
  for (const auto& [key, content] : parcels) {
    if (!content.created) continue;
    MapParcelDescription parcel;
    parcel.level = static_cast<uint16_t>(grid.levelIndex);
    parcel.row = static_cast<uint32_t>(key >> 32);
    parcel.column = static_cast<uint32_t>(key & 0xFFFFFFFF);
    if (EncodeParcelContent(content, &parcel.data, encode) != 0) continue;
    if (parcel.data.road.empty() && parcel.data.background.empty() && parcel.data.names.empty()) continue;
    map->parcels.push_back(std::move(parcel));
    ++*added;
  }
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

int WriteAttributions(const Recipe& recipe, const std::string& path, std::string* error) {
  std::ofstream out(path, std::ios::binary);
  out << "Map data of " << (recipe.title.empty() ? std::string("this map") : recipe.title) << "\n"
      << "Built by " << PROGRAM_TEXT << " from the sources below; the data were processed (reprojected to the\n"
      << "Tokyo datum, generalised, clipped to parcels, subset and reformatted).\n\n";
  for (const RecipeSource& source : recipe.sources) {
    out << "* " << source.id << " (" << source.path << ")\n";
    if (!source.attribution.empty()) out << "  " << source.attribution << "\n";
    for (const std::string& licence : source.licences) out << "  licence text: " << licence << "\n";
  }
  std::vector<std::string> written;
  for (const RecipeSource& source : recipe.sources) {
    for (const std::string& licence : source.licences) {
      bool seen = false;
      for (const std::string& w : written) seen = seen || w == licence;
      if (seen) continue;
      written.push_back(licence);
      const std::string text = ReadWhole(licence);
      if (text.empty()) {
        *error = "cannot read the licence text " + licence;
        return -1;
      }
      out << "\n======== " << licence << " ========\n" << text;
    }
  }
  if (!out.flush()) {
    *error = "cannot write " + path;
    return -1;
  }
  return 0;
}

// The short attributions of all sources, deduplicated, for the header.
std::string ShortAttribution(const Recipe& recipe) {
  std::string text;
  for (const RecipeSource& source : recipe.sources) {
    const std::string& a = source.attribution;
    const std::string first = a.substr(0, a.find_first_of(";\n"));
    if (first.empty() || text.find(first) != std::string::npos) continue;
    text += (text.empty() ? "" : "; ") + first;
  }
  return text;
}

// Removes the later of every two point labels of the same rule and text
// within LABEL_TWIN_UNITS of each other. Returns the number removed.
int64_t MergeTwinLabels(const RecipeSource& source, std::vector<SourceFeature>* features) {
  std::vector<SourceFeature> kept;
  std::vector<OGRPoint> keptPoints;
  std::vector<size_t> keptLabels;  // indices into kept
  int64_t merged = 0;
  for (SourceFeature& feature : *features) {
    OGRPoint at;
    const bool label = source.rules[feature.rule].kind == RULE_LABEL &&
                       wkbFlatten(feature.geometry->getGeometryType()) == wkbPoint;
    if (label) {
      at = *feature.geometry->toPoint();
      bool twin = false;
      for (size_t k : keptLabels) {
        const SourceFeature& other = kept[k];
        twin = other.rule == feature.rule && other.text == feature.text &&
               std::hypot(keptPoints[k].getX() - at.getX(), keptPoints[k].getY() - at.getY()) < LABEL_TWIN_UNITS;
        if (twin) break;
      }
      if (twin) {
        ++merged;
        continue;
      }
      keptLabels.push_back(kept.size());
    }
    keptPoints.push_back(at);
    kept.push_back(std::move(feature));
  }
  *features = std::move(kept);
  return merged;
}

}  // namespace

int BuildMapFromRecipe(const Recipe& recipe, const std::string& outPath, const BuildProgress& progress,
                       BuildSummary* summary, std::string* error) {
  std::vector<SourceData> sources;
  for (const RecipeSource& source : recipe.sources) {
    SourceData data{&source, {}};
    SourceSummary read;
    if (ReadSource(source, &data.features, &read, error) != 0) return -1;
    const int64_t twins = MergeTwinLabels(source, &data.features);
    progress("source " + source.id + ": " + std::to_string(read.read) + " features read, " +
             std::to_string(read.matched) + " rule matches" + Count("without geometry (left out)", read.noGeometry) +
             Count("outside map units (left out)", read.outside) +
             Count("objects marked deleted by an editor (left out)", read.deleted) +
             Count("point labels repeating a label nearby (merged)", twins));
    if (read.matched == 0) progress(BUILD_WARNING + ("source " + source.id + " gave no feature that a rule matches"));
    summary->features += read.matched;
    summary->dropped += read.noGeometry + read.outside;
    sources.push_back(std::move(data));
  }

  MapDescription map;
  if (AddStandardLevels(&map) != 0) {
    *error = "cannot lay out the levels";
    return -1;
  }
  map.flags = recipe.sea ? FLAG_SEA_BACKGROUND : 0;
  map.headerTexts[HEADER_TITLE] = recipe.title;
  map.headerTexts[HEADER_DESCRIPTION] = recipe.description;
  map.headerTexts[HEADER_PROGRAM] = PROGRAM_TEXT;
  map.headerTexts[HEADER_ATTRIBUTION] = ShortAttribution(recipe);

  for (int level = 0; level < RECIPE_LEVEL_COUNT; ++level) {
    const LevelGrid grid = GridOfLevel(map, level);
    LevelParcels parcels;
    CutReport cut;
    EncodeReport encode;
    int64_t features = 0;
    int32_t added = 0;
    CutLevel(grid, sources, &parcels, &cut, &features);
    AddParcels(&map, grid, parcels, &encode, &added);
    summary->parcels += added;
    summary->dropped += cut.tooComplex + cut.cutNames + encode.droppedItems + encode.droppedLinks +
                        encode.droppedNames + encode.failedParcels;
    progress("level " + std::to_string(grid.levelCode) + ": " + std::to_string(features) + " features into " +
             std::to_string(added) + " parcels" + Count("smaller than a pixel (left out)", cut.belowPixel) +
             Count("pieces outside this level's parcels", cut.noParcel) +
             Count("areas split for holes or points", cut.splitAreas) +
             Count("area pieces over the point limit (left out)", cut.tooComplex) +
             Count("along-line names without room (left out)", cut.noRoom) +
             Count("names cut to 32 characters", cut.cutNames) +
             Count("background items over a section's size (left out)", encode.droppedItems) +
             Count("road links over a section's size (left out)", encode.droppedLinks) +
             Count("names over a section's size (left out)", encode.droppedNames) +
             Count("parcels the writer refused (left out)", encode.failedParcels));
    for (const std::string& failure : encode.failures) progress("  refused parcel: " + failure);
    for (const std::string& example : cut.cutExamples) progress("  cut name: " + example);
  }

  MapLayout layout;
  if (WriteMapFile(map, outPath.c_str(), &layout, error) != 0) return -1;
  summary->bytes = layout.fileBytes;
  return WriteAttributions(recipe, outPath + ATTRIBUTION_SUFFIX, error);
}
