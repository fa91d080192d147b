// The text between the demo and the map builder's routing: what is written
// reads back as exactly the same numbers, and texts that do not answer the
// routes asked are refused with the line at fault.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/demo/route_text.h"

namespace {

bool SamePoints(const std::vector<RoutePoint>& a, const std::vector<RoutePoint>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].lat != b[i].lat || a[i].lon != b[i].lon) return false;
  }
  return true;
}

// Two routes: one of three waypoints whose second stretch has no road,
// and one with a name that needs its line kept and two waypoints.
std::vector<WaypointRoute> Routes() {
  return {{"Osaka", {{34.7025, 135.4959}, {34.6925, 135.5015}, {34.682, 135.5005}}},
          {"two\nlines", {{-33.8688, 151.2093}, {0.1 + 0.2, -179.99999999999997}}}};
}

// Numbers that need all 17 digits to come back.
std::vector<RouteRoads> Roads() {
  return {{{{34.702499999999993, 135.49591234567891}, {34.698012345678901, 135.4987654321}}, {}},
          {{{-33.868800000000007, 151.20930000000001}, {1.0 / 3.0, 2.0 / 3.0}, {-89.999999999999986, 179.99999999999997}}}};
}

TEST(RouteText, WaypointsAndRoadsReadBackAsTheSameNumbers) {
  std::vector<WaypointRoute> waypoints;
  std::string error;
  ASSERT_EQ(ParseWaypointText(FormatWaypointText(Routes()), &waypoints, &error), 2) << error;
  for (size_t i = 0; i < waypoints.size(); ++i) EXPECT_TRUE(SamePoints(waypoints[i].waypoints, Routes()[i].waypoints));
  EXPECT_EQ(waypoints[0].name, "Osaka");

  std::vector<RouteRoads> roads;
  ASSERT_EQ(ParseRoadText(FormatRoadText(Routes(), Roads()), Routes(), &roads, &error), 0) << error;
  ASSERT_EQ(roads.size(), 2u);
  ASSERT_EQ(roads[0].size(), 2u);
  ASSERT_EQ(roads[1].size(), 1u);
  for (size_t i = 0; i < roads.size(); ++i) {
    for (size_t k = 0; k < roads[i].size(); ++k) EXPECT_TRUE(SamePoints(roads[i][k], Roads()[i][k])) << i << " " << k;
  }
  // Comments, blank lines and CR LF line ends are read over.
  const std::string written = "# asked by hand\r\n\r\nroute Osaka\r\n  34.7 135.5\r\n34.6 135.4\r\n";
  ASSERT_EQ(ParseWaypointText(written, &waypoints, &error), 1) << error;
  EXPECT_EQ(waypoints[0].waypoints.size(), 2u);
}

TEST(RouteText, TextsThatDoNotAnswerTheRoutesAreRefusedWithTheirLine) {
  const std::vector<WaypointRoute> asked{{"A", {{1, 2}, {3, 4}, {5, 6}}}};
  const struct {
    const char* text;
    const char* says;
  } cases[] = {
      {"route B\nstretch 0\nstretch 0\n", "line 1"},                      // another route
      {"route A\nstretch 1\n1 2\n", "end after 1 stretches"},             // a stretch missing
      {"route A\nstretch 2\n1 2\nstretch 0\n", "line 4"},                 // a point missing
      {"route A\nstretch 0\nstretch 0\nroute C\n", "line 4"},             // more than asked
      {"route A\nstretch -1\nstretch 0\n", "line 2"},                     // a negative count
      {"route A\nstretch 1x\nstretch 0\n", "line 2"},                     // not a count
      {"route A\nstretch 1\n1 2 3\nstretch 0\n", "line 3"},               // a third number
      {"route A\nstretch 1\n91 2\nstretch 0\n", "line 3"},                // off the globe
      {"route A\nstretch 1\nnan 2\nstretch 0\n", "line 3"},               // not a number
      {"route A\nstretch 99999999999999999999\n", "line 2"},              // a count out of range
      {"", "end before the route \"A\""},                                  // nothing
  };
  for (const auto& c : cases) {
    std::vector<RouteRoads> roads;
    std::string error;
    EXPECT_EQ(ParseRoadText(c.text, asked, &roads, &error), -1) << c.text;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.text << " -> " << error;
  }
  std::vector<WaypointRoute> waypoints;
  std::string error;
  EXPECT_EQ(ParseWaypointText("1 2\n", &waypoints, &error), -1);
  EXPECT_NE(error.find("line 1"), std::string::npos) << error;
  EXPECT_EQ(ParseWaypointText("route A\n1 2\nroutes B\n", &waypoints, &error), -1);
  EXPECT_NE(error.find("line 3"), std::string::npos) << error;
}

}  // namespace
