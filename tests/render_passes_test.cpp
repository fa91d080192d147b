// The drawing passes on frames of one parcel of content, built from its
// decoded bytes: background areas and lines by class and step, roads by
// class, names with marks, symbols and label placement, and frames aborted
// in each pass by a newer request.
#include <array>
#include <atomic>
#include <vector>

#include "canvas/blit.h"
#include "geometry/raster.h"
#include "platform/picture_cache.h"
#include "render/label_placement.h"
#include "render/name_tables.h"
#include "render/passes.h"
#include "render/styles.h"
#include "render_passes_support.h"

namespace {

uint16_t Colour(const Style& s) { return StyleColour(s); }

constexpr uint16_t LAND = Rgb565(248, 248, 192);

// The canvas's pixels row by row, without the padding of its stride.
std::vector<uint16_t> PixelsOf(const Canvas& canvas) {
  std::vector<uint16_t> pixels;
  for (int32_t y = 0; y < canvas.height; ++y) {
    pixels.insert(pixels.end(), canvas.pixels + y * canvas.stride, canvas.pixels + y * canvas.stride + canvas.width);
  }
  return pixels;
}

class RenderPassTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(kit.Create(MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT), 0); }

  // Draws the content at `step` centred on its parcel as the renderer
  // draws a frame (the land colour, then every pass), keeping the whole
  // frame and the canvas as it was before the names pass.
  void Draw(const ParcelSectionsRecord& sections, int32_t step, uint16_t area = AREA_CANVAS) {
    ContentFrame content(sections, step, area, &kit);
    FillCanvas(&kit.canvas, LAND);
    DrawLayers(&content.frame, PassObserver{KeepBeforeNames, this});
    frame = PixelsOf(kit.canvas);
    this->step = step;
  }
  static void KeepBeforeNames(void* self, RenderPass pass, const Frame& f) {
    if (pass == PASS_NAMES) static_cast<RenderPassTest*>(self)->beforeNames = PixelsOf(f.kit->canvas);
  }
  uint16_t At(Point p) const {
    EXPECT_TRUE(p.x >= 0 && p.x < MAP_CANVAS_WIDTH && p.y >= 0 && p.y < MAP_CANVAS_HEIGHT) << p.x << ", " << p.y;
    if (p.x < 0 || p.x >= MAP_CANVAS_WIDTH || p.y < 0 || p.y >= MAP_CANVAS_HEIGHT) return 0xDEAD;
    return frame[p.x + p.y * MAP_CANVAS_WIDTH];
  }
  uint16_t At(int32_t nx, int32_t ny) const { return At(ContentPixel(step, nx, ny)); }
  // Pixels in the rectangle that differ from the frame before the names.
  int32_t NamesInk(int32_t left, int32_t top, int32_t right, int32_t bottom) const {
    int32_t ink = 0;
    for (int32_t y = std::max(top, 0); y < std::min(bottom, MAP_CANVAS_HEIGHT); ++y) {
      for (int32_t x = std::max(left, 0); x < std::min(right, MAP_CANVAS_WIDTH); ++x) {
        ink += frame[x + y * MAP_CANVAS_WIDTH] != beforeNames[x + y * MAP_CANVAS_WIDTH];
      }
    }
    return ink;
  }
  int32_t NamesInk() const { return NamesInk(0, 0, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT); }

  DrawKit kit;
  std::vector<uint16_t> frame;
  std::vector<uint16_t> beforeNames;
  int32_t step = 0;
};


// ---------------------------------------------------------------------------
// Background areas and lines

