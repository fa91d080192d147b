// Frames drawn by the renderer's worker: fitting the view to the day's
// track, panning, copying finished frames, the track overlay's pixels,
// requests during a frame, destruction during a frame, and the selected
// day's track under frames while other days are selected.
#include <thread>

#include "canvas/picture_ids.h"
#include "platform/picture_cache.h"
#include "render_support.h"

namespace {

constexpr uint16_t DOT_RED = 0xF800;
constexpr int32_t FLAG_SIZE = 20;
constexpr int32_t START_FLAG_X = 96;  // in picture 136
constexpr int32_t END_FLAG_X = 116;

// A whole frame, pixel (x, y) at x + y * width.
struct Frame {
  std::vector<uint16_t> pixels;
  uint16_t At(int32_t x, int32_t y) const { return pixels[x + y * MAP_CANVAS_WIDTH]; }
};

// The twelve pixels of the track dot of a point at pixel (px, py): a 4 x 4
// square from (px - 3, py - 3) without its corners.
std::vector<Point> DotPixels(int32_t px, int32_t py) {
  std::vector<Point> pixels;
  for (int32_t y = py - 3; y <= py; ++y) {
    for (int32_t x = px - 3; x <= px; ++x) {
      bool corner = (x == px - 3 || x == px) && (y == py - 3 || y == py);
      if (!corner) pixels.push_back(Point{x, y});
    }
  }
  return pixels;
}

class RenderFrameTest : public RenderTest {
 protected:
  Frame LastFrame() { return Frame{CopyWholeFrame()}; }
};

// ---------------------------------------------------------------------------
// Fitting the first frame of a day

TEST_F(RenderFrameTest, EachSelectedDayIsFittedAtTheFinestStepThatShowsAllOfIt) {
  struct Case {
    const char* what;
    std::vector<Degrees> positions;
    uint16_t step;
  };
  const Case cases[] = {
      // 0.001 degrees (461 units) fits 480 x 2 by 272 x 2 units.
      {"a few metres", {{TOKYO.lon, TOKYO.lat}, {TOKYO.lon + 0.001, TOKYO.lat + 0.001}}, 0},
      // 0.1 degrees (46080 units) is wider than 480 x 80 and taller than 272 x 160.
      {"a town", {{TOKYO.lon - 0.05, TOKYO.lat - 0.05}, {TOKYO.lon + 0.05, TOKYO.lat + 0.05}}, 14},
      // 24 degrees of latitude are taller than 272 x 32000 units: the last step.
      {"the country", {{TOKYO.lon, 21.0}, {TOKYO.lon, 45.0}}, 26},
  };
  WriteMap(DemoMap());
  StartRenderer();
  int32_t day = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteDay(day, DayLog(c.positions));
    const Track* track = SelectDay(day++);
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(renderer->RequestRedraw(), 0);
    ASSERT_TRUE(FrameDone());
    EXPECT_EQ(renderer->CurrentStep(), c.step);
    MapCoord middle{(track->minLon + track->maxLon) / 2, (track->minLat + track->maxLat) / 2};
    EXPECT_EQ(renderer->TargetCenter().x, middle.x);
    EXPECT_EQ(renderer->TargetCenter().y, middle.y);
    // The frame's centre lies on the step's pixel grid.
    const ScaleStep& units = SCALE_STEPS[c.step];
    EXPECT_EQ(renderer->CurrentCenter().x, middle.x / units.unitsPerPixelX * units.unitsPerPixelX);
    EXPECT_EQ(renderer->CurrentCenter().y, middle.y / units.unitsPerPixelY * units.unitsPerPixelY);
  }

  // A day without a usable fix, and a day without a log: the default view.
  WriteDay(day, Sentence("GPGGA,123519,3540.1234,N,13945.6789,E,1,08,0.9,545.4,M,46.9,M,,") + "\r\n");
  for (int32_t empty : {day, day + 1}) {
    SelectDay(empty);
    renderer->RequestView(MapCoord{DegreesToUnits(135.5), DegreesToUnits(34.7)}, 20);
    ASSERT_TRUE(FrameDone());
    ASSERT_EQ(renderer->RequestRedraw(), 0);
    ASSERT_TRUE(FrameDone());
    EXPECT_EQ(renderer->CurrentStep(), DEFAULT_SCALE_STEP);
    EXPECT_EQ(renderer->CurrentCenter().x, DEFAULT_CENTER.x);
    EXPECT_EQ(renderer->CurrentCenter().y, DEFAULT_CENTER.y);
  }
}

