// Trigonometry, rectangle tests and the rasterisers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "canvas/canvas.h"
#include "geometry/raster.h"
#include "geometry/rect_tests.h"
#include "geometry/trig.h"

namespace {

constexpr int32_t I32_MIN = std::numeric_limits<int32_t>::min();
constexpr int32_t I32_MAX = std::numeric_limits<int32_t>::max();
constexpr uint16_t BLACK = 0x0000;
constexpr uint16_t WHITE = 0xFFFF;
constexpr uint16_t GREY = 0x8410;
constexpr uint16_t EDGE = 0x001F;
constexpr uint16_t CENTRE = 0x07E0;
constexpr uint16_t FILL = 0xF800;

void MakeCanvas(Canvas* canvas, int32_t w, int32_t h, uint16_t colour) {
  CreateCanvas(canvas, w, h);
  FillCanvas(canvas, colour);
}

uint16_t At(const Canvas& c, int32_t x, int32_t y) { return c.pixels[x + y * c.stride]; }

Rect Whole(const Canvas& c) { return Rect{0, 0, c.width, c.height}; }

// The canvas as text, one line per row: '.' background, 'e' EDGE, 'c'
// CENTRE, '#' any other colour.
std::string Picture(const Canvas& c, uint16_t background) {
  std::string out;
  for (int32_t y = 0; y < c.height; ++y) {
    for (int32_t x = 0; x < c.width; ++x) {
      uint16_t p = At(c, x, y);
      out += p == background ? '.' : p == EDGE ? 'e' : p == CENTRE ? 'c' : '#';
    }
    out += '\n';
  }
  return out;
}

std::string Lines(std::initializer_list<const char*> rows) {
  std::string out;
  for (const char* row : rows) out += std::string(row) + '\n';
  return out;
}

// ---------------------------------------------------------------------------
// Trigonometry and rectangle tests

TEST(Trig, QuarterTurnsAreExact) {
  struct Case {
    int32_t angle, sin, cos;
  } cases[] = {{0, 0, 131072}, {900, 131072, 0}, {1800, 0, -131072}, {2700, -131072, 0}, {3600, 0, 131072}};
  for (const Case& c : cases) {
    EXPECT_EQ(Sin(c.angle), c.sin) << c.angle;
    EXPECT_EQ(Cos(c.angle), c.cos) << c.angle;
  }
}

TEST(Trig, EveryAngleIsWithinTwoUnitsOfTheRoundedValue) {
  for (int32_t a = 0; a <= FULL_TURN; ++a) {
    double radians = a * M_PI / 1800.0;
    EXPECT_LE(std::abs(Sin(a) - std::lround(std::sin(radians) * TRIG_ONE)), 2) << a;
    EXPECT_LE(std::abs(Cos(a) - std::lround(std::cos(radians) * TRIG_ONE)), 2) << a;
  }
}

TEST(Trig, AnglesOutsideAFullTurnWrapAndAbsNeverOverflows) {
  EXPECT_EQ(Sin(-900), Sin(2700));
  EXPECT_EQ(Cos(-450), Cos(3150));
  EXPECT_EQ(Sin(3600 + 450), Sin(450));
  EXPECT_EQ(Sin(I32_MIN), Sin(I32_MIN % 3600 + 3600));
  EXPECT_EQ(Abs(-5), 5);
  EXPECT_EQ(Abs(7), 7);
  EXPECT_EQ(Abs(I32_MIN), I32_MAX);
}

TEST(RectTests, PointInRectIncludesAllFourBounds) {
  InclusiveRect r{0, 0, 10, 10};
  EXPECT_EQ(PointInRect(r, {0, 0}), 1);
  EXPECT_EQ(PointInRect(r, {10, 10}), 1);
  EXPECT_EQ(PointInRect(r, {-1, 5}), 0);
  EXPECT_EQ(PointInRect(r, {5, 11}), 0);
}

TEST(RectTests, SegmentTouchesRectIsABoundingBoxTest) {
  InclusiveRect r{0, 0, 10, 10};
  struct Case {
    Point16 p, q;
    int touches;
  } cases[] = {
      {{-10, 5}, {20, 5}, 1},    // across, neither end inside
      {{5, 5}, {50, 50}, 1},     // one end inside
      {{-5, -5}, {-1, 20}, 0},   // both ends left
      {{11, 0}, {30, 10}, 0},    // both ends right
      {{-5, 11}, {20, 30}, 0},   // both ends below the top bound
      {{-5, -20}, {20, -1}, 0},  // both ends above
      {{-10, 8}, {2, 20}, 1},    // passes beside the corner, still 1
      {{10, -3}, {10, 13}, 1},   // on the right bound
  };
  for (const Case& c : cases) EXPECT_EQ(SegmentTouchesRect(r, c.p, c.q), c.touches) << c.p.x << "," << c.p.y;
}

// ---------------------------------------------------------------------------
// Blending

TEST(Blend, PixelWeightsRoundTowardsMinusInfinity) {
  Canvas c;
  MakeCanvas(&c, 2, 1, BLACK);
  BlendPixel(&c, 0, 0, WHITE, 128);
  EXPECT_EQ(At(c, 0, 0), (15 << 11) | (31 << 5) | 15);
  BlendPixel(&c, 1, 0, 0x1234, WEIGHT_OPAQUE);
  EXPECT_EQ(At(c, 1, 0), 0x1234);

  FillCanvas(&c, WHITE);
  BlendPixel(&c, 0, 0, BLACK, 1);  // 31 + (-31 >> 8) = 30: a truncating shift would keep 31
  EXPECT_EQ(At(c, 0, 0), (30 << 11) | (62 << 5) | 30);
  BlendPixel(&c, 1, 0, BLACK, 0);
  EXPECT_EQ(At(c, 1, 0), WHITE);
}

TEST(Blend, FillAlwaysBlendsAndStaysOnTheCanvas) {
  Canvas c;
  MakeCanvas(&c, 3, 3, BLACK);
  BlendFill(&c, 0, 0, 3, 3, 0x001F, WEIGHT_OPAQUE);
  EXPECT_EQ(At(c, 2, 2), 0x001E);

  FillCanvas(&c, BLACK);
  BlendFill(&c, -5, 1, 7, 50, WHITE, WEIGHT_OPAQUE);
  EXPECT_EQ(Picture(c, BLACK), Lines({"...", "##.", "##."}));
  BlendFill(&c, 0, 0, 3, 0, WHITE, WEIGHT_OPAQUE);
  BlendFill(&c, I32_MAX, I32_MAX, I32_MAX, I32_MAX, WHITE, WEIGHT_OPAQUE);
  EXPECT_EQ(Picture(c, BLACK), Lines({"...", "##.", "##."}));
}

TEST(Blend, FillMatchesThePixelBlendForEveryWeight) {
  std::mt19937 random(7);
  Canvas fill, pixel;
  MakeCanvas(&fill, 16, 1, BLACK);
  MakeCanvas(&pixel, 16, 1, BLACK);
  for (int32_t weight = 0; weight < WEIGHT_OPAQUE; ++weight) {
    uint16_t colour = static_cast<uint16_t>(random());
    for (int32_t x = 0; x < 16; ++x) fill.pixels[x] = pixel.pixels[x] = static_cast<uint16_t>(random());
    BlendFill(&fill, 0, 0, 16, 1, colour, weight);
    for (int32_t x = 0; x < 16; ++x) BlendPixel(&pixel, x, 0, colour, weight);
    for (int32_t x = 0; x < 16; ++x) ASSERT_EQ(fill.pixels[x], pixel.pixels[x]) << "weight " << weight;
  }
}

// ---------------------------------------------------------------------------
// Lines

struct LineCase {
  const char* name;
  int32_t x0, y0, x1, y1, width;
  std::string picture;  // 7 x 5 canvas
};

TEST(DrawLine, WidthsAndStepping) {
  const LineCase cases[] = {
      {"width 3 across the top edge", 0, 0, 4, 0, 3, Lines({"ccccc..", "eeeee..", ".......", ".......", "......."})},
      {"width 3", 1, 2, 5, 2, 3, Lines({".......", ".eeeee.", ".ccccc.", ".eeeee.", "......."})},
      {"width 1 steps late", 0, 1, 4, 2, 1, Lines({".......", "eeee...", "....e..", ".......", "......."})},
      {"width 1 reversed", 4, 2, 0, 1, 1, Lines({".......", "e......", ".eeee..", ".......", "......."})},
      {"width 1 diagonal is y-major", 0, 0, 3, 3, 1, Lines({"e......", ".e.....", "..e....", "...e...", "......."})},
      {"width 2 running down", 0, 1, 4, 2, 2, Lines({".......", "eeee...", "eeeee..", "....e..", "......."})},
      {"width 2 level goes up", 1, 2, 4, 2, 2, Lines({".......", ".eeee..", ".eeee..", ".......", "......."})},
      {"width 2 y-major right", 3, 0, 4, 3, 2, Lines({"..ee...", "..ee...", "..ee...", "...ee..", "......."})},
      {"width 2 y-major left", 3, 0, 3, 2, 2, Lines({"...ee..", "...ee..", "...ee..", ".......", "......."})},
      {"width 5", 3, 0, 3, 3, 5, Lines({".eccce.", ".eccce.", ".eccce.", ".eccce.", "......."})},
      {"width 4 draws nothing", 0, 0, 6, 4, 4, Lines({".......", ".......", ".......", ".......", "......."})},
      {"zero length draws nothing", 3, 3, 3, 3, 1, Lines({".......", ".......", ".......", ".......", "......."})},
  };
  for (const LineCase& c : cases) {
    Canvas canvas;
    MakeCanvas(&canvas, 7, 5, BLACK);
    DrawLine(&canvas, c.x0, c.y0, c.x1, c.y1, EDGE, CENTRE, c.width, Whole(canvas));
    EXPECT_EQ(Picture(canvas, BLACK), c.picture) << c.name;
  }
}


enum LineKind { THIN, DOUBLE, CASED, WIDE, RAILWAY, DOTTED, LINE_KINDS };

void DrawKind(Canvas* c, int kind, Point a, Point b, const Rect& clip) {
  static const int32_t WIDTHS[] = {1, 2, 3, 5};
  if (kind == RAILWAY) {
    DrawRailwayLine(c, a.x, a.y, b.x, b.y, clip);
  } else if (kind == DOTTED) {
    DrawDottedLine(c, a.x, a.y, b.x, b.y, EDGE, clip);
  } else {
    DrawLine(c, a.x, a.y, b.x, b.y, EDGE, CENTRE, WIDTHS[kind], clip);
  }
}

// Every line drawn with a clip rectangle sets exactly the pixels the whole
// line sets inside that rectangle. The whole line is drawn translated on a
// long canvas, which leaves its pixels unchanged: stepping depends only on
// the differences of the end points. So a line that starts thousands of
// pixels outside the clip rectangle is checked against one drawn from its
// first step.
TEST(Lines, ClippedLinesMatchTheWholeLine) {
  constexpr int32_t SIZE = 60;
  constexpr int32_t FAR = 3000;
  std::mt19937 random(11);
  auto uniform = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(random); };
  Canvas whole, part;
  MakeCanvas(&part, SIZE, SIZE, GREY);
  for (int32_t i = 0; i < 600; ++i) {
    int kind = i % LINE_KINDS;
    bool horizontalish = uniform(0, 1) == 0;
    // One end inside the canvas, the other up to FAR away along the long axis.
    Point a{uniform(-5, SIZE + 5), uniform(-5, SIZE + 5)};
    Point b{uniform(-5, SIZE + 5), uniform(-5, SIZE + 5)};
    if (i % 3 != 0) (horizontalish ? b.x : b.y) += uniform(-FAR, FAR);
    if (uniform(0, 1)) std::swap(a, b);
    Rect clip{uniform(-3, SIZE - 1), uniform(-3, SIZE - 1), 0, 0};
    clip.right = clip.left + uniform(0, SIZE);
    clip.bottom = clip.top + uniform(0, SIZE);

    // The long canvas holds the whole line with 3 pixels to spare.
    Point shift{3 - std::min({a.x, b.x, 0}), 3 - std::min({a.y, b.y, 0})};
    int32_t longW = std::max({a.x, b.x, SIZE}) + shift.x + 4;
    int32_t longH = std::max({a.y, b.y, SIZE}) + shift.y + 4;
    MakeCanvas(&whole, longW, longH, GREY);
    DrawKind(&whole, kind, {a.x + shift.x, a.y + shift.y}, {b.x + shift.x, b.y + shift.y}, Whole(whole));
    FillCanvas(&part, GREY);
    DrawKind(&part, kind, a, b, clip);

    for (int32_t y = 0; y < SIZE; ++y) {
      for (int32_t x = 0; x < SIZE; ++x) {
        bool inside = clip.left <= x && x < clip.right && clip.top <= y && y < clip.bottom;
        uint16_t expected = inside ? At(whole, x + shift.x, y + shift.y) : GREY;
        ASSERT_EQ(At(part, x, y), expected) << "kind " << kind << " line (" << a.x << "," << a.y << ")-(" << b.x
                                            << "," << b.y << ") at " << x << "," << y;
      }
    }
  }
}

