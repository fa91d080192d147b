// The recorder simulator: its logs read as the viewer reads a real
// recorder's, and the drives in them move as a car does.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "logs/nmea_reader.h"
#include "logs_test_support.h"
#include "tools/demo/recorder_simulator.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double MS_PER_KNOT = 1852.0 / 3600.0;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
    parts.push_back(text.substr(start, at - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The sentences of a log; every line must end in CR LF.
std::vector<std::string> Lines(const std::string& log) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = log.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(log.substr(start, at - start));
  }
  EXPECT_EQ(start, log.size()) << "the log does not end in CR LF";
  return lines;
}

// "ddmm.mmmm" or "dddmm.mmmm" as degrees.
double Degrees(const std::string& field) {
  const double value = std::atof(field.c_str());
  const double whole = std::floor(value / 100.0);
  return whole + (value - whole * 100.0) / 60.0;
}

double HaversineMetres(double lat1, double lon1, double lat2, double lon2) {
  const double rad = PI / 180.0;
  const double a = std::pow(std::sin((lat2 - lat1) * rad / 2), 2) +
                   std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::pow(std::sin((lon2 - lon1) * rad / 2), 2);
  return 2 * 6371008.8 * std::asin(std::sqrt(a));
}

// One $GPRMC as the tests look at it.
struct Rmc {
  int utc;  // seconds since UTC midnight
  bool fix;
  double lat, lon, speed, course;  // degrees, metres per second, degrees
  std::string date;                // ddmmyy
};

std::vector<Rmc> ReadRmc(const std::string& log) {
  std::vector<Rmc> fixes;
  for (const std::string& line : Lines(log)) {
    if (line.rfind("$GPRMC,", 0) != 0) continue;
    const std::vector<std::string> f = Split(line.substr(0, line.find('*')), ',');
    const int t = std::atoi(f[1].c_str());
    Rmc rmc{t / 10000 * 3600 + t / 100 % 100 * 60 + t % 100, f[2] == "A", 0, 0, 0, 0, f[9]};
    if (rmc.fix) {
      rmc.lat = Degrees(f[3]);
      rmc.lon = Degrees(f[5]);
      rmc.speed = std::atof(f[7].c_str()) * MS_PER_KNOT;
      rmc.course = std::atof(f[8].c_str());
    }
    fixes.push_back(rmc);
  }
  return fixes;
}

DriveDay Day(int route, bool reverse = false, uint64_t seed = 7) {
  return {2026, 1, 12, 8 * 60 + 10, &DEMO_ROUTES[route], reverse, seed};
}

std::string Simulate(const DriveDay& day, DriveSummary* summary = nullptr) {
  std::string log;
  EXPECT_EQ(SimulateDrive(day, &log, summary), 0);
  return log;
}

// Every route, both ways.
std::vector<DriveDay> EveryDrive() {
  std::vector<DriveDay> days;
  for (int route = 0; route < DEMO_ROUTE_COUNT; ++route) {
    days.push_back(Day(route, false, 100 + route));
    days.push_back(Day(route, true, 200 + route));
  }
  return days;
}

TEST(RecorderSimulator, EpochsAreWellFormedSentencesWithValidChecksums) {
  const std::string log = Simulate(Day(3));
  std::vector<std::string> order;
  int gsvLeft = 0, inView = 0, gsvSatellites = 0;
  for (const std::string& line : Lines(log)) {
    ASSERT_EQ(line[0], '$') << line;
    const size_t star = line.find('*');
    ASSERT_EQ(star, line.size() - 3) << line;
    EXPECT_EQ(NmeaChecksum(line.c_str(), static_cast<int>(star)), ParseChecksumHex(line.c_str() + star + 1)) << line;
    const std::vector<std::string> f = Split(line.substr(1, star - 1), ',');
    if (f[0] == "GPGSV") {
      const int total = std::atoi(f[1].c_str()), index = std::atoi(f[2].c_str());
      if (index == 1) {
        ASSERT_EQ(gsvLeft, 0) << "a new GSV group before the last one ended: " << line;
        inView = std::atoi(f[3].c_str());
        EXPECT_GE(inView, 8);
        EXPECT_LE(inView, 12);
        EXPECT_EQ(total, (inView + 3) / 4);
        gsvLeft = total;
        gsvSatellites = 0;
      }
      const int here = static_cast<int>(f.size() - 4) / 4;
      EXPECT_EQ(f.size(), 4u + 4u * here) << line;
      EXPECT_EQ(here, index < total ? 4 : inView - 4 * (total - 1)) << line;
      for (int k = 0; k < here; ++k) {
        const int elevation = std::atoi(f[5 + 4 * k].c_str()), azimuth = std::atoi(f[6 + 4 * k].c_str());
        EXPECT_TRUE(elevation >= 5 && elevation <= 90 && azimuth >= 0 && azimuth < 360) << line;
      }
      gsvSatellites += here;
      if (--gsvLeft == 0) {
        EXPECT_EQ(gsvSatellites, inView);
      }
    } else {
      ASSERT_EQ(gsvLeft, 0) << "a GSV group was cut short before " << line;
      order.push_back(f[0]);
    }
  }
  ASSERT_EQ(order.size() % 3, 0u);
  for (size_t i = 0; i < order.size(); i += 3) {
    ASSERT_EQ(order[i] + order[i + 1] + order[i + 2], "GPRMCGPGGAGPGSA") << "epoch " << i / 3;
  }
}

