// The streaming map builder with OSM extracts: the standard OSM recipe over
// a small extract (written as PBF here, as downloaded extracts are), the
// same bytes whatever the bucket size and the number of workers, an
// interrupted build that leaves nothing behind, and a parcel too full for
// one data area that is divided into pieces instead of losing content.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <random>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <osmium/io/any_input.hpp>
#include <osmium/io/pbf_output.hpp>
#include <osmium/io/writer.hpp>

#include "logs/nmea_reader.h"
#include "logs_test_support.h"
#include "mapdata/background_records.h"
#include "mapdata/map_owner.h"
#include "mapdata/name_records.h"
#include "mapdata/parcel_index.h"
#include "mapdata/road_records.h"
#include "tools/mapbuild/map_build.h"
#include "tools/mapbuild/osm_reader.h"
#include "tools/mapbuild/parcel_cutter.h"
#include "tools/mapbuild/progress_meter.h"
#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/source_reader.h"
#include "tools/mapwriter/map_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr uint16_t LEVEL_CODES[] = {62, 0, 2, 4, 6, 8, 10};

// One of each tag family of the standard recipe around central Nagoya: a
// motorway, a residential street and a footway; a railway with a station;
// a lake, a building and a forest with a clearing (a multipolygon); a
// river; a prefecture border; a city.
std::string FixtureOsmXml() {
  std::string xml = "<?xml version='1.0' encoding='UTF-8'?>\n<osm version='0.6' generator='test'>\n";
  int id = 0;
  auto node = [&](double lon, double lat, const std::string& tags = "") {
    xml += "  <node id='" + std::to_string(++id) + "' version='1' lat='" + std::to_string(lat) + "' lon='" +
           std::to_string(lon) + "'>" + tags + "</node>\n";
    return id;
  };
  std::string ways;
  int wayId = 100;
  auto way = [&](const std::vector<int>& nodes, const std::string& tags) {
    ways += "  <way id='" + std::to_string(++wayId) + "' version='1'>";
    for (int n : nodes) ways += "<nd ref='" + std::to_string(n) + "'/>";
    ways += tags + "</way>\n";
    return wayId;
  };
  auto tag = [](const std::string& k, const std::string& v) { return "<tag k='" + k + "' v='" + v + "'/>"; };
  auto line = [&](double lon0, double lat0, double lon1, double lat1, const std::string& tags) {
    return way({node(lon0, lat0), node((lon0 + lon1) / 2, (lat0 + lat1) / 2 + 0.0001), node(lon1, lat1)}, tags);
  };
  auto square = [&](double west, double south, double east, double north, const std::string& tags) {
    const int a = node(west, south), b = node(east, south), c = node(east, north), d = node(west, north);
    return way({a, b, c, d, a}, tags);
  };
  line(136.80, 35.10, 137.00, 35.25, tag("highway", "motorway"));
  line(136.900, 35.160, 136.905, 35.1605, tag("highway", "residential"));
  line(136.901, 35.161, 136.904, 35.1612, tag("highway", "footway"));
  line(136.85, 35.12, 136.98, 35.22, tag("railway", "rail"));
  node(136.8817, 35.1709, tag("railway", "station") + tag("name", "名古屋"));
  square(136.86, 35.12, 136.92, 35.16, tag("natural", "water"));
  square(136.9010, 35.1620, 136.9013, 35.1622, tag("building", "yes"));
  const int outer = square(136.93, 35.18, 136.99, 35.23, "");
  const int inner = square(136.95, 35.20, 136.96, 35.21, "");
  line(136.80, 35.20, 137.00, 35.21, tag("waterway", "river") + tag("name", "堀川"));
  line(136.70, 35.05, 137.10, 35.30, tag("boundary", "administrative") + tag("admin_level", "4"));
  node(136.9066, 35.1815, tag("place", "city") + tag("name", "名古屋市") + tag("population", "2300000"));
  xml += ways;
  xml += "  <relation id='1' version='1'><member type='way' ref='" + std::to_string(outer) +
         "' role='outer'/><member type='way' ref='" + std::to_string(inner) + "' role='inner'/>" +
         tag("type", "multipolygon") + tag("landuse", "forest") + "</relation>\n";
  return xml + "</osm>\n";
}

// Writes OSM XML as the PBF file `pbf`.
void WritePbf(const std::string& xmlPath, const std::string& pbf) {
  osmium::io::Reader reader(xmlPath);
  osmium::io::Writer writer(osmium::io::File(pbf, "pbf"), osmium::io::overwrite::allow);
  while (osmium::memory::Buffer buffer = reader.read()) writer(std::move(buffer));
  writer.close();
  reader.close();
}

