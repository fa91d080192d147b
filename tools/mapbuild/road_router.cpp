#include "tools/mapbuild/road_router.h"

#include <cmath>
#include <functional>
#include <limits>
#include <queue>

#include <ogr_geometry.h>

#include "logs/nmea_reader.h"
#include "mapdata/map_layout.h"
#include "tools/mapbuild/source_reader.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double UNITS_PER_DEGREE = MAP_UNITS_PER_DEGREE;  // in floating point for the conversions
constexpr double HUNDREDTHS_PER_DEGREE = 360000.0;
constexpr double METRES_PER_DEGREE = 111320.0;
// Paths, footways and steps (class 9) and class 8 are not driven on.
constexpr int LAST_DRIVABLE_CLASS = 7;
// How much longer a metre of each road class counts than a metre of an
// expressway: a driver keeps to the main roads and leaves them only near
// the places of the drive.
constexpr float CLASS_COST[10] = {1.0f, 1.0f, 1.0f, 1.0f, 1.15f, 1.3f, 1.6f, 2.0f, 3.0f, 3.0f};
// Corrections of the inverse conversion; each one halves the error or better.
constexpr int INVERSE_ROUNDS = 4;

uint64_t Key(RoadPoint p) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(p.x)) << 32) | static_cast<uint32_t>(p.y);
}

void ForEachLine(const OGRGeometry& geometry, const std::function<void(const OGRLineString&)>& visit) {
  const OGRwkbGeometryType type = wkbFlatten(geometry.getGeometryType());
  if (type == wkbLineString) {
    visit(*geometry.toLineString());
  } else if (type == wkbMultiLineString || type == wkbGeometryCollection) {
    for (const OGRGeometry* part : *geometry.toGeometryCollection()) ForEachLine(*part, visit);
  }
}

}  // namespace

double MapDistanceMetres(RoadPoint a, RoadPoint b) {
  const double midLat = (static_cast<double>(a.y) + b.y) / 2.0 / UNITS_PER_DEGREE;
  const double dx = (static_cast<double>(b.x) - a.x) * std::cos(midLat * PI / 180.0);
  const double dy = static_cast<double>(b.y) - a.y;
  return std::hypot(dx, dy) / UNITS_PER_DEGREE * METRES_PER_DEGREE;
}

int DegreesToRoadPoint(double lat, double lon, RoadPoint* p) {
  const double lonH = std::round(lon * HUNDREDTHS_PER_DEGREE), latH = std::round(lat * HUNDREDTHS_PER_DEGREE);
  if (!std::isfinite(lonH) || !std::isfinite(latH) || std::fabs(lonH) >= 2e9 || std::fabs(latH) >= 2e9) return -1;
  return WgsToMapUnits(static_cast<int32_t>(lonH), static_cast<int32_t>(latH), &p->x, &p->y);
}

int RoadPointToDegrees(RoadPoint p, double* lat, double* lon) {
  double guessLat = p.y / UNITS_PER_DEGREE, guessLon = p.x / UNITS_PER_DEGREE;
  for (int round = 0; round < INVERSE_ROUNDS; ++round) {
    RoadPoint there{};
    if (DegreesToRoadPoint(guessLat, guessLon, &there) != 0) return -1;
    guessLat += (p.y - there.y) / UNITS_PER_DEGREE;
    guessLon += (p.x - there.x) / UNITS_PER_DEGREE;
  }
  *lat = guessLat;
  *lon = guessLon;
  return 0;
}

bool RoadRouter::Drivable(int roadClass) { return roadClass >= 0 && roadClass <= LAST_DRIVABLE_CLASS; }

int32_t RoadRouter::NodeAt(RoadPoint p) {
  const auto [it, added] = nodeAt.emplace(Key(p), static_cast<int32_t>(nodes.size()));
  if (added) {
    nodes.push_back(p);
    edges.emplace_back();
  }
  return it->second;
}

void RoadRouter::Link(int32_t a, int32_t b, int roadClass) {
  if (a == b) return;
  const float cost = static_cast<float>(MapDistanceMetres(nodes[a], nodes[b])) * CLASS_COST[roadClass];
  edges[a].push_back({b, cost});
  edges[b].push_back({a, cost});
}

void RoadRouter::AddRoad(const OGRGeometry& geometry, int roadClass) {
  if (!Drivable(roadClass)) return;
  ForEachLine(geometry, [&](const OGRLineString& line) {
    int32_t previous = -1;
    for (int i = 0; i < line.getNumPoints(); ++i) {
      const int32_t node = NodeAt({static_cast<int32_t>(line.getX(i)), static_cast<int32_t>(line.getY(i))});
      if (previous >= 0) Link(previous, node, roadClass);
      previous = node;
    }
  });
}

int32_t RoadRouter::Nearest(RoadPoint at, double snapMetres) const {
  int32_t best = -1;
  double bestMetres = snapMetres;
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (edges[i].empty()) continue;
    const double metres = MapDistanceMetres(at, nodes[i]);
    if (metres <= bestMetres) {
      best = static_cast<int32_t>(i);
      bestMetres = metres;
    }
  }
  return best;
}

int RoadRouter::Route(RoadPoint from, RoadPoint to, double snapMetres, std::vector<RoadPoint>* way) const {
  const int32_t start = Nearest(from, snapMetres), goal = Nearest(to, snapMetres);
  if (start < 0 || goal < 0) return -1;
  std::vector<float> cost(nodes.size(), std::numeric_limits<float>::infinity());
  std::vector<int32_t> came(nodes.size(), -1);
  using Entry = std::pair<float, int32_t>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
  cost[start] = 0.0f;
  open.push({0.0f, start});
  while (!open.empty()) {
    const auto [c, node] = open.top();
    open.pop();
    if (node == goal) break;
    if (c > cost[node]) continue;
    for (const Edge& edge : edges[node]) {
      const float next = c + edge.cost;
      if (next < cost[edge.to]) {
        cost[edge.to] = next;
        came[edge.to] = node;
        open.push({next, edge.to});
      }
    }
  }
  if (start != goal && came[goal] < 0) return -1;
  std::vector<RoadPoint> reversed;
  for (int32_t node = goal; node >= 0; node = node == start ? -1 : came[node]) reversed.push_back(nodes[node]);
  way->insert(way->end(), reversed.rbegin(), reversed.rend());
  return static_cast<int>(reversed.size());
}

int LoadRecipeRoads(const Recipe& recipe, RoadRouter* router, std::string* error) {
  int roads = 0;
  for (const RecipeSource& source : recipe.sources) {
    RecipeSource drivable = source;
    drivable.rules.clear();
    for (const RecipeRule& rule : source.rules) {
      if (rule.kind == RULE_ROAD && RoadRouter::Drivable(rule.code)) drivable.rules.push_back(rule);
    }
    if (drivable.rules.empty()) continue;
    SourceSummary summary;
    const auto addRoad = [&](SourceFeature&& feature) {
      router->AddRoad(*feature.geometry, drivable.rules[feature.rule].code);
      ++roads;
      return 0;
    };
    if (ReadSource(drivable, addRoad, &summary, error) != 0) return -1;
  }
  return roads;
}

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
