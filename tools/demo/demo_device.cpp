#include "tools/demo/demo_device.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

#include "logs/nmea_reader.h"
#include "logs/recording_settings.h"
#include "platform/file_replacement.h"
#include "platform/files.h"
#include "tools/demo/recorder_simulator.h"
#include "tools/mapwriter/demo_content.h"
#include "tools/mapwriter/map_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr char MAP_PATH[] = "\\NAND\\CMC\\KDH\\ALLDATA.KWI";
constexpr char LOG_ROOT[] = "\\SDMMC\\TEVOLOG\\";
// The top-level entries of a demo device.
constexpr const char* DEMO_ROOT_ENTRIES[] = {DEMO_MARKER_NAME, "NAND", "SDMMC"};
constexpr char MARKER_TEXT[] =
    "A demo device made by \"tevo-logtool demo\". Making a demo device here again\n"
    "replaces NAND/ and SDMMC/.\n";
// Around each log's points the map reaches this much further (map units,
// about 2 km), so that the first view of a day shows map all round.
constexpr int32_t MAP_MARGIN = MAP_UNITS_PER_DEGREE / 50;

// A log on the demo device: a simulated drive or a real receiver log.
struct DemoLog {
  int32_t year, month, day;
  const char* realLog;  // under the nmea folder; null for a simulated drive
  int route;            // index into DEMO_ROUTES
  bool reverse;
  int32_t startMinute;  // Japan time
};

constexpr int32_t At(int hour, int minute) { return hour * 60 + minute; }
constexpr DemoLog Drive(int32_t y, int32_t m, int32_t d, int route, bool reverse, int32_t start) {
  return {y, m, d, nullptr, route, reverse, start};
}
constexpr DemoLog Real(int32_t y, int32_t m, int32_t d, const char* file) { return {y, m, d, file, -1, false, 0}; }

// Routes: 0 Tokyo west, 1 Tokyo bay, 2 Nagoya centre, 3 Osaka.
const DemoLog DEMO_LOGS[] = {
    Drive(2025, 11, 3, 0, false, At(8, 12)),
    Real(2025, 11, 15, "japan/gpsd_iTrek.log"),
    Real(2025, 11, 22, "elsewhere/gpsd_beidou-bd.log"),
    Drive(2025, 11, 24, 3, false, At(8, 25)),
    Real(2025, 11, 29, "elsewhere/gpsd_tn200.log"),
    Real(2025, 12, 6, "elsewhere/nmeaparser_NmeaSampleData.txt"),
    Drive(2025, 12, 7, 1, false, At(8, 5)),
    Real(2025, 12, 13, "elsewhere/gpsd_haicom-305N.log"),
    Drive(2025, 12, 20, 2, false, At(8, 50)),
    Real(2025, 12, 27, "elsewhere/gpsd_quectel-l76k-nmea.log"),
    Drive(2026, 1, 3, 3, true, At(8, 30)),
    Real(2026, 1, 10, "broken/gpsd_gp-320fw-2019-04-07-coldboot.log"),
    Drive(2026, 1, 12, 0, true, At(7, 55)),
    Real(2026, 1, 24, "broken/gpsd_gpsdf.log"),
    Real(2026, 1, 31, "broken/josm_regress2147_WG20080203171807.log.nmea"),
    Drive(2026, 2, 7, 1, true, At(8, 20)),
    Drive(2026, 2, 21, 0, false, At(8, 45)),
};
constexpr uint64_t DEMO_SEED = 20260221;

std::string DayLogPath(const DemoLog& log) {
  char path[64];
  std::snprintf(path, sizeof path, "%s%04d\\%02d\\%04d%02d%02d.log", LOG_ROOT, log.year, log.month, log.year, log.month,
                log.day);
  return path;
}

// Resolves a device path under the device root and creates the folders
// that lead to it.
int PrepareDeviceFile(const std::string& devicePath, std::string* hostPath, std::string* error) {
  if (ResolveDevicePath(devicePath.c_str(), hostPath) != 0) {
    *error = "cannot resolve " + devicePath;
    return -1;
  }
  std::error_code code;
  fs::create_directories(fs::path(*hostPath).parent_path(), code);
  if (code) {
    *error = "cannot create the folder of " + *hostPath + ": " + code.message();
    return -1;
  }
  return 0;
}

