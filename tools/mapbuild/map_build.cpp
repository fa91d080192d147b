#include "tools/mapbuild/map_build.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>

#include "mapdata/map_layout.h"
#include "tools/mapbuild/coastline_land.h"
#include "tools/mapbuild/feature_spill.h"
#include "tools/mapbuild/label_twins.h"
#include "tools/mapbuild/osm_reader.h"
#include "tools/mapbuild/parcel_cutter.h"
#include "tools/mapbuild/parcel_pieces.h"
#include "tools/mapbuild/parcel_spill.h"
#include "tools/mapbuild/progress_meter.h"
#include "tools/mapbuild/section_encoders.h"
#include "tools/mapbuild/source_reader.h"
#include "tools/mapbuild/temporary_folder.h"
#include "tools/mapwriter/map_writer.h"

namespace {

constexpr int HEADER_TITLE = 0;
constexpr int HEADER_DESCRIPTION = 1;
constexpr int HEADER_PROGRAM = 2;
constexpr int HEADER_ATTRIBUTION = 5;  // the 128-byte field
constexpr char PROGRAM_TEXT[] = "tevo-mapbuild";

// Point labels of the same rule and text closer than this (map units,
// about 250 m) are one place mapped twice, such as a station with a node
// per line or platform: only the first is kept.
constexpr double LABEL_TWIN_UNITS = 1024.0;

// A parcel whose content does not fit one data area is divided into
// S × S pieces, S from the split kinds 1, 2, 3 in turn. Small grids keep a
// view's parcel list within the reader's limit.
constexpr uint16_t PIECE_GRIDS[SPLIT_KINDS] = {2, 4, 8};
constexpr double BYTES_PER_MB = 1024.0 * 1024.0;
constexpr size_t COPY_BUFFER_BYTES = 1 << 20;
constexpr int MAX_WORKERS = 16;
// Pieces of the filling pass come after all pieces of the pass that makes parcels.
constexpr uint64_t FILLING_PASS_ORDER = uint64_t{1} << 62;
constexpr int64_t PROGRESS_FEATURES = 1024;
// A single feature's parcels between two progress lines.
constexpr int64_t PROGRESS_FEATURE_PARCELS = int64_t{1} << 20;
constexpr size_t MAX_CUT_EXAMPLES = 5;

LevelGrid GridOfLevel(const MapDescription& map, int levelIndex) {
  const StandardLevel& standard = STANDARD_LEVELS[levelIndex];
  const MapLevelDescription& level = map.levels[levelIndex];
  LevelGrid grid;
  grid.levelIndex = levelIndex;
  grid.levelCode = standard.levelCode;
  grid.west = map.extent.x0;
  grid.south = map.extent.y0;
  grid.columns = level.ParcelGridColumns();
  grid.rows = level.ParcelGridRows();
  grid.parcelWidth = static_cast<int32_t>((int64_t{map.extent.x1} - map.extent.x0) / grid.columns);
  grid.parcelHeight = static_cast<int32_t>((int64_t{map.extent.y1} - map.extent.y0) / grid.rows);
  grid.firstStep = standard.firstStep;
  grid.lastStep = standard.lastStep;
  grid.pixelUnits = SCALE_STEPS[standard.firstStep].unitsPerPixelX;
  return grid;
}

bool InRange(int level, int first, int last) { return level >= first && level <= last; }

std::string Count(const char* what, int64_t count) {
  return count == 0 ? std::string() : ", " + std::to_string(count) + " " + what;
}

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / BYTES_PER_MB);
  return text;
}

bool Stopped(const BuildOptions& options) { return options.stop != nullptr && options.stop->load(); }

// A file written beside its final name and renamed over it only when
// complete; removed when dropped before that.
class PendingFile {
 public:
  explicit PendingFile(std::string finalPath) : finalPath(std::move(finalPath)) {}
  ~PendingFile() {
    if (file != nullptr) std::fclose(file);
    if (!temporaryPath.empty()) std::remove(temporaryPath.c_str());
  }
  int Open(std::string* error) {
    temporaryPath = finalPath + ".XXXXXX";
    const int fd = ::mkstemp(temporaryPath.data());
    if (fd < 0 || (file = ::fdopen(fd, "wb")) == nullptr) {
      if (fd >= 0) ::close(fd);
      *error = "cannot create a temporary file beside " + finalPath;
      temporaryPath.clear();
      return -1;
    }
    ::fchmod(fd, 0644);
    return 0;
  }
  FILE* File() const { return file; }
  // Flushes, syncs and renames over the final path.
  int Commit(std::string* error) {
    const bool flushed = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (!flushed || !closed) {
      *error = "cannot write " + finalPath + ": " + std::strerror(flushed ? errno : flushError);
      return -1;
    }
    if (std::rename(temporaryPath.c_str(), finalPath.c_str()) != 0) {
      *error = "cannot replace " + finalPath;
      return -1;
    }
    temporaryPath.clear();
    return 0;
  }

