// The demo drives along the roads of the demo map's own data: each stretch
// between two waypoints of a route becomes the shortest drive over the
// road graph when both waypoints lie near a drivable road of the recipe's
// sources, so that the recorded fixes fall on the drawn roads.
#pragma once

#include <string>

#include "tools/demo/demo_device.h"
#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/road_router.h"

// A waypoint further than this from every road keeps its smooth stretch.
constexpr double DEMO_ROAD_SNAP_METRES = 350.0;

// Fills `roads` for `route` from `router` (see DemoRouter). Returns the
// number of stretches on roads, or -1 when none is.
int RouteAlongRoads(const RoadRouter& router, const DriveRoute& route, RouteRoads* roads);

// A DemoRouter over the drivable roads of `recipe`, read when it is first
// called; when the roads cannot be read, it says why through `warn` once
// and routes nothing.
DemoRouter MakeRecipeRouter(const Recipe& recipe, const std::function<void(const std::string&)>& warn);
