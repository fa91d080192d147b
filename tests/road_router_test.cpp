// Routing over a road graph: shortest drives, the preference for main
// roads, ends off the roads, and the way back from map units to degrees.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <ogr_geometry.h>

#include "logs/nmea_reader.h"
#include "tools/mapbuild/road_router.h"

namespace {

// Map units east and north of a point in Osaka, about 0.24 m and 0.2 m each.
constexpr int32_t X0 = 135 * 460800 + 230000, Y0 = 34 * 460800 + 313000;
constexpr int32_t BLOCK = 2000;  // about 400 m east, 480 m north

RoadPoint At(int32_t i, int32_t j) { return {X0 + i * BLOCK, Y0 + j * BLOCK}; }

void AddLine(RoadRouter* router, std::vector<RoadPoint> points, int roadClass) {
  OGRLineString line;
  for (const RoadPoint& p : points) line.addPoint(p.x, p.y);
  router->AddRoad(line, roadClass);
}

bool Same(RoadPoint a, RoadPoint b) { return a.x == b.x && a.y == b.y; }

// A street straight from (0,0) to (4,0), and an expressway around it over
// (0,1) and (4,1), a little longer; a footpath as a shortcut; an island.
RoadRouter Town() {
  RoadRouter router;
  AddLine(&router, {At(0, 0), At(1, 0), At(2, 0), At(3, 0), At(4, 0)}, 7);
  AddLine(&router, {At(0, 0), At(0, 1), At(4, 1), At(4, 0)}, 0);
  AddLine(&router, {At(0, 0), At(2, -1), At(4, 0)}, 9);
  AddLine(&router, {At(8, 8), At(9, 8)}, 3);
  return router;
}

TEST(RoadRouter, TakesTheMainRoadUnlessTheStreetIsMuchShorter) {
  const RoadRouter router = Town();
  std::vector<RoadPoint> way;
  // The street is 4 blocks (1.6 km), the expressway 4 blocks plus two
  // 480 m legs: at twice the cost per metre the street costs more.
  ASSERT_EQ(router.Route(At(0, 0), At(4, 0), 50.0, &way), 4);
  EXPECT_TRUE(Same(way[1], At(0, 1)) && Same(way[2], At(4, 1))) << "the expressway";
  // Between two points on the street the street is the way.
  way.clear();
  ASSERT_EQ(router.Route(At(1, 0), At(3, 0), 50.0, &way), 3);
  EXPECT_TRUE(Same(way[0], At(1, 0)) && Same(way[1], At(2, 0)) && Same(way[2], At(3, 0)));
}

TEST(RoadRouter, SnapsEndsToTheNearestRoadAndRefusesWhatItCannotReach) {
  const RoadRouter router = Town();
  std::vector<RoadPoint> way;
  // 100 units (about 24 m) off the street's vertex (2,0).
  const RoadPoint nearStreet{At(2, 0).x + 100, At(2, 0).y + 100};
  ASSERT_GT(router.Route(nearStreet, At(3, 0), 50.0, &way), 0);
  EXPECT_TRUE(Same(way.front(), At(2, 0)));
  // Too far from every road, on the footpath only (not driven), on an island.
  way.clear();
  EXPECT_EQ(router.Route(At(2, 3), At(3, 0), 50.0, &way), -1);
  EXPECT_EQ(router.Route(At(2, -1), At(3, 0), 50.0, &way), -1);
  EXPECT_EQ(router.Route(At(8, 8), At(3, 0), 50.0, &way), -1);
  EXPECT_TRUE(way.empty());
  // The same place at both ends is a way of one point.
  EXPECT_EQ(router.Route(At(1, 0), At(1, 0), 50.0, &way), 1);
}

// Back from map units to degrees and forth through the log reader's
// conversion lands on the same map point, across Japan.
TEST(RoadRouter, DegreesOfAMapPointComeBackToIt) {
  for (double lat = 24.5; lat < 45.5; lat += 1.37) {
    for (double lon = 123.1; lon < 153.9; lon += 2.11) {
      RoadPoint p{};
      ASSERT_EQ(DegreesToRoadPoint(lat, lon, &p), 0);
      double backLat = 0, backLon = 0;
      ASSERT_EQ(RoadPointToDegrees(p, &backLat, &backLon), 0);
      RoadPoint again{};
      ASSERT_EQ(DegreesToRoadPoint(backLat, backLon, &again), 0);
      EXPECT_LE(std::abs(again.x - p.x), 2) << lat << " " << lon;
      EXPECT_LE(std::abs(again.y - p.y), 2) << lat << " " << lon;
    }
  }
}

}  // namespace
