#include "tools/demo/recorder_simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "tools/splitmix64.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double KNOTS_PER_MS = 3600.0 / 1852.0;
constexpr double KMH = 1.0 / 3.6;  // metres per second in one km/h
constexpr int32_t SECONDS_PER_DAY = 86400;

// Driving. The path is sampled every metre; the car is moved in tenths of
// a second and recorded once a second.
constexpr int SUBSTEPS = 10;
constexpr double SUBSTEP_SECONDS = 1.0 / SUBSTEPS;
constexpr double ACCELERATION = 1.4;  // m/s², pulling away
constexpr double BRAKING = 1.8;       // m/s², before lights and bends
constexpr double LATERAL = 1.8;       // m/s² allowed in bends
constexpr double SLOWEST_BEND = 4.0;  // m/s
constexpr int HEADING_SPAN = 8;       // metres either side for the direction of travel
constexpr int BEND_SPAN = 12;         // metres either side for the bend's sharpness
constexpr double URBAN_KMH[2] = {30.0, 56.0};
constexpr double EXPRESSWAY_KMH[2] = {82.0, 100.0};
constexpr double TRAFFIC_SWAY = 0.12;                 // urban speeds sway by this share ...
constexpr double TRAFFIC_WAVE = 260.0;                // ... over waves of about this many metres
constexpr double LIGHT_SPACING[2] = {350.0, 1400.0};  // metres between the lights the car stops at
constexpr int LIGHT_WAIT[2] = {20, 90};               // seconds at a red light
constexpr double NO_LIGHT_NEAR = 150.0;               // metres from the start, the parking place, the end
constexpr int PARKED_SECONDS[2] = {20 * 60, 40 * 60};
constexpr int WARM_UP_SECONDS[2] = {60, 150};  // recorder running before the car moves
constexpr int VOID_AT_START[2] = {2, 6};       // epochs without a fix when the receiver starts
constexpr int ARRIVAL_SECONDS[2] = {20, 60};   // recorder running after arrival

// The receiver.
constexpr int SATELLITE_SLOTS = 12;
constexpr int FEWEST_IN_VIEW = 8;
constexpr int SATELLITES_PER_GSV = 4;
constexpr int FEWEST_USED = 4;
constexpr int USED_SNR = 25;               // dB-Hz a satellite needs to be used in the fix
constexpr double GEOID_SEPARATION = 37.1;  // metres, around the three cities
// Dilution of precision: the horizontal one falls as more satellites are
// used; the others follow it.
constexpr double HDOP_FLOOR = 0.7;
constexpr double HDOP_PER_INVERSE_SATELLITE = 4.0;
constexpr double PDOP_PER_HDOP = 1.64;
constexpr double VDOP_PER_HDOP = 1.3;

// The simulator's random numbers, also drawn from ranges given as pairs.
class Random : public SplitMix64 {
 public:
  using SplitMix64::SplitMix64;
  using SplitMix64::Range;
  using SplitMix64::Uniform;
  double Uniform(const double (&range)[2]) { return Uniform(range[0], range[1]); }
  int Range(const int (&range)[2]) { return Range(range[0], range[1]); }
};

// A flat frame in metres around a route's first waypoint (x east, y
// north); over a few tens of kilometres it is good to a few centimetres per
// second of driving.
struct LocalFrame {
  double lat0 = 0.0, lon0 = 0.0;
  double metresPerDegreeLat = 0.0, metresPerDegreeLon = 0.0;

  explicit LocalFrame(double lat, double lon) : lat0(lat), lon0(lon) {
    const double phi = lat * PI / 180.0;
    metresPerDegreeLat = 111132.92 - 559.82 * std::cos(2 * phi) + 1.175 * std::cos(4 * phi);
    metresPerDegreeLon = 111412.84 * std::cos(phi) - 93.5 * std::cos(3 * phi);
  }
  void ToMetres(double lat, double lon, double* x, double* y) const {
    *x = (lon - lon0) * metresPerDegreeLon;
    *y = (lat - lat0) * metresPerDegreeLat;
  }
  void ToDegrees(double x, double y, double* lat, double* lon) const {
    *lat = lat0 + y / metresPerDegreeLat;
    *lon = lon0 + x / metresPerDegreeLon;
  }
};

