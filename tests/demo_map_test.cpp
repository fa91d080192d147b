// The demo device's map built from the open geodata (by the demo_map_build
// fixture, once per test run), drawn by the renderer: golden frames over
// each city at five steps, and the simulated drives of Osaka and Nagoya
// lying on the drawn roads.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "render/frame_view.h"
#include "render/styles.h"
#include "canvas/sizes.h"
#include "render_support.h"
#include "screen_support.h"
#include "tools/demo/demo_roads.h"
#include "tools/demo/recorder_simulator.h"

namespace {

// A fix lies on a road when a road pixel is this close (pixels, each way).
constexpr int32_t ROAD_REACH = 3;
// Share of the fixes that must lie on a drawn road.
constexpr double ON_ROAD_GOAL = 0.95;
// Nagoya's street data covers only Fushimi and Sakae: the fixes measured
// there are those of the stretches the drive took over those streets, the
// fixes within this distance of a routed stretch.
constexpr double ROUTED_METRES = 5.0;
constexpr int OSAKA_ROUTE = 4;
constexpr int NAGOYA_CENTRE_ROUTE = 2;

struct City {
  const char* name;
  double lat, lon;  // WGS84 degrees
};
constexpr City CITIES[] = {
    {"tokyo", 35.6812, 139.7671},   // Tokyo Station
    {"nagoya", 35.1690, 136.9060},  // between Fushimi and Sakae
    {"osaka", 34.6800, 135.5010},   // Midosuji at Honmachi
};

fs::path BuiltMap() { return fs::path(TEVO_DEMO_MAP); }

class DemoMapTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    ASSERT_TRUE(fs::is_regular_file(BuiltMap()))
        << BuiltMap() << " is missing: run through ctest, whose demo_map_build fixture builds it";
    const fs::path file = root / "NAND/CMC/KDH/ALLDATA.KWI";
    fs::create_directories(file.parent_path());
    fs::copy_file(BuiltMap(), file, fs::copy_options::overwrite_existing);
    StartRenderer();
  }

  static MapCoord Centre(double lat, double lon) {
    RoadPoint p{};
    EXPECT_EQ(DegreesToRoadPoint(lat, lon, &p), 0);
    return {p.x, p.y};
  }

  // Copies the last frame into `frame`, a canvas of the test's size.
  void CopyFrameTo(Canvas* frame) {
    EXPECT_EQ(renderer->CopyFrame(frame, 0, 0, TEST_CANVAS_WIDTH, TEST_CANVAS_HEIGHT), 0);
  }
};

TEST_F(DemoMapTest, CitiesAtFiveStepsMatchTheirGoldens) {
  for (const City& city : CITIES) {
    for (int32_t step : {0, 6, 12, 18, 24}) {
      DrawView(Centre(city.lat, city.lon), step);
      Canvas frame;
      CreateCanvas(&frame, TEST_CANVAS_WIDTH, TEST_CANVAS_HEIGHT);
      CopyFrameTo(&frame);
      // The part the map screen shows keeps the pictures small.
      Canvas screen;
      CreateCanvas(&screen, SCREEN_WIDTH, SCREEN_HEIGHT);
      const int32_t left = (TEST_CANVAS_WIDTH - SCREEN_WIDTH) / 2, top = (TEST_CANVAS_HEIGHT - SCREEN_HEIGHT) / 2;
      for (int32_t y = 0; y < SCREEN_HEIGHT; ++y) {
        std::copy_n(frame.pixels + (top + y) * frame.stride + left, SCREEN_WIDTH, screen.pixels + y * screen.stride);
      }
      EXPECT_TRUE(CanvasMatchesGolden(screen, std::string("demo_map_") + city.name + "_step_" + std::to_string(step)));
    }
  }
}

// The drawn colours of roads: every class's edge and centre.
std::vector<uint16_t> RoadColours() {
  std::vector<uint16_t> colours;
  for (int32_t c = 0; c < ROAD_CLASS_COUNT; ++c) {
    colours.push_back(StyleColour(ROAD_STYLES[c]));
    colours.push_back(StyleColour(ROAD_STYLES[ROAD_CENTRE_STYLES + c]));
  }
  return colours;
}

struct OnRoad {
  int32_t fixes = 0;
  int32_t onRoad = 0;
  double Share() const { return fixes > 0 ? static_cast<double>(onRoad) / fixes : 0.0; }
};

class DemoDriveTest : public DemoMapTest {
 protected:
  static void SetUpTestSuite() {
    Recipe recipe;
    std::string error;
    ASSERT_EQ(LoadRecipe(TEVO_GEODATA_RECIPE, std::string(TEVO_DEMO_GEODATA_DIR), &recipe, &error), 0)
        << error;
    router = new RoadRouter();
    ASSERT_GT(LoadRecipeRoads(recipe, router, &error), 0) << error;
  }
  static void TearDownTestSuite() {
    delete router;
    router = nullptr;
  }