int WriteHostFile(const std::string& path, const std::string& bytes, std::string* error) {
  return ReplaceFileWhole(path, bytes.data(), bytes.size(), error);
}

uint64_t FileBytes(const std::string& path) {
  std::error_code code;
  const uintmax_t size = fs::file_size(path, code);
  return code ? 0 : static_cast<uint64_t>(size);
}

// Empties a demo device made earlier: only its own top-level entries go.
int ClearPreviousDevice(const fs::path& root, std::string* error) {
  for (const char* name : DEMO_ROOT_ENTRIES) {
    std::error_code code;
    fs::remove_all(root / name, code);
    if (code) {
      *error = "cannot remove " + (root / name).string() + ": " + code.message();
      return -1;
    }
  }
  return 0;
}

int WriteSettings(const DemoProgress& progress, DemoDeviceSummary* summary, std::string* error) {
  std::string host;
  if (PrepareDeviceFile(RECORDING_SETTINGS_PATH, &host, error) != 0) return -1;
  WriteDefaultRecordingSettings();
  RecordingSettings settings;
  if (ReadRecordingSettings(&settings) != 0) {
    *error = "cannot write the recording settings " + host;
    return -1;
  }
  summary->bytes += FileBytes(host);
  progress(std::string("settings  ") + RECORDING_SETTINGS_PATH + "  the default record (recording off)");
  return 0;
}

std::string ReadWholeFile(const std::string& path, bool* ok) {
  std::string bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  *ok = file != nullptr;
  if (file == nullptr) return bytes;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  *ok = std::ferror(file) == 0;
  std::fclose(file);
  return bytes;
}

std::string Describe(const DriveRoute& route, bool reverse, const DriveSummary& drive) {
  const RouteWaypoint& from = route.waypoints[reverse ? route.count - 1 : 0];
  const RouteWaypoint& to = route.waypoints[reverse ? 0 : route.count - 1];
  char text[256];
  std::snprintf(text, sizeof text,
                "simulated drive, %s: %s to %s, %02d:%02d-%02d:%02d, %.1f km, %d stops at lights, parked %d min, "
                "top %.0f km/h, %d fixes",
                route.city, from.place, to.place, drive.firstMinute / 60, drive.firstMinute % 60, drive.lastMinute / 60,
                drive.lastMinute % 60, drive.metres / 1000.0, drive.lightStops, drive.parkedSeconds / 60,
                drive.topSpeed * 3.6, drive.positionFixes);
  return text;
}

// The points of a written log as the viewer reads them: widens `covered`
// by the log's bounding box when it has any. Returns the point count.
int32_t AccumulateTrack(const std::string& host, std::vector<InclusiveRect>* covered) {
  Track* track = LoadTrack(host.c_str());
  if (track == nullptr) return 0;
  const int32_t count = track->count;
  if (count > 0) {
    covered->push_back({track->minLon - MAP_MARGIN, track->minLat - MAP_MARGIN, track->maxLon + MAP_MARGIN,
                        track->maxLat + MAP_MARGIN});
  }
  ReleaseTrack(track);
  return count;
}

// The roads of every demo route that the router finds, by route.
std::vector<RouteRoads> FindRoads(const DemoRouter& router, const DemoProgress& progress) {
  std::vector<RouteRoads> roads(DEMO_ROUTE_COUNT);
  if (!router) return roads;
  if (router(DEMO_ROUTES, DEMO_ROUTE_COUNT, &roads) != 0 || roads.size() != DEMO_ROUTE_COUNT) {
    roads.assign(DEMO_ROUTE_COUNT, {});
  }
  for (int route = 0; route < DEMO_ROUTE_COUNT; ++route) {
    const int stretches = static_cast<int>(std::count_if(roads[route].begin(), roads[route].end(),
                                                         [](const std::vector<RoutePoint>& s) { return !s.empty(); }));
    const int all = DEMO_ROUTES[route].count - 1;
    progress(std::string("roads     ") + DEMO_ROUTES[route].city + " route " + std::to_string(route) + ": " +
             (stretches > 0 ? std::to_string(stretches) + " of " + std::to_string(all) + " stretches along the map's roads"
                            : "no roads in the map's data, a smooth path through the waypoints"));
    if (stretches <= 0) roads[route].clear();
  }
  return roads;
}

