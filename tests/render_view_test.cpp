// The renderer's requests and its view: how zoom and scale requests move the
// target step, which level's parcels a view takes, and where a parcel's
// normalised points land on the canvas, and which decoded parcels a frame
// holds. No frame is drawn here.
#include "render/frame_setup.h"
#include "render_passes_support.h"

namespace {

// Requests on a renderer whose worker is not started: they change only the
// target, so the current step stays where the test put it.
class RenderRequestTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    idle = std::make_unique<MapRenderer>(MapData());
  }
  void TearDown() override {
    idle.reset();
    RenderTest::TearDown();
  }
  // The current step as a drawn frame leaves it, and the target a request left.
  void Steps(uint16_t current, uint16_t target) {
    idle->SetViewForTest(DEFAULT_CENTER, current, AREA_CANVAS);
    if (idle->TargetStep() != target) {
      ASSERT_EQ(idle->SetScaleStep(target), 1);
    }
  }
  std::unique_ptr<MapRenderer> idle;
};

TEST_F(RenderRequestTest, ZoomOutStepsFromTheTargetUntilItReachesTheLastStep) {
  Steps(24, 24);
  EXPECT_EQ(idle->ZoomOut(), 1);
  EXPECT_EQ(idle->TargetStep(), 26);
  // The frame at 26 is not drawn yet: the target is at the end, so the
  // current step 24 counts.
  EXPECT_EQ(idle->ZoomOut(), 1);
  EXPECT_EQ(idle->TargetStep(), 26);

  Steps(26, 20);
  EXPECT_EQ(idle->ZoomOut(), 0);
  EXPECT_EQ(idle->TargetStep(), 20);

  Steps(6, 14);  // a slider request still pending
  EXPECT_EQ(idle->ZoomOut(), 1);
  EXPECT_EQ(idle->TargetStep(), 16);
}

TEST_F(RenderRequestTest, ZoomInStepsFromTheTargetUntilItReachesTheFirstStep) {
  Steps(2, 0);
  EXPECT_EQ(idle->ZoomIn(), 1);
  EXPECT_EQ(idle->TargetStep(), 0);

  Steps(0, 8);
  EXPECT_EQ(idle->ZoomIn(), 0);
  EXPECT_EQ(idle->TargetStep(), 8);

  Steps(12, 10);
  EXPECT_EQ(idle->ZoomIn(), 1);
  EXPECT_EQ(idle->TargetStep(), 8);
}

// Odd steps come only from SetScaleStep; two steps from them must not leave
// the table.
TEST_F(RenderRequestTest, ZoomsFromOddStepsStayWithinTheTable) {
  Steps(25, 25);
  EXPECT_EQ(idle->ZoomOut(), 1);
  EXPECT_EQ(idle->TargetStep(), 26);
  Steps(25, 26);
  EXPECT_EQ(idle->ZoomOut(), 1);
  EXPECT_EQ(idle->TargetStep(), 26);

  Steps(1, 1);
  EXPECT_EQ(idle->ZoomIn(), 1);
  EXPECT_EQ(idle->TargetStep(), 0);
  Steps(1, 0);
  EXPECT_EQ(idle->ZoomIn(), 1);
  EXPECT_EQ(idle->TargetStep(), 0);
}

TEST_F(RenderRequestTest, SetScaleStepRefusesStepsOutsideTheTableAndTheCurrentTarget) {
  Steps(6, 6);
  EXPECT_EQ(idle->SetScaleStep(27), 0);
  EXPECT_EQ(idle->SetScaleStep(-1), 0);
  EXPECT_EQ(idle->SetScaleStep(6), 0);
  EXPECT_EQ(idle->TargetStep(), 6);
  EXPECT_EQ(idle->SetScaleStep(26), 1);
  EXPECT_EQ(idle->SetScaleStep(0), 1);
  EXPECT_EQ(idle->TargetStep(), 0);
  EXPECT_EQ(idle->RequestView(DEFAULT_CENTER, 27), -1);
  EXPECT_EQ(idle->TargetStep(), 0);
}