TEST(RecorderSimulator, TheViewerReadsEveryFixWithAPositionInsideItsArea) {
  const fs::path directory = MakeScratchDirectory();
  for (const DriveDay& day : EveryDrive()) {
    DriveSummary summary;
    const std::string log = Simulate(day, &summary);
    const fs::path file = directory / "drive.log";
    WriteFile(file, log);
    Track* track = LoadTrack(file.c_str());
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->count, summary.positionFixes) << day.route->city;
    EXPECT_EQ(summary.positionFixes + summary.voidFixes, summary.epochs);
    EXPECT_GT(summary.voidFixes, 0) << "the receiver starts without a fix";
    for (int32_t i = 0; i < track->count; ++i) {
      const TrackPoint& p = track->points[i];
      ASSERT_TRUE(p.lon >= TRACK_MIN_LON && p.lon <= TRACK_MAX_LON && p.lat >= TRACK_MIN_LAT && p.lat <= TRACK_MAX_LAT)
          << day.route->city << " point " << i;
    }
    // A drive of a few to a few tens of kilometres.
    EXPECT_GT(summary.metres, 2000.0) << day.route->city;
    EXPECT_LT(summary.metres, 60000.0) << day.route->city;
    ReleaseTrack(track);
  }
}

// The log of a Japanese day starts at 15:00 UTC of the day before; the UTC
// date in the sentences moves on at 09:00 Japan time, also across a month,
// a year and a leap day.
TEST(RecorderSimulator, TheUtcDateChangesAtNineInTheMorningJapanTime) {
  struct Case {
    int32_t year, month, day;
    const char* before;
    const char* after;
  };
  const Case cases[] = {{2026, 1, 12, "110126", "120126"},
                        {2026, 1, 1, "311225", "010126"},
                        {2028, 3, 1, "290228", "010328"},
                        {2026, 3, 1, "280226", "010326"}};
  for (const Case& c : cases) {
    const DriveDay day{c.year, c.month, c.day, 8 * 60 + 50, &DEMO_ROUTES[3], false, 3};
    const std::vector<Rmc> fixes = ReadRmc(Simulate(day));
    ASSERT_FALSE(fixes.empty());
    EXPECT_EQ(fixes.front().utc, (8 * 60 + 50) * 60 - JAPAN_UTC_OFFSET_SECONDS + 86400);
    int changes = 0;
    for (size_t i = 1; i < fixes.size(); ++i) {
      if (fixes[i].date == fixes[i - 1].date) continue;
      ++changes;
      EXPECT_EQ(fixes[i - 1].date, c.before);
      EXPECT_EQ(fixes[i].date, c.after);
      EXPECT_EQ(fixes[i - 1].utc, 86399);
      EXPECT_EQ(fixes[i].utc, 0);
    }
    EXPECT_EQ(changes, 1) << c.after;
  }
  // A drive that would run past midnight Japan time ends with the day.
  const std::vector<Rmc> late = ReadRmc(Simulate({2026, 1, 12, 23 * 60 + 30, &DEMO_ROUTES[3], false, 3}));
  ASSERT_FALSE(late.empty());
  EXPECT_EQ(late.back().utc, 15 * 3600 - 1);
  EXPECT_EQ(late.back().date, "120126");
}

