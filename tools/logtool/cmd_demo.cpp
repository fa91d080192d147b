// tevo-logtool demo: makes a demo device root to try the viewer on.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/program_files.h"
#include "tools/demo/demo_device.h"
#include "tools/logtool/commands.h"

namespace {

constexpr char DEMO_SYNOPSIS[] = "demo --out DIR [--data DIR]";

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
      "  \\NAND\\CMC\\KDH\\ALLDATA.KWI            a map covering every log that has points\n"
      "                                      in the viewer's area, at every scale step\n"
      "The same device is made every time. One line is printed per file written.\n"
      "\n"
      "DIR is created when missing. An existing DIR must be empty or a demo device made\n"
      "earlier, which is then made again: it holds the file %s and nothing but\n"
      "NAND and SDMMC beside it. Any other DIR is left alone and the command fails.\n"
      "\n"
      "  --out DIR    where to make the device\n"
      "  --data DIR   the folder of the real receiver logs (with japan/, elsewhere/,\n"
      "               broken/); by default the installed data of the programs\n"
      "               (<prefix>/share/tevo-logviewer/nmea), else the source tree's data/nmea\n",
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

}  // namespace

int RunDemoCommand(int argc, char** argv) {
  const char* out = nullptr;
  const char* data = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (IsHelpOption(argv[i])) {
      PrintDemoHelp();
      return 0;
    }
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
      data = argv[++i];
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
      std::string list;
      for (const std::string& path : tried) list += "\n  " + path;
      return LogtoolFail(
          "cannot find the receiver logs of the demo device; looked in:%s\ngive their folder with --data DIR",
          list.c_str());
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
  if (BuildDemoDevice(out, nmea, progress, &summary, &error) != 0) return LogtoolFail("%s", error.c_str());
  std::printf(
      "done: %d logs (%d simulated drives, %d real receiver logs) in %d months, %04d-%02d to %04d-%02d; "
      "a map of %d parcels; %.1f MB in all.\n"
      "The viewer opens on %04d-%02d: tevo-logviewer --device-root %s\n",
      summary.simulatedLogs + summary.realLogs, summary.simulatedLogs, summary.realLogs, summary.months,
      summary.oldestYear, summary.oldestMonth, summary.newestYear, summary.newestMonth, summary.mapParcels,
      static_cast<double>(summary.bytes) / 1e6, summary.newestYear, summary.newestMonth, out);
  return 0;
}