TEST(Lines, EndPointsAtTheLimitsOfThe32BitRange) {
  Canvas c;
  MakeCanvas(&c, 10, 10, BLACK);
  // A diagonal from -2^30 to 2^30 passes (0, 0) .. (9, 9).
  DrawLine(&c, -(1 << 30), -(1 << 30), 1 << 30, 1 << 30, EDGE, CENTRE, 1, Whole(c));
  for (int32_t i = 0; i < 10; ++i) EXPECT_EQ(At(c, i, i), EDGE) << i;
  // 2^31 steps over which y moves 3 times: it has moved once by x = 0.
  FillCanvas(&c, BLACK);
  DrawLine(&c, -(1 << 30), 0, 1 << 30, 3, EDGE, CENTRE, 1, Whole(c));
  EXPECT_EQ(Picture(c, BLACK), Lines({"..........", "eeeeeeeeee", "..........", "..........", "..........",
                                      "..........", "..........", "..........", "..........", ".........."}));
  // The full range, every kind, with clip rectangles larger than the canvas.
  const Rect huge{I32_MIN, I32_MIN, I32_MAX, I32_MAX};
  for (int kind = 0; kind < LINE_KINDS; ++kind) {
    FillCanvas(&c, GREY);
    DrawKind(&c, kind, {I32_MIN, 5}, {I32_MAX, 5}, huge);
    EXPECT_NE(At(c, 0, 5), GREY) << kind;
    EXPECT_NE(At(c, 8, 5), GREY) << kind;
    DrawKind(&c, kind, {I32_MIN, I32_MIN}, {I32_MAX, I32_MAX - 7}, huge);
    DrawKind(&c, kind, {I32_MAX, I32_MIN}, {I32_MIN, I32_MAX}, huge);
  }
}

