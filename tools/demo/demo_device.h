// The demo device: a device root on this machine that holds what a real
// device would after a few months of use, for trying the viewer.
//
//   NAND\QXAPP\Data\TEVOLOG.ini             the default recording settings
//   \SDMMC\TEVOLOG\yyyy\mm\yyyymmdd.log     day logs from November 2025 to
//                                           February 2026: simulated drives
//                                           around Tokyo, Nagoya and Osaka, and
//                                           real receiver logs copied as they are
//   \NAND\CMC\KDH\ALLDATA.KWI               a map covering every log that has
//                                           points in the viewer's area, at
//                                           every detail level
//
// A marker file at the root tells a demo device made earlier, which may be
// made again in the same place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/demo/recorder_simulator.h"

// The marker file at the root of a demo device.
constexpr char DEMO_MARKER_NAME[] = ".tevo-demo-device";

// What a device root may be made from.
enum DemoRootState {
  DEMO_ROOT_NEW = 0,       // missing, or an empty directory
  DEMO_ROOT_PREVIOUS = 1,  // a demo device made earlier: only the marker, "NAND" and "SDMMC"
  DEMO_ROOT_FOREIGN = -1,  // anything else: a file, or a directory with other content
};

// Looks at `root` (a host directory) without changing it. `reason` (may be
// null) gets a sentence on why a root is foreign.
int InspectDemoRoot(const std::string& root, std::string* reason);

// One line of progress: what was written where.
using DemoProgress = std::function<void(const std::string& line)>;

struct DemoDeviceSummary {
  int32_t simulatedLogs = 0;
  int32_t realLogs = 0;
  int32_t months = 0;
  int32_t newestYear = 0, newestMonth = 0;  // the month the viewer opens on
  int32_t oldestYear = 0, oldestMonth = 0;
  int32_t mapParcels = 0;
  uint64_t bytes = 0;  // of all files written
};

// Makes the demo device under the host directory `root`: creates it, or
// empties a demo device made there before, then writes the settings file,
// the logs and the map, calling `progress` once per file. The real logs are
// read from `nmeaDirectory` (the folder with japan/, elsewhere/ and broken/).
// Changes the process's device root to `root`. Returns 0, or -1 with the
// reason in *error: a foreign root (nothing is changed then), a missing real
// log, or a file that cannot be written.
int BuildDemoDevice(const std::string& root, const std::string& nmeaDirectory, const DemoProgress& progress,
                    DemoDeviceSummary* summary, std::string* error);

// Writes the demo device's map to the host file `hostPath` from open data.
// Returns the number of parcels written, or -1 with the reason in *error.
using DemoMapBuilder = std::function<int(const std::string& hostPath, std::string* error)>;

// Finds the roads of the `count` routes at `routes` (see RouteRoads): fills
// `roads` with one entry per route, each with one entry per stretch, empty
// where the stretch has no road to follow. Returns 0, or -1 when no roads
// can be found (every drive then takes its smooth path).
using DemoRouter = std::function<int(const DriveRoute* routes, int count, std::vector<RouteRoads>* roads)>;

// BuildDemoDevice, with the map made by `mapBuilder` instead of the
// synthetic map. When the builder fails, the synthetic map is written
// instead and `progress` says why. When `router` is given, the simulated
// drives follow the roads it finds.
int BuildDemoDeviceWithMap(const std::string& root, const std::string& nmeaDirectory, const DemoProgress& progress,
                           const DemoMapBuilder& mapBuilder, DemoDeviceSummary* summary, std::string* error,
                           const DemoRouter& router = DemoRouter());

// True when `directory` holds the real logs the demo device copies.
bool HasDemoNmeaLogs(const std::string& directory);