 private:
  std::string finalPath;
  std::string temporaryPath;
  FILE* file = nullptr;
};

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string AttributionText(const Recipe& recipe, std::string* error) {
  std::ostringstream out;
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
      if (std::find(written.begin(), written.end(), licence) != written.end()) continue;
      written.push_back(licence);
      const std::string text = ReadWhole(licence);
      if (text.empty()) {
        *error = "cannot read the licence text " + licence;
        return std::string();
      }
      out << "\n======== " << licence << " ========\n" << text;
    }
  }
  return out.str();
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

// Features whose rule and geometry (and text) repeat an earlier feature of
// the same source exactly, such as a road section that a source lists once
// per route running over it: drawn twice it would give the same pixels (or
// two classes over each other), and its name twice. Road rules count as
// one: a section listed under two road classes keeps the first rule's class
// (the recipe lists the bigger roads first). Each feature is remembered by
// two independent 64-bit hashes of its rule, WKB and text, not whole.
class RepeatedFeatures {
 public:
  explicit RepeatedFeatures(const RecipeSource& source) : source(source) {}
  // True when `feature` repeats one seen before; else it is remembered.
  bool Repeats(const SourceFeature& feature) {
    constexpr int ANY_ROAD_RULE = -1;
    wkb.resize(feature.geometry->WkbSize());
    feature.geometry->exportToWkb(wkbNDR, wkb.data());
    const int rule = source.rules[feature.rule].kind == RULE_ROAD ? ANY_ROAD_RULE : feature.rule;
    const std::string_view shape(reinterpret_cast<const char*>(wkb.data()), wkb.size());
    const uint64_t a = Mix(std::hash<std::string_view>()(shape), std::hash<std::string>()(feature.text), rule);
    const uint64_t b = Fnv(shape, Fnv(feature.text, static_cast<uint64_t>(rule) * 0x9E3779B97F4A7C15ull));
    return !seen.emplace(a, b).second;
  }

 private:
  static uint64_t Mix(uint64_t a, uint64_t b, int rule) {
    uint64_t z = a ^ (b + 0x9E3779B97F4A7C15ull + (a << 6) + (a >> 2)) ^ static_cast<uint64_t>(rule + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    return z ^ (z >> 31);
  }
  static uint64_t Fnv(std::string_view bytes, uint64_t seed) {
    uint64_t h = 0xcbf29ce484222325ull ^ seed;
    for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
    return h;
  }

  const RecipeSource& source;
  std::vector<unsigned char> wkb;
  std::set<std::pair<uint64_t, uint64_t>> seen;
};

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

int64_t DroppedForSize(const EncodeReport& report) {
  return int64_t{report.droppedItems} + report.droppedLinks + report.droppedNames + report.failedParcels;
}

void AddReport(const EncodeReport& from, EncodeReport* to) {
  to->droppedItems += from.droppedItems;
  to->droppedLinks += from.droppedLinks;
  to->droppedNames += from.droppedNames;
  to->failedParcels += from.failedParcels;
  to->failures.insert(to->failures.end(), from.failures.begin(), from.failures.end());
}

// One parcel of a level as stored: whole (side 0, one data area) or
// divided into side × side pieces (as many data areas). Kept for every
// parcel until the map's head is laid out, so it is small.
struct StoredParcel {
  uint32_t row = 0, column = 0;
  uint8_t splitKind = 0;
  uint16_t side = 0;

