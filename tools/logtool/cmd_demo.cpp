// tevo-logtool demo: makes a demo device root to try the viewer on.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/program_files.h"
#include "tools/demo/demo_device.h"
#include "tools/demo/map_builder_process.h"
#include "tools/logtool/commands.h"

namespace {

constexpr char DEMO_SYNOPSIS[] = "demo --out DIR [--data DIR] [--synthetic-map]";

void PrintDemoHelp() {
  std::printf(
      "usage: tevo-logtool %s\n"
      "\n"
      "Makes a demo device root in DIR for the viewer (tevo-logviewer --device-root DIR):\n"
      "  NAND\\QXAPP\\Data\\TEVOLOG.ini          the default recording settings\n"
      "  \\SDMMC\\TEVOLOG\\yyyy\\mm\\yyyymmdd.log  day logs from November 2025 to February\n"
      "                                      2026: simulated drives around Tokyo, Nagoya\n"
      "                                      and Osaka, and real receiver logs as they were\n"
      "                                      recorded (one in Japan, the others elsewhere)\n"
      "  \\NAND\\CMC\\KDH\\ALLDATA.KWI            the map, built by tevo-mapbuild (installed beside\n"
      "                                      this program) from the open geodata (Tokyo,\n"
      "                                      Nagoya, Osaka, coasts, lakes, prefectures,\n"
      "                                      places) when they are installed, else a\n"
      "                                      synthetic map around the logs\n"
      "The same device is made every time. One line is printed per file written.\n"
      "\n"
      "DIR is created when missing. An existing DIR must be empty or a demo device made\n"
      "earlier, which is then made again: it holds the file %s and nothing but\n"
      "NAND and SDMMC beside it. Any other DIR is left alone and the command fails.\n"
      "\n"
      "  --out DIR    where to make the device\n"
      "  --data DIR   the folder of the real receiver logs (with japan/, elsewhere/,\n"
      "               broken/); by default the installed data of the programs\n"
      "               (<prefix>/share/tevo-logviewer/nmea), else the source tree's data/nmea\n"
      "  --synthetic-map  the synthetic map instead of the one built from the open\n"
      "               geodata (<prefix>/share/tevo-logviewer/geodata, else the source\n"
      "               tree's data/geodata) with tevo-mapbuild's recipe\n",
      DEMO_SYNOPSIS, DEMO_MARKER_NAME);
}

// The real receiver logs: in the data directory installed with the program
// (found from the program's own location), or in the source tree for a
// program run from its build tree.
std::string FindNmeaDirectory(std::vector<std::string>* tried) {
  const std::string candidates[] = {ProgramDataDirectory() + "/nmea", TEVO_SOURCE_NMEA_DIR};
  for (const std::string& candidate : candidates) {
    if (HasDemoNmeaLogs(candidate)) return candidate;
    tried->push_back(candidate);
  }
  return std::string();
}

// The open geodata and the recipe of the demo map: in the data directory
// installed with the program, or in the source tree for a program run from
// its build tree.
bool FindGeodata(std::string* geodata, std::string* recipe) {
  const std::string installed = ProgramDataDirectory();
  const std::pair<std::string, std::string> candidates[] = {
      {installed + "/geodata", installed + "/geodata.yaml"},
      {TEVO_SOURCE_GEODATA_DIR, TEVO_SOURCE_GEODATA_RECIPE}};
  std::error_code code;
  for (const auto& [data, file] : candidates) {
    if (std::filesystem::is_directory(data, code) && std::filesystem::is_regular_file(file, code)) {
      *geodata = data;
      *recipe = file;
      return true;
    }
  }
  return false;
}

// The map builder: installed beside this program, or in the build tree for
// a program run from there.
std::string FindMapBuilder(std::vector<std::string>* looked) {
  const std::string candidates[] = {ExecutableDirectory() + "/tevo-mapbuild", TEVO_BUILD_MAPBUILD};
  std::error_code code;
  for (const std::string& candidate : candidates) {
    if (std::filesystem::is_regular_file(candidate, code)) return candidate;
    looked->push_back(candidate);
  }
  return std::string();
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string list;
  for (const std::string& line : lines) list += "\n  " + line;
  return list;
}

}  // namespace

