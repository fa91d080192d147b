// Drawing-context state, fills, lines and copies between canvases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <utility>

#include "canvas/blit.h"
#include "canvas/canvas.h"
#include "platform/gdi.h"

namespace {

constexpr uint16_t GREY = 0x8410;
constexpr uint32_t WHITE_RGB = 0xFFFFFF;

using PixelSet = std::set<std::pair<int32_t, int32_t>>;

// Every pixel that differs from `background`.
PixelSet Drawn(const Canvas& canvas, uint16_t background) {
  PixelSet drawn;
  for (int32_t y = 0; y < canvas.height; ++y) {
    for (int32_t x = 0; x < canvas.width; ++x) {
      if (canvas.pixels[x + y * canvas.stride] != background) drawn.insert({x, y});
    }
  }
  return drawn;
}

// A source canvas with a repeating pattern of colours, magenta and green
// among them, so keyed copies have something to skip.
void FillPattern(Canvas* canvas) {
  const uint16_t colours[] = {KEY_COLOUR, 0x07E0, 0x1234, 0xFFFF, KEY_COLOUR, 0xF800, 0x001F};
  for (int32_t y = 0; y < canvas->height; ++y) {
    for (int32_t x = 0; x < canvas->width; ++x) canvas->pixels[x + y * canvas->stride] = colours[(x * 3 + y) % 7];
  }
}

bool SameCanvas(const Canvas& a, const Canvas& b) {
  for (int32_t y = 0; y < a.height; ++y) {
    for (int32_t x = 0; x < a.width; ++x) {
      if (a.pixels[x + y * a.stride] != b.pixels[x + y * b.stride]) return false;
    }
  }
  return true;
}

class DrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateCanvas(&canvas, 480, 272);
    FillCanvas(&canvas, GREY);
    dc = CreateDrawingContext();
    SelectCanvas(dc, &canvas);
  }
  void TearDown() override { DeleteDrawingContext(dc); }

  Canvas canvas;
  DrawingContext* dc = nullptr;
};

TEST_F(DrawTest, ScaleBracketGivesExactlyItsPixels) {
  Pen* scalePen = CreatePen(PS_SOLID, 1, WHITE_RGB);
  SelectPen(dc, scalePen);
  MoveTo(dc, 389, 260);
  LineTo(dc, 389, 265);
  LineTo(dc, 421, 265);
  LineTo(dc, 421, 260);
  LineTo(dc, 421, 260);  // zero length: nothing
  PixelSet expected;
  for (int32_t y = 260; y <= 264; ++y) expected.insert({389, y});  // down, (389, 265) left out
  for (int32_t x = 389; x <= 420; ++x) expected.insert({x, 265});  // across, (421, 265) left out
  for (int32_t y = 261; y <= 265; ++y) expected.insert({421, y});  // up, (421, 260) left out
  EXPECT_EQ(Drawn(canvas, GREY), expected);
  EXPECT_EQ(canvas.pixels[400 + 265 * canvas.stride], 0xFFFF);
  EXPECT_EQ(SelectPen(dc, nullptr), scalePen);
  DeletePen(scalePen);
}

TEST_F(DrawTest, SlantedLineStepsOnePixelPerColumnOrRow) {
  for (auto [x1, y1] : {std::pair{60, 23}, std::pair{23, 60}, std::pair{-30, 5}, std::pair{9, -44}}) {
    FillCanvas(&canvas, GREY);
    MoveTo(dc, 100, 100);
    LineTo(dc, 100 + x1, 100 + y1);
    PixelSet drawn = Drawn(canvas, GREY);
    int32_t major = std::max(std::abs(x1), std::abs(y1));
    EXPECT_EQ(static_cast<int32_t>(drawn.size()), major);
    EXPECT_TRUE(drawn.count({100, 100}));
    EXPECT_EQ(canvas.pixels[100 + 100 * canvas.stride], 0x0000);  // the default pen is black
    EXPECT_FALSE(drawn.count({100 + x1, 100 + y1}));
    // Consecutive pixels along the major axis are 8-connected.
    std::set<int32_t> majors;
    for (auto [x, y] : drawn) majors.insert(std::abs(x1) >= std::abs(y1) ? x : y);
    EXPECT_EQ(static_cast<int32_t>(majors.size()), major);
  }
}