MapCoord MapUnits(double lon, double lat) {
  MapCoord c{};
  WgsToMapUnits(static_cast<int32_t>(std::lround(lon * 360000)), static_cast<int32_t>(std::lround(lat * 360000)),
                &c.x, &c.y);
  return c;
}

// What the parcels of a level around a point hold: road classes,
// background codes and name codes, and the number of road objects.
struct LevelCodes {
  std::set<int> roads, items, names;
  int roadObjects = 0;
  int pieces = 0;  // entries of divided parcels
};

LevelCodes CodesAround(MapDataOwner* map, const MapCoord& centre, int32_t half, uint16_t level) {
  LevelCodes codes;
  ParcelList* list = FindParcels(map, &centre, half, half, level);
  if (list == nullptr) return codes;
  for (int i = 0; i < list->count; ++i) {
    const ParcelEntry& e = list->entries[i];
    if (e.xDiv != 16) ++codes.pieces;
    if (RoadParcel* roads = AcquireRoads(map, e)) {
      for (int g = 0; g < roads->groupCount; ++g) {
        if (roads->groups[g].decodedCount > 0) codes.roads.insert(roads->groups[g].drawClass);
        codes.roadObjects += roads->groups[g].decodedCount;
      }
      ReleaseRoads(map, roads);
    }
    if (BackgroundParcel* background = AcquireBackground(map, e)) {
      for (const FeatureClass& c : background->classes) {
        for (int g = 0; g < c.groupCount; ++g) {
          for (int k = 0; k < c.groups[g].itemCount; ++k) codes.items.insert(c.groups[g].items[k].typeCode);
        }
      }
      ReleaseBackground(map, background);
    }
    if (NameParcel* names = AcquireNames(map, e)) {
      for (int g = 0; g < names->groupCount; ++g) {
        for (int r = 0; names->groups[g].records != nullptr && r < names->groups[g].recordCount; ++r) {
          codes.names.insert(names->groups[g].records[r].classCode);
        }
      }
      ReleaseNames(map, names);
    }
  }
  FreeParcelList(list);
  return codes;
}

class OsmBuildTest : public ScratchDirectoryTest {
 protected:
  std::string Extract() {
    const std::string xml = Write("nagoya.osm", FixtureOsmXml());
    const std::string pbf = (directory / "nagoya.osm.pbf").string();
    WritePbf(xml, pbf);
    return pbf;
  }
  Recipe StandardRecipe(const std::string& extract) {
    Recipe recipe;
    std::string error;
    EXPECT_EQ(LoadRecipe(TEVO_SOURCE_OSM_RECIPE, "", &recipe, &error), 0) << error;
    EXPECT_EQ(UseExtract(&recipe, extract, &error), 0) << error;
    return recipe;
  }
  int Build(const Recipe& recipe, const std::string& out, BuildOptions options, BuildSummary* summary,
            std::string* error) {
    ProgressMeter meter([this](const std::string& line) { lines += line + "\n"; });
    if (options.meter == nullptr) options.meter = &meter;
    if (options.temporaryParent.empty()) options.temporaryParent = directory.string();
    return BuildMap(recipe, out, options, summary, error);
  }
  std::string lines;
};

