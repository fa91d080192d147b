// Fonts, measuring and drawing text through drawing contexts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "canvas/canvas.h"
#include "platform/gdi.h"
#include "platform/text_freetype.h"

namespace {

constexpr uint16_t WHITE = 0xFFFF;
constexpr uint32_t SATURDAY_BLUE = 0x0054FF;  // (0, 84, 255)
const char16_t* const MONTH_TITLE = u"2009年05月";
constexpr int32_t MONTH_TITLE_LENGTH = 8;
constexpr Rect TITLE_RECT{185, 4, 285, 36};

LogicalFont CalendarFontDescription() {
  LogicalFont font;
  font.tenthsOfPoint = 120;
  font.weight = 900;
  font.quality = FONT_QUALITY_ANTIALIASED;
  return font;
}

LogicalFont RegularFontDescription() {
  LogicalFont font;
  font.weight = 400;
  return font;
}

// Pixels that differ from the background colour, with their bounding box.
struct Ink {
  int32_t count = 0;
  int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;  // right, bottom exclusive
  int64_t darkness = 0;  // sum over inked pixels of how far each field moved
};

Ink FindInk(const Canvas& canvas, uint16_t background) {
  Ink ink;
  for (int32_t y = 0; y < canvas.height; ++y) {
    for (int32_t x = 0; x < canvas.width; ++x) {
      uint16_t p = canvas.pixels[x + y * canvas.stride];
      if (p == background) continue;
      ++ink.count;
      ink.left = std::min(ink.left, x);
      ink.top = std::min(ink.top, y);
      ink.right = std::max(ink.right, x + 1);
      ink.bottom = std::max(ink.bottom, y + 1);
      ink.darkness += std::abs((p >> 11) - (background >> 11)) + std::abs(((p >> 5) & 63) - ((background >> 5) & 63)) +
                      std::abs((p & 31) - (background & 31));
    }
  }
  return ink;
}

bool SameCanvas(const Canvas& a, const Canvas& b) {
  for (int32_t y = 0; y < a.height; ++y) {
    if (!std::equal(a.pixels + y * a.stride, a.pixels + y * a.stride + a.width, b.pixels + y * b.stride)) return false;
  }
  return true;
}

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HasJapaneseFont()) GTEST_SKIP() << "no Japanese font installed (fonts-ipafont-gothic)";
    calendarFont = CreateFont(CalendarFontDescription());
    regularFont = CreateFont(RegularFontDescription());
    ASSERT_NE(calendarFont, nullptr);
    ASSERT_NE(regularFont, nullptr);
    CreateCanvas(&canvas, 480, 272);
    FillCanvas(&canvas, WHITE);
    dc = CreateDrawingContext();
    SelectCanvas(dc, &canvas);
    SelectFont(dc, calendarFont);
    SetBackgroundMode(dc, BK_TRANSPARENT);
  }
  void TearDown() override {
    DeleteDrawingContext(dc);
    DeleteFont(calendarFont);
    DeleteFont(regularFont);
  }

  TextSize Measure(const char16_t* text, int32_t count = -1) {
    TextSize size;
    EXPECT_EQ(MeasureText(dc, text, count, &size), 1);
    return size;
  }

  Font* calendarFont = nullptr;
  Font* regularFont = nullptr;
  Canvas canvas;
  DrawingContext* dc = nullptr;
};

TEST_F(TextTest, DeviceFaceAndMissingFacesFallBackToTheJapaneseGothic) {
  std::string path = FontFilePath(calendarFont);
  EXPECT_FALSE(path.empty());
  for (const char* face : {"IPAPGothic", "No Such Face 123", "", "DejaVu Sans"}) {
    LogicalFont description = RegularFontDescription();
    description.faceName = face;
    Font* font = CreateFont(description);
    ASSERT_NE(font, nullptr) << face;
    // A face without Japanese glyphs (DejaVu Sans) is not taken either.
    EXPECT_EQ(std::string(FontFilePath(font)), path) << face;
    DeleteFont(font);
  }
  EXPECT_STREQ(FontFilePath(nullptr), "");
}

TEST_F(TextTest, MonthTitleMeasuresToAPlausibleSize) {
  TextSize size = Measure(MONTH_TITLE);
  // A 16-pixel em: the line is a little more than the em.
  EXPECT_GE(size.height, 16);
  EXPECT_LE(size.height, 24);
  // Six digits of 0.4 to 0.7 em and two full-width kanji of 0.9 to 1.1 em,
  // plus up to a pixel each for bold: 67 to 112 pixels.
  EXPECT_GE(size.width, 64);
  EXPECT_LE(size.width, 112);
}

