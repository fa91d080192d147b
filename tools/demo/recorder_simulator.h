// A simulated in-car recorder: a day's drive along a route through real
// places, written as the NMEA log that a GPS receiver and the device's
// recorder produce, one file per Japanese calendar day.
//
// Every second (one epoch) the log gets $GPRMC, $GPGGA, $GPGSA and the
// $GPGSV messages of the satellites in view, each with a correct checksum
// and CR LF. Positions are WGS84 degrees and minutes, times and dates UTC.
// The output depends only on the drive's description and seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The kind of road from a waypoint to the next one; it sets the speeds.
enum RoadClass : uint8_t {
  ROAD_URBAN = 0,       // city streets: 20..60 km/h with traffic lights
  ROAD_EXPRESSWAY = 1,  // no lights, up to about 100 km/h
};

// One waypoint of a route, in WGS84 degrees.
struct RouteWaypoint {
  double lat;
  double lon;
  RoadClass road;     // the road from here to the next waypoint
  bool park;          // the car is parked here in the middle of the day
  const char* place;  // a named place, or null for a bend of the road
};

// A route: the car follows a smooth path through its waypoints.
struct DriveRoute {
  const char* city;
  const RouteWaypoint* waypoints;
  int count;  // 2 or more
};

// The demonstration routes around Tokyo, Nagoya and Osaka.
constexpr int DEMO_ROUTE_COUNT = 4;
extern const DriveRoute DEMO_ROUTES[DEMO_ROUTE_COUNT];

// A position on a road the car follows, in WGS84 degrees.
struct RoutePoint {
  double lat;
  double lon;
};
// The roads of a route, one entry per stretch between waypoints (entry k
// leads from waypoint k to waypoint k + 1, in the route's own direction):
// the car drives along the points of a stretch that has two or more, and
// on a smooth path through the waypoints where a stretch is empty.
using RouteRoads = std::vector<std::vector<RoutePoint>>;

// One day's drive.
struct DriveDay {
  int32_t year;         // 2000..2029
  int32_t month;        // 1..12
  int32_t day;          // 1..31: the date of the log file, in Japan time
  int32_t startMinute;  // the recorder starts this many minutes after midnight, Japan time
  const DriveRoute* route;
  bool reverse;   // drive the route from its last waypoint to its first
  uint64_t seed;  // the same seed gives the same log
  const RouteRoads* roads = nullptr;  // null: a smooth path through every waypoint
};

// What the simulated day holds.
struct DriveSummary {
  int32_t epochs = 0;         // seconds recorded (one $GPRMC each)
  int32_t positionFixes = 0;  // $GPRMC sentences with a position: the points a reader gets
  int32_t voidFixes = 0;      // $GPRMC sentences marked "V", without a position
  int32_t lightStops = 0;     // stops at traffic lights (20..90 s each)
  int32_t parkedSeconds = 0;  // the parked pause in the middle of the drive
  double metres = 0.0;        // distance driven
  double topSpeed = 0.0;      // highest speed, metres per second
  int32_t firstMinute = 0;    // first and last epoch, minutes after midnight Japan time
  int32_t lastMinute = 0;
};

// Writes the log of `drive` to `log` (replacing its content) and describes
// it in `summary` (may be null). The recorder starts a minute or two before
// the car moves, with a few void fixes while the receiver acquires
// satellites; the drive ends with the car standing at its destination. A
// drive is cut at midnight Japan time, where the next day's file would
// begin. Returns 0, or -1 when the date is not a real day, the route has
// fewer than two waypoints or the start lies outside 00:00..23:59.
int SimulateDrive(const DriveDay& drive, std::string* log, DriveSummary* summary);

// Japan time is UTC + 9 h: a Japanese day begins at 15:00 UTC of the UTC
// day before, so the UTC date in the sentences changes at 09:00 Japan time.
constexpr int32_t JAPAN_UTC_OFFSET_SECONDS = 9 * 3600;