TEST_F(OsmBuildTest, EachTagFamilyLandsInItsClassAtItsLevels) {
  const Recipe recipe = StandardRecipe(Extract());
  const std::string map = (directory / "ALLDATA.KWI").string();
  BuildSummary summary;
  std::string error;
  ASSERT_EQ(Build(recipe, map, {}, &summary, &error), 0) << error << lines;
  EXPECT_EQ(summary.dropped, 0) << lines;
  MapDataOwner owner(map.c_str());
  ASSERT_EQ(owner.Load(), 0);

  enum Kind { ROAD, ITEM, NAME };
  struct Family {
    const char* what;
    Kind kind;
    int code;
    uint16_t finest, coarsest;  // level codes it is drawn at
    double lon, lat;            // a point on it
  };
  const Family families[] = {
      {"motorway", ROAD, 0, 62, 8, 136.90, 35.175},
      {"residential street", ROAD, 6, 62, 62, 136.9025, 35.1603},
      {"footway", ROAD, 9, 62, 62, 136.9025, 35.1611},
      {"railway", ITEM, 2816, 62, 6, 136.915, 35.17},
      {"station", NAME, 257, 62, 0, 136.8817, 35.1709},
      {"lake", ITEM, 3349, 62, 6, 136.89, 35.14},
      {"building", ITEM, 3200, 62, 62, 136.9011, 35.1621},
      {"forest (multipolygon)", ITEM, 3477, 62, 4, 136.935, 35.185},
      {"river", ITEM, 808, 62, 4, 136.90, 35.205},
      {"prefecture border", ITEM, 3328, 62, 10, 136.90, 35.175},
      {"city", NAME, 320, 0, 8, 136.9066, 35.1815},
  };
  for (const Family& family : families) {
    const int finest = RecipeLevelIndex(family.finest), coarsest = RecipeLevelIndex(family.coarsest);
    for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
      // Around the point: two fine parcels, or a twentieth of a coarse one.
      const int32_t half = std::max<int32_t>(6000, STANDARD_LEVELS[level].parcelWidth / 20);
      const LevelCodes codes = CodesAround(&owner, MapUnits(family.lon, family.lat), half, LEVEL_CODES[level]);
      const std::set<int>& found = family.kind == ROAD ? codes.roads : family.kind == ITEM ? codes.items : codes.names;
      const bool expected = level >= finest && level <= coarsest;
      EXPECT_EQ(found.count(family.code) == 1, expected)
          << family.what << " (" << family.code << ") at level " << LEVEL_CODES[level];
    }
  }
  // The recipe names the extract it was given, and the attribution says whose data it is.
  EXPECT_NE(ReadFile(map + ATTRIBUTION_SUFFIX).find("OpenStreetMap contributors"), std::string::npos);
}

TEST_F(OsmBuildTest, SmallBucketsAndOneWorkerGiveTheSameBytes) {
  const Recipe recipe = StandardRecipe(Extract());
  std::string maps[3];
  const size_t buckets[3] = {DEFAULT_BUCKET_BYTES, 64, 4096};
  const int workers[3] = {2, 2, 1};
  for (int i = 0; i < 3; ++i) {
    const std::string map = (directory / ("map" + std::to_string(i) + ".kwi")).string();
    BuildOptions options;
    options.bucketBytes = buckets[i];
    options.workers = workers[i];
    BuildSummary summary;
    std::string error;
    lines.clear();
    ASSERT_EQ(Build(recipe, map, options, &summary, &error), 0) << error;
    if (i == 1) {
      // The finest level's pieces went to disk in more sorted runs than are
      // merged at once.
      const size_t at = lines.find("level 62:");
      const size_t runs = lines.find(" runs", at);
      ASSERT_NE(runs, std::string::npos) << lines;
      const size_t number = lines.rfind(' ', runs - 1) + 1;
      EXPECT_GT(std::stoi(lines.substr(number, runs - number)), 64) << lines;
    }
    maps[i] = ReadFile(map);
  }
  ASSERT_GT(maps[0].size(), 4096u);
  EXPECT_TRUE(maps[1] == maps[0]);
  EXPECT_TRUE(maps[2] == maps[0]);
}

TEST_F(OsmBuildTest, AnInterruptedBuildLeavesTheOldMapAndNoTemporaryFiles) {
  const Recipe recipe = StandardRecipe(Extract());
  const std::string map = (directory / "ALLDATA.KWI").string();
  const std::string old = "the old map\n";
  Write("ALLDATA.KWI", old);
  Write("ALLDATA.KWI.txt", old);
  const fs::path temporary = directory / "tmp";
  fs::create_directory(temporary);
  std::set<std::string> before;
  for (const auto& entry : fs::directory_iterator(directory)) before.insert(entry.path().filename().string());

  // Stop as soon as the levels are being built: after the features were
  // spilled, while buckets and level data files exist.
  std::atomic<bool> stop{false};
  ProgressMeter meter([&](const std::string& line) {
    lines += line + "\n";
    if (line.rfind("levels", 0) == 0) stop = true;
  });
  BuildOptions options;
  options.stop = &stop;
  options.meter = &meter;
  options.temporaryParent = temporary.string();
  BuildSummary summary;
  std::string error;
  ASSERT_EQ(Build(recipe, map, options, &summary, &error), -1) << lines;
  EXPECT_EQ(error, "interrupted");
  ASSERT_TRUE(stop);
  EXPECT_TRUE(fs::is_empty(temporary));
  std::set<std::string> after;
  for (const auto& entry : fs::directory_iterator(directory)) after.insert(entry.path().filename().string());
  EXPECT_EQ(after, before);
  EXPECT_EQ(ReadFile(map), old);
  EXPECT_EQ(ReadFile(map + ATTRIBUTION_SUFFIX), old);
}