  size_t Areas() const { return side != 0 ? size_t{side} * side : 1; }
};

// What one level's worker made and saw.
struct LevelResult {
  std::vector<StoredParcel> parcels;
  // The size of each data area in the level's data file, the parcels' in
  // turn (0: a piece without data).
  std::vector<uint32_t> areaBytes;
  std::string dataPath;
  uint64_t dataBytes = 0;
  uint64_t spilledBytes = 0;
  int runs = 0;
  CutReport cut;
  EncodeReport encode;
  int64_t features = 0;
  int64_t mergedNames = 0;
  int32_t divided = 0;
  std::string error;
  bool failed = false;
};

// Encodes a parcel's content, whole when it fits one data area, else
// divided into pieces of the first grid at which every piece fits; what
// does not fit even then is left out and counted.
class ParcelEncoder {
 public:
  ParcelEncoder(uint16_t blockSize, FILE* data, LevelResult* result)
      : blockSize(blockSize), data(data), result(result) {}

  int Store(uint32_t row, uint32_t column, const ParcelContent& content, std::string* error) {
    StoredParcel stored{row, column, 0, 0};
    std::vector<std::optional<ParcelData>> areas(1);
    EncodeReport whole;
    areas[0].emplace();
    const bool fits = EncodeParcelContent(content, &*areas[0], &whole) == 0 && DroppedForSize(whole) == 0;
    if (fits) {
      if (Empty(*areas[0])) return 0;
    } else {
      EncodeReport pieces;
      for (int kind = 1; kind <= SPLIT_KINDS; ++kind) {
        pieces = EncodeReport();
        const uint16_t side = PIECE_GRIDS[kind - 1];
        const std::vector<ParcelContent> divided = DivideParcelContent(content, side);
        areas.assign(divided.size(), std::nullopt);
        for (size_t p = 0; p < divided.size(); ++p) {
          ParcelData piece;
          if (EncodeParcelContent(divided[p], &piece, &pieces) == 0 && !Empty(piece)) areas[p] = std::move(piece);
        }
        stored.splitKind = static_cast<uint8_t>(kind);
        stored.side = side;
        if (DroppedForSize(pieces) == 0) break;
      }
      AddReport(pieces, &result->encode);
      ++result->divided;
    }
    for (const std::optional<ParcelData>& area : areas) {
      if (!area) {
        result->areaBytes.push_back(0);
        continue;
      }
      if (EncodeDataArea(*area, blockSize, &bytes, error) != 0) return -1;
      if (std::fwrite(bytes.data(), 1, bytes.size(), data) != bytes.size()) {
        *error = "cannot write the temporary file " + result->dataPath + ": " + std::strerror(errno);
        return -1;
      }
      result->dataBytes += bytes.size();
      result->areaBytes.push_back(static_cast<uint32_t>(bytes.size()));
    }
    result->parcels.push_back(stored);
    return 0;
  }

 private:
  static bool Empty(const ParcelData& data) { return data.road.empty() && data.background.empty() && data.names.empty(); }

  uint16_t blockSize;
  FILE* data;
  LevelResult* result;
  std::vector<uint8_t> bytes;
};

class Pipeline {
 public:
  Pipeline(const Recipe& recipe, const BuildOptions& options, BuildSummary* summary)
      : recipe(recipe), options(options), summary(summary) {}

  int Run(const std::string& outPath, std::string* error) {
    if (temporary.Create(options.temporaryParent, error) != 0) return -1;
    Line("temporary files in " + temporary.Path());
    std::string attribution = AttributionText(recipe, error);
    if (!error->empty()) return -1;
    if (ReadSources(error) != 0 || DescribeLevels(error) != 0 || BuildLevels(error) != 0) return -1;
    if (Stopped(options)) return Interrupted(error);
    if (summary->droppedForSize > 0) {
      *error = std::to_string(summary->droppedForSize) +
               " records did not fit their parcels even when divided into pieces; no map was written";
      return -1;
    }
    if (WriteMap(outPath, error) != 0) return -1;
    PendingFile attributions(outPath + ATTRIBUTION_SUFFIX);
    if (attributions.Open(error) != 0) return -1;
    if (std::fwrite(attribution.data(), 1, attribution.size(), attributions.File()) != attribution.size()) {
      *error = "cannot write " + outPath + ATTRIBUTION_SUFFIX;
      return -1;
    }
    if (attributions.Commit(error) != 0) return -1;
    summary->temporaryBytes = temporary.Peak();
    return 0;
  }

 private:
  void Line(const std::string& text) {
    if (options.meter != nullptr) options.meter->Line(text);
  }

  int Interrupted(std::string* error) {
    *error = "interrupted";
    return -1;
  }