TEST_F(TextTest, MeasuringTheFirstCharactersAddsUpWithoutKerning) {
  TextSize all = Measure(MONTH_TITLE);
  EXPECT_EQ(Measure(MONTH_TITLE, MONTH_TITLE_LENGTH).width, all.width);
  int32_t previous = 0;
  for (int32_t n = 1; n <= MONTH_TITLE_LENGTH; ++n) {
    TextSize head = Measure(MONTH_TITLE, n);
    TextSize tail = Measure(MONTH_TITLE + n, MONTH_TITLE_LENGTH - n);
    EXPECT_GT(head.width, previous) << n;
    EXPECT_EQ(head.width + tail.width, all.width) << n;
    EXPECT_EQ(head.height, all.height);
    previous = head.width;
  }
  TextSize none = Measure(MONTH_TITLE, 0);
  EXPECT_EQ(none.width, 0);
  EXPECT_EQ(none.height, all.height);
  EXPECT_EQ(Measure(nullptr, 5).width, 0);
  EXPECT_EQ(Measure(MONTH_TITLE, -7).width, 0);
}

TEST_F(TextTest, SurrogatePairIsOneCharacterAndControlsHaveNoWidth) {
  int32_t pair = Measure(u"\U00020BB7").width;
  int32_t halves = Measure(u"\xD842", 1).width + Measure(u"\xDFB7", 1).width;
  EXPECT_GT(pair, 0);
  EXPECT_LT(pair, halves);
  EXPECT_EQ(Measure(u"20\r\n09").width, Measure(u"2009").width);
}

TEST_F(TextTest, CentredTitleInksOnlyItsRectangleInTheTextColour) {
  SetTextColour(dc, SATURDAY_BLUE);
  EXPECT_EQ(DrawText(dc, MONTH_TITLE, -1, TITLE_RECT, DT_CENTER | DT_VCENTER), Measure(MONTH_TITLE).height);

  Ink ink = FindInk(canvas, WHITE);
  ASSERT_GT(ink.count, 100);
  EXPECT_GE(ink.left, TITLE_RECT.left);
  EXPECT_GE(ink.top, TITLE_RECT.top);
  EXPECT_LE(ink.right, TITLE_RECT.right);
  EXPECT_LE(ink.bottom, TITLE_RECT.bottom);
  // Centred horizontally and vertically to within two pixels (ink middles
  // are doubled to stay in integers).
  EXPECT_NEAR(ink.left + ink.right, TITLE_RECT.left + TITLE_RECT.right, 4);
  EXPECT_NEAR(ink.top + ink.bottom, TITLE_RECT.top + TITLE_RECT.bottom, 4);

  // Full coverage is the text colour exactly; partial coverage lies between
  // the background and the colour in every field.
  uint16_t colour = Rgb24To565(SATURDAY_BLUE);
  int32_t full = 0;
  for (int32_t y = ink.top; y < ink.bottom; ++y) {
    for (int32_t x = ink.left; x < ink.right; ++x) {
      uint16_t p = canvas.pixels[x + y * canvas.stride];
      full += p == colour;
      EXPECT_GE(p & 0x07E0, colour & 0x07E0);
      EXPECT_GE(p & 0x001F, colour & 0x001F);
    }
  }
  EXPECT_GT(full, 30);
}

TEST_F(TextTest, LeftAlignedTextStartsAtTheLeftEdge) {
  Rect rect{192, 170, 392, 194};
  DrawText(dc, MONTH_TITLE, -1, rect, DT_VCENTER);
  Ink ink = FindInk(canvas, WHITE);
  EXPECT_GE(ink.left, rect.left);
  EXPECT_LE(ink.left, rect.left + 2);
  EXPECT_NEAR(ink.top + ink.bottom, rect.top + rect.bottom, 4);
}

