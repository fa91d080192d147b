// tevo-logtool render, run as a program on a device root with the
// demonstration map: the fitted frame, a given view, the screen's part, and
// the errors for a missing day, a missing map and bad arguments.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/picture.h"
#include "render_support.h"
#include "tools/mapwriter/demo_content.h"

namespace {

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) { return "'" + text + "'"; }

class RenderCommandTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    output = root / "out";
    fs::create_directories(output);
  }
  // Runs the render command on the test's device root.
  ToolRun Render(const std::string& arguments) {
    const fs::path out = output / "stdout.txt";
    const fs::path err = output / "stderr.txt";
    std::string line = Quote(TEVO_LOGTOOL) + " render --device-root " + Quote(root.string()) + " " + arguments +
                       " >" + Quote(out.string()) + " 2>" + Quote(err.string());
    int status = std::system(line.c_str());
    return {status == -1 ? -1 : (status >> 8) & 0xFF, ReadFile(out), ReadFile(err)};
  }
  std::string Picture(const char* name) const { return (output / name).string(); }
  fs::path output;
};

int CountRed(const RgbImage& image) {
  int red = 0;
  for (int32_t i = 0; i < image.width * image.height; ++i) {
    const uint8_t* pixel = image.rgb + 3 * i;
    red += pixel[0] == 255 && pixel[1] == 0 && pixel[2] == 0;
  }
  return red;
}

TEST_F(RenderCommandTest, DrawsTheFittedFrameTheScreensPartAndAGivenView) {
  WriteMap(DemoMap());
  WriteDay(12, DayLog({{TOKYO.lon - 0.05, TOKYO.lat - 0.05}, TOKYO, {TOKYO.lon + 0.05, TOKYO.lat + 0.05}}));

  ToolRun fitted = Render("--date 2009-05-12 -o " + Quote(Picture("fitted.png")));
  ASSERT_EQ(fitted.status, 0) << fitted.err;
  EXPECT_NE(fitted.out.find("points 3 step 14 scale 2500 m"), std::string::npos) << fitted.out;
  RgbImage whole;
  ASSERT_EQ(DecodePngFile(Picture("fitted.png").c_str(), &whole), 0);
  EXPECT_EQ(whole.width, 996);
  EXPECT_EQ(whole.height, 580);
  EXPECT_GT(CountRed(whole), 0);

  ToolRun screen = Render("--date 2009-05-12 --screen -o " + Quote(Picture("screen.png")));
  ASSERT_EQ(screen.status, 0) << screen.err;
  RgbImage part;
  ASSERT_EQ(DecodePngFile(Picture("screen.png").c_str(), &part), 0);
  ASSERT_EQ(part.width, 480);
  ASSERT_EQ(part.height, 272);
  for (int32_t y = 0; y < part.height; ++y) {
    ASSERT_EQ(std::memcmp(part.rgb + 3 * y * part.width, whole.rgb + 3 * ((154 + y) * whole.width + 258), 3 * 480), 0)
        << "row " << y;
  }

  // The coarsest step at a given centre, on a smaller canvas.
  ToolRun given = Render("--date 2009-05-12 --step 26 --center 139.77,35.68 --size 300x200 -o " +
                         Quote(Picture("given.png")));
  ASSERT_EQ(given.status, 0) << given.err;
  EXPECT_NE(given.out.find("step 26 scale 200000 m"), std::string::npos) << given.out;
  RgbImage small;
  ASSERT_EQ(DecodePngFile(Picture("given.png").c_str(), &small), 0);
  EXPECT_EQ(small.width, 300);
  EXPECT_EQ(small.height, 200);
  EXPECT_GT(CountRed(small), 0);
  ReleaseRgbImage(&whole);
  ReleaseRgbImage(&part);
  ReleaseRgbImage(&small);

  // Any map and log, at exactly a view in map units: the centre snapped to
  // the step's 16-unit grid, the base level's parcels and their detail class.
  fs::rename(root / "NAND/CMC/KDH/ALLDATA.KWI", output / "other.kwi");
  WriteFile(output / "day.log", DayLog({TOKYO}));
  ToolRun exact = Render("--map " + Quote(Picture("other.kwi")) + " --log " + Quote(Picture("day.log")) +
                         " --center-units 64397831,16421509 --step 6 --area screen -o " + Quote(Picture("exact.png")));
  ASSERT_EQ(exact.status, 0) << exact.err;
  EXPECT_NE(exact.out.find("points 1 step 6"), std::string::npos) << exact.out;
  EXPECT_NE(exact.out.find("center-units 64397824,16421504 step 6 level 0 detail 2"), std::string::npos) << exact.out;

  // Neither a day nor a log: the default view without a track.
  ToolRun plain = Render("--map " + Quote(Picture("other.kwi")) + " -o " + Quote(Picture("plain.png")));
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out.find("points 0 step 6"), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("center-units 64397824,16421504"), std::string::npos) << plain.out;
}