// ---------------------------------------------------------------------------
// Panning and copying

TEST_F(RenderFrameTest, PanMovesTheCentreByThePixelsDraggedUnlessItLeavesTheMap) {
  WriteMap(DemoMap());
  StartRenderer();
  DrawView(MapCoord{DegreesToUnits(TOKYO.lon), DegreesToUnits(TOKYO.lat)}, 6);
  const MapCoord before = renderer->CurrentCenter();

  // The canvas centre itself: nothing to do, no frame.
  EXPECT_EQ(renderer->PanTo(MAP_CANVAS_WIDTH / 2, MAP_CANVAS_HEIGHT / 2), 0);
  EXPECT_FALSE(FrameDone(200));

  // 10 pixels east and 5 north at 16 units per pixel.
  EXPECT_EQ(renderer->PanTo(MAP_CANVAS_WIDTH / 2 + 10, MAP_CANVAS_HEIGHT / 2 - 5), 0);
  EXPECT_EQ(renderer->TargetCenter().x, before.x + 160);
  EXPECT_EQ(renderer->TargetCenter().y, before.y + 80);
  ASSERT_TRUE(FrameDone());
  EXPECT_EQ(renderer->CurrentCenter().x, before.x + 160);
  EXPECT_EQ(renderer->CurrentCenter().y, before.y + 80);

  // Next to the map's west edge at the coarsest step, 10 pixels west leaves
  // the map: refused, and the view stays.
  const MapCoord edge{STANDARD_EXTENT.x0 + 41600, DegreesToUnits(TOKYO.lat)};
  DrawView(edge, 26);
  EXPECT_EQ(renderer->PanTo(MAP_CANVAS_WIDTH / 2 - 10, MAP_CANVAS_HEIGHT / 2), -1);
  EXPECT_EQ(renderer->TargetCenter().x, edge.x);
  EXPECT_EQ(renderer->TargetCenter().y, edge.y);
  EXPECT_FALSE(FrameDone(200));
  EXPECT_EQ(renderer->PanTo(MAP_CANVAS_WIDTH / 2 + 10, MAP_CANVAS_HEIGHT / 2), 0);
  EXPECT_TRUE(FrameDone());
}

TEST_F(RenderFrameTest, CopyFrameGivesTheMiddleOfTheFrameOnlyOnceOneIsFinished) {
  // A diagonal of points across the view, so that every part of the frame
  // looks different.
  std::vector<Degrees> diagonal;
  for (int i = 0; i < 400; ++i) diagonal.push_back(Degrees{TOKYO.lon - 0.02 + i * 0.0001, TOKYO.lat - 0.012 + i * 0.00006});
  WriteMap(DemoMap());
  WriteDay(12, DayLog(diagonal));
  SelectDay(12);
  StartRenderer();

  Canvas screen;
  CreateCanvas(&screen, 480, 272);
  EXPECT_EQ(renderer->CopyFrame(&screen, 0, 0, 480, 272), -1);

  DrawView(MapCoord{DegreesToUnits(TOKYO.lon), DegreesToUnits(TOKYO.lat)}, 8);
  Frame whole = LastFrame();
  ASSERT_EQ(renderer->CopyFrame(&screen, 0, 0, 480, 272), 0);
  int32_t red = 0;
  for (int32_t y = 0; y < 272; ++y) {
    for (int32_t x = 0; x < 480; ++x) {
      ASSERT_EQ(screen.pixels[x + y * screen.stride], whole.At(258 + x, 154 + y)) << x << ", " << y;
      red += screen.pixels[x + y * screen.stride] == DOT_RED;
    }
  }
  EXPECT_GT(red, 100);  // the comparison saw the track

  // A canvas as large as the frame gets all of it, at the given place.
  Canvas larger;
  CreateCanvas(&larger, MAP_CANVAS_WIDTH + 10, MAP_CANVAS_HEIGHT + 20);
  FillCanvas(&larger, 0x1234);
  ASSERT_EQ(renderer->CopyFrame(&larger, 10, 20, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT), 0);
  EXPECT_EQ(larger.pixels[9 + 19 * larger.stride], 0x1234);
  for (int32_t y = 0; y < MAP_CANVAS_HEIGHT; y += 7) {
    for (int32_t x = 0; x < MAP_CANVAS_WIDTH; x += 3) {
      ASSERT_EQ(larger.pixels[10 + x + (20 + y) * larger.stride], whole.At(x, y)) << x << ", " << y;
    }
  }
}