// ---------------------------------------------------------------------------
// The transform of parcel points

// The view of a frame on the 996 x 580 canvas, without a renderer.
class RenderTransformTest : public ::testing::Test {
 protected:
  void View(MapCoord center, uint16_t step, uint16_t area = AREA_CANVAS) {
    SetFrameView(&view, center, step, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT, area);
  }
  Point Map(int16_t nx, int16_t ny) { return MapPoint(view, Point16{nx, ny}); }
  void SetParcel(const ParcelEntry& entry) { SetParcelView(&view, entry); }

  FrameView view;
};

ParcelEntry Parcel(int32_t x0, int32_t y0, int32_t width, int32_t height) {
  ParcelEntry entry{};
  entry.x0 = x0;
  entry.y0 = y0;
  entry.xDiv = entry.yDiv = WHOLE_PARCEL_DIV;
  entry.width = width;
  entry.height = height;
  return entry;
}

constexpr MapCoord CENTER = {64000000, 16400000};

TEST_F(RenderTransformTest, ParcelCornersLandOnTheirPixels) {
  View(CENTER, 6);  // 16 units per pixel
  // A parcel whose south-west corner is the view centre starts at the
  // middle of the canvas; y grows northwards, rows southwards.
  SetParcel(Parcel(CENTER.x, CENTER.y, 8192, 4096));
  Point origin = Map(0, 0);
  EXPECT_EQ(origin.x, MAP_CANVAS_WIDTH / 2);
  EXPECT_EQ(origin.y, MAP_CANVAS_HEIGHT - MAP_CANVAS_HEIGHT / 2);
  Point northEast = Map(PARCEL_SPAN, PARCEL_SPAN);
  EXPECT_EQ(northEast.x, origin.x + 8192 / 16);
  EXPECT_EQ(northEast.y, origin.y - 4096 / 16);
  Point middle = Map(PARCEL_SPAN / 2, PARCEL_SPAN / 4);
  EXPECT_EQ(middle.x, origin.x + 256);
  EXPECT_EQ(middle.y, origin.y - 64);

  // A parcel west and south of the centre, with the axes' own units at step 19.
  View(CENTER, 19);  // 3120 x 2400 units per pixel
  SetParcel(Parcel(CENTER.x - 3120 * 100, CENTER.y - 2400 * 50, 3120 * 40, 2400 * 20));
  Point corner = Map(0, 0);
  EXPECT_EQ(corner.x, MAP_CANVAS_WIDTH / 2 - 100);
  EXPECT_EQ(corner.y, MAP_CANVAS_HEIGHT / 2 + 50);
  EXPECT_EQ(Map(PARCEL_SPAN, PARCEL_SPAN).x, corner.x + 40);
  EXPECT_EQ(Map(PARCEL_SPAN, PARCEL_SPAN).y, corner.y - 20);
}

// Up to 0x1FFFF units a parcel's points are scaled exactly; wider parcels
// are scaled coarsely so that the products stay within 32 bits. Either way
// the far edges of any parcel up to the largest level's size land where
// the parcel's size in pixels puts them.
TEST_F(RenderTransformTest, ParcelsOfEverySizeKeepTheirExtentInPixels) {
  for (uint16_t step : {0, 6, 12, 19, 26}) {
    View(CENTER, step);
    const ScaleStep& units = SCALE_STEPS[step];
    for (int64_t size = 41; size <= 0x4000000; size = size * 3 / 2 + 1) {
      auto width = static_cast<int32_t>(size);
      auto height = static_cast<int32_t>(size * 2 / 3);
      SetParcel(Parcel(CENTER.x, CENTER.y, width, height));
      Point origin = Map(0, 0);
      Point far = Map(PARCEL_SPAN, PARCEL_SPAN);
      // The coarse scaling drops the low 7 bits of the size.
      int64_t slackX = width > 0x1FFFF ? 128 / units.unitsPerPixelX + 2 : 0;
      int64_t slackY = width > 0x1FFFF ? 128 / units.unitsPerPixelY + 2 : 0;
      int64_t dx = int64_t{far.x} - origin.x;
      int64_t dy = int64_t{origin.y} - far.y;
      EXPECT_LE(dx, width / units.unitsPerPixelX) << "step " << step << " width " << width;
      EXPECT_GE(dx, width / units.unitsPerPixelX - slackX) << "step " << step << " width " << width;
      EXPECT_LE(dy, height / units.unitsPerPixelY) << "step " << step << " height " << height;
      EXPECT_GE(dy, height / units.unitsPerPixelY - slackY) << "step " << step << " height " << height;
    }
  }
}

