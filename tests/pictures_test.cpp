// The program's pictures as the screens and the renderer use them: sizes,
// the transparent colour, and the places where run-time drawing meets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "canvas/canvas.h"
#include "platform/picture.h"
#include "platform/picture_cache.h"

namespace {

struct Box {
  int32_t x, y, w, h;
};

struct PictureSize {
  int id;
  int32_t width, height;
};

constexpr PictureSize PICTURE_SIZES[] = {
    {129, 332, 320}, {131, 32, 32},   {132, 672, 368}, {133, 240, 200}, {134, 320, 128},
    {135, 24, 13},   {136, 156, 33},  {137, 480, 272}, {140, 64, 64},   {144, 480, 272},
    {146, 320, 128}, {147, 480, 272}, {149, 320, 128}, {150, 480, 272}, {153, 320, 128},
    {154, 320, 128}, {155, 320, 128}, {156, 320, 128},
};
// Backgrounds copied plainly over the whole screen.
constexpr int OPAQUE_PICTURES[] = {144, 147, 150};

// Facility-mark rectangles of picture 132.
constexpr Box MARKS[] = {
    {576, 0, 48, 48},   {0, 0, 48, 48},     {0, 72, 64, 40},    {195, 66, 60, 46},  {449, 73, 64, 38},
    {547, 65, 62, 48},  {385, 136, 62, 42}, {192, 260, 64, 40}, {481, 246, 64, 54}, {64, 318, 64, 42},
    {296, 317, 68, 50}, {48, 0, 48, 48},    {325, 68, 58, 44},  {383, 61, 66, 52},  {610, 69, 62, 42},
    {96, 0, 48, 48},    {384, 196, 64, 42}, {448, 198, 62, 42}, {545, 202, 62, 36}, {354, 321, 62, 40},
    {288, 0, 48, 48},   {144, 0, 48, 48},   {192, 0, 48, 48},   {240, 0, 48, 48},   {336, 0, 48, 48},
    {384, 0, 48, 48},   {545, 248, 62, 52}, {0, 131, 64, 44},   {287, 255, 66, 50}, {528, 0, 48, 48},
    {480, 0, 48, 48},   {432, 0, 48, 48},   {68, 112, 26, 64},  {161, 112, 30, 64}, {196, 113, 58, 62},
    {257, 113, 30, 62}, {462, 113, 38, 64}, {578, 112, 30, 66}, {0, 176, 34, 64},   {97, 180, 30, 60},
    {226, 178, 28, 62}, {323, 177, 52, 62}, {511, 176, 34, 64}, {615, 177, 50, 62}, {2, 241, 28, 62},
    {383, 241, 26, 62}, {418, 240, 28, 64}, {449, 239, 30, 64}, {615, 240, 46, 64}, {33, 304, 30, 64},
    {127, 48, 34, 64},  {162, 48, 28, 64},  {513, 48, 32, 64},  {353, 113, 32, 62}, {194, 174, 28, 66},
    {40, 240, 42, 64},  {98, 247, 50, 56},  {160, 242, 32, 62}, {262, 241, 22, 62}, {353, 240, 28, 62},
    {0, 306, 32, 62},   {132, 305, 22, 62}, {230, 306, 20, 62}, {259, 304, 26, 64}, {66, 52, 64, 60},
    {258, 58, 30, 54},  {290, 58, 30, 54},  {94, 129, 68, 46},  {288, 114, 64, 58}, {516, 128, 56, 46},
    {610, 126, 62, 48}, {34, 177, 60, 62},  {128, 192, 64, 48}, {266, 181, 44, 54}, {159, 324, 66, 44},
    {420, 316, 54, 50}, {624, 0, 48, 48},
};

// Symbols of picture 133 with their own positions (the extra symbol at
// (64, 0) included), then the numbered 20 x 20 cells 0..56.
constexpr Box SYMBOLS[] = {
    {176, 48, 16, 16}, {192, 48, 16, 16}, {208, 48, 16, 16}, {224, 48, 16, 16}, {208, 32, 16, 16},
    {192, 32, 16, 16}, {144, 32, 16, 16}, {160, 32, 16, 16}, {176, 32, 16, 16}, {144, 16, 16, 16},
    {160, 16, 16, 16}, {112, 48, 16, 16}, {128, 48, 16, 16}, {32, 48, 16, 16},  {48, 48, 16, 16},
    {80, 48, 16, 16},  {64, 48, 16, 16},  {96, 48, 16, 16},  {224, 32, 16, 16}, {128, 16, 16, 16},
    {96, 32, 16, 16},  {112, 32, 16, 16}, {128, 32, 16, 16}, {48, 0, 16, 16},   {0, 32, 16, 16},
    {16, 32, 16, 16},  {64, 32, 16, 16},  {80, 32, 16, 16},  {32, 32, 16, 16},  {48, 32, 16, 16},
    {112, 16, 16, 16}, {96, 16, 16, 16},  {0, 48, 16, 16},   {16, 48, 16, 16},  {0, 16, 16, 16},
    {16, 16, 16, 16},  {16, 0, 16, 16},   {32, 0, 16, 16},   {47, 16, 16, 16},  {64, 16, 16, 16},
    {64, 0, 16, 16},   {97, 3, 14, 10},   {113, 3, 14, 10},  {129, 3, 14, 10},  {145, 3, 14, 10},
    {161, 3, 14, 10},  {176, 3, 22, 10},  {0, 164, 20, 18},  {20, 164, 20, 18}, {40, 164, 26, 18},
    {86, 164, 26, 18},
};
constexpr int NUMBERED_CELLS = 57;
constexpr int32_t NUMBERED_CELL = 20;

std::vector<Box> SymbolBoxes() {
  std::vector<Box> boxes(std::begin(SYMBOLS), std::end(SYMBOLS));
  for (int f = 0; f < NUMBERED_CELLS; ++f) {
    boxes.push_back({(f % 12) * NUMBERED_CELL, 64 + (f / 12) * NUMBERED_CELL, NUMBERED_CELL, NUMBERED_CELL});
  }
  return boxes;
}

// SpriteSheet cells: 64 x 32 buttons in columns A and B, 102 x 32 in C and D.
std::vector<Box> SheetCells() {
  std::vector<Box> cells;
  for (int32_t y = 0; y <= 224; y += 32) {
    cells.push_back({0, y, 64, 32});
    cells.push_back({64, y, 64, 32});
  }
  for (int32_t y = 0; y < 256; y += 32) {
    cells.push_back({128, y, 102, 32});
    cells.push_back({230, y, 102, 32});
  }
  cells.push_back({0, 256, 62, 30});    // day mark, normal
  cells.push_back({64, 256, 62, 30});   // day mark, pressed
  cells.push_back({128, 256, 10, 32});  // blue gauge segment
  cells.push_back({138, 256, 10, 32});  // red gauge segment
  cells.push_back({0, 288, 200, 32});   // card message
  return cells;
}

// A loaded picture; the test fails when it cannot be loaded.
struct Picture {
  Canvas canvas;
  explicit Picture(int id) { EXPECT_NE(LoadPicture(&canvas, id), 0) << "picture " << id; }
  bool Loaded() const { return canvas.pixels != nullptr; }
  uint16_t At(int32_t x, int32_t y) const { return canvas.pixels[x + y * canvas.stride]; }
  bool IsKey(int32_t x, int32_t y) const { return At(x, y) == KEY_COLOUR; }
};

int CountContent(const Picture& p, const Box& b) {
  int count = 0;
  for (int32_t y = b.y; y < b.y + b.h; ++y) {
    for (int32_t x = b.x; x < b.x + b.w; ++x) count += p.IsKey(x, y) ? 0 : 1;
  }
  return count;
}

// Bounding box of the non-key pixels of a rectangle (w = 0 when none).
Box ContentBounds(const Picture& p, const Box& b) {
  int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
  for (int32_t y = b.y; y < b.y + b.h; ++y) {
    for (int32_t x = b.x; x < b.x + b.w; ++x) {
      if (p.IsKey(x, y)) continue;
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
  }
  return x1 < 0 ? Box{0, 0, 0, 0} : Box{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

bool Inside(const Box& b, int32_t x, int32_t y) { return x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h; }

// The 8-bit channels an RGB565 pixel stands for.
struct Rgb {
  int r, g, b;
};
Rgb Expand(uint16_t p) {
  int r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
  return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

// True when `p` is pinkish and lies on the way from `q` towards magenta:
// p = q + m (K - q) for some m of at least 0.15, within the rounding of
// RGB565. That is what a colour antialiased against the transparent colour
// looks like. (Green mixed with magenta gives grey, which is no fringe;
// hence the hue condition.)
bool IsBlendTowardsKey(Rgb p, Rgb q) {
  if (std::min(p.r, p.b) - p.g < 24) return false;
  const double kr = 255 - q.r, kg = 0 - q.g, kb = 255 - q.b;
  const double length2 = kr * kr + kg * kg + kb * kb;
  if (length2 < 1) return false;
  const double dr = p.r - q.r, dg = p.g - q.g, db = p.b - q.b;
  const double m = (dr * kr + dg * kg + db * kb) / length2;
  if (m < 0.15) return false;
  const double er = dr - m * kr, eg = dg - m * kg, eb = db - m * kb;
  return er * er + eg * eg + eb * eb <= 20.0 * 20.0;
}

// Byte 25 of a PNG file is the colour type of its header chunk.
int PngColourType(int id) {
  std::ifstream file(PictureDirectory() + "/" + std::to_string(id) + ".png", std::ios::binary);
  char header[26] = {};
  if (!file.read(header, sizeof header)) return -1;
  return static_cast<unsigned char>(header[25]);
}

TEST(Pictures, EveryPictureLoadsWithItsSizeAndAnEvenStride) {
  for (const PictureSize& expected : PICTURE_SIZES) {
    SCOPED_TRACE(expected.id);
    Picture p(expected.id);
    ASSERT_TRUE(p.Loaded());
    EXPECT_EQ(p.canvas.width, expected.width);
    EXPECT_EQ(p.canvas.height, expected.height);
    // Rows are padded to 4 bytes: two pixels.
    EXPECT_EQ(p.canvas.stride, expected.width + (expected.width & 1));
  }
}

// Pure magenta in the file, and only pure magenta, becomes KEY_COLOUR: a
// picture colour so close to magenta that it loses its low bits to the key
// would turn transparent on screen.
TEST(Pictures, OnlyPureMagentaLoadsAsTheKey) {
  for (const PictureSize& size : PICTURE_SIZES) {
    SCOPED_TRACE(size.id);
    Picture p(size.id);
    RgbImage file;
    ASSERT_EQ(DecodePicture(size.id, &file), 0);
    ASSERT_TRUE(p.Loaded());
    int mismatches = 0;
    for (int32_t y = 0; y < file.height; ++y) {
      for (int32_t x = 0; x < file.width; ++x) {
        const uint8_t* rgb = file.rgb + (static_cast<size_t>(y) * file.width + x) * 3;
        const bool magenta = rgb[0] == 255 && rgb[1] == 0 && rgb[2] == 255;
        if (magenta != p.IsKey(x, y) && ++mismatches <= 3) ADD_FAILURE() << "pixel " << x << ", " << y;
      }
    }
    ReleaseRgbImage(&file);
  }
}

TEST(Pictures, BackgroundsHaveNoTransparentPixels) {
  for (int id : OPAQUE_PICTURES) {
    Picture p(id);
    ASSERT_TRUE(p.Loaded());
    EXPECT_EQ(CountContent(p, {0, 0, p.canvas.width, p.canvas.height}), p.canvas.width * p.canvas.height) << id;
  }
}

// Keyed pictures must not antialias against magenta: a pixel next to the
// key that is a mix of a neighbouring colour and magenta shows as a pink
// fringe over the map or the calendar.
TEST(Pictures, NoPinkFringeNextToTheKey) {
  for (const PictureSize& size : PICTURE_SIZES) {
    SCOPED_TRACE(size.id);
    Picture p(size.id);
    ASSERT_TRUE(p.Loaded());
    int fringes = 0;
    for (int32_t y = 0; y < size.height; ++y) {
      for (int32_t x = 0; x < size.width; ++x) {
        if (p.IsKey(x, y)) continue;
        bool nextToKey = false;
        std::vector<Rgb> neighbours;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int32_t nx = x + dx, ny = y + dy;
            if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= size.width || ny >= size.height) continue;
            if (p.IsKey(nx, ny)) {
              nextToKey = true;
            } else {
              neighbours.push_back(Expand(p.At(nx, ny)));
            }
          }
        }
        if (!nextToKey) continue;
        const Rgb here = Expand(p.At(x, y));
        // Within two steps of magenta in every field counts as pink whatever the neighbours.
        bool pink = here.r >= 239 && here.g <= 8 && here.b >= 239;
        for (const Rgb& n : neighbours) pink = pink || IsBlendTowardsKey(here, n);
        if (pink && ++fringes <= 3) ADD_FAILURE() << "pinkish pixel at " << x << ", " << y;
      }
    }
  }
}

TEST(Pictures, ThirtyTwoBitMarkerLoadsLikeTheOthers) {
  EXPECT_EQ(PngColourType(131), 6);  // RGBA
  EXPECT_EQ(PngColourType(129), 2);  // RGB
  Picture marker(131);
  ASSERT_TRUE(marker.Loaded());
  EXPECT_TRUE(marker.IsKey(0, 0));
  EXPECT_TRUE(marker.IsKey(31, 31));
  // The cross-hair's centre is pixel (16, 16): the canvas centre it is laid on.
  Rgb centre = Expand(marker.At(16, 16));
  EXPECT_GT(centre.r, 180);
  EXPECT_LT(centre.g, 80);
  EXPECT_LT(centre.b, 80);
}

TEST(SpriteSheet, EveryCellHoldsContentAndTheRestIsTransparent) {
  Picture sheet(129);
  ASSERT_TRUE(sheet.Loaded());
  const std::vector<Box> cells = SheetCells();
  for (const Box& cell : cells) {
    EXPECT_GT(CountContent(sheet, cell), cell.w * cell.h / 2) << "cell at " << cell.x << ", " << cell.y;
  }
  int stray = 0;
  for (int32_t y = 0; y < 320; ++y) {
    for (int32_t x = 0; x < 332; ++x) {
      const bool inCell = std::any_of(cells.begin(), cells.end(), [&](const Box& c) { return Inside(c, x, y); });
      if (!inCell && !sheet.IsKey(x, y)) ++stray;
    }
  }
  EXPECT_EQ(stray, 0);
}

// Day marks and the wide buttons are copied without a key; any magenta in
// them would show on screen.
TEST(SpriteSheet, CellsCopiedPlainlyAreOpaque) {
  Picture sheet(129);
  ASSERT_TRUE(sheet.Loaded());
  std::vector<Box> plain = {{0, 256, 62, 30}, {64, 256, 62, 30}};
  for (int32_t y = 0; y < 256; y += 32) {
    plain.push_back({128, y, 102, 32});
    plain.push_back({230, y, 102, 32});
  }
  for (const Box& cell : plain) {
    EXPECT_EQ(CountContent(sheet, cell), cell.w * cell.h) << "cell at " << cell.x << ", " << cell.y;
  }
}

bool SameRect(const Picture& a, int32_t ax, int32_t ay, const Picture& b, int32_t bx, int32_t by, int32_t w,
              int32_t h) {
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      if (a.At(ax + x, ay + y) != b.At(bx + x, by + y)) return false;
    }
  }
  return true;
}