TEST_F(RenderPassTest, AreasTakeTheirClassStyleAtTheirStep) {
  struct Case {
    uint16_t typeCode;
    int32_t step;
    uint16_t colour;
  };
  const Case cases[] = {
      {3344, 7, Colour(BACKGROUND_STYLES[21])},  // water below 200 m
      {3344, 8, Colour(BACKGROUND_STYLES[19])},  // land from 200 m on
      {3349, 6, Colour(BACKGROUND_STYLES[1])},   // a feature only
      {3351, 6, Colour(BACKGROUND_STYLES[2])},   // a base area, then a feature over it
      {3345, 12, Colour(BACKGROUND_STYLES[22])},
      {3486, 6, Colour(BACKGROUND_STYLES[41])},
      {3136, 18, Colour(BACKGROUND_STYLES[28])},
      {2000, 6, LAND},  // not a class of either table
  };
  for (const Case& c : cases) {
    ParcelSectionsRecord sections;
    sections.background = Background({Feature(c.typeCode, Square(PARCEL_MIDDLE, PARCEL_MIDDLE, 200))}, {});
    Draw(sections, c.step);
    EXPECT_EQ(At(PARCEL_MIDDLE, PARCEL_MIDDLE), c.colour) << c.typeCode << " at step " << c.step;
  }
}

TEST_F(RenderPassTest, OutlinesAndLinesSkipFlaggedEdgesAndUnknownClasses) {
  ParcelSectionsRecord sections;
  // A style-28 area (outlined in grey) whose edge from its second corner is
  // flagged; lines: a railway, a flagged two-point line, classes 2912
  // (drawn black) and 2916 (not drawn).
  const int32_t m = PARCEL_MIDDLE;
  sections.background = Background(
      {Feature(3136, {{m - 400, m - 400}, {m + 400, m - 400}, {m + 400, m - 400}, {m + 400, m + 400}, {m - 400, m + 400}})},
      {Feature(2816, {{m - 1500, m - 500}, {m + 1500, m - 500}}), Feature(2912, {{m - 1500, m - 600}, {m + 1500, m - 600}}),
       Feature(2916, {{m - 1500, m - 700}, {m + 1500, m - 700}}),
       Feature(2912, {{m - 1500, m - 780}, {m - 1500, m - 780}, {m + 1500, m - 780}})});
  Draw(sections, 6);
  const uint16_t grey = Colour(BACKGROUND_STYLES[STYLE_OUTLINE]);
  const uint16_t orange = Colour(BACKGROUND_STYLES[28]);
  EXPECT_EQ(At(m, m), orange);
  EXPECT_EQ(At(ContentPixel(6, m, m - 400)), grey);   // south edge: outlined
  EXPECT_NE(At(ContentPixel(6, m + 400, m)), grey);   // east edge: flagged
  EXPECT_NE(At(ContentPixel(6, m, m + 400)), grey);   // north edge: the toggle stays set
  EXPECT_EQ(At(m, m - 600), 0x0000);                  // class 2912
  EXPECT_EQ(At(m, m - 700), LAND);                    // class 2916
  EXPECT_EQ(At(m, m - 780), LAND);                    // flagged two-point line
  // The railway's core has both black and white pixels along its row.
  const Point rail = ContentPixel(6, m, m - 500);
  int32_t black = 0, white = 0;
  for (int32_t x = rail.x - 40; x < rail.x + 40; ++x) {
    black += At(Point{x, rail.y}) == 0x0000;
    white += At(Point{x, rail.y}) == 0xFFFF;
  }
  EXPECT_GT(black, 20);
  EXPECT_GT(white, 20);
}

// ---------------------------------------------------------------------------
// Roads