// The expected result of blending colour over old with weight.
uint16_t Blended(uint16_t old, uint16_t colour, int32_t weight) {
  Canvas one;
  MakeCanvas(&one, 1, 1, old);
  BlendPixel(&one, 0, 0, colour, weight);
  return At(one, 0, 0);
}

TEST(Railway, DashesOfTenBlackAndTenWhite) {
  Canvas c;
  MakeCanvas(&c, 40, 9, GREY);
  DrawRailwayLine(&c, 0, 5, 39, 5, Whole(c));
  for (int32_t x = 0; x < 40; ++x) {
    uint16_t core = (x / 10) % 2 == 0 ? BLACK : WHITE;
    EXPECT_EQ(At(c, x, 5), core) << x;
    EXPECT_EQ(At(c, x, 6), core) << x;  // the core runs towards +y on a level line
    EXPECT_EQ(At(c, x, 4), BLACK) << x;  // the line lies on the pixel: full black beside it
    EXPECT_EQ(At(c, x, 7), GREY) << x;   // and none beyond the neighbour
  }
}

TEST(Railway, EdgesAreWeightedByTheDistanceOfTheTrueLine) {
  // Four steps and one minor step: the error leaves the weights 255, 191,
  // 127, 63 on the pixel's side, then 255 again after the step.
  Canvas c;
  MakeCanvas(&c, 6, 7, WHITE);
  DrawRailwayLine(&c, 0, 2, 4, 3, Whole(c));
  const int32_t weights[] = {255, 191, 127, 63, 255};
  const int32_t rows[] = {2, 2, 2, 2, 3};
  for (int32_t x = 0; x < 5; ++x) {
    int32_t y = rows[x];
    EXPECT_EQ(At(c, x, y - 1), Blended(WHITE, BLACK, weights[x])) << x;
    EXPECT_EQ(At(c, x, y + 2), Blended(WHITE, BLACK, 255 - weights[x])) << x;
  }
  // Running up and left, the core neighbour and the edges change sides.
  FillCanvas(&c, GREY);
  DrawRailwayLine(&c, 3, 5, 2, 0, Whole(c));
  EXPECT_EQ(At(c, 3, 5), BLACK);
  EXPECT_EQ(At(c, 2, 5), BLACK);
  EXPECT_EQ(At(c, 4, 5), BLACK);  // weight 255 beside the pixel
  EXPECT_EQ(At(c, 1, 5), GREY);   // weight 0 beyond the neighbour
}

