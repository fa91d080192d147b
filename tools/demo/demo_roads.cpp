#include "tools/demo/demo_roads.h"

namespace {

// The stretch from `from` to `to` over the roads, in degrees; empty when
// either end is off the roads or they are not connected.
std::vector<RoutePoint> Stretch(const RoadRouter& router, const RoutePoint& from, const RoutePoint& to,
                                double snapMetres) {
  RoadPoint a{}, b{};
  std::vector<RoadPoint> way;
  std::vector<RoutePoint> points;
  if (DegreesToRoadPoint(from.lat, from.lon, &a) != 0 || DegreesToRoadPoint(to.lat, to.lon, &b) != 0 ||
      router.Route(a, b, snapMetres, &way) < 2) {
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

int RouteAlongRoads(const RoadRouter& router, const WaypointRoute& route, double snapMetres, RouteRoads* roads) {
  const std::vector<RoutePoint>& waypoints = route.waypoints;
  roads->assign(waypoints.size() > 1 ? waypoints.size() - 1 : 0, {});
  int onRoads = 0;
  for (size_t k = 0; k + 1 < waypoints.size(); ++k) {
    (*roads)[k] = Stretch(router, waypoints[k], waypoints[k + 1], snapMetres);
    if (!(*roads)[k].empty()) ++onRoads;
  }
  return onRoads > 0 ? onRoads : -1;
}
