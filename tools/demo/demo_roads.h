// The roads of a route's stretches in the demo map's own data: each
// stretch between two waypoints becomes the shortest drive over the road
// graph when both waypoints lie near a drivable road, so that the recorded
// fixes fall on the drawn roads. "tevo-mapbuild --routes" answers the demo
// with these roads.
#pragma once

#include "tools/demo/route_text.h"
#include "tools/mapbuild/road_router.h"

// Fills `roads` with one entry per stretch of `route`, empty where an end
// lies further than `snapMetres` from every road or the ends are not
// connected. Returns the number of stretches on roads, or -1 when none is.
int RouteAlongRoads(const RoadRouter& router, const WaypointRoute& route, double snapMetres, RouteRoads* roads);
