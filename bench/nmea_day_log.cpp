#include "bench/nmea_day_log.h"
#include "tools/splitmix64.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {


constexpr uint64_t SEED = 5;
constexpr double METRES_PER_DEGREE_LAT = 111320.0;
constexpr double KNOTS_PER_MS = 1.943844;
constexpr double PI = 3.14159265358979323846;
// Tokyo Station; the car stays within about 30 km of it.
constexpr double HOME_LAT = 35.681236;
constexpr double HOME_LON = 139.767125;
constexpr double HOME_RADIUS_METRES = 30000.0;
// 2009-05-11 22:00:00 UTC, 07:00 on 12 May in Japan.
constexpr int START_SECOND_OF_DAY = 22 * 3600;
constexpr int SATELLITES_PER_GSV = 4;

struct Car {
  double lat = HOME_LAT;
  double lon = HOME_LON;
  double heading = 0.7;  // radians from north, clockwise
  double speed = 0.0;    // metres per second
  int stopSeconds = 30;  // standing still for this many more seconds
};

// One second of driving: stops at lights and parking, otherwise a speed and
// heading that wander, turning back towards Tokyo when far out. A standing
// car's position jitters by a metre or two, as a receiver's does.
void Advance(Car* car, SplitMix64* random, double* shownLat, double* shownLon) {
  const double metresPerDegreeLon = METRES_PER_DEGREE_LAT * std::cos(car->lat * PI / 180.0);
  if (car->stopSeconds > 0) {
    --car->stopSeconds;
    car->speed = 0.0;
    *shownLat = car->lat + random->Uniform(-1.5, 1.5) / METRES_PER_DEGREE_LAT;
    *shownLon = car->lon + random->Uniform(-1.5, 1.5) / metresPerDegreeLon;
    return;
  }
  if (random->Range(0, 999) < 3) car->stopSeconds = random->Range(10, 90);            // traffic light
  if (random->Range(0, 9999) < 2) car->stopSeconds = random->Range(600, 1800);        // parked
  car->speed = std::fmin(25.0, std::fmax(3.0, car->speed + random->Uniform(-1.5, 1.6)));
  car->heading += random->Uniform(-0.08, 0.08);
  const double north = (car->lat - HOME_LAT) * METRES_PER_DEGREE_LAT;
  const double east = (car->lon - HOME_LON) * metresPerDegreeLon;
  if (std::hypot(north, east) > HOME_RADIUS_METRES) car->heading = std::atan2(-east, -north);
  car->lat += car->speed * std::cos(car->heading) / METRES_PER_DEGREE_LAT;
  car->lon += car->speed * std::sin(car->heading) / metresPerDegreeLon;
  *shownLat = car->lat;
  *shownLon = car->lon;
}

// "$" + body + "*" + checksum + CR LF.
void AppendSentence(std::string* log, const char* body) {
  unsigned sum = 0;
  for (const char* c = body; *c != '\0'; ++c) sum ^= static_cast<unsigned char>(*c);
  char sentence[320];
  int length = std::snprintf(sentence, sizeof sentence, "$%s*%02X\r\n", body, sum);
  log->append(sentence, static_cast<size_t>(length));
}

// Degrees as NMEA ddmm.mmmm (latitude) or dddmm.mmmm (longitude).
void FormatDegrees(char* out, size_t size, double degrees, int degreeDigits) {
  long long tenThousandthsOfMinutes = std::llround(degrees * 60.0 * 10000.0);
  long long whole = tenThousandthsOfMinutes / 600000;
  long long minutes = tenThousandthsOfMinutes % 600000;
  std::snprintf(out, size, "%0*lld%02lld.%04lld", degreeDigits, whole, minutes / 10000, minutes % 10000);
}

}  // namespace

std::string GenerateNmeaDayLog(size_t bytes) {
  std::string log;
  log.reserve(bytes + 1024);
  SplitMix64 random(SEED);
  Car car;
  char body[256];
  char lat[32];
  char lon[32];
  for (long second = 0; log.size() < bytes; ++second) {
    double shownLat = 0.0;
    double shownLon = 0.0;
    Advance(&car, &random, &shownLat, &shownLon);
    FormatDegrees(lat, sizeof lat, shownLat, 2);
    FormatDegrees(lon, sizeof lon, shownLon, 3);
    const long utc = START_SECOND_OF_DAY + second;
    const int day = utc >= 86400 ? 12 : 11;
    const long s = utc % 86400;
    char time[16];
    std::snprintf(time, sizeof time, "%02ld%02ld%02ld.00", s / 3600, s / 60 % 60, s % 60);
    const double course = std::fmod(car.heading * 180.0 / PI + 720.0, 360.0);

    std::snprintf(body, sizeof body, "GPRMC,%s,A,%s,N,%s,E,%.2f,%.2f,%02d0509,,,A", time, lat, lon,
                  car.speed * KNOTS_PER_MS, course, day);
    AppendSentence(&log, body);

    const int satellites = random.Range(8, 12);
    std::snprintf(body, sizeof body, "GPGGA,%s,%s,N,%s,E,1,%02d,%.1f,%.1f,M,,M,,", time, lat, lon, satellites,
                  random.Uniform(0.7, 1.6), random.Uniform(3.0, 60.0));
    AppendSentence(&log, body);

    int prns[12];
    for (int i = 0; i < satellites; ++i) prns[i] = 1 + (i * 7 + static_cast<int>(second / 600)) % 32;
    int length = std::snprintf(body, sizeof body, "GPGSA,A,3");
    for (int i = 0; i < 12; ++i) {
      length += i < satellites ? std::snprintf(body + length, sizeof body - length, ",%02d", prns[i])
                               : std::snprintf(body + length, sizeof body - length, ",");
    }
    std::snprintf(body + length, sizeof body - length, ",%.1f,%.1f,%.1f", random.Uniform(1.2, 2.5),
                  random.Uniform(0.7, 1.6), random.Uniform(1.0, 2.0));
    AppendSentence(&log, body);

    const int gsvCount = (satellites + SATELLITES_PER_GSV - 1) / SATELLITES_PER_GSV;
    for (int g = 0; g < gsvCount; ++g) {
      length = std::snprintf(body, sizeof body, "GPGSV,%d,%d,%02d", gsvCount, g + 1, satellites);
      for (int i = g * SATELLITES_PER_GSV; i < satellites && i < (g + 1) * SATELLITES_PER_GSV; ++i) {
        length += std::snprintf(body + length, sizeof body - length, ",%02d,%02d,%03d,%02d", prns[i],
                                random.Range(5, 89), random.Range(0, 359), random.Range(20, 50));
      }
      AppendSentence(&log, body);
    }
  }
  log.resize(bytes);
  return log;
}