TEST(SpriteSheet, PressedLooksDifferFromNormalLooks) {
  Picture sheet(129);
  ASSERT_TRUE(sheet.Loaded());
  for (int32_t y = 0; y <= 192; y += 32) {
    if (y == 32) continue;  // the arrows' pressed row (0) pairs with their normal row (32)
    const int32_t normalY = y == 0 ? 32 : y;
    EXPECT_FALSE(SameRect(sheet, 0, y, sheet, 64, normalY, 64, 32)) << "row " << y;
  }
  for (int32_t y = 0; y < 256; y += 64) {
    EXPECT_FALSE(SameRect(sheet, 128, y, sheet, 128, y + 32, 102, 32)) << "column C, row " << y;
    EXPECT_FALSE(SameRect(sheet, 230, y, sheet, 230, y + 32, 102, 32)) << "column D, row " << y;
  }
  EXPECT_FALSE(SameRect(sheet, 0, 256, sheet, 64, 256, 62, 30));
}

TEST(Calendar, MonthTitleAreaIsPlainAndDayMarksKeepTheGridLines) {
  Picture sheet(129);
  for (int id : {144, 147}) {
    SCOPED_TRACE(id);
    Picture background(id);
    ASSERT_TRUE(background.Loaded() && sheet.Loaded());
    // The month title is drawn in black at run time inside 185,4 - 285,36.
    const uint16_t plain = background.At(185, 4);
    for (int32_t y = 4; y <= 36; ++y) {
      for (int32_t x = 185; x <= 285; ++x) ASSERT_EQ(background.At(x, y), plain) << x << ", " << y;
    }
    EXPECT_GT(Expand(plain).g, 200);
    // A mark is copied over a cell's top-left corner: its top row and left
    // column must match every cell of the five full rows, both looks.
    for (int32_t row = 0; row < 5; ++row) {
      for (int32_t column = 1; column <= 7; ++column) {
        const int32_t left = 64 * column - 48, top = 32 * (row + 2);
        for (int32_t markX : {0, 64}) {
          EXPECT_TRUE(SameRect(sheet, markX, 256, background, left, top, 62, 1)) << column << ", " << row;
          EXPECT_TRUE(SameRect(sheet, markX, 256, background, left, top, 1, 30)) << column << ", " << row;
        }
      }
    }
  }
}