TEST(Dotted, EveryOtherStepCountedFromTheFirstPoint) {
  Canvas c;
  MakeCanvas(&c, 6, 1, BLACK);
  DrawDottedLine(&c, 0, 0, 4, 0, EDGE, Whole(c));
  EXPECT_EQ(Picture(c, BLACK), "e.e.e.\n");
  // Steps 0..2 fall left of the canvas; the dots keep their places.
  FillCanvas(&c, BLACK);
  DrawDottedLine(&c, -3, 0, 4, 0, EDGE, Whole(c));
  EXPECT_EQ(Picture(c, BLACK), ".e.e..\n");
}

// ---------------------------------------------------------------------------
// Polygons

TEST(FillPolygon, TriangleRowsShortenOnTheRight) {
  Canvas c;
  MakeCanvas(&c, 12, 12, BLACK);
  const Point triangle[] = {{0, 0}, {10, 0}, {0, 10}};
  EXPECT_EQ(FillPolygon(&c, triangle, 3, FILL, Whole(c)), 0);
  for (int32_t y = 0; y < 12; ++y) {
    for (int32_t x = 0; x < 12; ++x) {
      bool filled = y < 10 && x <= 10 - y;
      EXPECT_EQ(At(c, x, y) == FILL, filled) << x << "," << y;
    }
  }
}