  // The fixes of the demo drive along `route`, routed as the demo command
  // does; `roads` (may be null) gets the routed stretches.
  Track* DriveTrack(int route, RouteRoads* roads = nullptr) {
    RouteRoads scratch;
    RouteRoads& routed = roads != nullptr ? *roads : scratch;
    EXPECT_GT(RouteAlongRoads(*router, WaypointsOf(DEMO_ROUTES[route]), ROAD_SNAP_METRES, &routed), 0);
    const DriveDay day{2025, 11, 24, 8 * 60 + 25, &DEMO_ROUTES[route], false, 11, &routed};
    std::string log;
    EXPECT_EQ(SimulateDrive(day, &log, nullptr), 0);
    const fs::path file = root / "drive.log";
    WriteFile(file, log);
    return LoadTrack(file.c_str());
  }

  // Counts the fixes of `track` that `counts` accepts and, of those, the
  // ones with a road pixel within ROAD_REACH at step 0. Frames are drawn
  // around the fixes as the drive leaves each one.
  template <typename Counts>
  OnRoad MeasureOnRoad(const Track& track, Counts counts) {
    const std::vector<uint16_t> colours = RoadColours();
    const int32_t margin = ROAD_REACH + 1;
    OnRoad result;
    FrameView view{};
    Canvas frame;
    CreateCanvas(&frame, TEST_CANVAS_WIDTH, TEST_CANVAS_HEIGHT);
    bool drawn = false;
    for (int32_t i = 0; i < track.count; ++i) {
      const TrackPoint& fix = track.points[i];
      if (!counts(fix)) continue;
      Point pixel = drawn ? PixelOfMapCoord(view, {fix.lon, fix.lat}) : Point{-1, -1};
      if (pixel.x < margin || pixel.y < margin || pixel.x >= TEST_CANVAS_WIDTH - margin ||
          pixel.y >= TEST_CANVAS_HEIGHT - margin) {
        const MapCoord centre{fix.lon, fix.lat};
        DrawView(centre, 0);
        CopyFrameTo(&frame);
        SetFrameView(&view, SnapToPixelGrid(centre, 0), 0, TEST_CANVAS_WIDTH, TEST_CANVAS_HEIGHT, AREA_CANVAS);
        pixel = PixelOfMapCoord(view, {fix.lon, fix.lat});
        drawn = true;
      }
      ++result.fixes;
      bool near = false;
      for (int32_t dy = -ROAD_REACH; dy <= ROAD_REACH && !near; ++dy) {
        for (int32_t dx = -ROAD_REACH; dx <= ROAD_REACH && !near; ++dx) {
          const uint16_t colour = frame.pixels[(pixel.y + dy) * frame.stride + pixel.x + dx];
          near = std::find(colours.begin(), colours.end(), colour) != colours.end();
        }
      }
      if (near) ++result.onRoad;
    }
    return result;
  }

  static RoadRouter* router;
};
RoadRouter* DemoDriveTest::router = nullptr;