// The pressed yes and no (SpriteSheet, keyed) are laid over the panel's
// normal buttons: nothing of the normal look may show around them.
TEST(Notices, PressedYesAndNoCoverTheNormalButtons) {
  Picture sheet(129);
  for (int id : {146, 153}) {
    SCOPED_TRACE(id);
    Picture panel(id);
    ASSERT_TRUE(panel.Loaded() && sheet.Loaded());
    const uint16_t fill = panel.At(160, 64);
    const struct {
      int32_t panelX, sheetX;
    } buttons[] = {{31, 0}, {223, 64}};
    for (const auto& b : buttons) {
      int uncovered = 0, drawn = 0;
      for (int32_t y = 0; y < 32; ++y) {
        for (int32_t x = 0; x < 64; ++x) {
          if (panel.At(b.panelX + x, 88 + y) == fill) continue;
          ++drawn;
          if (sheet.IsKey(b.sheetX + x, 224 + y)) ++uncovered;
        }
      }
      EXPECT_GT(drawn, 64 * 32 / 2) << "normal button at panel x " << b.panelX;
      EXPECT_EQ(uncovered, 0) << "button at panel x " << b.panelX;
    }
  }
}

TEST(Notices, PanelsAreRoundedWithThePlaceForTheDateLeftEmpty) {
  for (int id : {134, 146, 149, 153, 154, 155, 156}) {
    SCOPED_TRACE(id);
    Picture panel(id);
    ASSERT_TRUE(panel.Loaded());
    for (auto [x, y] : {std::pair{0, 0}, {319, 0}, {0, 127}, {319, 127}}) EXPECT_TRUE(panel.IsKey(x, y));
    EXPECT_EQ(CountContent(panel, {8, 8, 304, 112}), 304 * 112);
    EXPECT_EQ(panel.At(160, 8), 0) << "black panel";
  }
  // The date is written in white, centred in panel 52,24 - 250,46, with the
  // first line's text right after it: the date's own span stays plain.
  Picture confirm(146);
  ASSERT_TRUE(confirm.Loaded());
  int inkAfterDate = 0;
  for (int32_t y = 24; y <= 46; ++y) {
    for (int32_t x = 52; x <= 220; ++x) ASSERT_EQ(confirm.At(x, y), 0) << x << ", " << y;
    for (int32_t x = 221; x < 300; ++x) inkAfterDate += confirm.At(x, y) != 0;
  }
  EXPECT_GT(inkAfterDate, 0);
}