bool HasExpressway(const DriveRoute& route) {
  for (int i = 0; i + 1 < route.count; ++i) {
    if (route.waypoints[i].road == ROAD_EXPRESSWAY) return true;
  }
  return false;
}

// Consecutive fixes are never further apart than the speeds at both ends
// allow (with a metre for rounding), speeds and accelerations are those of
// a car, and the course points where the car goes.
TEST(RecorderSimulator, FixesMoveNoFasterThanTheRecordedSpeedAndAlongTheCourse) {
  for (const DriveDay& day : EveryDrive()) {
    const std::vector<Rmc> fixes = ReadRmc(Simulate(day));
    double top = 0.0;
    for (size_t i = 1; i < fixes.size(); ++i) {
      const Rmc& a = fixes[i - 1];
      const Rmc& b = fixes[i];
      ASSERT_EQ(b.utc - a.utc, b.utc == 0 ? -86399 : 1) << "one epoch a second";
      if (!a.fix || !b.fix) continue;
      const double metres = HaversineMetres(a.lat, a.lon, b.lat, b.lon);
      ASSERT_LE(metres, std::max(a.speed, b.speed) + 1.0) << day.route->city << " at epoch " << i;
      EXPECT_LE(std::fabs(b.speed - a.speed), 4.0) << day.route->city << " at epoch " << i;
      top = std::max(top, b.speed);
      if (a.speed > 5.0 && b.speed > 5.0 && metres > 5.0) {
        const double bearing = std::atan2((b.lon - a.lon) * std::cos(a.lat * PI / 180.0), b.lat - a.lat) * 180.0 / PI;
        double off = std::fabs(std::fmod(bearing - a.course + 540.0, 360.0) - 180.0);
        EXPECT_LT(off, 20.0) << day.route->city << " at epoch " << i;
      }
    }
    EXPECT_LE(top * 3.6, 101.0) << day.route->city;
    if (HasExpressway(*day.route)) EXPECT_GE(top * 3.6, 75.0) << day.route->city << " has an expressway";
  }
}

// The recorder runs a while before the car moves; the car stands at red
// lights for 20 to 90 s, once for 20 to 40 min in the middle of the day,
// and at the end.
TEST(RecorderSimulator, TheCarWaitsBeforeStartingAtLightsAndParkedAtMidday) {
  for (const DriveDay& day : EveryDrive()) {
    DriveSummary summary;
    const std::vector<Rmc> fixes = ReadRmc(Simulate(day, &summary));
    size_t firstMove = 0;
    while (firstMove < fixes.size() && (!fixes[firstMove].fix || fixes[firstMove].speed == 0.0)) ++firstMove;
    EXPECT_GE(firstMove, 60u) << day.route->city;
    EXPECT_LE(firstMove, 151u) << day.route->city;
    EXPECT_FALSE(fixes.front().fix) << "void while the receiver starts";

    std::vector<int> stops;  // seconds of each standstill after the start
    for (size_t i = firstMove; i < fixes.size();) {
      size_t j = i;
      while (j < fixes.size() && fixes[j].speed == 0.0 && fixes[j].lat == fixes[i].lat && fixes[j].lon == fixes[i].lon)
        ++j;
      if (j > i) stops.push_back(static_cast<int>(j - i));
      i = std::max(j, i + 1);
    }
    ASSERT_GE(stops.size(), 3u) << day.route->city;
    const int arrival = stops.back();
    stops.pop_back();
    EXPECT_TRUE(arrival >= 20 && arrival <= 61) << arrival;
    int lights = 0, parked = 0;
    for (int seconds : stops) {
      if (seconds >= 20 && seconds <= 91) {
        ++lights;
      } else if (seconds >= 20 * 60 && seconds <= 40 * 60 + 1) {
        ++parked;
      } else {
        ADD_FAILURE() << day.route->city << ": a standstill of " << seconds << " s";
      }
    }
    EXPECT_EQ(parked, 1) << day.route->city;
    EXPECT_EQ(lights, summary.lightStops) << day.route->city;
    EXPECT_GE(lights, 1) << day.route->city;
  }
}

TEST(RecorderSimulator, TheSameSeedGivesTheSameLog) {
  EXPECT_EQ(Simulate(Day(1, false, 42)), Simulate(Day(1, false, 42)));
  EXPECT_NE(Simulate(Day(1, false, 42)), Simulate(Day(1, false, 43)));
}