TEST_F(DrawTest, LineFromFarAwayMatchesTheSameLineDrawnFromNearby) {
  // The window (900..1000, 300..400) of a line on a large canvas equals the
  // same line moved so that the window is a small canvas.
  Canvas large;
  CreateCanvas(&large, 2000, 800);
  FillCanvas(&large, GREY);
  DrawingContext* largeDc = CreateDrawingContext();
  SelectCanvas(largeDc, &large);
  MoveTo(largeDc, 3, 1);
  LineTo(largeDc, 1903, 651);

  Canvas small;
  CreateCanvas(&small, 100, 100);
  FillCanvas(&small, GREY);
  SelectCanvas(dc, &small);
  MoveTo(dc, 3 - 900, 1 - 300);
  LineTo(dc, 1903 - 900, 651 - 300);

  PixelSet window;
  for (auto [x, y] : Drawn(large, GREY)) {
    if (x >= 900 && x < 1000 && y >= 300 && y < 400) window.insert({x - 900, y - 300});
  }
  EXPECT_FALSE(window.empty());
  EXPECT_EQ(Drawn(small, GREY), window);
  DeleteDrawingContext(largeDc);
}

TEST_F(DrawTest, LinesBetweenExtremeCoordinatesStayOnTheCanvas) {
  Canvas tiny;
  CreateCanvas(&tiny, 5, 3);
  FillCanvas(&tiny, GREY);
  SelectCanvas(dc, &tiny);
  Pen* wide = CreatePen(PS_SOLID, 1000000, WHITE_RGB);
  for (Pen* pen : {static_cast<Pen*>(nullptr), wide}) {
    SelectPen(dc, pen);
    MoveTo(dc, INT32_MIN, INT32_MIN);
    LineTo(dc, INT32_MAX, INT32_MAX);
    LineTo(dc, INT32_MIN, 1);
    LineTo(dc, 2, INT32_MIN);
  }
  EXPECT_FALSE(Drawn(tiny, GREY).empty());
  SelectPen(dc, nullptr);
  DeletePen(wide);
}

TEST_F(DrawTest, WidePenDrawsASquareBrush) {
  Pen* pen = CreatePen(PS_SOLID, 3, 0xFF0000);
  SelectPen(dc, pen);
  MoveTo(dc, 20, 20);
  LineTo(dc, 30, 20);
  PixelSet drawn = Drawn(canvas, GREY);
  // Squares around x 20..29 (the end pixel's own square left out): x 19..30, y 19..21.
  EXPECT_EQ(drawn.size(), 12u * 3u);
  EXPECT_TRUE(drawn.count({19, 19}));
  EXPECT_TRUE(drawn.count({30, 21}));
  EXPECT_EQ(canvas.pixels[25 + 20 * canvas.stride], 0xF800);
  DeletePen(pen);
}

TEST_F(DrawTest, FillRectCoversLeftTopButNotRightBottom) {
  FillRect(dc, Rect{10, 20, 14, 23}, 0x00FF00);
  PixelSet expected;
  for (int32_t y = 20; y < 23; ++y) {
    for (int32_t x = 10; x < 14; ++x) expected.insert({x, y});
  }
  EXPECT_EQ(Drawn(canvas, GREY), expected);
  EXPECT_EQ(canvas.pixels[10 + 20 * canvas.stride], 0x07E0);

  FillCanvas(&canvas, GREY);
  FillRect(dc, Rect{30, 30, 20, 40}, 0);  // right before left: empty
  FillRect(dc, Rect{480, 0, 600, 272}, 0);
  FillRect(dc, Rect{INT32_MIN, INT32_MIN, 0, INT32_MAX}, 0);
  EXPECT_TRUE(Drawn(canvas, GREY).empty());
  FillRect(dc, Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 0);
  EXPECT_EQ(Drawn(canvas, GREY).size(), 480u * 272u);
}