// The route as the car drives it: one sample per metre of path.
struct Path {
  std::vector<double> x, y;
  std::vector<RoadClass> road;
  std::vector<size_t> waypointAt;  // sample of each waypoint
  size_t parkAt = 0;               // sample of the parking place (0: none)

  size_t Length() const { return x.size(); }
  // Direction of travel at sample i, radians clockwise from north.
  double Heading(size_t i) const {
    const size_t a = i >= HEADING_SPAN ? i - HEADING_SPAN : 0;
    const size_t b = std::min(Length() - 1, i + HEADING_SPAN);
    return std::atan2(x[b] - x[a], y[b] - y[a]);
  }
};

struct Point {
  double x, y;
};

// Centripetal Catmull-Rom through p1..p2 with neighbours p0 and p3: a
// smooth curve that neither overshoots nor loops at uneven spacing.
Point CatmullRom(const Point& p0, const Point& p1, const Point& p2, const Point& p3, double u) {
  auto knot = [](const Point& a, const Point& b) {
    return std::max(1e-6, std::sqrt(std::hypot(b.x - a.x, b.y - a.y)));
  };
  const double t1 = knot(p0, p1), t2 = t1 + knot(p1, p2), t3 = t2 + knot(p2, p3);
  const double t = t1 + u * (t2 - t1);
  auto lerp = [](const Point& a, const Point& b, double ta, double tb, double tt) {
    const double w = (tt - ta) / (tb - ta);
    return Point{a.x + (b.x - a.x) * w, a.y + (b.y - a.y) * w};
  };
  const Point a1 = lerp(p0, p1, 0.0, t1, t), a2 = lerp(p1, p2, t1, t2, t), a3 = lerp(p2, p3, t2, t3, t);
  const Point b1 = lerp(a1, a2, 0.0, t2, t), b2 = lerp(a2, a3, t1, t3, t);
  return lerp(b1, b2, t1, t2, t);
}

// The dense points of stretch k: the stretch's road when it has one, else
// the smooth curve from corner k to corner k + 1 sampled every half metre.
std::vector<Point> StretchPoints(const std::vector<Point>& corners, const std::vector<RoutePoint>* road,
                                 const LocalFrame& frame, size_t k) {
  std::vector<Point> points;
  if (road != nullptr && road->size() >= 2) {
    for (const RoutePoint& at : *road) {
      Point p{};
      frame.ToMetres(at.lat, at.lon, &p.x, &p.y);
      points.push_back(p);
    }
    return points;
  }
  const Point& p0 = corners[k == 0 ? 0 : k - 1];
  const Point& p3 = corners[std::min(corners.size() - 1, k + 2)];
  const double chord = std::hypot(corners[k + 1].x - corners[k].x, corners[k + 1].y - corners[k].y);
  const int pieces = std::max(8, static_cast<int>(chord / 0.5));
  for (int j = 1; j <= pieces; ++j) {
    points.push_back(CatmullRom(p0, corners[k], corners[k + 1], p3, static_cast<double>(j) / pieces));
  }
  return points;
}

// Samples the path through the waypoints (along the roads where the route
// has them) once per metre of its length.
Path BuildPath(const std::vector<RouteWaypoint>& waypoints, const RouteRoads& roads, const LocalFrame& frame) {
  std::vector<Point> corners(waypoints.size());
  for (size_t i = 0; i < waypoints.size(); ++i)
    frame.ToMetres(waypoints[i].lat, waypoints[i].lon, &corners[i].x, &corners[i].y);

  Path path;
  // A drive along a road starts where that road starts.
  Point start = corners[0];
  if (!roads.empty() && roads[0].size() >= 2) frame.ToMetres(roads[0][0].lat, roads[0][0].lon, &start.x, &start.y);
  path.x.push_back(start.x);
  path.y.push_back(start.y);
  path.road.push_back(waypoints[0].road);
  path.waypointAt.push_back(0);
  double travelled = 0.0;  // along the dense points
  Point last = start;
  for (size_t k = 0; k + 1 < corners.size(); ++k) {
    const std::vector<RoutePoint>* road = k < roads.size() ? &roads[k] : nullptr;
    for (const Point& p : StretchPoints(corners, road, frame, k)) {
      const double step = std::hypot(p.x - last.x, p.y - last.y);
      // A new sample at every whole metre passed, placed on this piece.
      while (travelled + step >= static_cast<double>(path.Length())) {
        const double w = step > 0.0 ? (static_cast<double>(path.Length()) - travelled) / step : 1.0;
        path.x.push_back(last.x + (p.x - last.x) * w);
        path.y.push_back(last.y + (p.y - last.y) * w);
        path.road.push_back(waypoints[k].road);
      }
      travelled += step;
      last = p;
    }
    path.waypointAt.push_back(path.Length() - 1);
    if (waypoints[k + 1].park) path.parkAt = path.Length() - 1;
  }
  return path;
}