TEST_F(RenderTransformTest, WindowCoversTheLoadedAreaInNormalisedUnits) {
  View(CENTER, 6);  // loaded area 996 x 580 pixels of 16 units
  const int32_t halfWidth = view.halfWidth;
  const int32_t halfHeight = view.halfHeight;
  ASSERT_EQ(halfWidth, 996 * 16 / 2);
  ASSERT_EQ(halfHeight, 580 * 16 / 2);

  // A parcel wholly inside the loaded area: all of it.
  SetParcel(Parcel(CENTER.x - 1000, CENTER.y - 1000, 2000, 2000));
  const ParcelView& parcel = view.parcel;
  EXPECT_EQ(parcel.window[0], 0);
  EXPECT_EQ(parcel.window[1], 0);
  EXPECT_EQ(parcel.window[2], PARCEL_SPAN);
  EXPECT_EQ(parcel.window[3], PARCEL_SPAN);

  // A parcel of 409600 units (100 units per normalised unit) whose west
  // edge lies 1000 units west of the loaded area and whose south edge 2000
  // units south of it; the area spans 15936 x 9280 units.
  SetParcel(Parcel(CENTER.x - halfWidth - 1000, CENTER.y - halfHeight - 2000, 409600, 409600));
  EXPECT_EQ(parcel.window[0], 10);
  EXPECT_EQ(parcel.window[1], 20);
  EXPECT_EQ(parcel.window[2], 170);  // (1000 + 15936) / 100, rounded outwards
  EXPECT_EQ(parcel.window[3], 113);  // (2000 + 9280) / 100
  EXPECT_EQ(InWindow(view, Point16{0, 0}, Point16{5, 5}), 0);
  EXPECT_EQ(InWindow(view, Point16{0, 0}, Point16{10, 20}), 1);
  EXPECT_EQ(InWindow(view, Point16{100, 100}, Point16{100, 100}), 1);
  EXPECT_EQ(InWindow(view, Point16{171, 50}, Point16{4000, 60}), 0);

  // After a zoom only the middle 480 x 272 pixels are loaded.
  View(CENTER, 6, AREA_SCREEN);
  EXPECT_EQ(view.halfWidth, 480 * 16 / 2);
  EXPECT_EQ(view.halfHeight, 272 * 16 / 2);
}

// Parcels narrower than 41 units have no whole map unit per hundredth of a
// normalised unit; they must not stop the frame.
TEST_F(RenderTransformTest, TinyParcelsAreHandledWithoutFault) {
  View(CENTER, 0);
  for (int32_t size : {0, 1, 40}) {
    SetParcel(Parcel(CENTER.x - 5000, CENTER.y - 5000, size, size));
    EXPECT_EQ(view.parcel.window[2], PARCEL_SPAN) << size;  // wholly west of the area's east edge
    Point far = Map(PARCEL_SPAN, PARCEL_SPAN);
    Point origin = Map(0, 0);
    EXPECT_EQ(far.x - origin.x, size / 2) << size;
  }
}

// ---------------------------------------------------------------------------
// Parcel selection

