// Maps built from OSM extracts with the standard OSM recipe, drawn by the
// renderer: the 64-copy benchmark map (made by the osm_map_build fixture)
// against its goldens, and land and sea from a coastline.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "logs/nmea_reader.h"
#include "mapdata/parcel_index.h"
#include "render_support.h"
#include "screen_support.h"
#include "tools/mapbuild/map_build.h"
#include "tools/mapbuild/progress_meter.h"
#include "tools/mapbuild/recipe.h"

namespace {

// GSHHG land of central Japan (134..141.5 E, 33..37 N): exterior rings
// counter-clockwise, so land lies on their left as on OSM's coastline.
std::string LandPolygons() { return std::string(TEVO_TEST_DATA_DIR) + "/geodata/coastline/land_high.geojson"; }

MapCoord Centre(double lon, double lat) {
  MapCoord c{};
  WgsToMapUnits(static_cast<int32_t>(std::lround(lon * 360000)), static_cast<int32_t>(std::lround(lat * 360000)),
                &c.x, &c.y);
  return c;
}

// OSM XML with one closed natural=coastline way per exterior ring of the
// polygons in `path` (lakes, the holes, are no coastline).
std::string CoastlineXml(const std::string& path) {
  GDALAllRegister();
  std::unique_ptr<GDALDataset> land(
      static_cast<GDALDataset*>(GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
  EXPECT_TRUE(land) << path;
  std::string nodes, ways;
  long long id = 0, wayId = 0;
  for (OGRLayer* layer : land->GetLayers()) {
    for (const auto& feature : *layer) {
      const OGRLinearRing* ring = feature->GetGeometryRef()->toPolygon()->getExteriorRing();
      std::string refs;
      const long long first = id + 1;
      for (int i = 0; i + 1 < ring->getNumPoints(); ++i) {
        nodes += "<node id='" + std::to_string(++id) + "' version='1' lat='" + std::to_string(ring->getY(i)) +
                 "' lon='" + std::to_string(ring->getX(i)) + "'/>\n";
        refs += "<nd ref='" + std::to_string(id) + "'/>";
      }
      ways += "<way id='" + std::to_string(++wayId) + "' version='1'>" + refs + "<nd ref='" + std::to_string(first) +
              "'/><tag k='natural' v='coastline'/></way>\n";
    }
  }
  return "<?xml version='1.0' encoding='UTF-8'?>\n<osm version='0.6' generator='test'>\n" + nodes + ways + "</osm>\n";
}

class OsmMapTest : public RenderTest {
 protected:
  fs::path MapFile() const { return root / "NAND/CMC/KDH/ALLDATA.KWI"; }

  // Builds the extract at `extract` with the standard recipe into the
  // device's map, with `land` polygons instead of the coastline when given.
  int Build(const std::string& extract, const std::string& land, std::string* error) {
    Recipe recipe;
    if (LoadRecipe(TEVO_SOURCE_OSM_RECIPE, "", &recipe, error) != 0 || UseExtract(&recipe, extract, error) != 0 ||
        UseLandPolygons(&recipe, land, error) != 0) {
      return -1;
    }
    fs::create_directories(MapFile().parent_path());
    ProgressMeter meter([this](const std::string& line) { lines += line + "\n"; });
    BuildOptions options;
    options.meter = &meter;
    options.temporaryParent = root.string();
    BuildSummary summary;
    return BuildMap(recipe, MapFile().string(), options, &summary, error);
  }

  std::string Extract(const std::string& name, const std::string& xml) {
    WriteFile(root / name, xml);
    return (root / name).string();
  }

  bool SeaBackground() {
    MapDataOwner map(MapFile().c_str());
    int bit15 = 0, bit14 = 0;
    EXPECT_EQ(map.Load(), 0);
    EXPECT_EQ(GetMapFlags(&map, &bit15, &bit14), 0);
    return bit14 == 1;
  }

  std::string lines;
};

// The 64 copies of central Nagoya at the steps a driver uses: streets and
// buildings, the city's blocks, the grid of copies, the region, Japan. The
// extract has no coastline: the map is land everywhere.
TEST_F(OsmMapTest, SixtyFourCopiesAtFiveStepsMatchTheirGoldens) {
  ASSERT_TRUE(fs::is_regular_file(TEVO_OSM_MAP)) << TEVO_OSM_MAP << " is missing: ctest's osm_map_build makes it";
  fs::create_directories(MapFile().parent_path());
  fs::copy_file(TEVO_OSM_MAP, MapFile(), fs::copy_options::overwrite_existing);
  EXPECT_FALSE(SeaBackground());
  StartRenderer();
  // The middle of the grid of copies (136.0..136.17 E, 35.0..35.07 N); the
  // finest step, whose view is smaller than a copy, looks at the streets
  // around Fushimi station of the copy there, 122 pixels right of and 82
  // above the middle at step 6.
  const MapCoord middle = Centre(136.087, 35.035);
  const MapCoord streets{middle.x + 122 * SCALE_STEPS[6].unitsPerPixelX, middle.y + 82 * SCALE_STEPS[6].unitsPerPixelY};
  for (int32_t step : {0, 6, 12, 18, 24}) {
    DrawView(step == 0 ? streets : middle, step);
    Canvas frame;
    CreateCanvas(&frame, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
    ASSERT_EQ(renderer->CopyFrame(&frame, 0, 0, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT), 0);
    EXPECT_TRUE(CanvasMatchesGolden(frame, "osm_map_64_step_" + std::to_string(step)));
  }
}

// Points well inside land or sea, with the coarsest step at which their
// piece of land or water is still a few pixels wide.
struct Place {
  const char* name;
  double lon, lat;
  bool land;
  int32_t lastStep;
};
constexpr Place PLACES[] = {
    {"Gifu", 136.76, 35.42, true, 26},         {"Kofu", 138.57, 35.66, true, 26},
    {"Awaji", 134.83, 34.40, true, 20},        {"Izu-Oshima", 139.39, 34.73, true, 16},
    {"Ise Bay", 136.78, 34.85, false, 22},     {"Suruga Bay", 138.55, 34.85, false, 26},
    {"Kumano-nada", 136.50, 33.50, false, 26}, {"Tokyo Bay", 139.83, 35.50, false, 20},
};

// Land and sea come out where the coastline puts them at every step, both
// when the coastline ways are assembled and when land polygons are given.
TEST_F(OsmMapTest, LandAndSeaLieWhereTheCoastlinePutsThem) {
  const std::string extract = Extract("coast.osm", CoastlineXml(LandPolygons()));
  for (const std::string& land : {std::string(), LandPolygons()}) {
    SCOPED_TRACE(land.empty() ? "assembled from the coastline" : "land polygons given");
    std::string error;
    ASSERT_EQ(Build(extract, land, &error), 0) << error << lines;
    EXPECT_TRUE(SeaBackground());
    StartRenderer();
    for (const Place& place : PLACES) {
      for (int32_t step = 0; step <= place.lastStep; ++step) {
        DrawView(Centre(place.lon, place.lat), step);
        const std::vector<uint16_t> frame = CopyWholeFrame();
        const uint16_t centre = frame[size_t{MAP_CANVAS_HEIGHT / 2} * MAP_CANVAS_WIDTH + MAP_CANVAS_WIDTH / 2];
        EXPECT_EQ(centre != SEA_COLOUR, place.land) << place.name << " at step " << step;
      }
    }
    renderer.reset();
    mapData.reset();
  }
  EXPECT_NE(lines.find("406 coastline ways assembled into"), std::string::npos) << lines;
}

// Coastline ends that join no ring (an extract cut across the coast) cannot
// tell land from sea, even where an island closes: the build warns and the
// map is land everywhere, never the mainland as sea. Without the program the
// build fails, naming it, and writes no map.
TEST_F(OsmMapTest, AnOpenCoastlineIsLandEverywhereAndAMissingProgramFails) {
  std::string xml = "<?xml version='1.0' encoding='UTF-8'?>\n<osm version='0.6' generator='test'>\n";
  const double nodes[][2] = {{136.80, 35.10}, {136.85, 35.12}, {136.90, 35.11},  // an open coast
                             {136.70, 34.90}, {136.72, 34.90}, {136.71, 34.92}};  // an island
  for (int i = 0; i < 6; ++i) {
    xml += "<node id='" + std::to_string(i + 1) + "' version='1' lon='" + std::to_string(nodes[i][0]) + "' lat='" +
           std::to_string(nodes[i][1]) + "'/>\n";
  }
  const std::string coastline = "<tag k='natural' v='coastline'/></way>\n";
  xml += "<way id='1' version='1'><nd ref='1'/><nd ref='2'/><nd ref='3'/>" + coastline +
         "<way id='2' version='1'><nd ref='4'/><nd ref='5'/><nd ref='6'/><nd ref='4'/>" + coastline + "</osm>\n";
  const std::string extract = Extract("open.osm", xml);
  std::string error;
  ASSERT_EQ(Build(extract, "", &error), 0) << error << lines;
  EXPECT_FALSE(SeaBackground());
  EXPECT_NE(lines.find("warning: source land: 2 coastline ends in " + extract + " join no ring"), std::string::npos)
      << lines;

  fs::remove(MapFile());
  const std::string path = std::getenv("PATH");
  setenv("PATH", root.c_str(), 1);
  EXPECT_EQ(Build(extract, "", &error), -1);
  setenv("PATH", path.c_str(), 1);
  EXPECT_NE(error.find("osmcoastline is not on PATH"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(MapFile()));
}

}  // namespace