TEST_F(TextTest, TextIsClippedToItsRectangle) {
  Rect narrow{200, 10, 230, 22};  // narrower and lower than the title
  DrawText(dc, MONTH_TITLE, -1, narrow, DT_CENTER | DT_VCENTER);
  Ink ink = FindInk(canvas, WHITE);
  ASSERT_GT(ink.count, 0);
  EXPECT_GE(ink.left, narrow.left);
  EXPECT_GE(ink.top, narrow.top);
  EXPECT_LE(ink.right, narrow.right);
  EXPECT_LE(ink.bottom, narrow.bottom);
}

TEST_F(TextTest, TextReachingPastATinyCanvasIsClippedToIt) {
  Canvas tiny;
  CreateCanvas(&tiny, 7, 5);
  FillCanvas(&tiny, WHITE);
  SelectCanvas(dc, &tiny);
  for (Rect rect : {Rect{-40, -9, 45, 14}, Rect{-3, 2, 90, 40}, Rect{5, -20, 9, 3}}) {
    DrawText(dc, u"年月\n2009\r\n日", -1, rect, DT_CENTER | DT_VCENTER);
  }
  EXPECT_GT(FindInk(tiny, WHITE).count, 0);

  FillCanvas(&tiny, WHITE);
  for (int mode : {BK_TRANSPARENT, BK_OPAQUE}) {
    SetBackgroundMode(dc, mode);
    for (Rect rect : {Rect{INT32_MAX - 3, 0, INT32_MAX, 5}, Rect{0, INT32_MIN, 7, INT32_MIN + 10},
                      Rect{-1000000000, 0, -999999000, 5}, Rect{50, 50, -50, -50}, Rect{3, 4, 2, 1}}) {
      DrawText(dc, MONTH_TITLE, -1, rect, DT_CENTER | DT_VCENTER);
      DrawText(dc, MONTH_TITLE, -1, rect, DT_LEFT);
    }
  }
  EXPECT_EQ(FindInk(tiny, WHITE).count, 0);
  SetBackgroundMode(dc, BK_TRANSPARENT);

  // A rectangle spanning every coordinate centres the text on the origin.
  DrawText(dc, MONTH_TITLE, -1, Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, DT_CENTER | DT_VCENTER);
  EXPECT_GT(FindInk(tiny, WHITE).count, 0);
}

TEST_F(TextTest, LineBreaksMakeLinesUnlessSingleLine) {
  Rect rect{100, 50, 300, 150};
  int32_t lineHeight = Measure(u"").height;
  EXPECT_EQ(DrawText(dc, u"2009年\n05月", -1, rect, DT_CENTER | DT_VCENTER), 2 * lineHeight);
  Ink twoLines = FindInk(canvas, WHITE);
  EXPECT_GT(twoLines.bottom - twoLines.top, lineHeight);
  EXPECT_NEAR(twoLines.top + twoLines.bottom, rect.top + rect.bottom, 4);
  // The wider upper line sets the block's width; both are centred.
  EXPECT_NEAR(twoLines.right - twoLines.left, Measure(u"2009年").width, 2);

  FillCanvas(&canvas, WHITE);
  EXPECT_EQ(DrawText(dc, u"2009年\r\n05月", -1, rect, DT_CENTER | DT_VCENTER), 2 * lineHeight);
  Ink crLf = FindInk(canvas, WHITE);
  EXPECT_EQ(crLf.count, twoLines.count);

  FillCanvas(&canvas, WHITE);
  EXPECT_EQ(DrawText(dc, u"2009年\n05月", -1, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE), lineHeight);
  Ink oneLine = FindInk(canvas, WHITE);
  EXPECT_LE(oneLine.bottom - oneLine.top, lineHeight);
  EXPECT_GT(oneLine.right - oneLine.left, twoLines.right - twoLines.left);
}

TEST_F(TextTest, BoldIsWiderAndDarkerThanRegular) {
  TextSize bold = Measure(MONTH_TITLE);
  DrawText(dc, MONTH_TITLE, -1, TITLE_RECT, DT_CENTER | DT_VCENTER);
  Ink boldInk = FindInk(canvas, WHITE);

  FillCanvas(&canvas, WHITE);
  SelectFont(dc, regularFont);
  TextSize regular = Measure(MONTH_TITLE);
  DrawText(dc, MONTH_TITLE, -1, TITLE_RECT, DT_CENTER | DT_VCENTER);
  Ink regularInk = FindInk(canvas, WHITE);

  EXPECT_GT(bold.width, regular.width);
  EXPECT_GT(boldInk.darkness, regularInk.darkness * 6 / 5);
}