// ---------------------------------------------------------------------------
// The track overlay

class RenderTrackOverlayTest : public RenderFrameTest {
 protected:
  void SetUp() override {
    RenderFrameTest::SetUp();
    ASSERT_NE(LoadPicture(&flags, PICTURE_ROUND_BUTTONS), 0);
  }
  // The pixel of the flag picture at (x, y) of the start or end flag.
  uint16_t FlagPixel(int32_t flagX, int32_t x, int32_t y) const { return flags.pixels[flagX + x + y * flags.stride]; }
  // Writes the day, selects it and returns its points as the reader gives them.
  const Track* Day(const std::vector<Degrees>& positions) {
    WriteDay(12, DayLog(positions));
    const Track* track = SelectDay(12);
    EXPECT_NE(track, nullptr);
    if (track != nullptr) {
      EXPECT_EQ(track->count, static_cast<int32_t>(positions.size()));
    }
    return track;
  }
  Canvas flags;
};

// A single point at the view centre (step 0: the centre is the point
// itself): its dot, the start flag standing on it and the end flag over the
// start flag, on the land colour.
TEST_F(RenderTrackOverlayTest, OnePointDrawsItsDotAndBothFlagsWithTheEndFlagOnTop) {
  WriteMap(DemoMap());
  const Track* track = Day({TOKYO});
  ASSERT_NE(track, nullptr);
  StartRenderer();
  DrawView(MapCoord{track->points[0].lon, track->points[0].lat}, 0);
  Frame frame = LastFrame();

  const int32_t px = MAP_CANVAS_WIDTH / 2, py = MAP_CANVAS_HEIGHT / 2;
  std::vector<uint16_t> expected(frame.pixels.size(), LAND_COLOUR);
  for (const Point& p : DotPixels(px, py)) expected[p.x + p.y * MAP_CANVAS_WIDTH] = DOT_RED;
  int32_t endShown = 0, startShown = 0;
  for (int32_t y = 0; y < FLAG_SIZE; ++y) {
    for (int32_t x = 0; x < FLAG_SIZE; ++x) {
      uint16_t& pixel = expected[px + x + (py - FLAG_SIZE + y) * MAP_CANVAS_WIDTH];
      if (FlagPixel(END_FLAG_X, x, y) != KEY_COLOUR) {
        pixel = FlagPixel(END_FLAG_X, x, y);
        ++endShown;
      } else if (FlagPixel(START_FLAG_X, x, y) != KEY_COLOUR) {
        pixel = FlagPixel(START_FLAG_X, x, y);
        ++startShown;
      }
    }
  }
  ASSERT_GT(endShown, 100);
  for (int32_t y = 0; y < MAP_CANVAS_HEIGHT; ++y) {
    for (int32_t x = 0; x < MAP_CANVAS_WIDTH; ++x) {
      ASSERT_EQ(frame.At(x, y), expected[x + y * MAP_CANVAS_WIDTH]) << "pixel " << x << ", " << y;
    }
  }
}

// The start point 10 pixels west of the canvas: no dot, the right half of
// the start flag at the left edge; the end point at the centre.
TEST_F(RenderTrackOverlayTest, AStartFlagReachingIntoTheCanvasShowsItsVisiblePart) {
  WriteMap(DemoMap());
  const Track* track = Day({{TOKYO.lon - 0.01, TOKYO.lat}, TOKYO});
  ASSERT_NE(track, nullptr);
  const TrackPoint& start = track->points[0];
  // Step 0: 2 units per pixel, the view 1992 units wide; the centre is put
  // where the start point is 10 pixels left of the canvas, on its middle row.
  StartRenderer();
  DrawView(MapCoord{start.lon + MAP_CANVAS_WIDTH + 20, start.lat}, 0);
  Frame frame = LastFrame();

  const int32_t py = MAP_CANVAS_HEIGHT / 2;
  for (int32_t y = 0; y < MAP_CANVAS_HEIGHT; ++y) {
    for (int32_t x = 0; x < 40; ++x) {
      uint16_t expected = LAND_COLOUR;
      if (x < 10 && y >= py - FLAG_SIZE && y < py) {
        uint16_t flag = FlagPixel(START_FLAG_X, x + 10, y - (py - FLAG_SIZE));
        if (flag != KEY_COLOUR) expected = flag;
      }
      ASSERT_EQ(frame.At(x, y), expected) << "pixel " << x << ", " << y;
    }
  }
}