enum StopKind { STOP_LIGHT, STOP_PARKED, STOP_ARRIVED };
struct Stop {
  size_t at;    // sample
  int seconds;  // standing still
  StopKind kind;
};

// Red lights every few hundred metres of city street, the parked pause and
// the destination, in path order.
std::vector<Stop> PlanStops(const Path& path, Random* random) {
  std::vector<Stop> stops;
  const double end = static_cast<double>(path.Length() - 1);
  auto quiet = [&](double s) {
    return s < NO_LIGHT_NEAR || end - s < NO_LIGHT_NEAR ||
           (path.parkAt != 0 && std::fabs(s - static_cast<double>(path.parkAt)) < NO_LIGHT_NEAR);
  };
  for (double s = random->Uniform(LIGHT_SPACING); s < end; s += random->Uniform(LIGHT_SPACING)) {
    const size_t at = static_cast<size_t>(s);
    if (quiet(s) || path.road[at] != ROAD_URBAN) continue;
    stops.push_back({at, random->Range(LIGHT_WAIT), STOP_LIGHT});
  }
  if (path.parkAt != 0) stops.push_back({path.parkAt, random->Range(PARKED_SECONDS), STOP_PARKED});
  std::sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) { return a.at < b.at; });
  stops.push_back({path.Length() - 1, random->Range(ARRIVAL_SECONDS), STOP_ARRIVED});
  return stops;
}

// The highest speed at each sample: the road's cruising speed, slower in
// bends, zero at every stop, and braking in time before each of them.
std::vector<double> SpeedLimits(const Path& path, const std::vector<Stop>& stops, Random* random) {
  const size_t n = path.Length();
  std::vector<double> cruise(path.waypointAt.size());
  for (size_t k = 0; k + 1 < path.waypointAt.size(); ++k) {
    const RoadClass road = path.road[path.waypointAt[k]];
    cruise[k] = random->Uniform(road == ROAD_EXPRESSWAY ? EXPRESSWAY_KMH : URBAN_KMH) * KMH;
  }
  const double phase = random->Uniform(0.0, 2 * PI);
  std::vector<double> limit(n);
  size_t segment = 0;
  for (size_t i = 0; i < n; ++i) {
    while (segment + 2 < path.waypointAt.size() && i >= path.waypointAt[segment + 1]) ++segment;
    double v = cruise[segment];
    if (path.road[i] == ROAD_URBAN)
      v *= 1.0 - TRAFFIC_SWAY * (0.5 + 0.5 * std::sin(phase + static_cast<double>(i) / TRAFFIC_WAVE));
    // Sharpness of the bend: change of direction per metre.
    const size_t a = i >= BEND_SPAN ? i - BEND_SPAN : 0;
    const size_t b = std::min(n - 1, i + BEND_SPAN);
    if (b > a + 1) {
      double turn = std::fabs(path.Heading(b) - path.Heading(a));
      if (turn > PI) turn = 2 * PI - turn;
      const double curvature = turn / static_cast<double>(b - a);
      if (curvature > 0.0) v = std::min(v, std::max(SLOWEST_BEND, std::sqrt(LATERAL / curvature)));
    }
    limit[i] = v;
  }
  for (const Stop& stop : stops) limit[stop.at] = 0.0;
  for (size_t i = n - 1; i-- > 0;)
    limit[i] = std::min(limit[i], std::sqrt(limit[i + 1] * limit[i + 1] + 2.0 * BRAKING));
  return limit;
}

// One second of the recorder.
struct Epoch {
  int32_t second;  // since midnight, Japan time
  bool fix;        // the receiver has a position
  double lat, lon;
  double speed;   // metres per second
  double course;  // degrees clockwise from true north
  double altitude;
};