// The number after `label` on the line that starts with `line`, or -1.
long NumberAfter(const std::string& out, const std::string& line, const std::string& label) {
  const size_t start = out.find("\n" + line);
  if (start == std::string::npos) return -1;
  const size_t at = out.find(label, start);
  const size_t end = out.find('\n', start + 1);
  if (at == std::string::npos || at > end) return -1;
  return std::strtol(out.c_str() + at + label.size(), nullptr, 10);
}

TEST_F(RenderCommandTest, StatsCountWhatTheFrameDrewTheSameInEveryRepeatedFrame) {
  MapDescription map;
  ASSERT_EQ(DescribeDemoMap(&map, DemoContentFiller()), 0);
  WriteMap(map);
  WriteDay(12, DayLog({{TOKYO.lon - 0.05, TOKYO.lat - 0.05}, TOKYO, {TOKYO.lon + 0.05, TOKYO.lat + 0.05}}));
  // Step 6 over the track: roads, areas and names of the demonstration content.
  ToolRun once = Render("--date 2009-05-12 --step 6 --stats -o " + Quote(Picture("once.png")));
  ToolRun repeated = Render("--date 2009-05-12 --step 6 --stats --repeat 5 -o " + Quote(Picture("repeated.png")));
  ASSERT_EQ(once.status, 0) << once.err;
  ASSERT_EQ(repeated.status, 0) << repeated.err;
  // The repeated frames are the same frame: the same picture, the same counts.
  EXPECT_EQ(ReadFile(Picture("once.png")), ReadFile(Picture("repeated.png")));
  for (const char* line : {"parcels roads", "road groups", "background areas", "names placed"}) {
    const size_t a = once.out.find(line), b = repeated.out.find(line);
    ASSERT_NE(a, std::string::npos) << once.out;
    ASSERT_NE(b, std::string::npos) << repeated.out;
    EXPECT_EQ(once.out.substr(a, once.out.find('\n', a) - a), repeated.out.substr(b, repeated.out.find('\n', b) - b));
  }
  EXPECT_GT(NumberAfter(once.out, "parcels roads", "parcels roads "), 0) << once.out;
  EXPECT_GT(NumberAfter(once.out, "road groups", ", links "), 0) << once.out;
  // The names line starts with the names placed; the kinds add up to both totals.
  const long placed = NumberAfter(once.out, "names placed", "names placed ");
  const long leftOut = NumberAfter(once.out, "names placed", "left out for room ");
  ASSERT_GE(placed, 0) << once.out;
  ASSERT_GE(leftOut, 0) << once.out;
  long placedKinds = 0, leftOutKinds = 0;
  for (const char* kind : {"(placed: point ", ", anchored ", ", angled ", ", along lines "}) {
    placedKinds += NumberAfter(once.out, "names placed", kind);
  }
  const size_t leftOutPart = once.out.find("left out: point ");
  ASSERT_NE(leftOutPart, std::string::npos) << once.out;
  const std::string rest = "\n" + once.out.substr(leftOutPart);
  for (const char* kind : {"left out: point ", ", anchored ", ", angled "}) {
    leftOutKinds += NumberAfter(rest, "left out", kind);
  }
  EXPECT_EQ(placedKinds, placed) << once.out;
  EXPECT_EQ(leftOutKinds, leftOut) << once.out;
  EXPECT_NE(repeated.out.find("(median of 5 frames)"), std::string::npos) << repeated.out;
  EXPECT_NE(once.out.find("x a canvas memset"), std::string::npos) << once.out;
}

