// Routes over the road graph of a recipe's road sources: every road line
// the recipe turns into road links becomes edges between its vertices, and
// the shortest way between two places is found with Dijkstra's algorithm.
// "tevo-mapbuild --routes" answers waypoints with these ways, and the demo
// drives follow them so that their fixes lie on the drawn roads. Positions are map units (1/128 arc-second, Tokyo datum), the same
// units the map and the log reader use.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/demo/route_text.h"
#include "tools/mapbuild/recipe.h"

class OGRGeometry;

struct RoadPoint {
  int32_t x;  // east
  int32_t y;  // north
};

class RoadRouter {
 public:
  // Adds the lines of `geometry` (map units; line strings, multi line
  // strings, collections of them; anything else is ignored) as two-way
  // roads of `roadClass`; classes that are not Drivable are left out.
  // Vertices at the same map position join.
  void AddRoad(const OGRGeometry& geometry, int roadClass);

  // Roads of these classes are for cars; paths and footways are not.
  static bool Drivable(int roadClass);

  // The road vertex nearest to `at` within `snapMetres`; -1 when none.
  int32_t Nearest(RoadPoint at, double snapMetres) const;

  // The shortest drive from the road vertex nearest `from` to the one
  // nearest `to` (each within `snapMetres`), vertices appended to `way`
  // in driving order. Bigger roads count as shorter, so that the drive
  // keeps to main roads as a driver would. Returns the number of vertices,
  // or -1 (way unchanged) when an end has no road near it or the two are
  // not connected.
  int Route(RoadPoint from, RoadPoint to, double snapMetres, std::vector<RoadPoint>* way) const;

  int32_t NodeCount() const { return static_cast<int32_t>(nodes.size()); }

 private:
  struct Edge {
    int32_t to;
    float cost;
  };
  int32_t NodeAt(RoadPoint p);
  void Link(int32_t a, int32_t b, int roadClass);

  std::vector<RoadPoint> nodes;
  std::vector<std::vector<Edge>> edges;
  std::unordered_map<uint64_t, int32_t> nodeAt;  // (x, y) packed -> node
};

// Ground distance in metres between two map points (flat over a city).
double MapDistanceMetres(RoadPoint a, RoadPoint b);

// WGS84 degrees of a map point: the inverse of the log reader's conversion,
// found by correcting a first guess through that conversion itself, so the
// degrees come back to the same map point when a fix is read. Returns 0, or
// -1 when no WGS84 position maps there.
int RoadPointToDegrees(RoadPoint p, double* lat, double* lon);

// The map point of WGS84 degrees through the log reader's conversion.
// Returns 0, or -1 outside what map units hold.
int DegreesToRoadPoint(double lat, double lon, RoadPoint* p);

// Reads the drivable road lines of every source of `recipe` into `router`.
// Returns the number of road features read, or -1 with the reason in
// *error when a source with roads cannot be read.
int LoadRecipeRoads(const Recipe& recipe, RoadRouter* router, std::string* error);

// Fills `roads` with one entry per stretch of `route`: the shortest drive
// over `router` between its two waypoints, empty where an end lies further
// than `snapMetres` from every road or the ends are not connected. Returns
// the number of stretches on roads, or -1 when none is.
int RouteAlongRoads(const RoadRouter& router, const WaypointRoute& route, double snapMetres, RouteRoads* roads);