// tevo-mapbuild --routes, run with the demo's waypoints, answers with the
// roads found here to the last bit: the drives the demo command makes over
// them are the drives measured below. Its file output, and the waypoints it
// refuses, with the line at fault.
TEST_F(DemoDriveTest, TheRoutesCommandAnswersWithTheRoadsFoundHere) {
  std::vector<WaypointRoute> asked;
  for (const DriveRoute& route : DEMO_ROUTES) asked.push_back(WaypointsOf(route));
  const std::string waypoints = FormatWaypointText(asked);
  const auto mapbuild = [&](std::vector<std::string> options, const std::string* input, std::string* output) {
    std::vector<std::string> arguments{TEVO_MAPBUILD, TEVO_GEODATA_RECIPE, "--data", TEVO_DEMO_GEODATA_DIR, "--quiet"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    ChildEnd end;
    std::string error;
    EXPECT_EQ(RunChildProcess(arguments, input, output, &end, &error), 0) << error;
    return end.exitStatus;
  };
  std::string answer, error;
  ASSERT_EQ(mapbuild({"--routes", "-"}, &waypoints, &answer), 0);
  std::vector<RouteRoads> answered;
  ASSERT_EQ(ParseRoadText(answer, asked, &answered, &error), 0) << error;
  for (size_t i = 0; i < asked.size(); ++i) {
    RouteRoads here;
    RouteAlongRoads(*router, asked[i], ROAD_SNAP_METRES, &here);
    ASSERT_EQ(answered[i].size(), here.size());
    for (size_t k = 0; k < here.size(); ++k) {
      ASSERT_EQ(answered[i][k].size(), here[k].size()) << "route " << i << " stretch " << k;
      for (size_t p = 0; p < here[k].size(); ++p) {
        EXPECT_TRUE(answered[i][k][p].lat == here[k][p].lat && answered[i][k][p].lon == here[k][p].lon)
            << "route " << i << " stretch " << k << " point " << p;
      }
    }
  }

  const fs::path askedFile = root / "waypoints.txt", roadsFile = root / "roads.txt";
  WriteFile(askedFile, waypoints);
  std::string none;
  EXPECT_EQ(mapbuild({"--routes", askedFile.string(), "-o", roadsFile.string()}, nullptr, &none), 0);
  EXPECT_EQ(ReadFile(roadsFile), answer);
  EXPECT_FALSE(fs::exists(roadsFile.string() + ".tmp"));
  EXPECT_EQ(mapbuild({"--routes", askedFile.string(), "-o", askedFile.string()}, nullptr, &none), 1);
  EXPECT_EQ(ReadFile(askedFile), waypoints) << "the waypoints are not written over";
  const std::string broken = "route Osaka\n34.7 135.5\n34.6 east\n";
  EXPECT_EQ(mapbuild({"--routes", "-"}, &broken, &none), 1);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(mapbuild({"--routes", "-", "--snap", "0"}, &waypoints, &none), 2);
  EXPECT_EQ(mapbuild({"--routes", "-", "--summary"}, &waypoints, &none), 2);
}

TEST_F(DemoDriveTest, OsakaDriveLiesOnTheDrawnRoads) {
  Track* track = DriveTrack(OSAKA_ROUTE);
  ASSERT_NE(track, nullptr);
  const OnRoad all = MeasureOnRoad(*track, [](const TrackPoint&) { return true; });
  ReleaseTrack(track);
  std::printf("Osaka: %d of %d fixes (%.1f %%) within %d pixels of a drawn road at step 0\n", all.onRoad, all.fixes,
              100.0 * all.Share(), ROAD_REACH);
  EXPECT_GT(all.fixes, 1000);
  EXPECT_GE(all.Share(), ON_ROAD_GOAL);
}

// Metres from `p` to the nearest segment of the routed stretches.
double MetresToRoads(RoadPoint p, const std::vector<std::vector<RoadPoint>>& roads) {
  double best = 1e18;
  for (const std::vector<RoadPoint>& road : roads) {
    for (size_t i = 0; i + 1 < road.size(); ++i) {
      // The nearest point of the segment, found in map units (a few metres
      // of skew between east and north units do not matter here).
      const double dx = road[i + 1].x - road[i].x, dy = road[i + 1].y - road[i].y;
      const double length2 = dx * dx + dy * dy;
      const double t =
          length2 > 0 ? std::clamp(((p.x - road[i].x) * dx + (p.y - road[i].y) * dy) / length2, 0.0, 1.0) : 0.0;
      const RoadPoint q{static_cast<int32_t>(road[i].x + t * dx), static_cast<int32_t>(road[i].y + t * dy)};
      best = std::min(best, MapDistanceMetres(p, q));
    }
  }
  return best;
}

TEST_F(DemoDriveTest, NagoyaDriveLiesOnTheDrawnStreetsWhereTheDataHasThem) {
  RouteRoads roads;
  Track* track = DriveTrack(NAGOYA_CENTRE_ROUTE, &roads);
  ASSERT_NE(track, nullptr);
  std::vector<std::vector<RoadPoint>> routed;
  for (const std::vector<RoutePoint>& stretch : roads) {
    routed.emplace_back();
    for (const RoutePoint& at : stretch) {
      RoadPoint p{};
      ASSERT_EQ(DegreesToRoadPoint(at.lat, at.lon, &p), 0);
      routed.back().push_back(p);
    }
  }
  const OnRoad streets = MeasureOnRoad(
      *track, [&](const TrackPoint& fix) { return MetresToRoads({fix.lon, fix.lat}, routed) <= ROUTED_METRES; });
  const OnRoad all = MeasureOnRoad(*track, [](const TrackPoint&) { return true; });
  ReleaseTrack(track);
  std::printf("Nagoya: %d of %d fixes (%.1f %%) of the stretches over the street data within %d pixels of a drawn road; "
              "%d of %d (%.1f %%) of the whole drive\n",
              streets.onRoad, streets.fixes, 100.0 * streets.Share(), ROAD_REACH, all.onRoad, all.fixes,
              100.0 * all.Share());
  EXPECT_GT(streets.fixes, 100);
  EXPECT_GE(streets.Share(), ON_ROAD_GOAL);
}

}  // namespace
