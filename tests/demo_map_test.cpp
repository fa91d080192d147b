// The demo device's map built from the open geodata (by the demo_map_build
// fixture, once per test run), drawn by the renderer: golden frames over
// each city at five steps, and every simulated drive lying on the drawn
// roads.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "render/frame_view.h"
#include "render/styles.h"
#include "canvas/sizes.h"
#include "render_support.h"
#include "screen_support.h"
#include "tools/mapbuild/road_router.h"
#include "tools/demo/recorder_simulator.h"

namespace {

// A fix lies on a road when a road pixel is this close (pixels, each way).
constexpr int32_t ROAD_REACH = 3;
// Share of the fixes that must lie on a drawn road.
constexpr double ON_ROAD_GOAL = 0.95;
// The step at which the drives are measured: the step a day opens on.
constexpr int32_t MEASURE_STEP = 6;

struct City {
  const char* name;
  double lat, lon;  // WGS84 degrees
};
constexpr City CITIES[] = {
    {"tokyo", 35.6812, 139.7671},   // Tokyo Station
    {"nagoya", 35.1690, 136.9060},  // between Fushimi and Sakae
    {"osaka", 34.6800, 135.5010},   // Midosuji at Honmachi
};

// The step of the frame of all Japan.
constexpr int32_t JAPAN_STEP = 24;

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
    EXPECT_EQ(renderer->CopyFrame(frame, 0, 0, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT), 0);
  }
};

