// The text through which the demo asks the map builder for the roads of its
// drives: the demo writes the waypoints of its routes, "tevo-mapbuild
// --routes" reads them, routes every stretch between two waypoints over the
// recipe's drivable roads and writes the roads found, which the demo reads.
//
// Waypoints, one block per route:
//   route NAME           a route begins (NAME is free text, may be empty)
//   LAT LON              a waypoint, WGS84 decimal degrees
// Roads, one block per route of the waypoints, in their order:
//   route NAME
//   stretch N            the road from waypoint k to k + 1 (one line per
//                        stretch, in order): N points follow, 0 when the
//                        stretch has no road to follow
//   LAT LON              a point of the road, WGS84 decimal degrees
// Blank lines and lines that begin with '#' are left out. Degrees are
// written with 17 significant digits, so that they read back as the same
// numbers and a drive over roads read from the text is the drive over the
// roads as they were found.
#pragma once

#include <string>
#include <vector>

#include "tools/demo/recorder_simulator.h"

// A waypoint further than this from every road keeps the smooth path of
// its stretches, unless the routing is told otherwise.
constexpr double ROAD_SNAP_METRES = 350.0;

// The waypoints of one route.
struct WaypointRoute {
  std::string name;
  std::vector<RoutePoint> waypoints;
};

// The waypoints of `route` in the route's own order.
WaypointRoute WaypointsOf(const DriveRoute& route);

std::string FormatWaypointText(const std::vector<WaypointRoute>& routes);

// Reads the waypoint text into `routes`. Returns the number of routes, or
// -1 with the line and what is wrong with it in *error.
int ParseWaypointText(const std::string& text, std::vector<WaypointRoute>* routes, std::string* error);

// `roads[i]` are the roads of `routes[i]`, one entry per stretch.
std::string FormatRoadText(const std::vector<WaypointRoute>& routes, const std::vector<RouteRoads>& roads);

// Reads the road text answering `routes` into `roads` (one RouteRoads per
// route, one entry per stretch). Returns 0, or -1 with the reason in
// *error when the text is malformed or does not answer those routes (other
// route names, another count of routes or stretches).
int ParseRoadText(const std::string& text, const std::vector<WaypointRoute>& routes, std::vector<RouteRoads>* roads,
                  std::string* error);