int WriteLogs(const std::string& nmeaDirectory, const DemoProgress& progress, const DemoRouter& router,
              DemoDeviceSummary* summary, std::vector<InclusiveRect>* covered, std::string* error) {
  const std::vector<RouteRoads> roads = FindRoads(router, progress);
  std::set<int32_t> months;
  uint64_t seed = DEMO_SEED;
  for (const DemoLog& log : DEMO_LOGS) {
    std::string bytes, description;
    if (log.realLog != nullptr) {
      bool ok = false;
      bytes = ReadWholeFile(nmeaDirectory + "/" + log.realLog, &ok);
      if (!ok) {
        *error = "cannot read the receiver log " + nmeaDirectory + "/" + log.realLog;
        return -1;
      }
      description = std::string("real receiver log ") + log.realLog;
      ++summary->realLogs;
    } else {
      DriveDay day{log.year, log.month, log.day, log.startMinute, &DEMO_ROUTES[log.route], log.reverse, seed++,
                   roads[log.route].empty() ? nullptr : &roads[log.route]};
      DriveSummary drive;
      if (SimulateDrive(day, &bytes, &drive) != 0) {
        *error = "cannot simulate the drive of " + DayLogPath(log);
        return -1;
      }
      description = Describe(DEMO_ROUTES[log.route], log.reverse, drive);
      ++summary->simulatedLogs;
    }
    const std::string device = DayLogPath(log);
    std::string host;
    if (PrepareDeviceFile(device, &host, error) != 0 || WriteHostFile(host, bytes, error) != 0) return -1;
    summary->bytes += bytes.size();
    const int32_t points = AccumulateTrack(host, covered);
    if (log.realLog != nullptr) {
      description += points > 0 ? ", " + std::to_string(points) + " points in the viewer's area"
                                : ", no point in the viewer's area (the map opens on its default view)";
    }
    progress("log       " + device + "  " + description);
    months.insert(log.year * 100 + log.month);
  }
  summary->months = static_cast<int32_t>(months.size());
  summary->oldestYear = *months.begin() / 100;
  summary->oldestMonth = *months.begin() % 100;
  summary->newestYear = *months.rbegin() / 100;
  summary->newestMonth = *months.rbegin() % 100;
  return 0;
}

// The map from open data; false (with the reason said) when it failed and
// the synthetic map is to be written instead.
bool WriteBuiltMap(const DemoMapBuilder& builder, const DemoProgress& progress, DemoDeviceSummary* summary) {
  std::string host, why;
  const int parcels = PrepareDeviceFile(MAP_PATH, &host, &why) == 0 ? builder(host, &why) : -1;
  if (parcels >= 0) {
    summary->mapParcels = parcels;
    std::error_code code;
    const uintmax_t bytes = fs::file_size(host, code);
    summary->bytes += code ? 0 : bytes;
    progress(std::string("map       ") + MAP_PATH + "  built from open data, " + std::to_string(bytes / 1024) + " KiB");
    return true;
  }
  progress("map       the map from open data failed (" + why + "); writing the synthetic map instead");
  return false;
}

int WriteMap(const std::vector<InclusiveRect>& covered, const DemoMapBuilder& builder, const DemoProgress& progress,
             DemoDeviceSummary* summary, std::string* error) {
  if (builder && WriteBuiltMap(builder, progress, summary)) return 0;
  MapDescription map;
  map.headerTexts[0] = "TEVO DEMO MAP";
  map.headerTexts[1] = "Tokyo, Nagoya, Osaka and the demo logs";
  const ParcelFiller content = DemoContentFiller();
  if (DescribeDemoMap(&map, content) != 0) {
    *error = "cannot describe the demo map";
    return -1;
  }
  for (int level = 0; level < static_cast<int>(map.levels.size()); ++level) {
    for (const InclusiveRect& box : covered) {
      if (CoverBox(&map, level, box, content) < 0) {
        *error = "cannot cover the logs with the map";
        return -1;
      }
    }
  }
  std::string host;
  MapLayout layout;
  if (PrepareDeviceFile(MAP_PATH, &host, error) != 0 || WriteMapFile(map, host.c_str(), &layout, error) != 0) {
    return -1;
  }
  summary->mapParcels = static_cast<int32_t>(map.parcels.size());
  summary->bytes += layout.fileBytes;
  char line[256];
  std::snprintf(line, sizeof line, "map       %s  %zu levels, %zu parcels, %u KiB", MAP_PATH, map.levels.size(),
                map.parcels.size(), layout.fileBytes / 1024);
  progress(line);
  return 0;
}

}  // namespace