TEST_F(RenderPassTest, RoadsByClassAlternateGroupsAndClassesBeyondNine) {
  const int32_t m = PARCEL_MIDDLE;
  RoadSectionRecord roads;
  roads.groups.push_back(RoadGroup(2, {{m - 1000, m}, {m + 1000, m}}));
  roads.groups.push_back(RoadGroup(10, {{m - 1000, m - 300}, {m + 1000, m - 300}}));
  while (roads.groups.size() < 12) roads.groups.push_back(RoadGroupRecord{true});
  roads.groups.push_back(RoadGroup(7, {{m - 1000, m + 300}, {m + 1000, m + 300}}));  // row 12: alternate
  ParcelSectionsRecord sections;
  sections.roads = roads;
  Draw(sections, 6);
  const Point red = ContentPixel(6, m, m);
  EXPECT_EQ(At(red), Colour(ROAD_STYLES[ROAD_CENTRE_STYLES + 2]));
  EXPECT_EQ(At(Point{red.x, red.y - 2}), Colour(ROAD_STYLES[2]));
  EXPECT_EQ(At(m, m - 300), LAND);
  const Point alternate = ContentPixel(6, m, m + 300);
  for (int32_t dy = -1; dy <= 1; ++dy) EXPECT_EQ(At(Point{alternate.x, alternate.y + dy}), Colour(ROAD_STYLES[16]));
  EXPECT_EQ(At(Point{alternate.x, alternate.y + 2}), Colour(ROAD_STYLES[0]));
}

TEST_F(RenderPassTest, ARoadLeavingTheLoadedAreaIsDrawnAsTwoPieces) {
  // After a zoom only the middle 480 x 272 pixels are loaded: a road that
  // runs east out of it, along the outside and back draws its two crossing
  // segments but nothing along the outside.
  const int32_t m = PARCEL_MIDDLE;
  const int32_t out = 600;  // about 210 pixels east and north of the middle at step 6
  RoadSectionRecord roads;
  roads.groups.push_back(RoadGroup(5, {{m, m}, {m + out, m + out}, {m - out, m + out}, {m, m + 10}}));
  ParcelSectionsRecord sections;
  sections.roads = roads;
  Draw(sections, 6, AREA_SCREEN);
  EXPECT_NE(At(m + out / 2, m + out / 2), LAND);
  EXPECT_NE(At(m - out / 2, m + out / 2 + 5), LAND);
  EXPECT_EQ(At(m, m + out), LAND);  // the stretch outside the loaded area
}

// ---------------------------------------------------------------------------
// Names, marks and symbols

TEST_F(RenderPassTest, MarksAndSymbolsWithTheirLabels) {
  const int32_t m = PARCEL_MIDDLE;
  ParcelSectionsRecord sections;
  sections.names = Names({Name(1, 3600, {m - 800, m}, u"東京駅"), Name(1, 512, {m + 800, m}, u"1"),
                          Name(1, 689, {m, m - 600}, u"20")});
  Draw(sections, 5);
  const Point mark = ContentPixel(5, m - 800, m);
  // The mark's atlas rectangle is centred on the record's pixel, the label below it.
  Canvas atlas;
  ASSERT_NE(LoadPicture(&atlas, 132), 0);
  AtlasRect rect;
  ASSERT_TRUE(MarkOf(3600, &rect));
  int32_t same = 0;
  for (int32_t y = 0; y < rect.height; ++y) {
    for (int32_t x = 0; x < rect.width; ++x) {
      uint16_t source = atlas.pixels[rect.x + x + (rect.y + y) * atlas.stride];
      same += source == KEY_COLOUR || source == At(Point{mark.x - 24 + x, mark.y - 24 + y});
    }
  }
  EXPECT_EQ(same, rect.width * rect.height);
  EXPECT_GT(NamesInk(mark.x - 30, mark.y + 24, mark.x + 30, mark.y + 24 + 16), 0);
  EXPECT_EQ(NamesInk(mark.x - 30, mark.y + 24 + 20, mark.x + 30, mark.y + 60), 0);
  // Class 512 at step 5: numbered cell 0 and its label; class 689: a symbol
  // with its number inside, nothing below.
  const Point numbered = ContentPixel(5, m + 800, m);
  EXPECT_GT(NamesInk(numbered.x - 10, numbered.y - 10, numbered.x + 10, numbered.y + 10), 100);
  EXPECT_GT(NamesInk(numbered.x - 10, numbered.y + 10, numbered.x + 10, numbered.y + 26), 0);
  const Point route = ContentPixel(5, m, m - 600);
  int32_t white = 0;
  for (int32_t y = route.y - 9; y < route.y + 9; ++y) {
    for (int32_t x = route.x - 10; x < route.x + 10; ++x) white += At(Point{x, y}) == 0xFFFF;
  }
  EXPECT_GT(white, 0);
  EXPECT_EQ(NamesInk(route.x - 20, route.y + 9, route.x + 20, route.y + 40), 0);

  // From step 6 on route numbers are left out, symbol and label.
  Draw(sections, 6);
  const Point hidden = ContentPixel(6, m + 800, m);
  EXPECT_EQ(NamesInk(hidden.x - 12, hidden.y - 12, hidden.x + 12, hidden.y + 30), 0);
}

