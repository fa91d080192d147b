// The log commands of tevo-logtool (track, export, stats, days), run as a
// user runs them, and the statistics behind "stats". The GPX export is
// checked against gpsbabel reading the same logs.
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "logs/nmea_reader.h"
#include "logs_test_support.h"
#include "bench/nmea_day_log.h"
#include "tools/logtool/track_stats.h"

namespace {

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Runs a shell command line with its output captured in `directory`.
ToolRun Shell(const std::string& commandLine, const fs::path& directory) {
  const fs::path out = directory / "stdout.txt";
  const fs::path err = directory / "stderr.txt";
  int status = std::system((commandLine + " >" + Quote(out) + " 2>" + Quote(err)).c_str());
  return {status == -1 ? -1 : (status >> 8) & 0xFF, ReadFile(out), ReadFile(err)};
}

ToolRun Logtool(const std::string& arguments, const fs::path& directory) {
  return Shell(Quote(TEVO_LOGTOOL) + " " + arguments, directory);
}

bool HaveGpsbabel() { return std::system("command -v gpsbabel >/dev/null 2>&1") == 0; }

std::string DataFile(const char* relative) {
  const char* data = std::getenv("TEVO_TEST_DATA_DIR");
  return std::string(data != nullptr ? data : ".") + "/nmea/" + relative;
}

// A point of a GPX track: position and time text ("" without a time).
struct GpxPoint {
  double lat;
  double lon;
  std::string time;
};

// The text between `before` and the next `after` in `text` from `from`
// ("" when missing), and where it ends.
std::string Between(const std::string& text, size_t from, const std::string& before, const std::string& after) {
  size_t start = text.find(before, from);
  if (start == std::string::npos) return "";
  start += before.size();
  size_t end = text.find(after, start);
  return end == std::string::npos ? "" : text.substr(start, end - start);
}

std::vector<GpxPoint> ReadGpxPoints(const fs::path& path) {
  const std::string gpx = ReadFile(path);
  std::vector<GpxPoint> points;
  for (size_t at = gpx.find("<trkpt "); at != std::string::npos; at = gpx.find("<trkpt ", at + 1)) {
    const std::string point = gpx.substr(at, gpx.find("</trkpt>", at) - at);
    points.push_back({std::stod(Between(point, 0, "lat=\"", "\"")), std::stod(Between(point, 0, "lon=\"", "\"")),
                      Between(point, 0, "<time>", "</time>")});
  }
  return points;
}

class LogtoolTest : public ScratchDirectoryTest {};

const std::string EXAMPLE_RMC = Rmc("123519.00", "3540.1234", "13945.6789");

TEST_F(LogtoolTest, TrackPrintsTheReadersPoints) {
  const std::string log =
      Write("day.log", Rmc("123519.00", "3540.1234", "13945.6789") + "\r\n" + Rmc("123520", "3540.0000", "13945.0000") + "\r\n");
  ToolRun run = Logtool("track " + Quote(log), directory);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "points 2\n"
            "bbox 64398276 16433712 64403490 16434658\n"
            "45319\t64403490\t16434658\n"
            "45320\t64398276\t16433712\n");
  run = Logtool("track --summary " + Quote(log), directory);
  EXPECT_EQ(run.out, "points 2\nbbox 64398276 16433712 64403490 16434658\n");

  run = Logtool("track " + Quote(Write("gga.log", Sentence("GPGGA,1,2") + "\n")), directory);
  EXPECT_EQ(run.out, "points 0\nbbox 2147483647 2147483647 0 0\n");

  // Every log that cannot be read says why, on stderr, with status 1; a
  // named pipe is refused at once rather than waited on.
  ASSERT_EQ(mkfifo((directory / "pipe.log").c_str(), 0600), 0);
  fs::create_directories(directory / "folder.log");
  const std::pair<std::string, std::string> unreadable[] = {
      {(directory / "missing.log").string(), "No such file"},
      {Write("empty.log", ""), "is empty"},
      {(directory / "folder.log").string(), "a folder"},
      {(directory / "pipe.log").string(), "not a plain file"}};
  for (const auto& [file, why] : unreadable) {
    for (const char* command : {"track ", "export -o - ", "stats "}) {
      run = Logtool(command + Quote(file), directory);
      EXPECT_EQ(run.status, 1) << command << file;
      EXPECT_EQ(run.out, "") << command << file;
      EXPECT_NE(run.err.find(why), std::string::npos) << command << run.err;
    }
  }
  EXPECT_EQ(Logtool("track", directory).status, 2);
  // A log longer than the reader reads is cut there, and the tool says so
  // once, with the file's size.
  std::string big(LOG_READ_LIMIT + 100, '\n');
  big.replace(100, EXAMPLE_RMC.size(), EXAMPLE_RMC);
  big.replace(LOG_READ_LIMIT - 10, EXAMPLE_RMC.size(), EXAMPLE_RMC);
  run = Logtool("track --summary " + Quote(Write("big.log", big)), directory);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(0, 9), "points 1\n");
  EXPECT_NE(run.err.find("is 18000100 bytes: only its first 18000000 bytes are read"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("bytes are read"), run.err.rfind("bytes are read"));
  EXPECT_EQ(Logtool("track --frobnicate " + Quote(log), directory).status, 2);
  run = Logtool("track --help", directory);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("usage: tevo-logtool track"), std::string::npos);
}