TEST_F(RenderCommandTest, ExplainsWhatIsMissingOrWrong) {
  WriteDay(12, DayLog({TOKYO}));
  const std::string out = " -o " + Quote(Picture("x.png"));
  struct Case {
    std::string arguments;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"--date 2009-05-12" + out, 1, "no map database at"},
      {"--date 2009-05-13" + out, 1, "no log for 2009-05-13"},
      {"--date 2009-02-29" + out, 1, "--date takes a date"},
      {"--date 12.5.2009" + out, 1, "--date takes a date"},
      {"--date 2009-05-12 --step 27" + out, 1, "--step takes a scale step from 0 to 26"},
      {"--date 2009-05-12 --step 1x" + out, 1, "--step takes"},
      {"--date 2009-05-12 --center 139.7" + out, 1, "--center takes LON,LAT"},
      {"--date 2009-05-12 --center 200,35" + out, 1, "--center takes LON,LAT"},
      {"--date 2009-05-12 --size 0x10" + out, 1, "--size takes WxH"},
      {"--date 2009-05-12 --size 5000x10" + out, 1, "--size takes WxH"},
      {"--date 2009-05-12", 2, "usage: tevo-logtool render"},
      {"-o x.png", 1, "no map database at"},
      {"--map " + Quote(Picture("none.kwi")) + out, 1, "no map database at"},
      {"--log " + Quote(Picture("none.log")) + out, 1, "cannot read the log"},
      {"--date 2009-05-12 --log x.log" + out, 1, "cannot be used together"},
      {"--center-units 1.5,2" + out, 1, "--center-units takes X,Y"},
      {"--center-units 1" + out, 1, "--center-units takes X,Y"},
      {"--area all" + out, 1, "--area takes canvas or screen"},
      {"--date 2009-05-12 --repeat 0" + out, 1, "--repeat takes a number of frames"},
      {"--date 2009-05-12 --repeat 2x" + out, 1, "--repeat takes a number of frames"},
      {"--date 2009-05-12 --zoom 3" + out, 2, "usage: tevo-logtool render"},
      {"--date", 2, "usage: tevo-logtool render"},
  };
  for (const Case& c : cases) {
    ToolRun run = Render(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << ": " << run.err;
    EXPECT_FALSE(fs::exists(output / "x.png")) << c.arguments;
  }

  // A file that is not a map.
  WriteFile(root / "NAND/CMC/KDH/ALLDATA.KWI", std::string(100, 'x'));
  ToolRun damaged = Render("--date 2009-05-12" + out);
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("cannot be read"), std::string::npos) << damaged.err;

  // A map file of zeros opens, but it has no levels to draw.
  WriteFile(root / "NAND/CMC/KDH/ALLDATA.KWI", std::string(65536, '\0'));
  ToolRun zeros = Render("--date 2009-05-12" + out);
  EXPECT_EQ(zeros.status, 1);
  EXPECT_NE(zeros.err.find("cannot be read"), std::string::npos) << zeros.err;
  EXPECT_FALSE(fs::exists(output / "x.png"));

  ToolRun help = Render("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--screen"), std::string::npos);
}

// A day whose log cannot be read gives no picture: it says why and ends
// with status 1 (a named pipe is refused at once, not waited on).
TEST_F(RenderCommandTest, ALogThatCannotBeReadGivesNoPicture) {
  WriteMap(DemoMap());
  WriteFile(root / "SDMMC/TEVOLOG/2009/05/20090514.log", "");
  ASSERT_EQ(mkfifo((root / "SDMMC/TEVOLOG/2009/05/20090515.log").c_str(), 0600), 0);
  fs::create_directories(root / "SDMMC/TEVOLOG/2009/05/20090516.log");
  const std::pair<const char*, const char*> cases[] = {
      {"2009-05-14", "is empty"}, {"2009-05-15", "not a plain file"}, {"2009-05-16", "a folder"}};
  for (const auto& [date, why] : cases) {
    ToolRun run = Render(std::string("--date ") + date + " -o " + Quote(Picture("x.png")));
    EXPECT_EQ(run.status, 1) << date;
    EXPECT_NE(run.err.find(why), std::string::npos) << date << ": " << run.err;
    EXPECT_FALSE(fs::exists(output / "x.png")) << date;
  }
}

}  // namespace