// A map whose finest level covers the four parcels around a grid point G of
// that level, less one of them; the base level covers the surroundings.
// The step-0 view centred on G (1992 x 1160 units) has each corner in
// another of the four parcels.
class RenderParcelSelectionTest : public RenderTest {
 protected:
  // G: a corner of the finest level's parcel grid near Tokyo.
  static MapCoord GridPoint() {
    const StandardLevel& finest = STANDARD_LEVELS[0];
    int32_t column = (DegreesToUnits(TOKYO.lon) - STANDARD_EXTENT.x0) / finest.parcelWidth;
    int32_t row = (DegreesToUnits(TOKYO.lat) - STANDARD_EXTENT.y0) / finest.parcelHeight;
    return MapCoord{STANDARD_EXTENT.x0 + column * finest.parcelWidth,
                    STANDARD_EXTENT.y0 + row * finest.parcelHeight};
  }
  // Writes the map without the finest parcel that holds `missing` (none
  // when it lies outside the four).
  void WriteMapWithout(MapCoord missing, bool withFinest = true) {
    MapCoord g = GridPoint();
    MapDescription map = StandardMap();
    if (withFinest) {
      const int32_t w = STANDARD_LEVELS[0].parcelWidth / 2, h = STANDARD_LEVELS[0].parcelHeight / 2;
      CoverLevel(&map, LEVEL_CODE_FINEST, InclusiveRect{g.x - w, g.y - h, g.x + w, g.y + h});
      std::erase_if(map.parcels, [&](const MapParcelDescription& parcel) {
        InclusiveRect box = ParcelBox(map, parcel.level, parcel.row, parcel.column);
        return parcel.level == 0 /* the finest level */ && box.x0 < missing.x && missing.x < box.x1 && box.y0 < missing.y &&
               missing.y < box.y1;
      });
    }
    CoverLevel(&map, LEVEL_CODE_BASE, InclusiveRect{g.x - 30000, g.y - 20000, g.x + 30000, g.y + 20000});
    WriteMap(map);
  }
  void SelectAtGridPoint() {
    StartRenderer();
    renderer->SetViewForTest(GridPoint(), 0, AREA_CANVAS);
    renderer->SelectParcels();
  }
};

TEST_F(RenderParcelSelectionTest, FinestLevelWhenItsParcelsCoverAllFourCorners) {
  WriteMapWithout(MapCoord{0, 0});
  SelectAtGridPoint();
  ASSERT_NE(renderer->RoadParcels(), nullptr);
  ASSERT_NE(renderer->AreaParcels(), nullptr);
  EXPECT_EQ(renderer->RoadParcels()->levelCode, LEVEL_CODE_FINEST);
  EXPECT_EQ(renderer->AreaParcels()->levelCode, LEVEL_CODE_FINEST);
  EXPECT_EQ(renderer->RoadParcels()->count, 4);
}

TEST_F(RenderParcelSelectionTest, BaseLevelWhenAnyCornerIsUncovered) {
  const MapCoord g = GridPoint();
  const int32_t dx = STANDARD_LEVELS[0].parcelWidth / 2, dy = STANDARD_LEVELS[0].parcelHeight / 2;
  const MapCoord corners[] = {{g.x - dx, g.y - dy}, {g.x + dx, g.y - dy}, {g.x + dx, g.y + dy}, {g.x - dx, g.y + dy}};
  for (const MapCoord& corner : corners) {
    SCOPED_TRACE("without the parcel at " + std::to_string(corner.x) + ", " + std::to_string(corner.y));
    WriteMapWithout(corner);
    SelectAtGridPoint();
    ASSERT_NE(renderer->RoadParcels(), nullptr);
    ASSERT_NE(renderer->AreaParcels(), nullptr);
    EXPECT_EQ(renderer->RoadParcels()->levelCode, LEVEL_CODE_BASE);
    EXPECT_EQ(renderer->AreaParcels()->levelCode, LEVEL_CODE_BASE);
    renderer.reset();
  }
}