// Points on the view's east and south edges are in the view (a dot, cut by
// the canvas); points two or four units beyond are not, although their
// pixel lies where a dot would reach into the canvas.
TEST_F(RenderTrackOverlayTest, PointsOnTheViewsEdgeGetADotAndPointsBeyondItNone) {
  WriteMap(DemoMap());
  // East edge, south edge, beyond the south edge, beyond the east edge: the
  // first and the last point's flags stand outside the canvas.
  const Track* track = Day({{TOKYO.lon + 0.004, TOKYO.lat + 0.0015},
                            TOKYO,
                            {TOKYO.lon + 0.0006, TOKYO.lat - 0.000007},
                            {TOKYO.lon + 0.004 + 0.000007, TOKYO.lat + 0.002}});
  ASSERT_NE(track, nullptr);
  const TrackPoint& east = track->points[0];
  const TrackPoint& south = track->points[1];
  ASSERT_GE(track->points[3].lon - east.lon, 2);
  ASSERT_LE(track->points[3].lon - east.lon, 4);
  ASSERT_GE(south.lat - track->points[2].lat, 2);
  ASSERT_LE(south.lat - track->points[2].lat, 4);
  // Step 0, 2 units per pixel: the view reaches 996 units east and 580
  // south of its centre.
  StartRenderer();
  DrawView(MapCoord{east.lon - MAP_CANVAS_WIDTH, south.lat + MAP_CANVAS_HEIGHT}, 0);
  Frame frame = LastFrame();

  const MapCoord center = renderer->CurrentCenter();
  auto pixelOf = [&](const TrackPoint& point) {
    return Point{(point.lon - (center.x - MAP_CANVAS_WIDTH)) / 2,
                 MAP_CANVAS_HEIGHT - (point.lat - (center.y - MAP_CANVAS_HEIGHT)) / 2};
  };
  ASSERT_EQ(pixelOf(east).x, MAP_CANVAS_WIDTH);
  ASSERT_EQ(pixelOf(south).y, MAP_CANVAS_HEIGHT);
  std::vector<Point> expected;
  for (const TrackPoint& edge : {east, south}) {
    Point pixel = pixelOf(edge);
    for (const Point& dot : DotPixels(pixel.x, pixel.y)) {
      if (dot.x >= 0 && dot.x < MAP_CANVAS_WIDTH && dot.y >= 0 && dot.y < MAP_CANVAS_HEIGHT) expected.push_back(dot);
    }
  }
  ASSERT_EQ(expected.size(), 20u);  // three of the four rows or columns of each dot
  for (const Point& dot : expected) EXPECT_EQ(frame.At(dot.x, dot.y), DOT_RED) << dot.x << ", " << dot.y;
  EXPECT_EQ(std::count(frame.pixels.begin(), frame.pixels.end(), DOT_RED), std::ssize(expected));
}

// The track is drawn at every step, also at the coarsest steps where it is
// the only thing over the background, and where the map has no parcels at
// all: such a day opens on the background colour with its track over it.
TEST_F(RenderTrackOverlayTest, TheTrackIsDrawnAtEveryStepAlsoWhereTheMapHasNoParcels) {
  WriteMap(DemoMap());
  const Track* track = Day({TOKYO, {TOKYO.lon + 0.2, TOKYO.lat + 0.1}});
  ASSERT_NE(track, nullptr);
  const MapCoord tokyo{track->points[0].lon, track->points[0].lat};
  StartRenderer();
  for (int32_t step : {0, 12, 24, 26}) {
    DrawView(tokyo, step);
    Frame frame = LastFrame();
    EXPECT_NE(std::count(frame.pixels.begin(), frame.pixels.end(), DOT_RED), 0) << "step " << step;
  }
  renderer.reset();

  // Only Osaka has parcels (none around Tokyo at the detailed steps), and a
  // sea map has none at all: the background colour, the dots and the flags.
  MapDescription osaka = StandardMap();
  for (uint16_t level : {LEVEL_CODE_FINEST, LEVEL_CODE_BASE}) CoverLevel(&osaka, level, DEMO_AREAS[2]);
  struct Case {
    MapDescription map;
    uint16_t background;
  };
  const Case cases[] = {{osaka, LAND_COLOUR}, {StandardMap(0x4000), SEA_COLOUR}};
  for (const Case& c : cases) {
    WriteMap(c.map);
    StartRenderer();
    for (int32_t step : {0, 6}) {
      DrawView(tokyo, step);
      Frame frame = LastFrame();
      const auto background = std::count(frame.pixels.begin(), frame.pixels.end(), c.background);
      const auto dots = std::count(frame.pixels.begin(), frame.pixels.end(), DOT_RED);
      EXPECT_NE(dots, 0) << "step " << step;
      EXPECT_GT(background, std::ssize(frame.pixels) * 9 / 10) << "step " << step;
      EXPECT_LT(background + dots, std::ssize(frame.pixels)) << "the flags stand on the track, step " << step;
    }
    renderer.reset();
  }
}