TEST(FillPolygon, EvenOddLeavesTheHoleEmpty) {
  Canvas c;
  MakeCanvas(&c, 22, 22, BLACK);
  // An outer square and an inner one joined by a bridge that is walked twice.
  const Point shape[] = {{0, 0}, {20, 0}, {20, 20}, {0, 20}, {0, 0}, {5, 5}, {5, 15}, {15, 15}, {15, 5}, {5, 5}};
  FillPolygon(&c, shape, 10, FILL, Whole(c));
  for (int32_t x = 0; x < 22; ++x) {
    bool filled = x <= 5 || (x >= 15 && x <= 20);
    EXPECT_EQ(At(c, x, 10) == FILL, filled) << x;
  }
  EXPECT_EQ(At(c, 10, 4), FILL);
  EXPECT_EQ(At(c, 10, 15), FILL);  // the hole's bottom row belongs to the outer ring
}

// Clipping at the left keeps the rest of every row where it is: the same
// polygon moved right by a whole number of pixels fills the same pixels.
TEST(FillPolygon, PartLeftOfTheClipKeepsItsRightPart) {
  const Point shape[] = {{-37, 1}, {25, 4}, {9, 17}, {30, 28}, {-20, 30}, {-5, 12}};
  constexpr int32_t SHIFT = 40;
  Point moved[6];
  for (int32_t i = 0; i < 6; ++i) moved[i] = {shape[i].x + SHIFT, shape[i].y};
  Canvas clipped, whole;
  MakeCanvas(&clipped, 32, 32, BLACK);
  MakeCanvas(&whole, 32 + SHIFT, 32, BLACK);
  FillPolygon(&clipped, shape, 6, FILL, Rect{3, 0, 32, 32});
  FillPolygon(&whole, moved, 6, FILL, Whole(whole));
  for (int32_t y = 0; y < 32; ++y) {
    for (int32_t x = 0; x < 32; ++x) {
      uint16_t expected = x >= 3 ? At(whole, x + SHIFT, y) : BLACK;
      ASSERT_EQ(At(clipped, x, y), expected) << x << "," << y;
    }
  }
}

// Rectangles tiling an area: rows meet without overlap (top row in, bottom
// row out), columns overlap by exactly the shared column (right end in).
TEST(FillPolygon, TilesOverlapOnlyOnSharedColumns) {
  const int32_t xs[] = {0, 10, 25, 40};
  const int32_t ys[] = {0, 8, 20, 30};
  std::vector<int> count(45 * 35, 0);
  Canvas c;
  MakeCanvas(&c, 45, 35, BLACK);
  for (int32_t i = 0; i < 3; ++i) {
    for (int32_t j = 0; j < 3; ++j) {
      FillCanvas(&c, BLACK);
      const Point quad[] = {{xs[i], ys[j]}, {xs[i + 1], ys[j]}, {xs[i + 1], ys[j + 1]}, {xs[i], ys[j + 1]}};
      FillPolygon(&c, quad, 4, FILL, Whole(c));
      for (int32_t y = 0; y < 35; ++y)
        for (int32_t x = 0; x < 45; ++x) count[y * 45 + x] += At(c, x, y) == FILL;
    }
  }
  for (int32_t y = 0; y < 35; ++y) {
    for (int32_t x = 0; x < 45; ++x) {
      int expected = (y < 30 && x <= 40) ? ((x == 10 || x == 25) ? 2 : 1) : 0;
      ASSERT_EQ(count[y * 45 + x], expected) << x << "," << y;
    }
  }
}

struct Span {
  int32_t left, right;
};