TEST_F(RenderParcelSelectionTest, BaseLevelWhenTheFinestHasNothingThereAndNoListWithoutEither) {
  WriteMapWithout(MapCoord{0, 0}, false);
  SelectAtGridPoint();
  ASSERT_NE(renderer->RoadParcels(), nullptr);
  EXPECT_EQ(renderer->RoadParcels()->levelCode, LEVEL_CODE_BASE);
  renderer.reset();

  WriteMap(StandardMap());
  SelectAtGridPoint();
  EXPECT_EQ(renderer->RoadParcels(), nullptr);
  EXPECT_EQ(renderer->AreaParcels(), nullptr);
}

// A frame acquires the parcels its passes draw once each, whatever number
// of passes draws them, and gives every one back when it is released.
TEST_F(RenderTest, AFrameHoldsEachParcelItDrawsOnceUntilItIsReleased) {
  const int32_t m = PARCEL_MIDDLE;
  ParcelSectionsRecord sections;
  sections.background = Background({Feature(3349, Square(m, m, 300))}, {Feature(2912, {{m - 900, m}, {m + 900, m}})});
  RoadSectionRecord roads;
  roads.groups.push_back(RoadGroup(2, {{m - 1000, m - 500}, {m + 1000, m - 500}}));
  sections.roads = roads;
  sections.names = Names({Name(1, 100, {m, m + 600}, u"名前")});
  WriteMap(ContentMap(sections));
  MapDataOwner* map = MapData();
  ASSERT_EQ(map->Load(), 0);
  DrawKit kit;
  struct Case {
    int32_t step;
    bool roadsAndNames;  // not at the overview level, which draws base areas alone
  };
  for (const Case& c : {Case{6, true}, Case{24, false}}) {
    SCOPED_TRACE(c.step);
    FrameView view;
    SetFrameView(&view, ContentCentre(c.step), static_cast<uint16_t>(c.step), MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT,
                 AREA_CANVAS);
    ParcelList* roadList = nullptr;
    ParcelList* areaList = nullptr;
    SelectViewParcels(map, view, &roadList, &areaList);
    ASSERT_NE(roadList, nullptr);
    ASSERT_NE(areaList, nullptr);
    ASSERT_EQ(areaList->count, 1);
    Frame frame;
    HoldFrame(map, view, roadList, areaList, &kit, &frame);
    EXPECT_EQ(frame.kit, &kit);
    ASSERT_NE(frame.roadLevelEntry, nullptr);
    EXPECT_EQ(frame.roadLevelEntry->levelCode, RoadLevel(frame));
    ASSERT_NE(frame.areas[0], nullptr);
    EXPECT_EQ(frame.areas[0]->refCount, 1);  // base areas and lines share it
    EXPECT_EQ(frame.lines[0], c.roadsAndNames ? frame.areas[0] : nullptr);
    EXPECT_EQ(frame.roads[0] != nullptr, c.roadsAndNames);
    EXPECT_EQ(frame.names[0] != nullptr, c.roadsAndNames);
    for (const PooledParcel* held : {static_cast<const PooledParcel*>(frame.roads[0]),
                                     static_cast<const PooledParcel*>(frame.names[0])}) {
      if (held != nullptr) {
        EXPECT_EQ(held->refCount, 1);
      }
    }
    const BackgroundParcel* area = frame.areas[0];
    ReleaseFrame(map, &frame);
    EXPECT_EQ(area->refCount, 0);  // still pooled, held by no one
    EXPECT_TRUE(frame.roads.empty() && frame.names.empty() && frame.areas.empty() && frame.lines.empty());
    // Without both lists a frame draws no map and holds nothing.
    Frame empty;
    HoldFrame(map, view, nullptr, areaList, &kit, &empty);
    EXPECT_TRUE(empty.areas.empty());
    FreeParcelList(roadList);
    FreeParcelList(areaList);
  }
}

}  // namespace