// Drives the path: standing with the recorder on, then pulling away,
// braking for lights and bends, the parked pause and the arrival.
std::vector<Epoch> Drive(const DriveDay& drive, const Path& path, const LocalFrame& frame, Random* random,
                         DriveSummary* summary) {
  const std::vector<Stop> stops = PlanStops(path, random);
  const std::vector<double> limit = SpeedLimits(path, stops, random);
  const int voidEpochs = random->Range(VOID_AT_START);
  const int warmUp = random->Range(WARM_UP_SECONDS);
  const int dropout = voidEpochs + random->Range(5, 30);  // one more void fix while starting

  std::vector<Epoch> epochs;
  double s = 0.0, v = 0.0, course = path.Heading(0) * 180.0 / PI;
  size_t nextStop = 0;
  size_t servedAt = SIZE_MAX;  // the stop the car has just left
  int waiting = warmUp;
  bool arrived = false;
  auto limitAt = [&](double position) {
    size_t i = std::min(path.Length() - 1, static_cast<size_t>(position) + 1);
    if (i == servedAt && i + 1 < path.Length()) ++i;
    return limit[i];
  };
  for (int32_t t = 0;; ++t) {
    const int32_t second = drive.startMinute * 60 + t;
    if (second >= SECONDS_PER_DAY) break;
    Epoch epoch;
    epoch.second = second;
    epoch.fix = t >= voidEpochs && t != dropout;
    const size_t i = std::min(path.Length() - 1, static_cast<size_t>(s));
    const double w = s - static_cast<double>(i);
    const size_t j = std::min(path.Length() - 1, i + 1);
    frame.ToDegrees(path.x[i] + (path.x[j] - path.x[i]) * w, path.y[i] + (path.y[j] - path.y[i]) * w, &epoch.lat,
                    &epoch.lon);
    if (v > 0.5) course = std::fmod(path.Heading(i) * 180.0 / PI + 360.0, 360.0);
    epoch.speed = v;
    epoch.course = course;
    epoch.altitude = 12.0 + 7.0 * std::sin(path.x[i] / 2300.0) + 5.0 * std::cos(path.y[i] / 1700.0) +
                     (path.road[i] == ROAD_EXPRESSWAY ? 14.0 : 0.0);
    epochs.push_back(epoch);
    summary->topSpeed = std::max(summary->topSpeed, v);

    if (waiting > 0) {
      if (--waiting == 0 && arrived) break;
      continue;
    }
    for (int k = 0; k < SUBSTEPS; ++k) {
      v = std::min(v + ACCELERATION * SUBSTEP_SECONDS, limitAt(s));
      s += v * SUBSTEP_SECONDS;
      const Stop& stop = stops[nextStop];
      if (v == 0.0 && static_cast<size_t>(s) + 1 >= stop.at) {
        waiting = stop.seconds;
        servedAt = stop.at;
        arrived = stop.kind == STOP_ARRIVED;
        if (stop.kind == STOP_LIGHT) ++summary->lightStops;
        if (stop.kind == STOP_PARKED) summary->parkedSeconds = stop.seconds;
        if (!arrived) ++nextStop;
        break;
      }
    }
  }
  summary->metres = s;
  return epochs;
}

// --- Sentences ---

void AppendSentence(std::string* log, const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  log->append("$").append(body).append(tail);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return std::string(buffer, static_cast<size_t>(std::clamp(length, 0, static_cast<int>(sizeof buffer) - 1)));
}

// Degrees as ddmm.mmmm (latitude, 2 degree digits) or dddmm.mmmm (3).
std::string FormatDegrees(double degrees, int degreeDigits) {
  const long long tenThousandths = std::llround(degrees * 60.0 * 10000.0);
  const long long whole = tenThousandths / 600000;
  const long long minutes = tenThousandths % 600000;
  return Format("%0*lld%02lld.%04lld", degreeDigits, whole, minutes / 10000, minutes % 10000);
}

struct Date {
  int32_t year, month, day;
};

int32_t DaysInMonth(int32_t year, int32_t month) {
  static const int32_t DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : DAYS[month - 1];
}