// Triangulates a jittered grid over the square (0, 0)..(size, size) and
// fills every triangle on its own. On each row the triangles that take part
// form a chain from the left side to the right side, each span starting on
// the pixel where the previous one ends (the shared edge's pixel is the
// left triangle's inclusive right end and the right triangle's left end):
// no gap, and no overlap beyond that pixel. With a clip rectangle cutting
// through triangles the same holds on the rows left.
void CheckTriangulation(uint32_t seed, const Rect& clip) {
  constexpr int32_t CELLS = 5, CELL = 12, SIZE = CELLS * CELL;
  std::mt19937 random(seed);
  // Points move at most a quarter cell, which keeps every cell convex, so
  // either diagonal splits it into two proper triangles.
  auto jitter = [&]() { return std::uniform_int_distribution<int32_t>(-3, 3)(random); };
  Point grid[CELLS + 1][CELLS + 1];
  for (int32_t j = 0; j <= CELLS; ++j) {
    for (int32_t i = 0; i <= CELLS; ++i) {
      bool sideX = i == 0 || i == CELLS, sideY = j == 0 || j == CELLS;
      grid[j][i] = {i * CELL + (sideX ? 0 : jitter()), j * CELL + (sideY ? 0 : jitter())};
    }
  }
  std::vector<std::vector<Span>> rows(SIZE + 2);
  Canvas c;
  MakeCanvas(&c, SIZE + 2, SIZE + 2, BLACK);
  for (int32_t j = 0; j < CELLS; ++j) {
    for (int32_t i = 0; i < CELLS; ++i) {
      Point p00 = grid[j][i], p10 = grid[j][i + 1], p01 = grid[j + 1][i], p11 = grid[j + 1][i + 1];
      bool diagonal = random() % 2 == 0;
      Point triangles[2][3] = {{p00, p10, p11}, {p00, p11, p01}};
      if (!diagonal) {
        Point other[2][3] = {{p00, p10, p01}, {p10, p11, p01}};
        std::copy(&other[0][0], &other[0][0] + 6, &triangles[0][0]);
      }
      for (const auto& triangle : triangles) {
        FillCanvas(&c, BLACK);
        FillPolygon(&c, triangle, 3, FILL, clip);
        for (int32_t y = 0; y < c.height; ++y) {
          int32_t left = -1, right = -1;
          for (int32_t x = 0; x < c.width; ++x) {
            if (At(c, x, y) != FILL) continue;
            if (left < 0) left = x;
            ASSERT_TRUE(right < 0 || right == x - 1) << "span broken at " << x << "," << y;
            right = x;
          }
          if (left >= 0) rows[y].push_back({left, right});
        }
      }
    }
  }
  for (int32_t y = 0; y < SIZE + 2; ++y) {
    std::vector<Span>& spans = rows[y];
    if (y < std::max(clip.top, 0) || y >= std::min(clip.bottom, SIZE)) {
      EXPECT_TRUE(spans.empty()) << "row " << y;
      continue;
    }
    ASSERT_FALSE(spans.empty()) << "row " << y;
    std::sort(spans.begin(), spans.end(), [](Span a, Span b) { return a.left < b.left || (a.left == b.left && a.right < b.right); });
    EXPECT_EQ(spans.front().left, 0) << "row " << y;
    EXPECT_EQ(spans.back().right, SIZE) << "row " << y;
    for (size_t k = 1; k < spans.size(); ++k) {
      EXPECT_EQ(spans[k].left, spans[k - 1].right) << "row " << y << " span " << k << " " << [&] {
        std::string all;
        for (Span s : spans) all += " " + std::to_string(s.left) + ".." + std::to_string(s.right);
        return all;
      }();
    }
  }
}

TEST(FillPolygon, TrianglesSharingEdgesLeaveNoGap) {
  for (uint32_t seed = 1; seed <= 6; ++seed) CheckTriangulation(seed, Rect{0, 0, 100, 100});
}

TEST(FillPolygon, TrianglesCutByTheClipRowsStillMeet) {
  for (uint32_t seed = 1; seed <= 6; ++seed) CheckTriangulation(seed, Rect{0, 7, 100, 53});
}

TEST(FillPolygon, LargePolygonsUseTheHeapAndFillAlike) {
  // A rectangle given by 4 corners, and by 200 points along its sides.
  std::vector<Point> many;
  for (int32_t i = 0; i < 50; ++i) many.push_back({3 + i * 27 / 50, 2});
  for (int32_t i = 0; i < 50; ++i) many.push_back({30, 2 + i * 18 / 50});
  for (int32_t i = 0; i < 50; ++i) many.push_back({30 - i * 27 / 50, 20});
  for (int32_t i = 0; i < 50; ++i) many.push_back({3, 20 - i * 18 / 50});
  const Point corners[] = {{3, 2}, {30, 2}, {30, 20}, {3, 20}};
  Canvas a, b;
  MakeCanvas(&a, 34, 24, BLACK);
  MakeCanvas(&b, 34, 24, BLACK);
  EXPECT_EQ(FillPolygon(&a, many.data(), static_cast<int32_t>(many.size()), FILL, Whole(a)), 0);
  FillPolygon(&b, corners, 4, FILL, Whole(b));
  EXPECT_EQ(Picture(a, BLACK), Picture(b, BLACK));
  EXPECT_EQ(At(a, 30, 19), FILL);
  EXPECT_EQ(At(a, 30, 20), BLACK);
}

