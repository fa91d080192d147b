#include "tools/demo/demo_roads.h"

#include <memory>

namespace {

// The stretch from `from` to `to` over the roads, in degrees; empty when
// either end is off the roads or they are not connected.
std::vector<RoutePoint> Stretch(const RoadRouter& router, const RouteWaypoint& from, const RouteWaypoint& to) {
  RoadPoint a{}, b{};
  std::vector<RoadPoint> way;
  std::vector<RoutePoint> points;
  if (DegreesToRoadPoint(from.lat, from.lon, &a) != 0 || DegreesToRoadPoint(to.lat, to.lon, &b) != 0 ||
      router.Route(a, b, DEMO_ROAD_SNAP_METRES, &way) < 2) {
    return points;
  }
  for (const RoadPoint& p : way) {
    RoutePoint degrees{};
    if (RoadPointToDegrees(p, &degrees.lat, &degrees.lon) != 0) return {};
    points.push_back(degrees);
  }
  return points;
}

}  // namespace

int RouteAlongRoads(const RoadRouter& router, const DriveRoute& route, RouteRoads* roads) {
  roads->assign(static_cast<size_t>(route.count > 1 ? route.count - 1 : 0), {});
  int onRoads = 0;
  for (int k = 0; k + 1 < route.count; ++k) {
    (*roads)[k] = Stretch(router, route.waypoints[k], route.waypoints[k + 1]);
    if (!(*roads)[k].empty()) ++onRoads;
  }
  return onRoads > 0 ? onRoads : -1;
}

DemoRouter MakeRecipeRouter(const Recipe& recipe, const std::function<void(const std::string&)>& warn) {
  auto router = std::make_shared<RoadRouter>();
  auto loaded = std::make_shared<int>(0);  // 0 not yet, 1 read, -1 failed
  return [recipe, warn, router, loaded](const DriveRoute& route, RouteRoads* roads) {
    if (*loaded == 0) {
      std::string why;
      *loaded = LoadRecipeRoads(recipe, router.get(), &why) >= 0 ? 1 : -1;
      if (*loaded < 0) warn("the demo drives cannot follow the roads: " + why);
    }
    return *loaded > 0 ? RouteAlongRoads(*router, route, roads) : -1;
  };
}