  // Lays out the levels: over the recipe's extent or the data's box when
  // the recipe asks for one, else over the standard extent.
  int DescribeLevels(std::string* error) {
    InclusiveRect box{};
    bool boxed = false;
    if (recipe.extentOfData && !recipe.sources.empty()) {
      box = {static_cast<int32_t>(std::floor(dataBox.MinX)), static_cast<int32_t>(std::floor(dataBox.MinY)),
             static_cast<int32_t>(std::ceil(dataBox.MaxX)), static_cast<int32_t>(std::ceil(dataBox.MaxY))};
      boxed = dataBox.IsInit() && box.x1 > box.x0 && box.y1 > box.y0;
    } else if (recipe.hasExtent) {
      if (BoxOfDegrees(recipe.extent, &box) != 0) {
        *error = "the recipe's extent lies outside what map units hold";
        return -1;
      }
      boxed = true;
    }
    if ((boxed ? AddStandardLevelsOver(&map, box) : AddStandardLevels(&map)) != 0) {
      *error = "cannot lay out the levels over the map's extent";
      return -1;
    }
    for (MapLevelDescription& level : map.levels) std::copy(PIECE_GRIDS, PIECE_GRIDS + SPLIT_KINDS, level.pieceGrid);
    map.flags = recipe.sea && !landEverywhere ? HEADER_FLAG_SEA_BACKGROUND : 0;
    map.headerTexts[HEADER_TITLE] = recipe.title;
    map.headerTexts[HEADER_DESCRIPTION] = recipe.description;
    map.headerTexts[HEADER_PROGRAM] = PROGRAM_TEXT;
    map.headerTexts[HEADER_ATTRIBUTION] = ShortAttribution(recipe);
    return 0;
  }

  // Stage 1: every source once, each rule match spilled.
  int ReadSources(std::string* error) {
    if (features.Open(temporary.Path() + "/features", error) != 0) return -1;
    for (size_t s = 0; s < recipe.sources.size(); ++s) {
      if (ReadOneSource(static_cast<int>(s), error) != 0) return -1;
      if (Stopped(options)) return Interrupted(error);
    }
    if (features.Close(error) != 0) return -1;
    temporary.Measure();
    return 0;
  }

  int ReadOneSource(int index, std::string* error) {
    const RecipeSource& source = recipe.sources[index];
    LabelTwins twins(LABEL_TWIN_UNITS);
    // OSM objects are read once each, by their ids: only other sources can
    // list a feature twice.
    const bool fromExtract = !source.landFromCoastline && IsOsmExtract(source.resolvedPath);
    RepeatedFeatures repeats(source);
    int64_t merged = 0, repeated = 0;
    const FeatureSink sink = [&](SourceFeature&& feature) {
      const RecipeRule& rule = source.rules[feature.rule];
      if (!fromExtract && repeats.Repeats(feature)) {
        ++repeated;
        return 0;
      }
      if (rule.kind == RULE_LABEL && wkbFlatten(feature.geometry->getGeometryType()) == wkbPoint) {
        const OGRPoint* at = feature.geometry->toPoint();
        if (twins.IsTwin(feature.rule, feature.text, at->getX(), at->getY())) {
          ++merged;
          return 0;
        }
      }
      OGREnvelope envelope;
      feature.geometry->getEnvelope(&envelope);
      dataBox.Merge(envelope);
      return features.Add(index, rule, feature, error);
    };
    SourceSummary read;
    OsmReadSummary osm;
    if (fromExtract) {
      OsmReadOptions osmOptions;
      osmOptions.temporaryDirectory = temporary.Path();
      osmOptions.stop = options.stop;
      int shownPass = 0;
      osmOptions.progress = [&](int pass, uint64_t done, uint64_t total) {
        if (options.meter == nullptr) return;
        if (pass != shownPass) {
          if (shownPass != 0) options.meter->Finish();
          shownPass = pass;
          options.meter->Start(source.id + (pass == 1 ? ": relations" : ": nodes, ways, areas"),
                               total / (1 << 20), "MB");
        }
        options.meter->Set(done / (1 << 20));
      };
      const int result = ReadOsmSource(source, osmOptions, sink, &read, &osm, error);
      if (options.meter != nullptr && shownPass != 0) options.meter->Finish();
      if (result != 0) return -1;
      const uint64_t used = temporary.Measure() + osm.indexBytes;
      temporary.Measure();
      peakWithIndex = std::max(peakWithIndex, used);
    } else if (source.landFromCoastline) {
      if (ReadCoastline(source, sink, &read, error) != 0) return -1;
    } else if (ReadSource(source, sink, &read, error) != 0) {
      return -1;
    }
    Line("source " + source.id + ": " + std::to_string(read.read) + " features read, " +
         std::to_string(read.matched) + " rule matches" + Count("without geometry (left out)", read.noGeometry) +
         Count("outside map units (left out)", read.outside) +
         Count("objects marked deleted by an editor (left out)", read.deleted) +
         Count("relations with members missing from the extract (left out)", osm.incompleteRelations) +
         Count("areas that do not close (left out)", osm.brokenAreas) +
         Count("features repeating another exactly (left out)", repeated) +
         Count("point labels repeating a label nearby (merged)", merged) +
         (osm.indexBytes > 0 ? ", node locations " + Megabytes(osm.indexBytes) + " on disk" : std::string()));
    // A coastline without land polygons has had its own line.
    if (read.matched == 0 && !source.landFromCoastline && options.meter != nullptr) {
      options.meter->Warning("source " + source.id + " gave no feature that a rule matches");
    }
    summary->features += read.matched;
    summary->dropped += read.noGeometry + read.outside;
    return 0;
  }