int InspectDemoRoot(const std::string& root, std::string* reason) {
  std::string scratch;
  std::string* why = reason != nullptr ? reason : &scratch;
  std::error_code code;
  const fs::file_status status = fs::status(root, code);
  if (code || status.type() == fs::file_type::not_found) return DEMO_ROOT_NEW;
  if (status.type() != fs::file_type::directory) {
    *why = root + " exists and is not a directory";
    return DEMO_ROOT_FOREIGN;
  }
  bool marked = false, empty = true;
  std::string stranger;
  for (fs::directory_iterator it(root, code), end; !code && it != end; it.increment(code)) {
    empty = false;
    const std::string name = it->path().filename().string();
    const bool own = std::find_if(std::begin(DEMO_ROOT_ENTRIES), std::end(DEMO_ROOT_ENTRIES),
                                  [&](const char* e) { return name == e; }) != std::end(DEMO_ROOT_ENTRIES);
    if (name == DEMO_MARKER_NAME) marked = true;
    if (!own && stranger.empty()) stranger = name;
  }
  if (code) {
    *why = root + " cannot be read: " + code.message();
    return DEMO_ROOT_FOREIGN;
  }
  if (empty) return DEMO_ROOT_NEW;
  if (!marked) {
    *why = root + " is not empty and holds no demo device (no " + DEMO_MARKER_NAME + " file)";
    return DEMO_ROOT_FOREIGN;
  }
  if (!stranger.empty()) {
    *why = root + " holds \"" + stranger + "\", which is not part of a demo device";
    return DEMO_ROOT_FOREIGN;
  }
  return DEMO_ROOT_PREVIOUS;
}

bool HasDemoNmeaLogs(const std::string& directory) {
  for (const DemoLog& log : DEMO_LOGS) {
    std::error_code code;
    if (log.realLog != nullptr && !fs::is_regular_file(directory + "/" + log.realLog, code)) return false;
  }
  return true;
}

int BuildDemoDevice(const std::string& root, const std::string& nmeaDirectory, const DemoProgress& progress,
                    DemoDeviceSummary* summary, std::string* error) {
  return BuildDemoDeviceWithMap(root, nmeaDirectory, progress, DemoMapBuilder(), summary, error);
}

int BuildDemoDeviceWithMap(const std::string& root, const std::string& nmeaDirectory, const DemoProgress& progress,
                           const DemoMapBuilder& mapBuilder, DemoDeviceSummary* summary, std::string* error,
                           const DemoRouter& router) {
  *summary = DemoDeviceSummary();
  const int state = InspectDemoRoot(root, error);
  if (state == DEMO_ROOT_FOREIGN) return -1;
  if (!HasDemoNmeaLogs(nmeaDirectory)) {
    *error = "the receiver logs are missing in " + nmeaDirectory;
    return -1;
  }
  if (state == DEMO_ROOT_PREVIOUS && ClearPreviousDevice(root, error) != 0) return -1;
  std::error_code code;
  fs::create_directories(root, code);
  if (code) {
    *error = "cannot create " + root + ": " + code.message();
    return -1;
  }
  // The marker goes first, so that a device left half made by an
  // interruption can be made again.
  if (WriteHostFile((fs::path(root) / DEMO_MARKER_NAME).string(), MARKER_TEXT, error) != 0) return -1;
  SetDeviceRoot(root.c_str());

  std::vector<InclusiveRect> covered;
  if (WriteSettings(progress, summary, error) != 0) return -1;
  if (WriteLogs(nmeaDirectory, progress, router, summary, &covered, error) != 0) return -1;
  return WriteMap(covered, mapBuilder, progress, summary, error);
}