TEST_F(RenderPassTest, LabelsThatWouldOverlapOrLeaveTheCanvasAreDropped) {
  const int32_t m = PARCEL_MIDDLE;
  // A two-line label; an angled label whose second character would land on
  // it; a type-2 label starting left of the canvas.
  const Point left = ContentPixel(6, 0, m);
  ParcelSectionsRecord sections;
  NameRecordRecord angled = Name(1, 100, {m - 20, m}, u"ABCDE", 1 << 6);
  angled.extra2 = 180;  // drawn left to right
  sections.names = Names({Name(1, 100, {m, m}, u"上の行\r下の行です"), angled, Name(2, 100, {0, m - 200}, u"西")});
  Draw(sections, 6);
  const Point two = ContentPixel(6, m, m);
  EXPECT_GT(NamesInk(two.x - 40, two.y - 20, two.x + 40, two.y), 0);
  EXPECT_GT(NamesInk(two.x - 40, two.y, two.x + 40, two.y + 16), 0);
  EXPECT_EQ(NamesInk(0, two.y + 20, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT), 0);
  EXPECT_LT(left.x, 10);
  EXPECT_EQ(NamesInk(0, 0, 40, MAP_CANVAS_HEIGHT), 0);

  // Alone, the angled label is drawn; so is the type-2 label well inside.
  sections.names = Names({angled, Name(2, 100, {m, m - 400}, u"西")});
  Draw(sections, 6);
  EXPECT_GT(NamesInk(two.x - 60, two.y - 20, two.x + 60, two.y + 20), 0);
  const Point west = ContentPixel(6, m, m - 400);
  EXPECT_GT(NamesInk(west.x - 10, west.y - 10, west.x + 10, west.y + 20), 0);
}

TEST(PlacedLabels, EdgeSharingRectanglesAreFreeAndAFullListKeepsItsFirst256) {
  PlacedLabels placed;
  AddPlaced(&placed, Rect{0, 0, 10, 10});
  EXPECT_TRUE(IsFree(placed, Rect{10, 0, 20, 10}));
  EXPECT_TRUE(IsFree(placed, Rect{0, 10, 10, 20}));
  EXPECT_FALSE(IsFree(placed, Rect{9, 9, 20, 20}));
  for (int32_t i = 1; i < PLACED_LABEL_CAPACITY; ++i) AddPlaced(&placed, Rect{20 * i, 100, 20 * i + 10, 110});
  EXPECT_EQ(placed.count, PLACED_LABEL_CAPACITY);
  AddPlaced(&placed, Rect{-50, -50, -40, -40});
  EXPECT_EQ(placed.count, PLACED_LABEL_CAPACITY);
  EXPECT_TRUE(IsFree(placed, Rect{-50, -50, -40, -40}));
}

// ---------------------------------------------------------------------------
// Hostile content never reaches outside a canvas or a parcel