TEST_F(DemoMapTest, CitiesAtFiveStepsMatchTheirGoldens) {
  for (const City& city : CITIES) {
    for (int32_t step : {0, 6, 12, 18, 24}) {
      DrawView(Centre(city.lat, city.lon), step);
      Canvas frame;
      CreateCanvas(&frame, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
      CopyFrameTo(&frame);
      // The part the map screen shows keeps the pictures small.
      Canvas screen;
      CreateCanvas(&screen, SCREEN_WIDTH, SCREEN_HEIGHT);
      const int32_t left = (MAP_CANVAS_WIDTH - SCREEN_WIDTH) / 2, top = (MAP_CANVAS_HEIGHT - SCREEN_HEIGHT) / 2;
      for (int32_t y = 0; y < SCREEN_HEIGHT; ++y) {
        std::copy_n(frame.pixels + (top + y) * frame.stride + left, SCREEN_WIDTH, screen.pixels + y * screen.stride);
      }
      EXPECT_TRUE(CanvasMatchesGolden(screen, std::string("demo_map_") + city.name + "_step_" + std::to_string(step)));
    }
  }
  // The main islands of Japan on the whole canvas of a coarse step: land,
  // lakes and the coast without a straight cut where a source ends.
  DrawView(Centre(36.0, 138.0), JAPAN_STEP);
  Canvas japan;
  CreateCanvas(&japan, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
  CopyFrameTo(&japan);
  EXPECT_TRUE(CanvasMatchesGolden(japan, "demo_map_japan_step_24"));
}

// Seams: a run of background pixels along a parcel edge, between two
// neighbours of the same other colour on either side of it. A run this long
// is a gap between two parcels' areas, not a river one pixel wide (drawn in
// the water colour, which is the sea's) that runs along the edge a while.
constexpr int32_t SEAM_RUN = 48;

class SeamCounter {
 public:
  SeamCounter(const std::vector<uint16_t>& pixels, uint16_t background) : pixels(pixels), background(background) {}

  // Runs of seam pixels on column x (across: left and right neighbours).
  int32_t OnColumn(int32_t x) const {
    return Runs(MAP_CANVAS_HEIGHT, [&](int32_t y) { return At(x, y) == background && Same(x - 1, y, x + 1, y); });
  }
  int32_t OnRow(int32_t y) const {
    return Runs(MAP_CANVAS_WIDTH, [&](int32_t x) { return At(x, y) == background && Same(x, y - 1, x, y + 1); });
  }

 private:
  uint16_t At(int32_t x, int32_t y) const { return pixels[y * MAP_CANVAS_WIDTH + x]; }
  bool Same(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const {
    return At(x0, y0) != background && At(x0, y0) == At(x1, y1);
  }
  template <typename IsSeam>
  static int32_t Runs(int32_t length, IsSeam isSeam) {
    int32_t runs = 0, run = 0;
    for (int32_t i = 1; i + 1 < length; ++i) {
      run = isSeam(i) ? run + 1 : 0;
      if (run == SEAM_RUN) ++runs;
    }
    return runs;
  }
  const std::vector<uint16_t>& pixels;
  uint16_t background;
};

// Over many views at every step that draws areas, no frame has a seam of
// the background colour along a parcel edge (the pixels on both sides of
// each edge are looked at, as truncation puts a gap just before the edge).
TEST_F(DemoMapTest, NoFrameHasASeamAlongAParcelEdge) {
  const uint16_t sea = StyleColour(BACKGROUND_STYLES[STYLE_SEA]);
  int32_t views = 0, seams = 0;
  for (const City& city : CITIES) {
    for (double dLat : {-0.21, 0.0, 0.13}) {
      for (double dLon : {-0.17, 0.0, 0.11}) {
        for (int32_t step : {1, 4, 7, 9, 10, 13, 14, 15, 16, 19, 22}) {
          const MapCoord centre = SnapToPixelGrid(Centre(city.lat + dLat, city.lon + dLon), static_cast<uint16_t>(step));
          DrawView(centre, step);
          const std::vector<uint16_t> pixels = CopyWholeFrame();
          FrameView view{};
          SetFrameView(&view, centre, static_cast<uint16_t>(step), MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT, AREA_CANVAS);
          const SeamCounter counter(pixels, sea);
          ++views;
          // The areas' level, and the level the frame falls back to from level 62.
          const uint16_t areaLevel = SCALE_STEPS[step].areaLevel;
          std::set<int32_t> columns, rows;
          for (uint16_t level : {areaLevel, LEVEL_CODE_BASE}) {
            if (level != areaLevel && areaLevel != LEVEL_CODE_FINEST) break;
            ParcelList* list = FindParcels(MapData(), &centre, view.halfWidth, view.halfHeight, level);
            for (int32_t k = 0; list != nullptr && k < list->count; ++k) {
              const Point corner = PixelOfMapCoord(view, {list->entries[k].x0, list->entries[k].y0});
              columns.insert({corner.x - 1, corner.x});
              rows.insert({corner.y - 1, corner.y});
            }
            FreeParcelList(list);
          }
          for (int32_t x : columns) seams += x >= 1 && x + 1 < MAP_CANVAS_WIDTH ? counter.OnColumn(x) : 0;
          for (int32_t y : rows) seams += y >= 1 && y + 1 < MAP_CANVAS_HEIGHT ? counter.OnRow(y) : 0;
        }
      }
    }
  }
  std::printf("%d seams along parcel edges in %d views\n", seams, views);
  EXPECT_GE(views, 200);
  EXPECT_EQ(seams, 0);
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
  // ones with a road pixel within ROAD_REACH at MEASURE_STEP. Frames are drawn
  // around the fixes as the drive leaves each one.
  template <typename Counts>
  OnRoad MeasureOnRoad(const Track& track, Counts counts) {
    const std::vector<uint16_t> colours = RoadColours();
    const int32_t margin = ROAD_REACH + 1;
    OnRoad result;
    FrameView view{};
    Canvas frame;
    CreateCanvas(&frame, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
    bool drawn = false;
    for (int32_t i = 0; i < track.count; ++i) {
      const TrackPoint& fix = track.points[i];
      if (!counts(fix)) continue;
      Point pixel = drawn ? PixelOfMapCoord(view, {fix.lon, fix.lat}) : Point{-1, -1};
      if (pixel.x < margin || pixel.y < margin || pixel.x >= MAP_CANVAS_WIDTH - margin ||
          pixel.y >= MAP_CANVAS_HEIGHT - margin) {
        const MapCoord centre{fix.lon, fix.lat};
        DrawView(centre, MEASURE_STEP);
        CopyFrameTo(&frame);
        SetFrameView(&view, SnapToPixelGrid(centre, MEASURE_STEP), MEASURE_STEP, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT,
                     AREA_CANVAS);
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

// Every demo drive, Tokyo's included, keeps to the roads the map draws.
TEST_F(DemoDriveTest, EveryDriveLiesOnTheDrawnRoads) {
  for (int route = 0; route < DEMO_ROUTE_COUNT; ++route) {
    Track* track = DriveTrack(route);
    ASSERT_NE(track, nullptr);
    const OnRoad all = MeasureOnRoad(*track, [](const TrackPoint&) { return true; });
    ReleaseTrack(track);
    std::printf("%s drive %d: %d of %d fixes (%.1f %%) within %d pixels of a drawn road at step %d\n",
                DEMO_ROUTES[route].city, route, all.onRoad, all.fixes, 100.0 * all.Share(), ROAD_REACH, MEASURE_STEP);
    EXPECT_GT(all.fixes, 300) << DEMO_ROUTES[route].city << " drive " << route;
    EXPECT_GE(all.Share(), ON_ROAD_GOAL) << DEMO_ROUTES[route].city << " drive " << route;
  }
}

}  // namespace