  // Land polygons assembled from the coastline; without any, nothing tells
  // land from sea and the map is land everywhere.
  int ReadCoastline(const RecipeSource& source, const FeatureSink& sink, SourceSummary* read, std::string* error) {
    CoastlineSummary coast;
    if (ReadCoastlineLand(source, temporary.Path(), sink, read, &coast, error) != 0) {
      return Stopped(options) ? Interrupted(error) : -1;
    }
    peakWithIndex = std::max(peakWithIndex, temporary.Measure() + coast.databaseBytes);
    Line(DescribeCoastline(source, coast));
    const std::string warning = CoastlineWarning(source, coast);
    if (!warning.empty() && options.meter != nullptr) options.meter->Warning(warning);
    landEverywhere = landEverywhere || !coast.usable;
    return 0;
  }

  // Stages 2 and 3 for every level, largest first: each level is cut by
  // all workers at once (each takes every n-th feature), then encoded on a
  // thread of its own while the next level is cut.
  int BuildLevels(std::string* error) {
    std::vector<int> order(STANDARD_LEVEL_COUNT);
    int64_t total = 0;
    for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
      order[level] = level;
      total += features.CountAt(level);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return features.CountAt(a) > features.CountAt(b); });
    if (options.meter != nullptr) options.meter->Start("levels", static_cast<uint64_t>(total), "features");
    std::vector<std::thread> encoders;
    std::unique_ptr<ParcelSpill> spills[STANDARD_LEVEL_COUNT];
    for (int level : order) {
      if (CutLevel(level, &spills[level]) != 0) break;
      encoders.emplace_back([this, level, &spills]() {
        EncodeLevel(level, spills[level].get(), &levels[level]);
        spills[level].reset();
      });
    }
    for (std::thread& thread : encoders) thread.join();
    if (options.meter != nullptr) options.meter->Finish();
    for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
      if (levels[level].failed) {
        *error = levels[level].error;
        return -1;
      }
    }
    for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) ReportLevel(level);
    return 0;
  }

  // Cuts the level's features into its parcel spill: first the rules that
  // make parcels, then (once all parcels are known) those that fill them.
  // A piece's place in its parcel is its pass, then its feature's place in
  // the reading order, whichever worker cut it.
  int CutLevel(int level, std::unique_ptr<ParcelSpill>* spill) {
    LevelResult* result = &levels[level];
    const LevelGrid grid = GridOfLevel(map, level);
    const std::string prefix = temporary.Path() + "/level-" + std::to_string(grid.levelCode);
    const int parts = std::clamp(options.workers, 1, MAX_WORKERS);
    *spill = std::make_unique<ParcelSpill>(prefix + ".parcels", options.bucketBytes, parts);
    result->dataPath = prefix + ".data";
    std::vector<ParcelKeys> made(static_cast<size_t>(parts), ParcelKeys(grid));
    ParcelKeys existing(grid);
    std::vector<CutReport> cuts(static_cast<size_t>(parts));
    std::vector<int64_t> counts(static_cast<size_t>(parts), 0);
    std::vector<std::string> errors(static_cast<size_t>(parts));
    for (int creatingPass = 1; creatingPass >= 0; --creatingPass) {
      const auto cutPart = [&](int part) {
        ParcelKeys* keys = creatingPass == 1 ? &made[static_cast<size_t>(part)] : &existing;
        const uint64_t passOrder = creatingPass == 1 ? 0 : FILLING_PASS_ORDER;
        LevelParcels pieces;
        int64_t sinceUpdate = 0;
        const auto wanted = [&](uint64_t sequence, int source, int rule) {
          const RecipeRule& r = recipe.sources[source].rules[rule];
          return sequence % static_cast<uint64_t>(parts) == static_cast<uint64_t>(part) &&
                 InRange(level, r.firstLevel, r.lastLevel) &&
                 InRange(level, r.firstCreating, r.lastCreating) == (creatingPass == 1);
        };
        const auto visit = [&](const SpilledFeature& spilled) {
          const RecipeRule& rule = recipe.sources[spilled.source].rules[spilled.feature.rule];
          // Each parcel gets one piece of a feature, so pieces handed on
          // before the feature is cut through share its sequence safely.
          // A feature filling very many parcels says how far it has got.
          int64_t handedOn = 0;
          const PiecesSink store = [&](LevelParcels* cut) {
            for (const auto& [key, content] : *cut) {
              if ((*spill)->Add(part, key, passOrder + spilled.sequence, content, &errors[static_cast<size_t>(part)]) != 0) {
                return -1;
              }
            }
            if (handedOn / PROGRESS_FEATURE_PARCELS != (handedOn + static_cast<int64_t>(cut->size())) / PROGRESS_FEATURE_PARCELS) {
              Line("level " + std::to_string(grid.levelCode) + ": one feature in " +
                   std::to_string(handedOn + static_cast<int64_t>(cut->size())) + " parcels so far");
            }
            handedOn += static_cast<int64_t>(cut->size());
            cut->clear();
            if (!Stopped(options)) return 0;
            errors[static_cast<size_t>(part)] = "interrupted";
            return -1;
          };
          pieces.clear();
          if (CutFeature(grid, rule, spilled.feature, creatingPass == 1, keys, &pieces, &cuts[static_cast<size_t>(part)],
                         &store, options.stop) != 0 ||
              store(&pieces) != 0) {
            if (Stopped(options)) errors[static_cast<size_t>(part)] = "interrupted";
            return -1;
          }
          ++counts[static_cast<size_t>(part)];
          if (++sinceUpdate == PROGRESS_FEATURES) {
            if (options.meter != nullptr) options.meter->Add(static_cast<uint64_t>(sinceUpdate));
            sinceUpdate = 0;
            if (Stopped(options)) {
              errors[static_cast<size_t>(part)] = "interrupted";
              return -1;
            }
          }
          return 0;
        };
        const int status = features.Read(level, wanted, visit, &errors[static_cast<size_t>(part)]);
        if (options.meter != nullptr) options.meter->Add(static_cast<uint64_t>(sinceUpdate));
        return status;
      };
      std::vector<int> status(static_cast<size_t>(parts), 0);
      std::vector<std::thread> threads;
      for (int part = 1; part < parts; ++part) {
        threads.emplace_back([&, part]() { status[static_cast<size_t>(part)] = cutPart(part); });
      }
      status[0] = cutPart(0);
      for (std::thread& thread : threads) thread.join();
      for (int part = 0; part < parts; ++part) {
        if (status[static_cast<size_t>(part)] != 0) {
          result->error = errors[static_cast<size_t>(part)];
          return Fail(result);
        }
      }
      if (creatingPass == 1) {
        for (ParcelKeys& keys : made) {
          existing.Merge(keys);
          keys = ParcelKeys();
        }
      }
    }
    for (int part = 0; part < parts; ++part) {
      AddCut(cuts[static_cast<size_t>(part)], &result->cut);
      result->features += counts[static_cast<size_t>(part)];
    }
    if ((*spill)->Finish(&result->error) != 0) return Fail(result);
    result->spilledBytes = (*spill)->SpilledBytes();
    result->runs = (*spill)->Runs();
    MeasureTemporary();
    return 0;
  }

  static void AddCut(const CutReport& from, CutReport* to) {
    to->belowPixel += from.belowPixel;
    to->noParcel += from.noParcel;
    to->outsideMap += from.outsideMap;
    to->cutNames += from.cutNames;
    to->noRoom += from.noRoom;
    to->splitAreas += from.splitAreas;
    to->tooComplex += from.tooComplex;
    for (const std::string& example : from.cutExamples) {
      if (to->cutExamples.size() < MAX_CUT_EXAMPLES) to->cutExamples.push_back(example);
    }
  }

  int EncodeLevel(int level, ParcelSpill* spill, LevelResult* result) {
    if (result->failed) return -1;
    const std::string& dataPath = result->dataPath;
    FILE* data = std::fopen(dataPath.c_str(), "wb");
    if (data == nullptr) {
      result->error = "cannot create the temporary file " + dataPath;
      return Fail(result);
    }
    ParcelEncoder encoder(map.blockSize, data, result);
    uint64_t key = 0;
    ParcelContent content;
    int status = 0;
    while ((status = spill->Next(&key, &content, &result->error)) == 1) {
      result->mergedNames += MergeRepeatedAlongNames(&content);
      if (encoder.Store(static_cast<uint32_t>(key >> 32), static_cast<uint32_t>(key & 0xFFFFFFFF), content,
                        &result->error) != 0) {
        status = -1;
        break;
      }
      if (Stopped(options)) {
        result->error = "interrupted";
        status = -1;
        break;
      }
    }
    const bool closed = std::fclose(data) == 0;
    if (status != 0) return Fail(result);
    if (!closed) {
      result->error = "cannot write the temporary file " + dataPath + ": " + std::strerror(errno);
      return Fail(result);
    }
    (void)level;
    return 0;
  }

  static int Fail(LevelResult* result) {
    result->failed = true;
    return -1;
  }

  void MeasureTemporary() {
    std::lock_guard<std::mutex> lock(measureMutex);
    temporary.Measure();
  }

  void ReportLevel(int level) {
    const LevelResult& r = levels[level];
    const CutReport& cut = r.cut;
    const EncodeReport& encode = r.encode;
    summary->parcels += static_cast<int32_t>(r.parcels.size());
    summary->dividedParcels += r.divided;
    const int64_t forSize = DroppedForSize(encode) + cut.tooComplex;
    summary->droppedForSize += forSize;
    summary->dropped += forSize + cut.cutNames + cut.outsideMap;
    Line("level " + std::to_string(STANDARD_LEVELS[level].levelCode) + ": " + std::to_string(r.features) +
         " features into " + std::to_string(r.parcels.size()) + " parcels" +
         Count("parcels divided into pieces", r.divided) + Count("smaller than a pixel (left out)", cut.belowPixel) +
         Count("pieces outside this level's parcels", cut.noParcel) +
         Count("features cut at the map's edge (the rest left out)", cut.outsideMap) +
         Count("areas split for holes or points", cut.splitAreas) +
         Count("area pieces over the point limit (left out)", cut.tooComplex) +
         Count("along-line names without room (left out)", cut.noRoom) +
         Count("names cut to 32 characters", cut.cutNames) +
         Count("background items over a section's size (left out)", encode.droppedItems) +
         Count("road links over a section's size (left out)", encode.droppedLinks) +
         Count("names over a section's size (left out)", encode.droppedNames) +
         Count("parcels the writer refused (left out)", encode.failedParcels) + ", " + Megabytes(r.spilledBytes) +
         " spilled in " + std::to_string(r.runs) + " runs");
    for (const std::string& failure : encode.failures) Line("  refused parcel: " + failure);
    for (const std::string& example : cut.cutExamples) Line("  cut name: " + example);
  }

  // Stage 4: the head from the sizes, then the data areas level by level.
  int WriteMap(const std::string& outPath, std::string* error) {
    std::vector<uint32_t> areaBytes;
    size_t parcels = 0;
    for (const LevelResult& result : levels) parcels += result.parcels.size();
    map.parcels.reserve(parcels);
    for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
      for (const StoredParcel& stored : levels[level].parcels) {
        MapParcelDescription parcel;
        parcel.level = static_cast<uint16_t>(level);
        parcel.row = stored.row;
        parcel.column = stored.column;
        parcel.split = stored.side != 0;
        parcel.splitKind = stored.splitKind;
        parcel.pieces.resize(stored.side != 0 ? stored.Areas() : 0);
        map.parcels.push_back(std::move(parcel));
      }
      areaBytes.insert(areaBytes.end(), levels[level].areaBytes.begin(), levels[level].areaBytes.end());
      std::vector<uint32_t>().swap(levels[level].areaBytes);
    }
    std::vector<uint8_t> head;
    MapLayout layout;
    if (BuildMapHead(map, areaBytes, &head, &layout, error) != 0) return -1;
    PendingFile out(outPath);
    if (out.Open(error) != 0) return -1;
    if (options.meter != nullptr) options.meter->Start("writing the map", layout.fileBytes / (1 << 20), "MB");
    uint64_t position = 0;
    if (!Write(out.File(), head.data(), head.size(), &position)) return WriteFailed(outPath, error);
    size_t area = 0;
    std::vector<uint8_t> buffer(COPY_BUFFER_BYTES);
    for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
      FILE* data = std::fopen(levels[level].dataPath.c_str(), "rb");
      if (data == nullptr) {
        *error = "cannot read the temporary file " + levels[level].dataPath;
        return -1;
      }
      bool ok = true;
      for (const StoredParcel& stored : levels[level].parcels) {
        for (size_t piece = 0; piece < stored.Areas(); ++piece, ++area) {
          const uint32_t bytes = areaBytes[area], offset = layout.dataOffsets[area];
          if (bytes == 0) continue;
          ok = ok && Pad(out.File(), offset, &position) && Copy(data, out.File(), bytes, &buffer, &position);
        }
        if (options.meter != nullptr) options.meter->Set(position / (1 << 20));
      }
      std::fclose(data);
      std::remove(levels[level].dataPath.c_str());
      if (!ok) return WriteFailed(outPath, error);
      if (Stopped(options)) return Interrupted(error);
    }
    if (!Pad(out.File(), layout.fileBytes, &position)) return WriteFailed(outPath, error);
    if (options.meter != nullptr) options.meter->Finish();
    if (out.Commit(error) != 0) return -1;
    summary->bytes = layout.fileBytes;
    return 0;
  }

  static bool Write(FILE* file, const void* bytes, size_t size, uint64_t* position) {
    *position += size;
    return std::fwrite(bytes, 1, size, file) == size;
  }
  static bool Pad(FILE* file, uint64_t to, uint64_t* position) {
    static const std::vector<uint8_t> zeros(SECTOR_ZEROS, 0);
    while (*position < to) {
      const size_t size = static_cast<size_t>(std::min<uint64_t>(to - *position, zeros.size()));
      if (!Write(file, zeros.data(), size, position)) return false;
    }
    return *position == to;
  }
  static bool Copy(FILE* from, FILE* to, uint32_t bytes, std::vector<uint8_t>* buffer, uint64_t* position) {
    while (bytes > 0) {
      const size_t size = std::min<size_t>(bytes, buffer->size());
      if (std::fread(buffer->data(), 1, size, from) != size || !Write(to, buffer->data(), size, position)) return false;
      bytes -= static_cast<uint32_t>(size);
    }
    return true;
  }
  static int WriteFailed(const std::string& outPath, std::string* error) {
    *error = "cannot write " + outPath + ": " + std::strerror(errno);
    return -1;
  }

  static constexpr size_t SECTOR_ZEROS = 2048;

  const Recipe& recipe;
  const BuildOptions& options;
  BuildSummary* summary;
  TemporaryFolder temporary;
  FeatureSpill features;
  OGREnvelope dataBox;  // of every feature spilled
  MapDescription map;
  LevelResult levels[STANDARD_LEVEL_COUNT];
  std::mutex measureMutex;
  uint64_t peakWithIndex = 0;
  bool landEverywhere = false;  // a coastline source found no land polygons

 public:
  uint64_t PeakWithIndex() const { return peakWithIndex; }
};

}  // namespace

int BuildMap(const Recipe& recipe, const std::string& outPath, const BuildOptions& options, BuildSummary* summary,
             std::string* error) {
  PrepareGdal();
  error->clear();
  BuildSummary result;
  int status = 0;
  {
    Pipeline pipeline(recipe, options, &result);
    status = pipeline.Run(outPath, error);
    result.temporaryBytes = std::max(result.temporaryBytes, pipeline.PeakWithIndex());
  }
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