TEST_F(RenderPassTest, ContentFarOutsideItsParcelAndLongWideTextsStayInBounds) {
  ParcelSectionsRecord sections;
  std::vector<SectionPoint> far = {{0, 0}, {SECTION_MAX_FEATURE_START, 0}, {SECTION_MAX_FEATURE_START, SECTION_MAX_FEATURE_START}};
  sections.background = Background({Feature(3349, far)}, {Feature(2816, far)});
  RoadSectionRecord roads;
  roads.groups.push_back(RoadGroup(0, {{0, 0}, {SECTION_MAX_ANCHOR, SECTION_MAX_ANCHOR}, {0, SECTION_MAX_ANCHOR}}));
  sections.roads = roads;
  const std::u16string wide(32, u'漢');
  NameRecordRecord angled = Name(1, 652, {PARCEL_MIDDLE, PARCEL_MIDDLE}, wide, 1 << 6);
  angled.extra2 = 45;
  NameRecordRecord placed = Name(3, 976, {PARCEL_MIDDLE, PARCEL_MIDDLE}, wide);
  placed.placement.assign(32, 0x7F);
  placed.placementOffsets.assign(64, 0x7F);
  sections.names = Names({Name(1, 100, {PARCEL_MIDDLE, PARCEL_MIDDLE}, wide), angled, placed,
                          Name(2, 653, {SECTION_MAX_ANCHOR, 0}, wide), Name(1, 3600, {0, 0}, wide)});
  for (int32_t s : {0, 6, 12, 26}) Draw(sections, s);
}

// ---------------------------------------------------------------------------
// A newer request aborts a frame in any pass

class RenderAbortTest : public RenderPassTest {
 protected:
  // Counts a newer request in pass `abortIn` of the frame, keeping the
  // canvas as each pass found it.
  struct Probe {
    std::atomic<uint32_t>* requests;
    RenderPass abortIn;
    std::array<std::vector<uint16_t>, PASS_COUNT> before;
  };
  static void AbortInPass(void* context, RenderPass pass, const Frame& f) {
    auto* probe = static_cast<Probe*>(context);
    probe->before[pass] = PixelsOf(f.kit->canvas);
    if (pass == probe->abortIn) probe->requests->fetch_add(1);
  }
};

TEST_F(RenderAbortTest, ANewerRequestStopsTheFrameInEachPassAndTheNextFrameIsWhole) {
  const int32_t m = PARCEL_MIDDLE;
  ParcelSectionsRecord sections;
  sections.background = Background({Feature(3349, Square(m, m, 300))}, {Feature(2912, {{m - 900, m + 500}, {m + 900, m + 500}})});
  RoadSectionRecord roads;
  roads.groups.push_back(RoadGroup(2, {{m - 1000, m - 500}, {m + 1000, m - 500}}));
  sections.roads = roads;
  sections.names = Names({Name(1, 100, {m, m + 600}, u"名前")});
  for (RenderPass pass : {PASS_BASE_AREAS, PASS_FEATURES, PASS_ROADS, PASS_NAMES}) {
    ContentFrame content(sections, 6, AREA_CANVAS, &kit);
    std::atomic<uint32_t> requests{0};
    content.frame.requests = &requests;
    Probe probe{&requests, pass, {}};
    FillCanvas(&kit.canvas, LAND);
    DrawLayers(&content.frame, PassObserver{AbortInPass, &probe});
    // The aborted pass and every later map pass left the canvas as it was;
    // the track pass still ran.
    for (int p = pass + 1; p <= PASS_TRACK; ++p) EXPECT_EQ(probe.before[p], probe.before[pass]) << pass << " " << p;
    EXPECT_EQ(PixelsOf(kit.canvas), probe.before[pass]) << pass;
    // The newer request's frame is drawn whole.
    content.frame.frameRequests = requests.load();
    FillCanvas(&kit.canvas, LAND);
    DrawLayers(&content.frame);
    frame = PixelsOf(kit.canvas);
    step = 6;
    EXPECT_EQ(At(m, m), Colour(BACKGROUND_STYLES[1])) << pass;
    EXPECT_EQ(At(m, m - 500), Colour(ROAD_STYLES[ROAD_CENTRE_STYLES + 2])) << pass;
    EXPECT_EQ(At(m, m + 500), 0x0000) << pass;
  }
}

}  // namespace