Date DayBefore(const Date& date) {
  if (date.day > 1) return {date.year, date.month, date.day - 1};
  if (date.month > 1) return {date.year, date.month - 1, DaysInMonth(date.year, date.month - 1)};
  return {date.year - 1, 12, 31};
}

// The satellites in view: twelve that move slowly over the sky, of which
// buildings hide the lowest at times, so that 8 to 12 are in view.
class Sky {
 public:
  explicit Sky(Random* random) {
    int prns[32];
    for (int i = 0; i < 32; ++i) prns[i] = i + 1;
    for (int i = 0; i < SATELLITE_SLOTS; ++i) std::swap(prns[i], prns[i + random->Range(0, 31 - i)]);
    for (int i = 0; i < SATELLITE_SLOTS; ++i) {
      Satellite& satellite = satellites[i];
      satellite.prn = prns[i];
      satellite.lowest = random->Uniform(8.0, 25.0);
      satellite.highest = random->Uniform(35.0, 88.0);
      satellite.phase = random->Uniform(0.0, 2 * PI);
      satellite.azimuth = random->Uniform(0.0, 360.0);
      satellite.azimuthPerHour = random->Uniform(-30.0, 30.0);
    }
    maskPhase = random->Uniform(0.0, 2 * PI);
  }

  struct InView {
    int prn, elevation, azimuth, snr;
  };
  // The satellites in view at `second`, highest first.
  std::vector<InView> At(int32_t second, Random* random) const {
    const double hours = second / 3600.0;
    std::vector<InView> view;
    for (const Satellite& satellite : satellites) {
      const double rise = 0.5 + 0.5 * std::sin(satellite.phase + hours * 2 * PI / 6.0);
      const double elevation = satellite.lowest + (satellite.highest - satellite.lowest) * rise;
      const double azimuth = std::fmod(satellite.azimuth + satellite.azimuthPerHour * hours + 720.0, 360.0);
      const double snr = 18.0 + 0.3 * elevation + random->Uniform(-3.0, 3.0);
      view.push_back({satellite.prn, static_cast<int>(elevation), static_cast<int>(azimuth),
                      std::clamp(static_cast<int>(snr), 15, 50)});
    }
    std::sort(view.begin(), view.end(), [](const InView& a, const InView& b) { return a.elevation > b.elevation; });
    const double open = 0.5 + 0.5 * std::sin(maskPhase + second / 420.0);
    view.resize(FEWEST_IN_VIEW + static_cast<size_t>(open * (SATELLITE_SLOTS - FEWEST_IN_VIEW) + 0.5));
    return view;
  }

 private:
  struct Satellite {
    int prn = 0;
    double lowest = 0, highest = 0, phase = 0, azimuth = 0, azimuthPerHour = 0;
  };
  Satellite satellites[SATELLITE_SLOTS];
  double maskPhase = 0.0;
};