// Every point the export writes is one that gpsbabel also reads from the
// same log, at the same time and within 2.8e-6 degrees (the reader keeps
// positions in hundredths of an arc-second, 1/360,000 degree).
//
// gpsbabel is asked for the $GPRMC sentences only (gpgga=0): the reader
// takes nothing else, and gpsbabel's default reading merges each $GPGGA
// with a $GPRMC of a neighbouring second and writes positions with the time
// of the next fix (in the iTrek log the 04:58:52 point carries the 04:58:51
// position, and the 04:58:51 fix is missing), so its default output pairs
// times and positions differently from the log.
//
// The two differ in one rule: gpsbabel drops fixes whose status is "V"
// (void), which the reader uses like valid ones. The Brisbane log has six
// such fixes with coordinates; they are the only points gpsbabel lacks.
TEST_F(LogtoolTest, ExportAgreesWithGpsbabel) {
  if (!HaveGpsbabel()) GTEST_SKIP() << "gpsbabel is not installed";
  struct Case {
    std::string log;
    size_t points;
    size_t voidFixes;
  };
  const Case cases[] = {
      {DataFile("japan/gpsd_iTrek.log"), 35, 0},
      {DataFile("elsewhere/gpsd_haicom-305N.log"), 74, 6},
      {Write("tokyo.log", GenerateNmeaDayLog(3000000)), 7952, 0},  // a drive across UTC midnight
  };
  for (const Case& c : cases) {
    const fs::path ours = directory / "ours.gpx";
    const fs::path theirs = directory / "theirs.gpx";
    ASSERT_EQ(Logtool("export " + Quote(c.log) + " -o " + Quote(ours), directory).status, 0) << c.log;
    ASSERT_EQ(Shell("gpsbabel -i nmea,gpgga=0 -f " + Quote(c.log) + " -o gpx -F " + Quote(theirs), directory).status, 0);
    std::multimap<std::string, GpxPoint> byTime;
    for (const GpxPoint& p : ReadGpxPoints(theirs)) byTime.emplace(p.time, p);

    const std::vector<GpxPoint> exported = ReadGpxPoints(ours);
    EXPECT_EQ(exported.size(), c.points) << c.log;
    size_t unmatched = 0;
    for (const GpxPoint& p : exported) {
      bool found = false;
      auto [from, to] = byTime.equal_range(p.time);
      for (auto it = from; it != to; ++it) {
        found = found || (std::fabs(it->second.lat - p.lat) <= 2.8e-6 && std::fabs(it->second.lon - p.lon) <= 2.8e-6);
      }
      if (!found) ++unmatched;
    }
    EXPECT_EQ(unmatched, c.voidFixes) << c.log;
    EXPECT_EQ(byTime.size(), c.points - c.voidFixes) << c.log;
  }
}

TEST_F(LogtoolTest, ExportWritesUtcTimesAcrossTheDate) {
  const std::string log = Write("tokyo.log", GenerateNmeaDayLog(3000000));
  const fs::path gpx = directory / "day.gpx";
  ASSERT_EQ(Logtool("export " + Quote(log) + " -o " + Quote(gpx), directory).status, 0);
  const std::string text = ReadFile(gpx);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\"", 0), 0u);
  EXPECT_NE(text.find("<name>tokyo.log</name>"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 7), "</gpx>\n");
  std::vector<GpxPoint> points = ReadGpxPoints(gpx);
  ASSERT_FALSE(points.empty());
  EXPECT_EQ(points.front().time, "2009-05-11T22:00:00Z");  // 07:00 in Japan
  EXPECT_EQ(points[7200].time, "2009-05-12T00:00:00Z");

  // South and west hemispheres are written as negative degrees; a fractional
  // second keeps its milliseconds.
  const std::string south = Write(
      "south.log", Sentence("GPRMC,095255.810,A,2712.6404,S,15303.1201,E,0.00,0.00,080407,,,A") + "\r\n");
  ASSERT_EQ(Logtool("export " + Quote(south) + " -o " + Quote(gpx), directory).status, 0);
  points = ReadGpxPoints(gpx);
  ASSERT_EQ(points.size(), 1u);
  EXPECT_NEAR(points[0].lat, -27.210672, 1e-6);
  EXPECT_EQ(points[0].time, "2007-04-08T09:52:55.810Z");

  EXPECT_EQ(Logtool("export " + Quote(log) + " -o " + Quote(directory / "missing" / "x.gpx"), directory).status, 1);
  EXPECT_EQ(Logtool("export " + Quote(log), directory).status, 2);
}