// ---------------------------------------------------------------------------
// Requests during a frame. Opening the selected day's log waits at a gate,
// so the worker waits inside the frame (reading the track) until the test
// lets it go on.

class RenderGatedFrameTest : public RenderFrameTest {
 protected:
  void SetUp() override {
    RenderFrameTest::SetUp();
    gate = std::make_unique<LogGate>(root / "SDMMC/TEVOLOG/2009/05/20090512.log");
    WriteMap(DemoMap());
  }
  void TearDown() override {
    // A worker still held in a frame is let go before the renderer ends.
    gate->Open();
    RenderFrameTest::TearDown();
  }
  // The worker waits at the gate, inside a frame.
  bool Drawing() { return gate->Held() && renderer->State() == RENDERER_DRAWING; }
  std::unique_ptr<LogGate> gate;
};

TEST_F(RenderGatedFrameTest, RequestsDuringAFrameAbortItAndCollapseIntoOneFrame) {
  StartRenderer();
  SelectLogDay(2009, 5, 12);
  ASSERT_EQ(renderer->RequestView(MapCoord{DegreesToUnits(TOKYO.lon), DegreesToUnits(TOKYO.lat)}, 8), 0);
  ASSERT_TRUE(Drawing());  // held in the frame until the gate opens
  // The frame has taken its targets once its step is 8 (the renderer starts
  // at 6): the requests below come after that and abort it.
  ASSERT_TRUE(Eventually([this] { return renderer->CurrentStep() == 8; }));

  EXPECT_EQ(renderer->SetScaleStep(10), 1);
  EXPECT_EQ(renderer->ZoomIn(), 1);
  EXPECT_EQ(renderer->ZoomOut(), 1);
  EXPECT_EQ(renderer->SetScaleStep(12), 1);
  EXPECT_EQ(renderer->TargetStep(), 12);
  EXPECT_EQ(renderer->CopyFrame(nullptr, 0, 0, 0, 0), -1);

  // The aborted frame ends, is copied and marked ready, but not announced;
  // the frame for the newest target is then held at the gate in turn.
  ASSERT_TRUE(gate->Release());
  ASSERT_TRUE(Eventually([this] { return renderer->FrameReady() == 1; }));
  EXPECT_FALSE(FrameDone(100));
  Frame aborted = LastFrame();
  EXPECT_EQ(std::count(aborted.pixels.begin(), aborted.pixels.end(), LAND_COLOUR), std::ssize(aborted.pixels));
  ASSERT_TRUE(gate->Held());
  EXPECT_EQ(renderer->State(), RENDERER_DRAWING);

  ASSERT_TRUE(gate->Release());
  ASSERT_TRUE(FrameDone());
  EXPECT_EQ(renderer->CurrentStep(), 12);
  // No further frame: another one would be held at the gate.
  ASSERT_TRUE(Eventually([this] { return renderer->State() == RENDERER_IDLE; }));
  EXPECT_FALSE(gate->Held(200));
  EXPECT_EQ(renderer->State(), RENDERER_IDLE);
  EXPECT_FALSE(FrameDone(0));
}

// A day selected and asked for while the previous view's frame is drawn:
// the late frame of the old view does not count as the new day's picture,
// and the next frame is fitted to the new day's track.
TEST_F(RenderGatedFrameTest, ARedrawDuringAFrameFitsTheNextFrameToTheNewDay) {
  WriteDay(13, DayLog({{TOKYO.lon - 0.05, TOKYO.lat - 0.05}, {TOKYO.lon + 0.05, TOKYO.lat + 0.05}}));
  StartRenderer();
  DrawView(MapCoord{DegreesToUnits(TOKYO.lon), DegreesToUnits(TOKYO.lat)}, 6);
  // A pan over Osaka, drawn while the old day's track is read.
  SelectLogDay(2009, 5, 12);
  ASSERT_EQ(renderer->RequestView(MapCoord{DegreesToUnits(135.5), DegreesToUnits(34.7)}, 4), 0);
  ASSERT_TRUE(Drawing());
  ASSERT_TRUE(Eventually([this] { return renderer->CurrentStep() == 4; }));  // the frame took its targets

  SelectLogDay(2009, 5, 13);
  ASSERT_EQ(renderer->RequestRedraw(), 0);
  EXPECT_EQ(renderer->CopyFrame(nullptr, 0, 0, 0, 0), -1);
  ASSERT_TRUE(gate->Release());

  ASSERT_TRUE(FrameDone());
  EXPECT_EQ(renderer->CurrentStep(), 14);
  const Track* track = GetSelectedTrack();
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(renderer->TargetCenter().x, (track->minLon + track->maxLon) / 2);
  EXPECT_EQ(renderer->TargetCenter().y, (track->minLat + track->maxLat) / 2);
  EXPECT_EQ(renderer->FrameReady(), 1);
}

