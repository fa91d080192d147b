// Views over parcels split into 8 × 8 pieces, as the map builder divides
// over-full parcels: at every step of the split levels a frame draws every
// piece in view, however many the view touches, as its quarters drawn apart
// show them; and the list tool finds as many entries as the dump.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/picture.h"
#include "render_passes_support.h"

namespace {

// The builder's finest split: kind 3 with 8 × 8 pieces.
constexpr uint8_t SPLIT_KIND = 3;
constexpr int32_t PIECES = 8;
constexpr int32_t PIECE_SPAN = PARCEL_SPAN / PIECES;
// Each piece holds a square area around its middle and a road north of it.
constexpr int32_t SQUARE_HALF = 160;
constexpr int32_t ROAD_NORTH = 210;
// The split levels: the finest (steps 0..3) and the base level (steps 4..7).
constexpr int SPLIT_LEVELS[] = {0, 1};
constexpr int32_t LAST_SPLIT_STEP = 7;
// Parcels split on each side of CORNER, on each axis.
constexpr int32_t SPLIT_REACH = 2;

// A corner shared by parcels of both split levels, on every step's pixel grid.
constexpr MapCoord CORNER = {STANDARD_EXTENT.x0 + 100 * STANDARD_LEVELS[1].parcelWidth,
                             STANDARD_EXTENT.y0 + 100 * STANDARD_LEVELS[1].parcelHeight};

ParcelData PieceData(int32_t column, int32_t row) {
  const int32_t cx = column * PIECE_SPAN + PIECE_SPAN / 2, cy = row * PIECE_SPAN + PIECE_SPAN / 2;
  ParcelSectionsRecord sections;
  sections.background = Background({Feature(3349, Square(cx, cy, SQUARE_HALF))}, {});
  RoadSectionRecord roads;
  roads.groups.push_back(RoadGroup(2, {{cx - SQUARE_HALF, cy + ROAD_NORTH}, {cx + SQUARE_HALF, cy + ROAD_NORTH}}));
  sections.roads = roads;
  ParcelData data;
  std::string error;
  EXPECT_EQ(EncodeParcelSections(sections, &data, &error), 0) << error;
  return data;
}

// A standard map whose 4 × 4 parcels around CORNER are split into 8 × 8
// pieces at the finest and the base level: 16 × 64 entries per level.
MapDescription SplitMap() {
  MapDescription map = StandardMap();
  for (int level : SPLIT_LEVELS) {
    map.levels[level].pieceGrid[SPLIT_KIND - 1] = PIECES;
    const StandardLevel& standard = STANDARD_LEVELS[level];
    const auto column0 = static_cast<uint32_t>((CORNER.x - STANDARD_EXTENT.x0) / standard.parcelWidth - SPLIT_REACH);
    const auto row0 = static_cast<uint32_t>((CORNER.y - STANDARD_EXTENT.y0) / standard.parcelHeight - SPLIT_REACH);
    for (uint32_t row = row0; row < row0 + 2 * SPLIT_REACH; ++row) {
      for (uint32_t column = column0; column < column0 + 2 * SPLIT_REACH; ++column) {
        MapParcelDescription parcel;
        parcel.level = static_cast<uint16_t>(level);
        parcel.row = row;
        parcel.column = column;
        parcel.split = true;
        parcel.splitKind = SPLIT_KIND;
        for (int32_t piece = 0; piece < PIECES * PIECES; ++piece) {
          parcel.pieces.emplace_back(PieceData(piece % PIECES, piece / PIECES));
        }
        map.parcels.push_back(parcel);
      }
    }
  }
  return map;
}

struct ToolRun {
  int status;
  std::string out;
};

std::string Quote(const std::string& text) { return "'" + text + "'"; }

class SplitParcelViewTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    WriteMap(SplitMap());
    mapPath = (root / "NAND/CMC/KDH/ALLDATA.KWI").string();
  }
  ToolRun Tool(const std::string& arguments) {
    const std::string out = (root / "tool.txt").string();
    const int status = std::system((Quote(TEVO_LOGTOOL) + " " + arguments + " >" + Quote(out) + " 2>&1").c_str());
    return {status == -1 ? -1 : (status >> 8) & 0xFF, ReadFile(out)};
  }
  // The frame of `tevo-logtool render` at `center` and `step` on a canvas
  // of width × height.
  RgbImage Render(MapCoord center, int32_t step, int32_t width, int32_t height) {
    const std::string png = (root / "frame.png").string();
    char view[160];
    std::snprintf(view, sizeof view, "--center-units %d,%d --step %d --size %dx%d", center.x, center.y, step, width,
                  height);
    const ToolRun run = Tool("render --map " + Quote(mapPath) + " " + view + " -o " + Quote(png));
    EXPECT_EQ(run.status, 0) << run.out;
    RgbImage image;
    EXPECT_EQ(DecodePngFile(png.c_str(), &image), 0);
    return image;
  }
  std::string mapPath;
};