int RunDemoCommand(int argc, char** argv) {
  const char* out = nullptr;
  const char* data = nullptr;
  bool syntheticMap = false;
  for (int i = 0; i < argc; ++i) {
    if (IsHelpOption(argv[i])) {
      PrintDemoHelp();
      return 0;
    }
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
      data = argv[++i];
    } else if (std::strcmp(argv[i], "--synthetic-map") == 0) {
      syntheticMap = true;
    } else {
      return LogtoolUsage(DEMO_SYNOPSIS);
    }
  }
  if (out == nullptr || out[0] == '\0') return LogtoolUsage(DEMO_SYNOPSIS);

  std::string nmea;
  if (data != nullptr) {
    if (!HasDemoNmeaLogs(data)) return LogtoolFail("%s does not hold the receiver logs of the demo device", data);
    nmea = data;
  } else {
    std::vector<std::string> tried;
    nmea = FindNmeaDirectory(&tried);
    if (nmea.empty()) {
      return LogtoolFail(
          "cannot find the receiver logs of the demo device; looked in:%s\ngive their folder with --data DIR",
          JoinLines(tried).c_str());
    }
  }

  std::string reason;
  if (InspectDemoRoot(out, &reason) == DEMO_ROOT_FOREIGN) {
    return LogtoolFail("will not make a demo device in %s: %s", out, reason.c_str());
  }
  std::printf("making a demo device in %s (receiver logs from %s)\n", out, nmea.c_str());
  std::fflush(stdout);
  DemoDeviceSummary summary;
  std::string error;
  const auto progress = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  std::string geodata, recipePath, mapBuilderPath;
  std::vector<std::string> looked;
  DemoMapBuilder mapBuilder;
  DemoRouter router;
  if (syntheticMap) {
    // The synthetic map, as asked.
  } else if (!FindGeodata(&geodata, &recipePath)) {
    std::fprintf(stderr, "the open geodata of the demo map are not installed (looked in %s/geodata and %s); "
                 "the demo device gets the synthetic map\n", ProgramDataDirectory().c_str(), TEVO_SOURCE_GEODATA_DIR);
  } else if ((mapBuilderPath = FindMapBuilder(&looked)).empty()) {
    std::fprintf(stderr, "tevo-logtool: the map builder tevo-mapbuild is not installed beside this program; looked "
                 "for:%s\nthe demo device gets the synthetic map, and its drives do not follow roads\n",
                 JoinLines(looked).c_str());
  } else {
    // The map and the roads its drives follow come from the same data.
    const MapBuilderRun run{mapBuilderPath, recipePath, geodata};
    mapBuilder = MapBuilderProcess(run);
    router = RoadsFromMapBuilder(run, [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
  }
  if (BuildDemoDeviceWithMap(out, nmea, progress, mapBuilder, &summary, &error, router) != 0) {
    return LogtoolFail("%s", error.c_str());
  }
  std::printf(
      "done: %d logs (%d simulated drives, %d real receiver logs) in %d months, %04d-%02d to %04d-%02d; "
      "a map of %d parcels; %.1f MB in all.\n"
      "The viewer opens on %04d-%02d: tevo-logviewer --device-root %s\n",
      summary.simulatedLogs + summary.realLogs, summary.simulatedLogs, summary.realLogs, summary.months,
      summary.oldestYear, summary.oldestMonth, summary.newestYear, summary.newestMonth, summary.mapParcels,
      static_cast<double>(summary.bytes) / 1e6, summary.newestYear, summary.newestMonth, out);
  return 0;
}