TEST(RecorderSimulator, RefusesDaysAndRoutesThatCannotBeDriven) {
  const RouteWaypoint lone[] = {{35.0, 136.0, ROAD_URBAN, false, "alone"}};
  const DriveRoute oneWaypoint{"nowhere", lone, 1};
  const DriveDay bad[] = {
      {2026, 2, 29, 480, &DEMO_ROUTES[0], false, 1},  // not a leap year
      {2026, 13, 1, 480, &DEMO_ROUTES[0], false, 1},
      {1999, 12, 31, 480, &DEMO_ROUTES[0], false, 1},  // before the log tree's years
      {2026, 1, 12, 24 * 60, &DEMO_ROUTES[0], false, 1},
      {2026, 1, 12, -1, &DEMO_ROUTES[0], false, 1},
      {2026, 1, 12, 480, &oneWaypoint, false, 1},
      {2026, 1, 12, 480, nullptr, false, 1},
  };
  for (const DriveDay& day : bad) {
    std::string log = "untouched";
    EXPECT_EQ(SimulateDrive(day, &log, nullptr), -1) << day.year << "-" << day.month << "-" << day.day;
    EXPECT_EQ(log, "untouched");
  }
}

}  // namespace

namespace {

// Metres from (lat, lon) to the nearest point of the polyline `road`
// (flat over a few kilometres).
double MetresToPolyline(double lat, double lon, const std::vector<RoutePoint>& road) {
  const double perLat = 111132.0, perLon = 111320.0 * std::cos(lat * PI / 180.0);
  double best = 1e18;
  for (size_t i = 0; i + 1 < road.size(); ++i) {
    const double ax = (road[i].lon - lon) * perLon, ay = (road[i].lat - lat) * perLat;
    const double bx = (road[i + 1].lon - lon) * perLon, by = (road[i + 1].lat - lat) * perLat;
    const double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
    const double t = length2 > 0 ? std::fmax(0.0, std::fmin(1.0, -(ax * dx + ay * dy) / length2)) : 0.0;
    best = std::fmin(best, std::hypot(ax + t * dx, ay + t * dy));
  }
  return best;
}

// A route north through three waypoints 2.2 km apart; the first stretch
// has a road that turns east by 900 m and back at right angles, the second
// has none.
constexpr RouteWaypoint NORTH[] = {
    {34.60, 135.50, ROAD_URBAN, false, "south"},
    {34.62, 135.50, ROAD_URBAN, true, "middle"},
    {34.64, 135.50, ROAD_URBAN, false, "north"},
};
constexpr double DETOUR_LON = 135.51;

// A drive with roads keeps to them, corners included, both ways round,
// and drives the smooth path on the stretch without one.
TEST(RecorderSimulator, DrivesAlongTheRoadsOfTheStretchesThatHaveThem) {
  const DriveRoute route{"Test", NORTH, 3};
  const RouteRoads roads = {{{34.60, 135.50}, {34.60, DETOUR_LON}, {34.62, DETOUR_LON}, {34.62, 135.50}}, {}};
  for (bool reverse : {false, true}) {
    DriveDay day = Day(0, reverse, 31);
    day.route = &route;
    day.roads = &roads;
    std::string log;
    ASSERT_EQ(SimulateDrive(day, &log, nullptr), 0);
    int onDetour = 0, atCorners = 0, northOfIt = 0;
    for (const Rmc& rmc : ReadRmc(log)) {
      if (!rmc.fix) continue;
      if (rmc.lat > 34.6205) ++northOfIt;
      if (rmc.lon < 135.5005) continue;
      // East of the straight line: on the detour, never across its corners.
      ++onDetour;
      EXPECT_LT(MetresToPolyline(rmc.lat, rmc.lon, roads[0]), 1.0)
          << rmc.lat << " " << rmc.lon << (reverse ? " reversed" : " forward");
      if (std::fabs(rmc.lon - DETOUR_LON) < 1e-4 && (std::fabs(rmc.lat - 34.60) < 1e-4 || std::fabs(rmc.lat - 34.62) < 1e-4)) {
        ++atCorners;
      }
    }
    EXPECT_GT(onDetour, 100);
    EXPECT_GE(atCorners, 2) << "the car slows to turn at both corners";
    EXPECT_GT(northOfIt, 60) << "the stretch without a road is driven too";
  }
}

}  // namespace