TEST(FillPolygon, CoordinatesAtTheLimitsOfThe32BitRange) {
  Canvas c;
  MakeCanvas(&c, 16, 16, BLACK);
  const Point everything[] = {{I32_MIN, I32_MIN}, {I32_MAX, I32_MIN}, {I32_MAX, I32_MAX}, {I32_MIN, I32_MAX}};
  FillPolygon(&c, everything, 4, FILL, Whole(c));
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) ASSERT_EQ(At(c, x, y), FILL) << x << "," << y;
  // A sliver with slopes of 2^28 pixels per row: its upper edge reaches
  // x = 0 exactly at row 4, where the lower edge is still far left; every
  // other row of it lies wholly left or right of the canvas.
  FillCanvas(&c, BLACK);
  const Point sliver[] = {{-(1 << 30), 0}, {1 << 30, 8}, {1 << 30, 9}};
  FillPolygon(&c, sliver, 3, FILL, Rect{I32_MIN, I32_MIN, I32_MAX, I32_MAX});
  int filled = 0;
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) filled += At(c, x, y) == FILL;
  EXPECT_EQ(filled, 1);
  EXPECT_EQ(At(c, 0, 4), FILL);
  // Far away: nothing.
  FillCanvas(&c, BLACK);
  const Point away[] = {{1 << 30, 1 << 30}, {I32_MAX, 1 << 30}, {1 << 30, I32_MAX}};
  FillPolygon(&c, away, 3, FILL, Whole(c));
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) ASSERT_EQ(At(c, x, y), BLACK);
}

// ---------------------------------------------------------------------------
// Stencil and dot

TEST(StencilCopy, NegativeStartStaysAlignedAndLastRowAndColumnAreLeft) {
  Canvas stencil, target;
  MakeCanvas(&stencil, 8, 6, KEY_COLOUR);
  const Point marks[] = {{1, 0}, {0, 1}, {2, 3}, {7, 2}, {3, 5}};
  for (Point m : marks) stencil.pixels[m.x + m.y * stencil.stride] = WHITE;
  MakeCanvas(&target, 8, 6, BLACK);

  StencilCopy(&target, &stencil, 0, 0, 8, 6, 0, 0, EDGE);
  EXPECT_EQ(Picture(target, BLACK), Lines({".e......", "e.......", "........", "..e.....", "........", "........"}));

  FillCanvas(&target, BLACK);
  StencilCopy(&target, &stencil, -1, 0, 8, 6, 0, 0, EDGE);
  EXPECT_EQ(Picture(target, BLACK), Lines({"e.......", "........", "......e.", ".e......", "........", "........"}));
}

TEST(StencilCopy, StaysInsideBothCanvases) {
  Canvas small, large;
  MakeCanvas(&small, 4, 4, BLACK);
  MakeCanvas(&large, 16, 16, WHITE);
  StencilCopy(&small, &large, 1, 1, 16, 16, 0, 0, EDGE);
  EXPECT_EQ(Picture(small, BLACK), Lines({"....", ".eee", ".eee", ".eee"}));
  FillCanvas(&large, BLACK);
  StencilCopy(&large, &small, 0, 0, 16, 16, 0, 0, EDGE);  // reads 3 x 3 of the 4 x 4 stencil
  StencilCopy(&large, &small, 1, 1, 2, 2, -1, 0, CENTRE);  // the stencil column -1 is cut away
  StencilCopy(&large, &small, 5, 5, 4, 4, 0, 0, CENTRE);   // reaches the stencil's stride: nothing
  StencilCopy(&large, &small, I32_MAX, I32_MAX, I32_MAX, I32_MAX, 0, 0, CENTRE);
  StencilCopy(&large, &small, I32_MIN, I32_MIN, I32_MAX, I32_MAX, I32_MAX, 0, CENTRE);
  int changed = 0;
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) changed += At(large, x, y) != BLACK;
  EXPECT_EQ(changed, 9);
  EXPECT_EQ(At(large, 1, 1), EDGE);
  EXPECT_EQ(At(large, 2, 1), CENTRE);
  EXPECT_EQ(At(large, 2, 2), CENTRE);
}

// Rows of every width from 1 to 40 at every start column 0..3, so that whole
// vector blocks, their tails and unaligned starts are all stamped: each
// target pixel under an unkeyed stencil pixel takes the colour, every other
// pixel keeps its own value.
TEST(StencilCopy, WideRowsStampExactlyTheUnkeyedPixels) {
  constexpr int32_t W = 48, H = 3;
  Canvas stencil, target;
  MakeCanvas(&stencil, W, H, KEY_COLOUR);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      if ((x * 7 + y * 3) % 5 < 2) stencil.pixels[x + y * stencil.stride] = WHITE;
  MakeCanvas(&target, W, H, BLACK);
  for (int32_t width = 1; width <= 40; ++width) {
    for (int32_t x = 0; x < 4; ++x) {
      auto own = [](int32_t i) { return static_cast<uint16_t>(0x100 + i); };  // never EDGE
      for (int32_t i = 0; i < W; ++i) target.pixels[i] = own(i);
      StencilCopy(&target, &stencil, x, 0, width, 1, x, 0, EDGE);
      for (int32_t i = 0; i < W; ++i) {
        const bool stamped = i >= x && i < x + width && stencil.pixels[i] != KEY_COLOUR;
        ASSERT_EQ(target.pixels[i], stamped ? EDGE : own(i)) << "width " << width << " x " << x << " pixel " << i;
      }
    }
  }
}