TEST(Settings, ButtonsAndGaugePiecesLineUpWithTheBackground) {
  Picture sheet(129), background(150);
  ASSERT_TRUE(sheet.Loaded() && background.Loaded());
  // The background shows the normal looks that the screen copies over it.
  EXPECT_TRUE(SameRect(sheet, 128, 64, background, 170, 53, 102, 32)) << "OFF";
  EXPECT_TRUE(SameRect(sheet, 128, 128, background, 170, 120, 102, 32)) << "date delete";
  EXPECT_TRUE(SameRect(sheet, 128, 192, background, 306, 120, 102, 32)) << "delete all";
  // Every wide button is copied plainly to those places: their corners match.
  for (int32_t y = 0; y < 256; y += 32) {
    for (int32_t x : {128, 230}) EXPECT_EQ(sheet.At(x, y), background.At(170, 53)) << x << ", " << y;
  }
  // The free-space text goes into 192,170 - 392,194 on plain ground.
  const uint16_t ground = background.At(192, 170);
  for (int32_t y = 170; y <= 194; ++y) {
    for (int32_t x = 192; x <= 392; ++x) ASSERT_EQ(background.At(x, y), ground) << x << ", " << y;
  }
  // 21 segments at x 192 + 10 i, y 189 fall inside the gauge frame, and the
  // card message, laid over the frame, continues its lines.
  for (int i = 0; i < 21; ++i) {
    for (int32_t y = 0; y < 32; ++y) {
      for (int32_t x = 0; x < 10; ++x) {
        if (sheet.IsKey(128 + x, 256 + y)) continue;
        const Rgb under = Expand(background.At(192 + 10 * i + x, 189 + y));
        EXPECT_TRUE(under.r < 250 || under.g < 250) << "segment " << i << " outside the frame at row " << y;
      }
    }
  }
  for (int32_t y = 0; y < 32; ++y) {
    if (sheet.IsKey(0, 288 + y) || sheet.IsKey(199, 288 + y)) continue;
    EXPECT_EQ(sheet.At(0, 288 + y), background.At(192, 189 + y)) << "message row " << y;
    EXPECT_EQ(sheet.At(199, 288 + y), background.At(391, 189 + y)) << "message row " << y;
  }
}