TEST_F(DrawTest, CopiesEqualTheCanvasBlits) {
  Canvas source;
  CreateCanvas(&source, 61, 37);
  FillPattern(&source);
  DrawingContext* sourceDc = CreateDrawingContext();
  SelectCanvas(sourceDc, &source);
  Canvas expected;
  CreateCanvas(&expected, canvas.width, canvas.height);

  struct Copy {
    int32_t dx, dy, w, h, sx, sy;
  };
  for (Copy c : {Copy{10, 12, 61, 37, 0, 0}, Copy{-5, 260, 40, 30, 3, 2}, Copy{470, -4, 30, 30, -6, 10},
                 Copy{0, 0, INT32_MAX, INT32_MAX, 0, 0}, Copy{40, 40, -10, 5, 0, 0}}) {
    FillCanvas(&canvas, GREY);
    FillCanvas(&expected, GREY);
    BitBlt(dc, c.dx, c.dy, c.w, c.h, sourceDc, c.sx, c.sy);
    BlitOpaque(&expected, &source, c.dx, c.dy, c.w, c.h, c.sx, c.sy);
    EXPECT_TRUE(SameCanvas(canvas, expected)) << c.dx << "," << c.dy;

    FillCanvas(&canvas, GREY);
    FillCanvas(&expected, GREY);
    TransparentBlt(dc, c.dx, c.dy, c.w, c.h, sourceDc, c.sx, c.sy, c.w, c.h, KEY_COLOUR_RGB24);
    BlitKeyed(&expected, &source, c.dx, c.dy, c.w, c.h, c.sx, c.sy);
    EXPECT_TRUE(SameCanvas(canvas, expected)) << c.dx << "," << c.dy;
  }

  // Scaling copies are not made.
  FillCanvas(&canvas, GREY);
  TransparentBlt(dc, 0, 0, 20, 20, sourceDc, 0, 0, 10, 20, KEY_COLOUR_RGB24);
  EXPECT_TRUE(Drawn(canvas, GREY).empty());
  DeleteDrawingContext(sourceDc);
}

TEST_F(DrawTest, OtherKeyColoursSkipTheirOwnRgb565Form) {
  Canvas source;
  CreateCanvas(&source, 14, 9);
  FillPattern(&source);
  DrawingContext* sourceDc = CreateDrawingContext();
  SelectCanvas(sourceDc, &source);
  struct Copy {
    int32_t dx, dy, w, h, sx, sy;
  };
  for (Copy c : {Copy{-3, 265, 14, 9, 0, 0}, Copy{475, 3, 14, 9, -2, -1}, Copy{100, 100, -14, 9, 0, 0},
                 Copy{INT32_MAX - 5, INT32_MIN, 14, 9, 0, 0}, Copy{0, 0, 200, 200, 10, 5}}) {
    FillCanvas(&canvas, GREY);
    // 0x04FF03 reduces to pure green 0x07E0: green is skipped, magenta copied.
    TransparentBlt(dc, c.dx, c.dy, c.w, c.h, sourceDc, c.sx, c.sy, c.w, c.h, 0x04FF03);
    for (int32_t y = 0; y < canvas.height; ++y) {
      for (int32_t x = 0; x < canvas.width; ++x) {
        int64_t col = int64_t{x} - c.dx + c.sx, row = int64_t{y} - c.dy + c.sy;
        bool copied = x - int64_t{c.dx} < c.w && y - int64_t{c.dy} < c.h && x >= c.dx && y >= c.dy && col >= 0 &&
                      row >= 0 && col < source.width && row < source.height;
        uint16_t s = copied ? source.pixels[col + row * source.stride] : GREY;
        ASSERT_EQ(canvas.pixels[x + y * canvas.stride], s == 0x07E0 ? GREY : s) << x << "," << y;
      }
    }
  }
  DeleteDrawingContext(sourceDc);
}

TEST_F(DrawTest, ContextsWithoutCanvasDrawNothing) {
  DrawingContext* bare = CreateDrawingContext();
  Canvas empty;
  for (Canvas* target : {static_cast<Canvas*>(nullptr), &empty}) {
    SelectCanvas(bare, target);
    FillRect(bare, Rect{0, 0, 10, 10}, 0);
    MoveTo(bare, 0, 0);
    LineTo(bare, 10, 10);
    BitBlt(bare, 0, 0, 10, 10, dc, 0, 0);
    BitBlt(dc, 0, 0, 10, 10, bare, 0, 0);
    TransparentBlt(dc, 0, 0, 10, 10, bare, 0, 0, 10, 10, KEY_COLOUR_RGB24);
  }
  FillRect(nullptr, Rect{0, 0, 10, 10}, 0);
  LineTo(nullptr, 1, 1);
  EXPECT_TRUE(Drawn(canvas, GREY).empty());
  DeleteDrawingContext(bare);
}

}  // namespace