TEST_F(TextTest, OpaqueBackgroundFillsTheTextCell) {
  constexpr uint32_t RED = 0xFF0000;
  SetBackgroundMode(dc, BK_OPAQUE);
  SetBackgroundColour(dc, RED);
  SetTextColour(dc, 0x000000);
  DrawText(dc, MONTH_TITLE, -1, TITLE_RECT, DT_CENTER | DT_VCENTER);
  TextSize size = Measure(MONTH_TITLE);
  Ink cell = FindInk(canvas, WHITE);
  EXPECT_EQ(cell.right - cell.left, size.width);
  EXPECT_EQ(cell.bottom - cell.top, size.height);
  // Corners of the cell hold no ink: they keep the background colour.
  EXPECT_EQ(canvas.pixels[cell.left + cell.top * canvas.stride], Rgb24To565(RED));
  EXPECT_EQ(canvas.pixels[cell.right - 1 + (cell.bottom - 1) * canvas.stride], Rgb24To565(RED));
}

TEST_F(TextTest, NewContextDrawsBlackOnWhiteInTheDefaultFont) {
  DrawingContext* fresh = CreateDrawingContext();
  FillCanvas(&canvas, 0x0000);
  SelectCanvas(fresh, &canvas);
  TextSize size;
  ASSERT_EQ(MeasureText(fresh, u"1.7km", -1, &size), 1);
  EXPECT_GT(size.width, 0);
  EXPECT_GE(size.height, 12);  // the 13-pixel system font
  // The map's widest scale label stays within the dark plate of the map
  // frame (x 376..438) when centred on its rectangle 388..425 without clipping.
  TextSize widest;
  ASSERT_EQ(MeasureText(fresh, u"200km", -1, &widest), 1);
  EXPECT_LE(widest.width, 438 - 376);
  EXPECT_EQ(DrawText(fresh, u"1.7km", -1, Rect{388, 246, 425, 267}, DT_CENTER | DT_VCENTER | DT_SINGLELINE),
            size.height);
  // Opaque white cell with black ink on the black canvas.
  Ink ink = FindInk(canvas, 0x0000);
  EXPECT_GT(ink.count, 0);
  EXPECT_EQ(canvas.pixels[ink.left + ink.top * canvas.stride], WHITE);
  EXPECT_EQ(SelectFont(fresh, nullptr), nullptr);
  DeleteDrawingContext(fresh);
}

TEST_F(TextTest, SecondDrawingComesFromTheGlyphCache) {
  const char16_t* label = u"新宿御苑前 𠮷 ｶﾞｿﾘﾝ";
  Rect rect{10, 10, 300, 40};
  DrawText(dc, label, -1, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  int64_t loaded = GlyphLoadCount(calendarFont);
  EXPECT_GT(loaded, 0);

  Canvas second;
  CreateCanvas(&second, canvas.width, canvas.height);
  FillCanvas(&second, WHITE);
  SelectCanvas(dc, &second);
  DrawText(dc, label, -1, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  TextSize size;
  MeasureText(dc, label, -1, &size);
  EXPECT_EQ(GlyphLoadCount(calendarFont), loaded);
  EXPECT_TRUE(SameCanvas(canvas, second));

  // An emptied cache loads again and still draws the same pixels.
  ClearGlyphCache(calendarFont);
  FillCanvas(&second, WHITE);
  DrawText(dc, label, -1, rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  EXPECT_EQ(GlyphLoadCount(calendarFont), loaded);
  EXPECT_TRUE(SameCanvas(canvas, second));
}

TEST_F(TextTest, ContextWithoutCanvasDrawsNothing) {
  SelectCanvas(dc, nullptr);
  EXPECT_EQ(DrawText(dc, MONTH_TITLE, -1, TITLE_RECT, DT_CENTER), 0);
  TextSize size;
  EXPECT_EQ(MeasureText(dc, MONTH_TITLE, -1, &size), 1);  // measuring needs only the font
  Canvas empty;
  SelectCanvas(dc, &empty);
  EXPECT_EQ(DrawText(dc, MONTH_TITLE, -1, TITLE_RECT, DT_CENTER), 0);
  EXPECT_EQ(DrawText(nullptr, MONTH_TITLE, -1, TITLE_RECT, DT_CENTER), 0);
  EXPECT_EQ(MeasureText(nullptr, MONTH_TITLE, -1, &size), 0);
}

}  // namespace