TEST(MapScreen, FrameLeavesTheMapVisibleAndCarriesItsControls) {
  Picture frame(137), buttons(136), knob(135);
  ASSERT_TRUE(frame.Loaded() && buttons.Loaded() && knob.Loaded());
  // The map between the controls shows through.
  EXPECT_EQ(CountContent(frame, {48, 48, 320, 180}), 0);
  // The rail covers the right edge behind plus, slider and minus.
  EXPECT_EQ(CountContent(frame, {448, 0, 32, 272}), 32 * 272);
  // The scale label is drawn in white on a plate.
  EXPECT_EQ(CountContent(frame, {388, 246, 38, 22}), 38 * 22);
  for (int32_t x = 388; x <= 425; ++x) EXPECT_LT(Expand(frame.At(x, 256)).g, 160);
  // The pressed plus and minus are copied plainly onto the rail: opaque,
  // with the rail's colour in their corners.
  EXPECT_EQ(CountContent(buttons, {0, 0, 64, 32}), 64 * 32);
  EXPECT_EQ(buttons.At(0, 0), frame.At(448, 240));
  EXPECT_EQ(buttons.At(32, 0), frame.At(448, 0));
  // The pressed back arrow, keyed at (0, 0), covers the normal back button.
  int uncovered = 0;
  for (int32_t y = 0; y < 33; ++y) {
    for (int32_t x = 0; x < 32; ++x) uncovered += !frame.IsKey(x, y) && buttons.IsKey(64 + x, y);
  }
  EXPECT_EQ(uncovered, 0);
  EXPECT_GT(CountContent(buttons, {64, 0, 32, 33}), 32 * 33 / 2);
  EXPECT_GT(CountContent(knob, {0, 0, 24, 13}), 24 * 13 * 3 / 4);
}