// Pixel (x, y) of an image as one value.
uint32_t PixelAt(const RgbImage& image, int32_t x, int32_t y) {
  const uint8_t* p = image.rgb + 3 * (y * image.width + x);
  return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}

// The whole frame at CORNER, at every step of both split levels, equals the
// four frames of its quarters drawn as views of their own (each of which
// touches fewer pieces); and every piece's square whose middle is in view
// shows in the square's colour, not in the land's.
TEST_F(SplitParcelViewTest, EveryStepDrawsTheWholeViewAsItsQuartersDoApart) {
  const int32_t width = MAP_CANVAS_WIDTH, height = MAP_CANVAS_HEIGHT;
  for (int32_t step = 0; step <= LAST_SPLIT_STEP; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const int32_t ux = SCALE_STEPS[step].unitsPerPixelX, uy = SCALE_STEPS[step].unitsPerPixelY;
    RgbImage whole = Render(CORNER, step, width, height);
    ASSERT_EQ(whole.width, width);
    for (int32_t qy = 0; qy < 2; ++qy) {
      for (int32_t qx = 0; qx < 2; ++qx) {
        // Quarter (qx, qy) from the north-west: its middle is a quarter of
        // the canvas away from the whole frame's middle.
        const MapCoord center{CORNER.x + (2 * qx - 1) * (width / 4) * ux, CORNER.y - (2 * qy - 1) * (height / 4) * uy};
        RgbImage quarter = Render(center, step, width / 2, height / 2);
        ASSERT_EQ(quarter.width, width / 2);
        int32_t differing = 0;
        for (int32_t y = 0; y < height / 2; ++y) {
          for (int32_t x = 0; x < width / 2; ++x) {
            differing += PixelAt(quarter, x, y) != PixelAt(whole, qx * width / 2 + x, qy * height / 2 + y);
          }
        }
        EXPECT_EQ(differing, 0) << "quarter " << qx << "," << qy;
        ReleaseRgbImage(&quarter);
      }
    }
    // The squares' middles, in pixels from the frame's middle.
    const StandardLevel& level = STANDARD_LEVELS[LevelOfStep(step)];
    const int32_t pieceWidth = level.parcelWidth / PIECES, pieceHeight = level.parcelHeight / PIECES;
    const uint32_t land = PixelAt(whole, width / 2, height / 2);  // a corner between squares
    int32_t squares = 0;
    std::vector<std::string> missing;
    for (int32_t row = -SPLIT_REACH * PIECES; row < SPLIT_REACH * PIECES; ++row) {
      for (int32_t column = -SPLIT_REACH * PIECES; column < SPLIT_REACH * PIECES; ++column) {
        const int32_t x = width / 2 + (column * pieceWidth + pieceWidth / 2) / ux;
        const int32_t y = height / 2 - (row * pieceHeight + pieceHeight / 2) / uy;
        if (x < 0 || x >= width || y < 0 || y >= height) continue;
        ++squares;
        if (PixelAt(whole, x, y) == land) missing.push_back(std::to_string(x) + "," + std::to_string(y));
      }
    }
    EXPECT_GT(squares, 0);
    EXPECT_TRUE(missing.empty()) << missing.size() << " of " << squares << " squares missing, the first at pixel "
                                 << missing.front();
    ReleaseRgbImage(&whole);
  }
}

// `parcels` lists as many entries as `dump` finds in the level: all 16 × 64
// pieces for a rectangle over every split parcel, all 64 pieces of one
// parcel for a rectangle inside it.
TEST_F(SplitParcelViewTest, TheParcelsCommandListsAsManyEntriesAsTheDumpFinds) {
  const ToolRun dump = Tool("dump " + Quote(mapPath));
  ASSERT_EQ(dump.status, 0) << dump.out.substr(0, 400);
  const std::string finest = "code=62 parcelEntries=" + std::to_string(4 * SPLIT_REACH * SPLIT_REACH * PIECES * PIECES);
  EXPECT_NE(dump.out.find(finest + "\n"), std::string::npos);
  const StandardLevel& level = STANDARD_LEVELS[0];
  struct Case {
    int32_t halfWidth, halfHeight, x, y;
    const char* count;
  };
  const Case cases[] = {
      {SPLIT_REACH * level.parcelWidth - 1, SPLIT_REACH * level.parcelHeight - 1, CORNER.x, CORNER.y, "count=1024\n"},
      {level.parcelWidth / 2 - 1, level.parcelHeight / 2 - 1, CORNER.x + level.parcelWidth / 2,
       CORNER.y + level.parcelHeight / 2, "count=64\n"},
  };
  for (const Case& c : cases) {
    char arguments[200];
    std::snprintf(arguments, sizeof arguments, " %d %d %d %d 62", c.x, c.y, c.halfWidth, c.halfHeight);
    const ToolRun listed = Tool("parcels " + Quote(mapPath) + arguments);
    EXPECT_EQ(listed.status, 0) << listed.out.substr(0, 400);
    EXPECT_NE(listed.out.find(std::string("list levelCode=62 levelIndex=0 ") + c.count), std::string::npos)
        << listed.out.substr(0, 200);
  }
}

}  // namespace