// The nodes of an extract as an editor or another tool may leave them: ids
// out of order are refused with the way to sort the extract, and nodes
// with negative ids (an editor's new objects) give their ways a place.
TEST_F(OsmBuildTest, NodesOutOfIdOrderAreRefusedAndNegativeIdsAreLocated) {
  struct Case {
    const char* first;
    const char* second;
    bool builds;
  };
  const Case cases[] = {{"20", "10", false}, {"-1", "-2", true}, {"-2", "-1", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " " + c.second);
    const std::string xml =
        std::string("<?xml version='1.0' encoding='UTF-8'?>\n<osm version='0.6'>\n") + "  <node id='" + c.first +
        "' version='1' lat='35.170' lon='136.900'/>\n  <node id='" + c.second +
        "' version='1' lat='35.171' lon='136.902'/>\n  <way id='1' version='1'><nd ref='" + c.first + "'/><nd ref='" +
        c.second + "'/><tag k='highway' v='primary'/></way>\n</osm>\n";
    const std::string pbf = (directory / "edited.osm.pbf").string();
    WritePbf(Write("edited.osm", xml), pbf);
    const std::string map = (directory / "EDITED.KWI").string();
    fs::remove(map);
    BuildSummary summary;
    std::string error;
    const int status = Build(StandardRecipe(pbf), map, BuildOptions(), &summary, &error);
    if (c.builds) {
      ASSERT_EQ(status, 0) << error;
      EXPECT_EQ(summary.features, 1);
      EXPECT_EQ(summary.dropped, 0);
    } else {
      EXPECT_EQ(status, -1);
      EXPECT_NE(error.find("node " + std::string(c.second) + " comes after node " + c.first), std::string::npos)
          << error;
      EXPECT_NE(error.find("osmium sort"), std::string::npos) << error;
      EXPECT_FALSE(fs::exists(map));
    }
  }
}

// The recipe's corrections of label texts (a suffix trimmed, texts renamed
// by another tag, a rename to nothing leaving the label out) apply to an
// extract as to the same objects read through GDAL, and rules take only
// the shapes of object their kind takes.
TEST_F(OsmBuildTest, LabelTextsAreCorrectedInExtractsAsInOtherSources) {
  std::string xml = "<?xml version='1.0' encoding='UTF-8'?>\n<osm version='0.6'>\n";
  const std::pair<const char*, const char*> places[] = {
      {"栄駅", ""}, {"伏見駅", "A1"}, {"大須", "A2"}, {"駅", ""}, {"金山", "B9"}};
  int id = 0;
  for (const auto& [name, ref] : places) {
    xml += "  <node id='" + std::to_string(++id) + "' version='1' lat='35.17' lon='136.9" + std::to_string(id) +
           "'><tag k='place' v='suburb'/><tag k='name' v='" + name + "'/>" +
           (ref[0] != '\0' ? "<tag k='ref' v='" + std::string(ref) + "'/>" : "") + "</node>\n";
  }
  xml += "  <node id='10' version='1' lat='35.18' lon='136.90'/>\n  <node id='11' version='1' lat='35.18' "
         "lon='136.91'/>\n  <way id='1' version='1'><nd ref='10'/><nd ref='11'/><tag k='place' v='suburb'/>"
         "<tag k='name' v='line'/></way>\n</osm>\n";
  const std::string xmlPath = Write("places.osm", xml);
  const std::string pbf = (directory / "places.osm.pbf").string();
  WritePbf(xmlPath, pbf);
  Recipe recipe;
  std::string error;
  ASSERT_EQ(ParseRecipe("sources:\n  - path: places.osm.pbf\n    trim: [駅]\n"
                        "    rename: {key: ref, texts: {A1: 名古屋駅前, A2: \"\"}}\n    rules:\n"
                        "      - {where: \"place=suburb\", label: 320, text: name, levels: 62}\n",
                        "r.yaml", directory.string(), &recipe, &error),
            0)
      << error;
  auto collect = [](std::vector<std::string>* texts) {
    return [texts](SourceFeature&& feature) {
      texts->push_back(feature.text);
      return 0;
    };
  };
  const std::vector<std::string> corrected = {"栄", "名古屋駅前", "駅", "金山"};
  std::vector<std::string> fromExtract, fromGdal;
  SourceSummary summary;
  OsmReadSummary osm;
  OsmReadOptions options;
  options.temporaryDirectory = directory.string();
  ASSERT_EQ(ReadOsmSource(recipe.sources[0], options, collect(&fromExtract), &summary, &osm, &error), 0) << error;
  EXPECT_EQ(fromExtract, corrected);
  RecipeSource asXml = recipe.sources[0];
  asXml.resolvedPath = xmlPath;
  asXml.layers = {"points"};
  summary = SourceSummary();
  ASSERT_EQ(ReadSource(asXml, collect(&fromGdal), &summary, &error), 0) << error;
  EXPECT_EQ(fromGdal, corrected);
}

