// The demo device as the viewer sees it, and `tevo-logtool demo` run as a
// user runs it.
#include "tools/demo/demo_device.h"

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "logs/log_directory.h"
#include "logs/nmea_reader.h"
#include "logs/recording_settings.h"
#include "logs_test_support.h"
#include "mapdata/block_cache.h"
#include "mapdata/map_database.h"
#include "mapdata/map_layout.h"
#include "mapdata/parcel_index.h"

namespace {

std::string NmeaDirectory() {
  const char* data = std::getenv("TEVO_TEST_DATA_DIR");
  return std::string(data != nullptr ? data : "data") + "/nmea";
}

// Every file under `root` with its bytes, by path relative to the root.
std::map<std::string, std::string> Files(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = ReadFile(entry.path());
  }
  return files;
}

int Build(const fs::path& root, std::vector<std::string>* lines = nullptr, std::string* error = nullptr) {
  DemoDeviceSummary summary;
  std::string scratch;
  return BuildDemoDevice(
      root.string(), NmeaDirectory(),
      [&](const std::string& line) {
        if (lines != nullptr) lines->push_back(line);
      },
      &summary, error != nullptr ? error : &scratch);
}

class DemoDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { directory = MakeScratchDirectory(); }
  void TearDown() override {
    SetDeviceRoot(nullptr);
    MapDatabase::Destroy();
    DestroyBlockCache();
    std::error_code ignored;
    fs::remove_all(directory, ignored);
  }
  fs::path directory;
};

TEST_F(DemoDeviceTest, TheViewerOpensOnTheNewestMonthAndReachesTheOthers) {
  const fs::path root = directory / "device";
  std::vector<std::string> lines;
  ASSERT_EQ(Build(root, &lines), 0);

  int32_t year = 0, month = 0, days[DAY_LIST_CAPACITY];
  ASSERT_GE(FindNewestLogMonth(&year, &month, days), 1);
  EXPECT_EQ(year * 100 + month, 202602);
  // Stepping back month by month reaches logs in each month of two years.
  int monthsWithLogs = 0;
  std::set<int32_t> years;
  for (int step = 0; step < 6; ++step, month = month == 1 ? 12 : month - 1, year -= month == 12 ? 1 : 0) {
    if (ListLogDays(year, month, days) >= 1) {
      ++monthsWithLogs;
      years.insert(year);
    }
  }
  EXPECT_GE(monthsWithLogs, 3);
  EXPECT_EQ(years.size(), 2u);

  RecordingSettings settings;
  settings.logRec = 9;
  EXPECT_EQ(ReadRecordingSettings(&settings), 0);
  EXPECT_EQ(settings.logRec, 0);
  EXPECT_EQ(settings.recEndTime, -1);

  // Real logs are copied byte for byte; one progress line per file.
  const std::map<std::string, std::string> files = Files(root);
  std::set<std::string> sources;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(NmeaDirectory())) {
    if (entry.is_regular_file()) sources.insert(ReadFile(entry.path()));
  }
  int copies = 0, logs = 0;
  for (const auto& [path, bytes] : files) {
    if (path.size() < 4 || path.substr(path.size() - 4) != ".log") continue;
    ++logs;
    copies += sources.count(bytes) != 0 ? 1 : 0;
  }
  EXPECT_EQ(copies, static_cast<int>(sources.size()));
  EXPECT_GT(logs, copies);
  EXPECT_EQ(lines.size(), static_cast<size_t>(logs) + 2);  // the settings, every log, the map
}

// Wherever a demo log has a point that the viewer accepts, every level of
// the scale-step table has a parcel under it.
TEST_F(DemoDeviceTest, TheMapCoversEveryPointOfEveryLogAtEveryLevel) {
  const fs::path root = directory / "device";
  ASSERT_EQ(Build(root), 0);
  std::string map;
  ASSERT_EQ(ResolveDevicePath("\\NAND\\CMC\\KDH\\ALLDATA.KWI", &map), 0);
  ASSERT_EQ(LoadMapDatabase(map.c_str()), 0);
  std::set<uint16_t> levels;
  for (const ScaleStep& step : SCALE_STEPS) levels.insert({step.roadLevel, step.lineLevel, step.areaLevel});

  int logsWithPoints = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root / "SDMMC")) {
    if (!entry.is_regular_file()) continue;
    Track* track = LoadTrack(entry.path().c_str());
    ASSERT_NE(track, nullptr) << entry.path();
    logsWithPoints += track->count > 0 ? 1 : 0;
    std::vector<MapCoord> probes = {{track->minLon, track->minLat}, {track->maxLon, track->maxLat}};
    for (int32_t i = 0; i < track->count; i += 37) probes.push_back({track->points[i].lon, track->points[i].lat});
    if (track->count == 0) probes.clear();
    for (uint16_t level : levels) {
      for (const MapCoord& probe : probes) {
        ParcelList* list = FindParcels(&probe, 0, 0, level);
        ASSERT_NE(list, nullptr) << entry.path() << " level " << level << " at " << probe.x << "," << probe.y;
        bool inside = false;
        for (int k = 0; k < list->count; ++k) {
          const ParcelEntry& parcel = list->entries[k];
          inside |= probe.x >= parcel.x0 && probe.x <= parcel.x0 + parcel.width && probe.y >= parcel.y0 &&
                    probe.y <= parcel.y0 + parcel.height;
        }
        EXPECT_TRUE(inside) << entry.path() << " level " << level;
        FreeParcelList(list);
      }
    }
    ReleaseTrack(track);
  }
  EXPECT_GE(logsWithPoints, 10);  // the simulated drives and two real logs
}