TEST_F(LogtoolTest, StatsOfADay) {
  const std::string log = Write("tokyo.log", GenerateNmeaDayLog(3000000));
  ToolRun run = Logtool("stats " + Quote(log), directory);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("points     7952\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("start      2009-05-11T22:00:00Z  (2009-05-12T07:00:00+09:00)\n"), std::string::npos);
  EXPECT_NE(run.out.find("duration   2:12:31\n"), std::string::npos);
  EXPECT_EQ(Logtool("stats " + Quote(directory / "missing.log"), directory).status, 1);
}

TEST_F(LogtoolTest, DaysOfTheNewestOrAGivenMonth) {
  const fs::path root = directory / "device";
  for (const char* file : {"2009/05/20090512.log", "2009/05/20090503.log", "2010/01/20100107.log"}) {
    WriteFile(root / "SDMMC" / "TEVOLOG" / file, "");
  }
  const std::string deviceRoot = "--device-root " + Quote(root);
  ToolRun run = Logtool("days " + deviceRoot, directory);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "2010-01-07\n");
  run = Logtool("days " + deviceRoot + " 2009-05", directory);
  EXPECT_EQ(run.out, "2009-05-03\n2009-05-12\n");
  run = Logtool("days " + deviceRoot + " 2009-06", directory);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no logs in 2009-06"), std::string::npos);
  EXPECT_EQ(Logtool("days " + deviceRoot + " 2009-13", directory).status, 2);
  EXPECT_EQ(Logtool("days --device-root " + Quote(directory / "empty"), directory).status, 1);
}

// Fixes one second apart along a meridian near Tokyo.
struct FixMaker {
  int64_t startMillis = 1241992800000;  // 2009-05-10 22:00 UTC
  std::vector<LogFix> fixes;
  double lat = 35.68;
  int64_t second = 0;
  void Add(double metresNorth, bool dated = true) {
    lat += metresNorth / 111195.0;
    LogFix fix{};
    fix.latitude = lat;
    fix.longitude = 139.76;
    fix.hasDate = dated;
    fix.utcMillis = startMillis + second++ * 1000;
    fixes.push_back(fix);
  }
};

TEST(TrackStats, DrivingStopsJitterAndGlitches) {
  EXPECT_NEAR(GreatCircleMetres(35.0, 139.0, 36.0, 139.0), 111195.0, 1.0);

  FixMaker day;
  day.Add(0);
  for (int i = 0; i < 100; ++i) day.Add(20.0);  // 100 s at 20 m/s
  for (int i = 0; i < 300; ++i) day.Add(i % 2 == 0 ? 6.0 : -6.0);  // parked, jittering by 6 m
  for (int i = 0; i < 100; ++i) day.Add(10.0);  // 100 s at 10 m/s
  day.Add(0, false);                             // a fix without a date
  TrackStats stats = ComputeTrackStats(day.fixes);
  EXPECT_EQ(stats.dated, 501);
  EXPECT_EQ(stats.undated, 1);
  EXPECT_DOUBLE_EQ(stats.durationSeconds, 500.0);
  EXPECT_NEAR(stats.distanceMetres, 3000.0, 20.0);
  // The first move after the stop spans it and is not driving time.
  EXPECT_NEAR(stats.drivingSeconds, 200.0, 3.0);
  EXPECT_NEAR(stats.maxSpeed, 20.0, 0.1);

  // A single jump of 5 km and back adds nothing.
  FixMaker glitch;
  glitch.Add(0);
  for (int i = 0; i < 50; ++i) glitch.Add(20.0);
  glitch.Add(5000.0);
  glitch.Add(-5000.0 + 20.0);
  for (int i = 0; i < 50; ++i) glitch.Add(20.0);
  stats = ComputeTrackStats(glitch.fixes);
  EXPECT_NEAR(stats.distanceMetres, 2020.0, 5.0);
  EXPECT_NEAR(stats.maxSpeed, 20.0, 0.1);

  // A parked car gains no distance.
  FixMaker parked;
  for (int i = 0; i < 3600; ++i) parked.Add(i % 3 == 0 ? 10.0 : -5.0);
  stats = ComputeTrackStats(parked.fixes);
  EXPECT_EQ(stats.distanceMetres, 0.0);
  EXPECT_EQ(stats.drivingSeconds, 0.0);
}

}  // namespace
