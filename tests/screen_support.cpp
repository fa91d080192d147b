#include "screen_support.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/picture.h"
#include "temporary_directory.h"
#include "tools/mapwriter/map_writer.h"

void ScreenTest::SetUp() {
  root = MakeScratchDirectory();
  fs::create_directories(root / "NAND/QXAPP/Data");  // the device's flash has it; the card may be empty
  SetDeviceRoot(root.c_str());
  SetBackend(&backend);
  backend.SetLocalTime(LocalTime{2010, 2, 14, 10, 30, 0});
  DiskSpace card{2000000000, 4000000000, 2000000000};
  OverrideDiskFreeSpace(&card);
}

void ScreenTest::TearDown() {
  mainMenu.DestroyWindow();
  SetBackend(nullptr);
  OverrideDiskFreeSpace(nullptr);
  SetDeviceRoot(nullptr);
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

std::string ScreenTest::LogPath(int year, int month, int day) const {
  char name[64];
  std::snprintf(name, sizeof name, "SDMMC/TEVOLOG/%04d/%02d/%04d%02d%02d.log", year, month, year, month, day);
  return (root / name).string();
}

void ScreenTest::AddLog(int year, int month, int day) {
  // A drive eastwards along a street near Tokyo Station, one fix a minute.
  std::string log;
  for (int i = 0; i < 30; ++i) {
    char time[16], lon[24];
    std::snprintf(time, sizeof time, "%02d%02d00.00", 1 + i / 60, i % 60);
    std::snprintf(lon, sizeof lon, "13945.%04d", 2000 + 40 * i);
    log += Rmc(time, "3540.8000", lon) + "\r\n";
  }
  WriteFile(LogPath(year, month, day), log);
}

void ScreenTest::WriteTokyoMap(uint16_t flags) {
  MapDescription map;
  map.flags = flags;
  ASSERT_EQ(AddStandardLevels(&map), 0);
  const InclusiveRect tokyo = DEMO_AREAS[0];
  for (int level = 0; level < static_cast<int>(map.levels.size()); ++level) {
    ASSERT_GE(CoverBox(&map, level, tokyo, [](int, uint32_t, uint32_t) { return ParcelData{}; }), 1);
  }
  fs::create_directories(root / "NAND/CMC/KDH");
  std::string error;
  ASSERT_EQ(WriteMapFile(map, (root / "NAND/CMC/KDH/ALLDATA.KWI").c_str(), nullptr, &error), 0) << error;
}

void ScreenTest::StartMainMenu() {
  mainMenu.Create(nullptr, false);
  mainMenu.SetWindowText(MAIN_MENU_TITLE);
}

void DayCentre(int32_t year, int32_t month, int32_t day, int32_t* x, int32_t* y) {
  ForEachDayCell(year, month, [&](int32_t d, const Rect& cell) {
    if (d != day) return;
    *x = (cell.left + cell.right) / 2;
    *y = (cell.top + cell.bottom) / 2;
  });
}

uint16_t ScreenPixel(int32_t x, int32_t y) {
  const Canvas& screen = ScreenCanvas();
  return screen.pixels[x + y * screen.stride];
}

namespace {

// Where mismatching screens are written for a person to look at: the
// build's output directory, else a fresh directory of this process.
fs::path OutputDirectory() {
  static const fs::path directory = [] {
    const char* output = std::getenv("TEVO_TEST_OUTPUT_DIR");
    if (output == nullptr) return MakeTemporaryDirectory("tevo-screens");
    fs::create_directories(output);
    return fs::path(output);
  }();
  return directory;
}

fs::path GoldenPath(const std::string& name) {
  const char* golden = std::getenv("TEVO_GOLDEN_DIR");
  return fs::path(golden != nullptr ? golden : "tests/golden") / (name + ".png");
}

// Differences in red over a dimmed copy of the screen.
void WriteDiff(const Canvas& screen, const std::vector<uint16_t>& expected, const fs::path& path) {
  std::vector<uint16_t> diff(static_cast<size_t>(screen.width) * screen.height);
  for (int32_t y = 0; y < screen.height; ++y) {
    for (int32_t x = 0; x < screen.width; ++x) {
      size_t i = static_cast<size_t>(y) * screen.width + x;
      uint16_t actual = screen.pixels[x + y * screen.stride];
      diff[i] = actual != expected[i] ? 0xF800 : static_cast<uint16_t>((actual >> 2) & 0x39E7);
    }
  }
  WriteRgb565Png(path.c_str(), diff.data(), screen.width, screen.height, screen.width);
}

}  // namespace

::testing::AssertionResult ScreenMatchesGolden(const std::string& name) { return CanvasMatchesGolden(ScreenCanvas(), name); }

::testing::AssertionResult CanvasMatchesGolden(const Canvas& screen, const std::string& name) {
  fs::path golden = GoldenPath(name);
  const char* update = std::getenv("TEVO_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    fs::create_directories(golden.parent_path());
    WriteRgb565Png(golden.c_str(), screen.pixels, screen.width, screen.height, screen.stride);
    return ::testing::AssertionSuccess() << "golden written: " << golden;
  }
  RgbImage image;
  if (DecodePngFile(golden.c_str(), &image) != 0) {
    return ::testing::AssertionFailure() << "no golden image " << golden
                                         << " (run with TEVO_UPDATE_GOLDEN=1 to write it, then look at it)";
  }
  if (image.width != screen.width || image.height != screen.height) {
    ReleaseRgbImage(&image);
    return ::testing::AssertionFailure() << "golden " << golden << " has another size";
  }
  std::vector<uint16_t> expected(static_cast<size_t>(screen.width) * screen.height);
  for (size_t i = 0; i < expected.size(); ++i) {
    const uint8_t* p = image.rgb + i * 3;
    expected[i] = Rgb565(p[0], p[1], p[2]);
  }
  ReleaseRgbImage(&image);
  int differing = 0;
  int32_t firstX = -1, firstY = -1;
  for (int32_t y = 0; y < screen.height; ++y) {
    for (int32_t x = 0; x < screen.width; ++x) {
      if (screen.pixels[x + y * screen.stride] == expected[static_cast<size_t>(y) * screen.width + x]) continue;
      if (differing++ == 0) {
        firstX = x;
        firstY = y;
      }
    }
  }
  if (differing == 0) return ::testing::AssertionSuccess();
  fs::path out = OutputDirectory();
  WriteRgb565Png((out / (name + ".actual.png")).c_str(), screen.pixels, screen.width, screen.height, screen.stride);
  WriteDiff(screen, expected, out / (name + ".diff.png"));
  char pixel[96];
  std::snprintf(pixel, sizeof pixel, "first at (%d, %d): 0x%04X instead of 0x%04X", firstX, firstY,
                screen.pixels[firstX + firstY * screen.stride], expected[static_cast<size_t>(firstY) * screen.width + firstX]);
  return ::testing::AssertionFailure() << name << ": " << differing << " pixels differ, " << pixel
                                       << "; see " << out / (name + ".actual.png") << " and the .diff.png beside it";
}