TEST(MapScreen, FlagsStandOnTheirBottomLeftPixel) {
  Picture buttons(136);
  ASSERT_TRUE(buttons.Loaded());
  for (int32_t x : {96, 116}) {
    EXPECT_FALSE(buttons.IsKey(x, 19)) << "flag at " << x;
    EXPECT_GT(CountContent(buttons, {x, 0, 20, 20}), 20 * 20 / 3);
  }
  // Below the flags and right of them nothing is drawn.
  EXPECT_EQ(CountContent(buttons, {96, 20, 60, 13}), 0);
  EXPECT_EQ(CountContent(buttons, {136, 0, 20, 33}), 0);
  EXPECT_EQ(CountContent(buttons, {0, 32, 64, 1}), 0);
}

TEST(Busy, HourglassAndDotSitWhereTheIndicatorTakesThem) {
  Picture busy(140);
  ASSERT_TRUE(busy.Loaded());
  EXPECT_GT(CountContent(busy, {17, 17, 30, 30}), 30 * 30 / 3);
  EXPECT_GT(CountContent(busy, {28, 1, 8, 8}), 8 * 8 / 2);
  // The dot is round: its corners stay transparent.
  EXPECT_TRUE(busy.IsKey(28, 1));
  EXPECT_TRUE(busy.IsKey(35, 8));
}