// A directory is made into a demo device only when it is new, empty or a
// demo device already; anything else is left exactly as it was.
TEST_F(DemoDeviceTest, RefusesForeignDirectoriesAndRemakesItsOwnTheSameWay) {
  const fs::path own = directory / "own";
  ASSERT_EQ(Build(own), 0);
  const std::map<std::string, std::string> first = Files(own);
  WriteFile(own / "SDMMC" / "TEVOLOG" / "2026" / "02" / "20260228.log", "left over\r\n");
  ASSERT_EQ(Build(own), 0);
  EXPECT_EQ(Files(own), first) << "made again, byte for byte, without the stray log";

  fs::create_directories(directory / "empty");
  EXPECT_EQ(InspectDemoRoot((directory / "empty").string(), nullptr), DEMO_ROOT_NEW);
  EXPECT_EQ(InspectDemoRoot((directory / "missing" / "deeper").string(), nullptr), DEMO_ROOT_NEW);
  EXPECT_EQ(InspectDemoRoot(own.string(), nullptr), DEMO_ROOT_PREVIOUS);

  struct Foreign {
    const char* name;
    std::vector<std::string> files;  // relative paths written before
  };
  const Foreign foreign[] = {
      {"photos", {"holiday.jpg"}},
      {"card", {"SDMMC/TEVOLOG/2026/01/20260101.log"}},             // a real card's copy, no marker
      {"marked-plus", {DEMO_MARKER_NAME, "SDMMC/x", "notes.txt"}},  // a demo device with the user's file beside it
  };
  for (const Foreign& f : foreign) {
    const fs::path root = directory / f.name;
    for (const std::string& file : f.files) WriteFile(root / file, "mine");
    const std::map<std::string, std::string> before = Files(root);
    std::string error;
    EXPECT_EQ(Build(root, nullptr, &error), -1) << f.name;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Files(root), before) << f.name << " was changed";
  }
  WriteFile(directory / "plain-file", "mine");
  EXPECT_EQ(InspectDemoRoot((directory / "plain-file").string(), nullptr), DEMO_ROOT_FOREIGN);
  EXPECT_EQ(Build(directory / "plain-file"), -1);
  EXPECT_EQ(ReadFile(directory / "plain-file"), "mine");

  std::string error;
  DemoDeviceSummary summary;
  EXPECT_EQ(BuildDemoDevice((directory / "no-data").string(), (directory / "nowhere").string(),
                            [](const std::string&) {}, &summary, &error),
            -1);
  EXPECT_FALSE(fs::exists(directory / "no-data")) << "nothing is made without the receiver logs";
}

// --- The command ---

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun Logtool(const std::string& arguments, const fs::path& directory) {
  const fs::path out = directory / "stdout.txt", err = directory / "stderr.txt";
  const std::string line =
      "'" + std::string(TEVO_LOGTOOL) + "' " + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
  const int status = std::system(line.c_str());
  return {status == -1 ? -1 : (status >> 8) & 0xFF, ReadFile(out), ReadFile(err)};
}

int CountLines(const std::string& text, const std::string& prefix) {
  int count = 0;
  for (size_t at = 0; (at = text.find("\n" + prefix, at)) != std::string::npos; ++at) ++count;
  return count;
}

TEST_F(DemoDeviceTest, TheCommandReportsEachFileAndFailsClearly) {
  const fs::path root = directory / "device";
  ToolRun run = Logtool("demo --out '" + root.string() + "'", directory);
  ASSERT_EQ(run.status, 0) << run.err;
  // stderr holds only the map builder's progress (or the note that the
  // open geodata are missing and the map is synthetic).
  std::istringstream errLines(run.err);
  for (std::string line; std::getline(errLines, line);) {
    EXPECT_TRUE(line.rfind("tevo-mapbuild: ", 0) == 0 || line.rfind("building the map from ", 0) == 0 ||
                line.rfind("the open geodata of the demo map are not installed", 0) == 0)
        << line;
  }
  EXPECT_EQ(CountLines(run.out, "log "), 17);
  EXPECT_EQ(CountLines(run.out, "map "), 1);
  EXPECT_EQ(run.out.find("failed"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("stretches along the map's roads"), std::string::npos) << "the map builder's roads\n" << run.out;
  EXPECT_NE(run.out.find("opens on 2026-02"), std::string::npos) << run.out;
  run = Logtool("demo --synthetic-map --out '" + root.string() + "'", directory);
  EXPECT_EQ(run.status, 0) << "made again";
  EXPECT_TRUE(run.err.empty()) << run.err;

  WriteFile(directory / "mine" / "notes.txt", "mine");
  run = Logtool("demo --out '" + (directory / "mine").string() + "'", directory);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_NE(run.err.find("not empty"), std::string::npos) << run.err;

  run = Logtool("demo --out '" + (directory / "x").string() + "' --data '" + directory.string() + "'", directory);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("receiver logs"), std::string::npos) << run.err;
  EXPECT_EQ(Logtool("demo", directory).status, 2);
  EXPECT_EQ(Logtool("demo --out", directory).status, 2);
  run = Logtool("demo --help", directory);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find(DEMO_MARKER_NAME), std::string::npos);
}

}  // namespace
