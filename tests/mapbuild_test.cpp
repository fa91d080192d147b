// The map builder end to end: a recipe over tiny hand-made sources, built
// into a map file and read back with the map reader's own decoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <ogr_spatialref.h>

#include "logs/nmea_reader.h"
#include "logs_test_support.h"
#include "mapdata/background_records.h"
#include "mapdata/map_owner.h"
#include "mapdata/name_records.h"
#include "mapdata/parcel_index.h"
#include "mapdata/road_records.h"
#include "platform/unicode.h"
#include "tools/mapbuild/map_build.h"
#include "tools/mapbuild/road_router.h"
#include "tools/mapbuild/source_reader.h"
#include "tools/mapwriter/map_sections.h"

namespace {

// Level 62 parcels: 5760 × 3840 map units from the standard extent's corner.
constexpr int32_t FINE_WIDTH = 5760;
constexpr int32_t FINE_HEIGHT = 3840;
constexpr uint16_t FINE_LEVEL = 62;

MapCoord MapUnits(double lon, double lat) {
  MapCoord c{};
  WgsToMapUnits(static_cast<int32_t>(std::lround(lon * 360000)), static_cast<int32_t>(std::lround(lat * 360000)),
                &c.x, &c.y);
  return c;
}

// The parcel-local position of a map point in the fine parcel that holds it.
SectionPoint Local(const MapCoord& c) {
  const int64_t dx = int64_t{c.x} - STANDARD_EXTENT.x0, dy = int64_t{c.y} - STANDARD_EXTENT.y0;
  return {static_cast<int32_t>(std::lround(double(dx % FINE_WIDTH) * 4096 / FINE_WIDTH)),
          static_cast<int32_t>(std::lround(double(dy % FINE_HEIGHT) * 4096 / FINE_HEIGHT))};
}

struct DecodedItem {
  uint16_t code;
  bool area;
  std::vector<FeaturePoint> points;
};
struct DecodedName {
  uint16_t type, code, mask;
  int16_t x, y;
  std::u16string text;
};
// Everything one parcel holds, as the decoders give it.
struct DecodedParcel {
  ParcelEntry entry{};
  std::vector<std::pair<int, std::vector<SectionPoint>>> roads;  // road class, points
  std::vector<DecodedItem> items;
  std::vector<DecodedName> names;
};

std::vector<SectionPoint> RoadPoints(const ShapeSegment* segment) {
  std::vector<SectionPoint> points;
  for (; segment != nullptr; segment = segment->next) {
    SectionPoint p{segment->x, segment->y};
    points.push_back(p);
    for (int i = 0; i < segment->deltaCount; ++i) {
      p.x += segment->deltas[2 * i];
      p.y += segment->deltas[2 * i + 1];
      points.push_back(p);
    }
  }
  return points;
}

// The parcel of level `level` that holds the map point `at`.
DecodedParcel DecodeAt(MapDataOwner* map, const MapCoord& at, uint16_t level) {
  DecodedParcel out;
  ParcelList* list = FindParcels(map, &at, 0, 0, level);
  if (list == nullptr) return out;
  for (int i = 0; i < list->count; ++i) {
    const ParcelEntry& e = list->entries[i];
    if (at.x < e.x0 || at.x >= e.x0 + e.width || at.y < e.y0 || at.y >= e.y0 + e.height) continue;
    out.entry = e;
    if (RoadParcel* roads = AcquireRoads(map, e)) {
      for (int g = 0; g < roads->groupCount; ++g) {
        for (int o = 0; o < roads->groups[g].decodedCount; ++o) {
          out.roads.push_back({roads->groups[g].drawClass, RoadPoints(roads->groups[g].objects[o])});
        }
      }
      ReleaseRoads(map, roads);
    }
    if (BackgroundParcel* background = AcquireBackground(map, e)) {
      for (const FeatureClass& c : background->classes) {
        for (int g = 0; g < c.groupCount; ++g) {
          for (int k = 0; k < c.groups[g].itemCount; ++k) {
            const FeatureItem& item = c.groups[g].items[k];
            if (item.points == nullptr) continue;
            out.items.push_back({item.typeCode, (c.groupWords[g] >> 14) == 2,
                                 std::vector<FeaturePoint>(item.points, item.points + item.pointCount)});
          }
        }
      }
      ReleaseBackground(map, background);
    }
    if (NameParcel* names = AcquireNames(map, e)) {
      for (int g = 0; g < names->groupCount; ++g) {
        for (int r = 0; names->groups[g].records != nullptr && r < names->groups[g].recordCount; ++r) {
          const NameRecord& n = names->groups[g].records[r];
          std::u16string text;
          for (uint32_t k = 0; k < n.charCount; ++k) text.push_back(static_cast<char16_t>(n.text[2 * k] | (n.text[2 * k + 1] << 8)));
          out.names.push_back({static_cast<uint16_t>((n.attributes >> 8) & 7), n.classCode,
                               static_cast<uint16_t>(n.attributes >> 11), n.x, n.y, text});
        }
      }
      ReleaseNames(map, names);
    }
  }
  FreeParcelList(list);
  return out;
}

std::string Coordinates(const std::vector<std::pair<double, double>>& points) {
  std::string text;
  for (const auto& [x, y] : points) {
    text += (text.empty() ? "[" : ",[") + std::to_string(x) + "," + std::to_string(y) + "]";
  }
  return text;
}

// A west–east road across a parcel edge, a square park across another,
// two labelled places (one with a name of 40 characters).
constexpr double ROAD_LAT = 35.1703, ROAD_WEST = 136.9012, ROAD_EAST = 136.9188;
constexpr double PARK_WEST = 136.9050, PARK_EAST = 136.9160, PARK_SOUTH = 35.1650, PARK_NORTH = 35.1690;
constexpr double PLACE_LON = 136.9066, PLACE_LAT = 35.1720;
const std::string LONG_NAME(40, 'A');

std::string FixtureGeoJson() {
  return R"({"type":"FeatureCollection","features":[
{"type":"Feature","properties":{"kind":"road"},"geometry":{"type":"LineString","coordinates":[)" +
         Coordinates({{ROAD_WEST, ROAD_LAT}, {ROAD_EAST, ROAD_LAT}}) + R"(]}},
{"type":"Feature","properties":{"kind":"road"},"geometry":{"type":"LineString","coordinates":[)" +
         Coordinates({{ROAD_WEST, ROAD_LAT}, {ROAD_EAST, ROAD_LAT}}) + R"(]}},
{"type":"Feature","properties":{"kind":"park"},"geometry":{"type":"Polygon","coordinates":[[)" +
         Coordinates({{PARK_WEST, PARK_SOUTH}, {PARK_EAST, PARK_SOUTH}, {PARK_EAST, PARK_NORTH},
                      {PARK_WEST, PARK_NORTH}, {PARK_WEST, PARK_SOUTH}}) + R"(]]}},
{"type":"Feature","properties":{"kind":"place","name":"栄"},"geometry":{"type":"Point","coordinates":)" +
         Coordinates({{PLACE_LON, PLACE_LAT}}) + R"(}},
{"type":"Feature","properties":{"kind":"place","name":")" + LONG_NAME + R"("},"geometry":{"type":"Point","coordinates":)" +
         Coordinates({{PLACE_LON + 0.003, PLACE_LAT}}) + R"(}}
]})";
}

// A station mapped twice (a node per line, 90 m apart), a station the
// editor deleted and a primary road in OSM XML, as an editor writes it.
std::string FixtureOsm() {
  return R"(<?xml version='1.0' encoding='UTF-8'?>
<osm version='0.6' generator='test'>
  <node id='1' version='1' lat='35.1600' lon='136.9000' />
  <node id='2' version='1' lat='35.1600' lon='136.9030' />
  <node id='3' version='1' lat='35.1610' lon='136.9010'>
    <tag k='name' v='伏見' />
    <tag k='railway' v='station' />
  </node>
  <node id='4' version='1' lat='35.1610' lon='136.9020'>
    <tag k='name' v='伏見' />
    <tag k='railway' v='station' />
  </node>
  <node id='5' action='delete' version='1' lat='35.1605' lon='136.9015'>
    <tag k='name' v='消えた駅' />
    <tag k='railway' v='station' />
  </node>
  <way id='10' version='1'>
    <nd ref='1' />
    <nd ref='2' />
    <tag k='highway' v='primary' />
    <tag k='name' v='広小路通' />
  </way>
</osm>
)";
}

constexpr char FIXTURE_RECIPE[] = R"(title: test map
sea: true
sources:
  - id: shapes
    path: shapes.geojson
    attribution: "test shapes"
    licence: [LICENCE.txt]
    rules:
      - {where: "kind=road", road: 3, levels: 62-0}
      - {where: "kind=park", area: 3472, levels: 62-0, order: 3}
      - {where: "kind=park", label: 376, text: kind, levels: 0}
      - {where: "kind=place", label: 320, text: name, levels: 62-0, detail: 0-1}
  - id: osm
    path: town.osm
    attribution: "(c) OpenStreetMap contributors, ODbL 1.0"
    rules:
      - {where: "highway=primary", road: 3, levels: 62}
      - {where: "railway=station", label: 257, text: name, levels: 62}
)";

class MapBuildTest : public ScratchDirectoryTest {
 protected:
  // Builds the fixture map; the progress lines are kept.
  void Build() {
    Write("shapes.geojson", FixtureGeoJson());
    Write("town.osm", FixtureOsm());
    Write("LICENCE.txt", "licence text\n");
    const std::string recipePath = Write("recipe.yaml", FIXTURE_RECIPE);
    Recipe recipe;
    std::string error;
    ASSERT_EQ(LoadRecipe(recipePath, "", &recipe, &error), 0) << error;
    mapPath = (directory / "ALLDATA.KWI").string();
    BuildSummary summary;
    ASSERT_EQ(BuildMapFromRecipe(recipe, mapPath, [this](const std::string& line) { lines += line + "\n"; },
                                 &summary, &error), 0) << error;
    owner = std::make_unique<MapDataOwner>(mapPath.c_str());
    ASSERT_EQ(owner->Load(), 0);
  }
  void TearDown() override {
    owner.reset();
    ScratchDirectoryTest::TearDown();
  }
  std::string mapPath;
  std::string lines;
  std::unique_ptr<MapDataOwner> owner;
};

// The fixture lists its road twice, as a source does where two routes run
// over one section: it is one link.
TEST_F(MapBuildTest, RoadCrossingAParcelEdgeContinuesInTheNextParcel) {
  Build();
  EXPECT_NE(lines.find("1 features repeating another exactly (left out)"), std::string::npos) << lines;
  const MapCoord west = MapUnits(ROAD_WEST, ROAD_LAT), east = MapUnits(ROAD_EAST, ROAD_LAT);
  ASSERT_NE(west.x / FINE_WIDTH, east.x / FINE_WIDTH) << "the fixture's road must cross a parcel edge";
  // Walk the road's parcels from west to east: each piece starts where the
  // previous one ended, on the shared edge, at the same height.
  const SectionPoint start = Local(west);
  SectionPoint previousEnd{-1, -1};
  int pieces = 0;
  const int32_t firstEdge = west.x - (west.x - STANDARD_EXTENT.x0) % FINE_WIDTH;
  for (int32_t x = west.x; x <= east.x; x = firstEdge + pieces * FINE_WIDTH) {
    const DecodedParcel parcel = DecodeAt(owner.get(), {x, west.y}, FINE_LEVEL);
    ASSERT_EQ(parcel.roads.size(), 1u) << "piece " << pieces;
    const std::vector<SectionPoint>& points = parcel.roads[0].second;
    EXPECT_EQ(parcel.roads[0].first, 3);
    if (pieces == 0) {
      EXPECT_NEAR(points.front().x, start.x, 1);
      EXPECT_NEAR(points.front().y, start.y, 1);
    } else {
      EXPECT_EQ(previousEnd.x, 4096);
      EXPECT_EQ(points.front().x, 0);
      EXPECT_EQ(points.front().y, previousEnd.y);
    }
    previousEnd = points.back();
    ++pieces;
  }
  EXPECT_NEAR(previousEnd.x, Local(east).x, 1);
  EXPECT_GE(pieces, 2);
}

TEST_F(MapBuildTest, AreaCrossingParcelEdgesIsClippedIntoClosedRingsWithHiddenCutEdges) {
  Build();
  const MapCoord sw = MapUnits(PARK_WEST, PARK_SOUTH), ne = MapUnits(PARK_EAST, PARK_NORTH);
  int rings = 0;
  for (int32_t y = sw.y; y <= ne.y + FINE_HEIGHT; y += FINE_HEIGHT) {
    for (int32_t x = sw.x; x <= ne.x + FINE_WIDTH; x += FINE_WIDTH) {
      const DecodedParcel parcel = DecodeAt(owner.get(), {std::min(x, ne.x), std::min(y, ne.y)}, FINE_LEVEL);
      for (const DecodedItem& item : parcel.items) {
        if (item.code != 3472) continue;
        ++rings;
        EXPECT_TRUE(item.area);
        ASSERT_GE(item.points.size(), 4u);
        EXPECT_EQ(item.points.front().x, item.points.back().x);
        EXPECT_EQ(item.points.front().y, item.points.back().y);
        for (size_t i = 0; i + 1 < item.points.size(); ++i) {
          const FeaturePoint& p = item.points[i];
          const FeaturePoint& q = item.points[i + 1];
          EXPECT_TRUE(p.x >= 0 && p.x <= 4096 && p.y >= 0 && p.y <= 4096);
          // An edge along the parcel's border is a cut, not the park's outline.
          const bool onBorder = (p.x == q.x && (p.x == 0 || p.x == 4096)) || (p.y == q.y && (p.y == 0 || p.y == 4096));
          if (!(p.x == q.x && p.y == q.y)) {
            EXPECT_EQ(p.toggle != 0, onBorder) << "edge " << i;
          }
        }
      }
    }
  }
  EXPECT_GE(rings, 2) << "the fixture's park must cross a parcel edge";
}

TEST_F(MapBuildTest, LabelsCarryTheirTextAtTheirAnchorAndLongNamesAreCutAndReported) {
  Build();
  const MapCoord place = MapUnits(PLACE_LON, PLACE_LAT);
  for (uint16_t level : {uint16_t{62}, uint16_t{0}}) {
    const DecodedParcel parcel = DecodeAt(owner.get(), place, level);
    const auto found = std::find_if(parcel.names.begin(), parcel.names.end(),
                                    [](const DecodedName& n) { return n.text == u"栄"; });
    ASSERT_NE(found, parcel.names.end()) << "level " << level;
    EXPECT_EQ(found->type, 1);
    EXPECT_EQ(found->code, 320);
    EXPECT_EQ(found->mask, 0x18);  // detail classes 0 and 1
    const double expectX = double(place.x - parcel.entry.x0) * 4096 / parcel.entry.width;
    const double expectY = double(place.y - parcel.entry.y0) * 4096 / parcel.entry.height;
    EXPECT_NEAR(found->x, expectX, 0.5);
    EXPECT_NEAR(found->y, expectY, 0.5);
  }
  // An area's label lies inside the area.
  const DecodedParcel park = DecodeAt(owner.get(), MapUnits(PARK_WEST, PARK_SOUTH), 0);
  const auto parkName = std::find_if(park.names.begin(), park.names.end(), [](const DecodedName& n) { return n.text == u"park"; });
  ASSERT_NE(parkName, park.names.end());
  const MapCoord parkSw = MapUnits(PARK_WEST, PARK_SOUTH), parkNe = MapUnits(PARK_EAST, PARK_NORTH);
  const double parkX = park.entry.x0 + double(parkName->x) * park.entry.width / 4096;
  const double parkY = park.entry.y0 + double(parkName->y) * park.entry.height / 4096;
  EXPECT_TRUE(parkX > parkSw.x && parkX < parkNe.x && parkY > parkSw.y && parkY < parkNe.y);

  const DecodedParcel longName = DecodeAt(owner.get(), MapUnits(PLACE_LON + 0.003, PLACE_LAT), FINE_LEVEL);
  const auto cut = std::find_if(longName.names.begin(), longName.names.end(),
                                [](const DecodedName& n) { return n.text[0] == u'A'; });
  ASSERT_NE(cut, longName.names.end());
  EXPECT_EQ(cut->text, Utf8ToUtf16(LONG_NAME.substr(0, 32)));
  EXPECT_NE(lines.find("names cut to 32 characters"), std::string::npos) << lines;
  EXPECT_NE(lines.find("cut name: " + LONG_NAME), std::string::npos) << lines;
}

// A hot spot: 1,500 minor streets of 24 scattered points each, crowded into
// one piece of the finest grid of one level 62 parcel, and after them 20
// main roads. They do not fit the piece even divided 8 × 8.
constexpr int HOT_MINOR_ROADS = 1500, HOT_MAIN_ROADS = 20;

class HotSpotTest : public MapBuildTest {
 protected:
  void SetUp() override {
    MapBuildTest::SetUp();
    // The centre of a piece of the finest grid (8 × 8) of the parcel there.
    const MapCoord near = MapUnits(136.95, 35.15);
    const int32_t pieceWidth = FINE_WIDTH / 8, pieceHeight = FINE_HEIGHT / 8;
    spot = {near.x - (near.x - STANDARD_EXTENT.x0) % pieceWidth + pieceWidth / 2,
            near.y - (near.y - STANDARD_EXTENT.y0) % pieceHeight + pieceHeight / 2};
    ASSERT_EQ(RoadPointToDegrees({spot.x, spot.y}, &lat, &lon), 0);
    uint32_t random = 12345;
    const auto scattered = [&](int points) {
      std::vector<std::pair<double, double>> line;
      for (int i = 0; i < points; ++i) {
        random = random * 1103515245 + 12345;
        const double dx = double(random >> 16 & 0x3FF) / 1023 - 0.5;
        random = random * 1103515245 + 12345;
        const double dy = double(random >> 16 & 0x3FF) / 1023 - 0.5;
        // Within ± 230 × 140 map units of the centre: inside the piece.
        line.push_back({lon + dx * 0.001, lat + dy * 0.0006});
      }
      return Coordinates(line);
    };
    std::string features;
    for (int i = 0; i < HOT_MINOR_ROADS + HOT_MAIN_ROADS; ++i) {
      const bool main = i >= HOT_MINOR_ROADS;
      features += std::string(i == 0 ? "" : ",\n") + R"({"type":"Feature","properties":{"kind":")" +
                  (main ? "main" : "minor") + R"("},"geometry":{"type":"LineString","coordinates":[)" +
                  scattered(main ? 6 : 24) + "]}}";
    }
    Write("hot.geojson", R"({"type":"FeatureCollection","features":[)" + features + "]}");
    const std::string recipePath = Write("hot.yaml", R"(sources:
  - path: hot.geojson
    rules:
      - {where: "kind=minor", road: 8, levels: 62}
      - {where: "kind=main", road: 1, levels: 62}
)");
    std::string error;
    ASSERT_EQ(LoadRecipe(recipePath, "", &recipe, &error), 0) << error;
    mapPath = (directory / "hot.kwi").string();
  }
  Recipe recipe;
  MapCoord spot{};
  double lat = 0, lon = 0;
};

// The map is written with the spot's main roads all kept and some streets
// left out, and a warning names the spot's place; a strict build refuses.
TEST_F(HotSpotTest, KeepsTheMainRoadsAndNamesThePlaceUnlessStrict) {
  BuildSummary summary;
  std::string error;
  ASSERT_EQ(BuildMapFromRecipe(recipe, mapPath, [this](const std::string& line) { lines += line + "\n"; }, &summary,
                               &error), 0) << error;
  EXPECT_EQ(summary.hotSpots, 1);
  EXPECT_GT(summary.hotSpotRecords, 0);
  const size_t warning = lines.find("warning: level 62: hot spot at lon ");
  ASSERT_NE(warning, std::string::npos) << lines;
  double saidLon = 0, saidLat = 0;
  ASSERT_EQ(std::sscanf(lines.c_str() + warning, "warning: level 62: hot spot at lon %lf, lat %lf", &saidLon, &saidLat), 2);
  // The parcel's centre: within half a parcel (0.0125 × 0.0083 degrees) of the spot.
  EXPECT_NEAR(saidLon, lon, 0.007);
  EXPECT_NEAR(saidLat, lat, 0.005);
  EXPECT_NE(lines.find(std::to_string(summary.hotSpotRecords) + " road links", warning), std::string::npos) << lines;

  owner = std::make_unique<MapDataOwner>(mapPath.c_str());
  ASSERT_EQ(owner->Load(), 0);
  const DecodedParcel parcel = DecodeAt(owner.get(), spot, FINE_LEVEL);
  const auto ofClass = [&](int roadClass) {
    return std::count_if(parcel.roads.begin(), parcel.roads.end(), [&](const auto& r) { return r.first == roadClass; });
  };
  EXPECT_EQ(ofClass(1), HOT_MAIN_ROADS);
  EXPECT_GT(ofClass(8), 0);
  EXPECT_EQ(ofClass(8) + summary.hotSpotRecords, HOT_MINOR_ROADS);

  owner.reset();
  BuildOptions strict;
  strict.strict = true;
  const std::string refused = (directory / "strict.kwi").string();
  ASSERT_EQ(BuildMap(recipe, refused, strict, &summary, &error), -1);
  EXPECT_NE(error.find("no map was written"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(refused));
}

TEST_F(MapBuildTest, OsmXmlFeaturesBecomeRoadsAndStationLabels) {
  Build();
  const DecodedParcel parcel = DecodeAt(owner.get(), MapUnits(136.9010, 35.1600), FINE_LEVEL);
  ASSERT_EQ(parcel.roads.size(), 1u);
  EXPECT_EQ(parcel.roads[0].first, 3);
  // The station's second node repeats its name: one label, and said so;
  // the deleted station is not in the map.
  ASSERT_EQ(parcel.names.size(), 1u);
  EXPECT_NE(lines.find("1 objects marked deleted by an editor (left out)"), std::string::npos) << lines;
  EXPECT_EQ(parcel.names[0].text, u"伏見");
  EXPECT_EQ(parcel.names[0].code, 257);
  EXPECT_NE(lines.find("1 point labels repeating a label nearby (merged)"), std::string::npos) << lines;
  // The attribution file beside the map names the sources and holds their licence.
  const std::string attribution = ReadFile(mapPath + ATTRIBUTION_SUFFIX);
  EXPECT_NE(attribution.find("(c) OpenStreetMap contributors"), std::string::npos);
  EXPECT_NE(attribution.find("licence text"), std::string::npos);
  int bit15 = -1, bit14 = -1;
  ASSERT_EQ(GetMapFlags(owner.get(), &bit15, &bit14), 0);
  EXPECT_EQ(bit14, 1);  // sea background
}

// A source in a plane-rectangular CRS lands where its WGS84 twin does.
TEST_F(MapBuildTest, PlaneRectangularSourceLandsOnItsWgs84Twin) {
  const std::vector<std::pair<double, double>> wgs = {{135.5023, 34.6937}, {135.5100, 34.7001}, {135.4800, 34.6500}};
  OGRSpatialReference from, to;
  from.importFromEPSG(4326);
  to.importFromEPSG(6674);  // JGD2011 / Japan Plane Rectangular CS VI
  from.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  to.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRCoordinateTransformation> transform(OGRCreateCoordinateTransformation(&from, &to));
  ASSERT_TRUE(transform);
  std::vector<std::pair<double, double>> plane;
  for (auto [x, y] : wgs) {
    ASSERT_TRUE(transform->Transform(1, &x, &y));
    plane.push_back({x, y});
  }
  auto line = [](const std::vector<std::pair<double, double>>& points, const char* crs) {
    return std::string(R"({"type":"FeatureCollection",)") + crs +
           R"("features":[{"type":"Feature","properties":{},"geometry":{"type":"LineString","coordinates":[)" +
           Coordinates(points) + "]}}]}";
  };
  Write("wgs.geojson", line(wgs, ""));
  Write("plane.geojson", line(plane, R"("crs":{"type":"name","properties":{"name":"urn:ogc:def:crs:EPSG::6674"}},)"));
  std::vector<SourceFeature> features[2];
  for (int i = 0; i < 2; ++i) {
    RecipeSource source;
    source.id = source.resolvedPath = (directory / (i == 0 ? "wgs.geojson" : "plane.geojson")).string();
    source.rules.push_back(RecipeRule{});
    source.rules[0].kind = RULE_ROAD;
    SourceSummary summary;
    std::string error;
    const auto keep = [&](SourceFeature&& feature) {
      features[i].push_back(std::move(feature));
      return 0;
    };
    ASSERT_EQ(ReadSource(source, keep, &summary, &error), 0) << error;
    ASSERT_EQ(features[i].size(), 1u);
  }
  const auto* a = dynamic_cast<const OGRLineString*>(features[0][0].geometry.get());
  const auto* b = dynamic_cast<const OGRLineString*>(features[1][0].geometry.get());
  ASSERT_TRUE(a != nullptr && b != nullptr);
  ASSERT_EQ(a->getNumPoints(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(a->getX(i), b->getX(i), 1.0) << i;
    EXPECT_NEAR(a->getY(i), b->getY(i), 1.0) << i;
    const MapCoord expected = MapUnits(wgs[i].first, wgs[i].second);  // the log reader's conversion
    EXPECT_EQ(a->getX(i), expected.x);
    EXPECT_EQ(a->getY(i), expected.y);
  }
}

// Recipes the builder must refuse, each with a message naming the line.
TEST(MapBuildRecipeTest, MalformedRecipesAreRefusedWithTheirLine) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"sources: [{path: a.shp, rules: [{road: 12}]}]", "0..9"},
      {"sources: [{path: a.shp, rules: [{road: 1, area: 3}]}]", "exactly one"},
      {"sources: [{path: a.shp, rules: [{area: 3, levels: 4-62}]}]", "levels"},
      {"sources: [{path: a.shp, rules: [{area: 3, levels: 5}]}]", "levels"},
      {"sources: [{path: a.shp, rules: [{label: 3}]}]", "text"},
      {"sources: [{path: a.shp, rules: [{where: \"=x\", area: 3}]}]", "filter"},
      {"sources: [{path: a.shp, rules: [{line: 3, detail: 0-5}]}]", "detail"},
      {"sources: [{path: a.shp}]", "rules"},
      {"sources: [{path: a.shp, rules: [{area: 3]}]", "recipe.yaml:1"},
      {"title: x", "list of sources"},
  };
  for (const auto& c : cases) {
    Recipe recipe;
    std::string error;
    EXPECT_EQ(ParseRecipe(c.text, "recipe.yaml", "", &recipe, &error), -1) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " gave: " << error;
  }
}

// A source's rename table gives a feature's label text as written (an
// empty text leaves it out); other texts lose one trim suffix, unless
// nothing would be left.
TEST(MapBuildRecipeTest, LabelTextsAreRenamedOrTrimmed) {
  Recipe recipe;
  std::string error;
  ASSERT_EQ(ParseRecipe("sources: [{path: a, trim: [市, 町], rename: {key: id, texts: {\"7\": 東京, \"8\": \"\", "
                        "\"9\": 日野町}}, rules: [{label: 320, text: name}]}]",
                        "r.yaml", "", &recipe, &error), 0) << error;
  const RecipeSource& source = recipe.sources[0];
  const struct {
    const char* key;
    const char* text;
    const char* label;
  } cases[] = {
      {"7", "東京都", "東京"}, {"8", "和歌山市", ""},   {"9", "日野", "日野町"}, {nullptr, "名古屋市", "名古屋"},
      {"1", "大井町", "大井"},  {"1", "市", "市"},       {"1", "豊田", "豊田"},   {"1", "町田市", "町田"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CorrectedLabelText(source, c.key, c.text), c.label) << c.text;
  }
  EXPECT_EQ(ParseRecipe("sources: [{path: a, rename: {texts: {}}, rules: [{area: 1}]}]", "r.yaml", "", &recipe, &error),
            -1);
  EXPECT_NE(error.find("rename is"), std::string::npos) << error;
}

TEST(MapBuildRecipeTest, FiltersMatchAttributes) {
  Recipe recipe;
  std::string error;
  ASSERT_EQ(ParseRecipe("sources: [{path: a, rules: [{where: \"highway=primary|trunk & name=* & lanes!=1 & pop>=5 & "
                        "area<2.5\", area: 1}]}]",
                        "r.yaml", "", &recipe, &error), 0) << error;
  const std::vector<RecipeCondition>& where = recipe.sources[0].rules[0].where;
  ASSERT_EQ(where.size(), 5u);
  const struct {
    int condition;
    const char* value;
    bool holds;
  } cases[] = {
      {0, "primary", true}, {0, "trunk", true}, {0, "primary_link", false}, {0, nullptr, false},
      {1, "x", true},       {1, "", false},     {1, nullptr, false},        {2, "1", false},
      {2, "2", true},       {2, nullptr, true}, {3, "5", true},             {3, "4.9", false},
      {3, "abc", false},    {4, "2.4", true},   {4, "2.5", false},          {4, nullptr, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConditionHolds(where[c.condition], c.value), c.holds) << c.condition << " " << (c.value ? c.value : "null");
  }
}

}  // namespace