// One epoch's sentences: RMC, GGA, GSA, GSV.
void AppendEpoch(const Epoch& epoch, const DriveDay& drive, const Sky& sky, Random* random, std::string* log,
                 DriveSummary* summary) {
  Date date{drive.year, drive.month, drive.day};
  int32_t utc = epoch.second - JAPAN_UTC_OFFSET_SECONDS;
  if (utc < 0) {
    utc += SECONDS_PER_DAY;
    date = DayBefore(date);
  }
  const std::string time = Format("%02d%02d%02d.00", utc / 3600, utc / 60 % 60, utc % 60);
  const std::string day = Format("%02d%02d%02d", date.day, date.month, date.year % 100);
  const std::vector<Sky::InView> view = sky.At(epoch.second, random);
  std::vector<int> used;
  for (const Sky::InView& satellite : view) {
    if (satellite.snr >= USED_SNR || used.size() < FEWEST_USED) used.push_back(satellite.prn);
  }
  const double hdop =
      HDOP_FLOOR + HDOP_PER_INVERSE_SATELLITE / static_cast<double>(used.size()) + random->Uniform(-0.05, 0.05);

  if (epoch.fix) {
    const std::string lat = FormatDegrees(epoch.lat, 2), lon = FormatDegrees(epoch.lon, 3);
    AppendSentence(log, Format("GPRMC,%s,A,%s,N,%s,E,%.1f,%.1f,%s,,,A", time.c_str(), lat.c_str(), lon.c_str(),
                               epoch.speed * KNOTS_PER_MS, epoch.course, day.c_str()));
    AppendSentence(log, Format("GPGGA,%s,%s,N,%s,E,1,%02zu,%.1f,%.1f,M,%.1f,M,,", time.c_str(), lat.c_str(),
                               lon.c_str(), used.size(), hdop, epoch.altitude, GEOID_SEPARATION));
    std::string gsa = "GPGSA,A,3";
    for (int slot = 0; slot < SATELLITE_SLOTS; ++slot) {
      gsa += slot < static_cast<int>(used.size()) ? Format(",%02d", used[slot]) : std::string(",");
    }
    AppendSentence(log, gsa + Format(",%.1f,%.1f,%.1f", hdop * PDOP_PER_HDOP, hdop, hdop * VDOP_PER_HDOP));
    ++summary->positionFixes;
  } else {
    AppendSentence(log, Format("GPRMC,%s,V,,,,,,,%s,,,N", time.c_str(), day.c_str()));
    AppendSentence(log, Format("GPGGA,%s,,,,,0,%02d,,,M,,M,,", time.c_str(), random->Range(0, 3)));
    AppendSentence(log, "GPGSA,A,1" + std::string(SATELLITE_SLOTS + 3, ','));
    ++summary->voidFixes;
  }
  const int messages = static_cast<int>((view.size() + SATELLITES_PER_GSV - 1) / SATELLITES_PER_GSV);
  for (int m = 0; m < messages; ++m) {
    std::string gsv = Format("GPGSV,%d,%d,%02zu", messages, m + 1, view.size());
    for (size_t k = static_cast<size_t>(m) * SATELLITES_PER_GSV;
         k < view.size() && k < static_cast<size_t>(m + 1) * SATELLITES_PER_GSV; ++k) {
      // Satellites still being acquired have no signal strength yet.
      const bool acquired = epoch.fix || k % 2 == 0;
      gsv += acquired ? Format(",%02d,%02d,%03d,%02d", view[k].prn, view[k].elevation, view[k].azimuth, view[k].snr)
                      : Format(",%02d,%02d,%03d,", view[k].prn, view[k].elevation, view[k].azimuth);
    }
    AppendSentence(log, gsv);
  }
  ++summary->epochs;
}

bool IsRealDay(int32_t year, int32_t month, int32_t day) {
  return year >= 2000 && year <= 2029 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

}  // namespace

int SimulateDrive(const DriveDay& drive, std::string* log, DriveSummary* summary) {
  if (!IsRealDay(drive.year, drive.month, drive.day) || drive.route == nullptr || drive.route->count < 2 ||
      drive.startMinute < 0 || drive.startMinute >= SECONDS_PER_DAY / 60) {
    return -1;
  }
  std::vector<RouteWaypoint> waypoints(drive.route->waypoints, drive.route->waypoints + drive.route->count);
  if (drive.reverse) {
    // Each road class belongs to the stretch after its waypoint, which is
    // the stretch before it once the route is turned round.
    std::reverse(waypoints.begin(), waypoints.end());
    for (size_t k = 0; k + 1 < waypoints.size(); ++k) waypoints[k].road = waypoints[k + 1].road;
  }
  // The roads in driving order: reversed stretches, each driven backwards.
  RouteRoads roads;
  if (drive.roads != nullptr) {
    roads = *drive.roads;
    roads.resize(waypoints.size() - 1);
    if (drive.reverse) {
      std::reverse(roads.begin(), roads.end());
      for (std::vector<RoutePoint>& road : roads) std::reverse(road.begin(), road.end());
    }
  }
  DriveSummary scratch;
  DriveSummary* out = summary != nullptr ? summary : &scratch;
  *out = DriveSummary();
  Random random(drive.seed);
  const LocalFrame frame(waypoints[0].lat, waypoints[0].lon);
  const Path path = BuildPath(waypoints, roads, frame);
  const std::vector<Epoch> epochs = Drive(drive, path, frame, &random, out);
  const Sky sky(&random);
  log->clear();
  log->reserve(epochs.size() * 420);
  for (const Epoch& epoch : epochs) AppendEpoch(epoch, drive, sky, &random, log, out);
  out->firstMinute = epochs.front().second / 60;
  out->lastMinute = epochs.back().second / 60;
  return 0;
}