TEST(DrawDot, TwelvePixelsCutToTheCanvas) {
  Canvas c;
  MakeCanvas(&c, 6, 6, BLACK);
  DrawDot(&c, 2, 2);
  EXPECT_EQ(Picture(c, BLACK), Lines({"......", "..##..", ".####.", ".####.", "..##..", "......"}));
  FillCanvas(&c, BLACK);
  DrawDot(&c, -1, -1);
  DrawDot(&c, I32_MAX, I32_MAX);
  DrawDot(&c, I32_MIN, I32_MIN);
  EXPECT_EQ(Picture(c, BLACK), Lines({"##....", "#.....", "......", "......", "......", "......"}));
  EXPECT_EQ(At(c, 0, 0), DOT_COLOUR);
}

// ---------------------------------------------------------------------------
// Bounds

// Every drawer with coordinates from the whole 32-bit range and clip
// rectangles larger than the canvas: nothing is written outside the canvas,
// including the padding column of an odd-width canvas. AddressSanitizer
// catches anything written past the buffer.
TEST(Bounds, NothingIsWrittenOutsideATinyCanvas) {
  const int32_t values[] = {I32_MIN, -(1 << 30), -70000, -100, -3, -1, 0, 1, 2, 4, 5, 6, 100, 70000, 1 << 30, I32_MAX};
  constexpr int32_t VALUES = sizeof(values) / sizeof(values[0]);
  constexpr uint16_t GUARD = 0x1234;
  Canvas c, stencil;
  MakeCanvas(&c, 5, 3, GREY);
  ASSERT_EQ(c.stride, 6);
  for (int32_t y = 0; y < 3; ++y) c.pixels[5 + y * c.stride] = GUARD;
  MakeCanvas(&stencil, 7, 7, WHITE);
  std::mt19937 random(5);
  auto pick = [&]() { return values[random() % VALUES]; };
  for (int32_t i = 0; i < 20000; ++i) {
    Rect clip{pick(), pick(), pick(), pick()};
    Point p[5] = {{pick(), pick()}, {pick(), pick()}, {pick(), pick()}, {pick(), pick()}, {pick(), pick()}};
    switch (i % 7) {
      case 0: DrawKind(&c, static_cast<int>(random() % LINE_KINDS), p[0], p[1], clip); break;
      case 1: FillPolygon(&c, p, 3 + static_cast<int32_t>(random() % 3), FILL, clip); break;
      case 2: DrawDot(&c, p[0].x, p[0].y); break;
      case 3: StencilCopy(&c, &stencil, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y, EDGE); break;
      case 4: BlendFill(&c, p[0].x, p[0].y, p[1].x, p[1].y, WHITE, 128); break;
      case 5: BlendPixel(&c, p[0].x, p[0].y, WHITE, 128); break;
      default: DrawKind(&c, static_cast<int>(random() % LINE_KINDS), p[0], p[1], Rect{-5, -5, 10, 10}); break;
    }
  }
  for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(c.pixels[5 + y * c.stride], GUARD) << y;
}

TEST(Bounds, EmptyCanvasIsLeftAlone) {
  Canvas empty, stencil;
  MakeCanvas(&stencil, 4, 4, WHITE);
  const Point triangle[] = {{0, 0}, {3, 0}, {0, 3}};
  const Rect clip{0, 0, 4, 4};
  DrawLine(&empty, 0, 0, 3, 3, EDGE, CENTRE, 5, clip);
  DrawRailwayLine(&empty, 0, 0, 3, 3, clip);
  DrawDottedLine(&empty, 0, 0, 3, 3, EDGE, clip);
  EXPECT_EQ(FillPolygon(&empty, triangle, 3, FILL, clip), 0);
  BlendPixel(&empty, 0, 0, WHITE, 128);
  BlendFill(&empty, 0, 0, 4, 4, WHITE, 128);
  StencilCopy(&empty, &stencil, 0, 0, 4, 4, 0, 0, EDGE);
  StencilCopy(&stencil, &empty, 0, 0, 4, 4, 0, 0, EDGE);
  DrawDot(&empty, 1, 1);
  EXPECT_EQ(At(stencil, 0, 0), WHITE);
}

}  // namespace