TEST_F(RenderGatedFrameTest, DestructionDuringAFrameWaitsForTheFrameAndEnds) {
  StartRenderer();
  SelectLogDay(2009, 5, 12);
  ASSERT_EQ(renderer->RequestView(MapCoord{DegreesToUnits(TOKYO.lon), DegreesToUnits(TOKYO.lat)}, 6), 0);
  ASSERT_TRUE(Drawing());

  std::atomic<bool> destroyed{false};
  MapRenderer* drawing = renderer.release();
  std::thread destroyer([&] {
    delete drawing;
    destroyed = true;
  });
  Sleep(150);  // the destructor waits for the frame
  EXPECT_FALSE(destroyed.load());
  ReplaceSelectedDay("");
  EXPECT_TRUE(gate->Release());
  destroyer.join();
  EXPECT_TRUE(destroyed.load());
  EXPECT_TRUE(FrameDone(0));  // the frame was finished, not cut short
}

// ---------------------------------------------------------------------------
// The wake event's name: "TEVO_DMAP0" for the first renderer of a process,
// "TEVO_DMAP1" for all later ones. Checked in a process of its own.

TEST_F(RenderFrameTest, OnlyTheFirstRendererOfAProcessWakesOnDmap0) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        Event* done = CreateEvent(nullptr);
        std::string names;
        for (int i = 0; i < 3; ++i) {
          MapRenderer renderer(MapData());
          renderer.Initialise(64, 32, done);
          names += renderer.WakeEventName();
          names += ' ';
        }
        std::fprintf(stderr, "%s\n", names.c_str());
        std::exit(names == "TEVO_DMAP0 TEVO_DMAP1 TEVO_DMAP1 " ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "TEVO_DMAP0 TEVO_DMAP1 TEVO_DMAP1");
}

// ---------------------------------------------------------------------------
// The selected day's track under frames: days are selected while frames of
// the renderer's worker read the track (AddressSanitizer and
// ThreadSanitizer watch the reads).

TEST_F(RenderFrameTest, SelectingDaysWhileFramesAreDrawnNeverFreesATrackUnderAFrame) {
  WriteMap(DemoMap());
  std::vector<Degrees> loop, line;
  for (int i = 0; i < 3000; ++i) {
    double angle = i * 0.002;
    loop.push_back(Degrees{TOKYO.lon + 0.02 * std::cos(angle), TOKYO.lat + 0.02 * std::sin(angle)});
    line.push_back(Degrees{TOKYO.lon - 0.03 + i * 0.00002, TOKYO.lat + 0.01});
  }
  WriteDay(12, DayLog(loop));
  WriteDay(13, DayLog(line));
  StartRenderer();
  for (int i = 0; i < 300; ++i) {
    SelectLogDay(2009, 5, 12 + i % 2);
    renderer->RequestRedraw();
    if (i % 3 == 0) renderer->ZoomIn();
    if (i % 5 == 0) renderer->PanTo(MAP_CANVAS_WIDTH / 2 + 7, MAP_CANVAS_HEIGHT / 2 - 3);
    if (i % 7 == 0) std::this_thread::yield();
  }
  // The last request's frame is announced and fitted to the last day.
  SelectLogDay(2009, 5, 13);
  renderer->RequestRedraw();
  ASSERT_TRUE(FrameDone());
  ASSERT_TRUE(Eventually([this] { return renderer->State() == RENDERER_IDLE && renderer->FrameReady() == 1; }));
  const Track* track = GetSelectedTrack();
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(renderer->TargetCenter().x, (track->minLon + track->maxLon) / 2);
  EXPECT_EQ(renderer->TargetCenter().y, (track->minLat + track->maxLat) / 2);
}

}  // namespace