// Each mark and symbol fills its rectangle; nothing is drawn outside the
// rectangles; pixels two rectangles share stay transparent, so a mark never
// shows a piece of its neighbour.
void CheckAtlas(int id, const std::vector<Box>& boxes, int32_t width, int32_t height) {
  Picture atlas(id);
  ASSERT_TRUE(atlas.Loaded());
  std::vector<int> owners(static_cast<size_t>(width) * height, 0);
  for (const Box& b : boxes) {
    for (int32_t y = b.y; y < b.y + b.h; ++y) {
      for (int32_t x = b.x; x < b.x + b.w; ++x) ++owners[static_cast<size_t>(y) * width + x];
    }
    const Box content = ContentBounds(atlas, b);
    EXPECT_GE(content.w * 4, b.w * 3) << "rectangle at " << b.x << ", " << b.y;
    EXPECT_GE(content.h * 4, b.h * 3) << "rectangle at " << b.x << ", " << b.y;
    EXPECT_GT(CountContent(atlas, b), b.w * b.h / 3) << "rectangle at " << b.x << ", " << b.y;
  }
  int stray = 0, shared = 0;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const int n = owners[static_cast<size_t>(y) * width + x];
      if (atlas.IsKey(x, y)) continue;
      stray += n == 0;
      shared += n > 1;
    }
  }
  EXPECT_EQ(stray, 0);
  EXPECT_EQ(shared, 0);
}

TEST(Atlases, FacilityMarksFillTheirRectanglesAndNoMore) {
  CheckAtlas(132, std::vector<Box>(std::begin(MARKS), std::end(MARKS)), 672, 368);
}

TEST(Atlases, MapSymbolsFillTheirPositionsAndNoMore) { CheckAtlas(133, SymbolBoxes(), 240, 200); }

}  // namespace