// More short streets in one fine parcel than one road section holds: the
// parcel is divided into pieces and every street is kept.
TEST_F(OsmBuildTest, AParcelTooFullForOneDataAreaIsDividedIntoPieces) {
  constexpr int COLUMNS = 150, ROWS = 100;
  constexpr double WEST = 136.9016, SOUTH = 35.1632, STEP_X = 0.00007, STEP_Y = 0.00005;
  std::string geojson = R"({"type":"FeatureCollection","features":[)";
  for (int r = 0; r < ROWS; ++r) {
    for (int c = 0; c < COLUMNS; ++c) {
      const double x = WEST + c * STEP_X, y = SOUTH + r * STEP_Y;
      geojson += std::string(r + c == 0 ? "" : ",") +
                 R"({"type":"Feature","properties":{},"geometry":{"type":"LineString","coordinates":[[)" +
                 std::to_string(x) + "," + std::to_string(y) + "],[" + std::to_string(x + STEP_X * 0.6) + "," +
                 std::to_string(y + STEP_Y * 0.3) + "]]}}";
    }
  }
  Write("streets.geojson", geojson + "]}");
  const std::string recipePath = Write("recipe.yaml", R"(sources:
  - {id: streets, path: streets.geojson, rules: [{road: 6, levels: 62}]}
)");
  Recipe recipe;
  std::string error;
  ASSERT_EQ(LoadRecipe(recipePath, "", &recipe, &error), 0) << error;
  const std::string map = (directory / "ALLDATA.KWI").string();
  BuildSummary summary;
  ASSERT_EQ(Build(recipe, map, {}, &summary, &error), 0) << error << lines;
  EXPECT_GE(summary.dividedParcels, 1) << lines;
  EXPECT_EQ(summary.dropped, 0) << lines;
  MapDataOwner owner(map.c_str());
  ASSERT_EQ(owner.Load(), 0);
  const LevelCodes codes =
      CodesAround(&owner, MapUnits(WEST + COLUMNS * STEP_X / 2, SOUTH + ROWS * STEP_Y / 2), 6000, 62);
  EXPECT_GT(codes.pieces, 0);
  EXPECT_GE(codes.roadObjects, ROWS * COLUMNS);
}

// Simplifying without GEOS where nothing would change gives what GEOS
// gives: lines and rings of integer map units, jagged at about the
// tolerance (vertices exactly at it included), as single parts and as
// collections of one part.
TEST(SimplifyTest, TheShortcutGivesWhatGeosGives) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> jag(-3, 3), count(3, 14), radius(4, 40);
  int unchanged = 0;
  for (int shape = 0; shape < 4000; ++shape) {
    const int n = count(random);
    OGRLineString line;
    OGRLinearRing ring;
    for (int i = 0; i < n; ++i) {
      const double angle = 6.2832 * i / n;
      const int r = radius(random);
      line.addPoint(1000 + 12 * i + jag(random), 2000 + jag(random) * (i % 3));
      ring.addPoint(std::round(5000 + r * std::cos(angle)), std::round(5000 + r * std::sin(angle)));
    }
    ring.closeRings();
    OGRPolygon polygon;
    polygon.addRing(&ring);
    OGRMultiPolygon one;
    one.addGeometry(&polygon);
    const OGRGeometry* shapes[] = {&line, &polygon, &one};
    for (const OGRGeometry* geometry : shapes) {
      std::unique_ptr<OGRGeometry> ours(SimplifyPreservingTopology(geometry, 2.0));
      std::unique_ptr<OGRGeometry> geos(geometry->SimplifyPreserveTopology(2.0));
      ASSERT_TRUE(ours && geos);
      char* a = nullptr;
      char* b = nullptr;
      ours->exportToWkt(&a);
      geos->exportToWkt(&b);
      EXPECT_STREQ(a, b);
      unchanged += std::string(a) == std::string(b) && geos->Equals(geometry) ? 1 : 0;
      CPLFree(a);
      CPLFree(b);
    }
  }
  EXPECT_GT(unchanged, 1000);  // the sweep reaches the shortcut
}

}  // namespace
