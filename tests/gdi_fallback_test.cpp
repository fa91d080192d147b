// Machines without Japanese fonts, or without any font: each case runs in a
// fresh process whose fontconfig sees only a directory the test fills.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "canvas/canvas.h"
#include "platform/gdi.h"
#include "temporary_directory.h"

namespace {

namespace fs = std::filesystem;

const char* const LATIN_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Points fontconfig at a configuration whose only font directory is a new
// directory holding `fontFile` (none for ""). Call before any font use;
// returns the directory to remove afterwards.
fs::path UseOnlyFont(const std::string& caseName, const std::string& fontFile) {
  fs::path dir = MakeTemporaryDirectory("tevo-gdi-fonts-" + caseName);
  fs::create_directories(dir / "fonts");
  if (!fontFile.empty()) fs::copy_file(fontFile, dir / "fonts" / fs::path(fontFile).filename());
  std::ofstream config(dir / "fonts.conf");
  config << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig><dir>"
         << (dir / "fonts").string() << "</dir><cachedir>" << (dir / "cache").string() << "</cachedir></fontconfig>\n";
  config.close();
  setenv("FONTCONFIG_FILE", (dir / "fonts.conf").c_str(), 1);
  return dir;
}

// Draws a date the way the calendar does; returns the number of pixels changed.
int32_t DrawDate(DrawingContext* dc, Canvas* canvas) {
  FillCanvas(canvas, 0xFFFF);
  DrawText(dc, u"2009年05月", -1, Rect{0, 0, canvas->width, canvas->height}, DT_CENTER | DT_VCENTER);
  int32_t changed = 0;
  for (int32_t i = 0; i < canvas->stride * canvas->height; ++i) changed += canvas->pixels[i] != 0xFFFF;
  return changed;
}

// Without any font: no font is made, and measuring and drawing report
// nothing done instead of failing.
bool NothingDrawnWithoutFonts() {
  Canvas canvas;
  CreateCanvas(&canvas, 120, 30);
  DrawingContext* dc = CreateDrawingContext();
  SelectCanvas(dc, &canvas);
  TextSize size;
  bool ok = !HasJapaneseFont() && CreateFont(LogicalFont{}) == nullptr && MeasureText(dc, u"1.7km", -1, &size) == 0 &&
            DrawDate(dc, &canvas) == 0;
  DeleteDrawingContext(dc);
  return ok;
}

// With only a Latin face: the calendar's bold font takes it, so digits show
// (and kanji draw its missing-glyph box).
bool LatinFaceDraws() {
  Canvas canvas;
  CreateCanvas(&canvas, 200, 30);
  DrawingContext* dc = CreateDrawingContext();
  SelectCanvas(dc, &canvas);
  LogicalFont description;
  description.weight = 900;
  Font* font = CreateFont(description);
  SelectFont(dc, font);
  TextSize size;
  bool ok = !HasJapaneseFont() && font != nullptr &&
            fs::path(FontFilePath(font)).filename() == fs::path(LATIN_FONT).filename() &&
            MeasureText(dc, u"2009年05月", -1, &size) == 1 && size.width > 0 && DrawDate(dc, &canvas) > 0;
  DeleteDrawingContext(dc);
  DeleteFont(font);
  return ok;
}

// Runs a case in a fresh process that sees only `fontFile`; exits 0 when it holds.
void RunWithOnlyFont(const std::string& caseName, const std::string& fontFile, bool (*check)()) {
  fs::path dir = UseOnlyFont(caseName, fontFile);
  bool ok = check();
  fs::remove_all(dir);
  std::exit(ok ? 0 : 1);
}

class FontFallbackTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(FontFallbackTest, WithoutAnyFontTextIsSkippedQuietly) {
  EXPECT_EXIT(RunWithOnlyFont("none", "", NothingDrawnWithoutFonts), ::testing::ExitedWithCode(0), "");
}

TEST_F(FontFallbackTest, WithoutJapaneseFontsALatinFaceStillDraws) {
  if (!fs::exists(LATIN_FONT)) GTEST_SKIP() << LATIN_FONT << " is not installed";
  EXPECT_EXIT(RunWithOnlyFont("latin", LATIN_FONT, LatinFaceDraws), ::testing::ExitedWithCode(0), "");
}

}  // namespace
