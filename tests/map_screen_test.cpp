// The map screen on the headless backend, opened from the calendar: the
// busy steps and the first frame, dragging, the 100 ms rule, the back button,
// the zoom rail and the slider, and golden screenshots.
#include <gtest/gtest.h>

#include <vector>

#include "app/calendar_dlg.h"
#include "app/map_dialog.h"
#include "render/map_renderer.h"
#include "screen_support.h"

namespace {

constexpr int32_t RAIL_X = 460;

// The pixels of a rectangle of the composed screen, row by row.
std::vector<uint16_t> ScreenPixels(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  std::vector<uint16_t> pixels;
  for (int32_t y = top; y < bottom; ++y) {
    for (int32_t x = left; x < right; ++x) pixels.push_back(ScreenPixel(x, y));
  }
  return pixels;
}

class MapScreenTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    WriteTokyoMap();
    AddLog(2009, 5, 12);
  }
  // Opens 12 May 2009 from the calendar and waits for the map screen.
  void OpenDay() {
    int32_t x = 0, y = 0;
    DayCentre(2009, 5, 12, &x, &y);
    backend.Wait(10).Down(x, y).Wait(10).Up().Wait(100);
  }
  MapDialog* Map() { return calendar.mapScreen; }
  MapRenderer* Renderer() { return calendar.mapScreen->Renderer(); }

  CalendarDlg calendar{&mapData};
};

TEST_F(MapScreenTest, OpeningADayShowsTheTrackFittedToTheScreen) {
  StartMainMenu();
  bool checked = false;
  int32_t x = 0, y = 0;
  DayCentre(2009, 5, 12, &x, &y);
  backend.Wait(10).Down(x, y).Wait(10).Up().Call([&] {
    EXPECT_TRUE(calendar.busy);
    EXPECT_FALSE(Map()->IsVisible());
  });
  backend.Wait(100).Call([&] {
    EXPECT_FALSE(calendar.busy);
    EXPECT_TRUE(Map()->IsVisible());
    EXPECT_EQ(Map()->IsMapReady(), 1);
    EXPECT_EQ(Renderer()->CurrentStep(), 0);  // a drive of a few hundred metres
    EXPECT_EQ(mainMenu.taps, 1);
    EXPECT_TRUE(ScreenMatchesGolden("map_screen_step_0"));
    checked = true;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_TRUE(checked);
}

TEST_F(MapScreenTest, DraggingPansToTheCanvasPointOfTheLastHandledMove) {
  MapCoord before{};
  bool checked = false;
  OpenDay();
  backend.Call([&] { before = Renderer()->CurrentCenter(); });
  backend.Down(300, 100).Wait(100).Move(200, 150).Wait(100).Call([&] {
    EXPECT_TRUE(ScreenMatchesGolden("map_screen_drag_preview"));
  });
  backend.Up().Call([&] {
    // PanTo(598, 240): 100 pixels east and 50 north of the centre at step 0.
    MapCoord target = Renderer()->TargetCenter();
    EXPECT_EQ(target.x, before.x + 100 * SCALE_STEPS[0].unitsPerPixelX);
    EXPECT_EQ(target.y, before.y + 50 * SCALE_STEPS[0].unitsPerPixelY);
    checked = true;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_TRUE(checked);
}

TEST_F(MapScreenTest, AMoveSoonerThan100MsIsIgnoredAndTheReleaseUsesTheLastHandledOne) {
  MapCoord before{};
  bool checked = false;
  OpenDay();
  backend.Call([&] { before = Renderer()->CurrentCenter(); });
  backend.Down(300, 100).Wait(10).Move(250, 120).Wait(50).Move(200, 150).Up().Call([&] {
    MapCoord target = Renderer()->TargetCenter();
    EXPECT_EQ(target.x, before.x + 50 * SCALE_STEPS[0].unitsPerPixelX);
    EXPECT_EQ(target.y, before.y + 20 * SCALE_STEPS[0].unitsPerPixelY);
    checked = true;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_TRUE(checked);
}

TEST_F(MapScreenTest, ATapOnTheMapRequestsNothing) {
  bool checked = false;
  OpenDay();
  backend.Down(300, 100).Up().Call([&] {
    EXPECT_EQ(Renderer()->TargetCenter().x, Renderer()->CurrentCenter().x);
    EXPECT_EQ(Renderer()->TargetCenter().y, Renderer()->CurrentCenter().y);
    EXPECT_EQ(Renderer()->State(), RENDERER_IDLE);
    checked = true;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_TRUE(checked);
}

TEST_F(MapScreenTest, BackSlidOffDoesNothingAndBackReleasedHidesTheMap) {
  int checks = 0;
  OpenDay();
  backend.Down(20, 20).Wait(10).Call([&] {
    EXPECT_TRUE(Map()->backPressed);
    EXPECT_TRUE(ScreenMatchesGolden("map_screen_back_pressed"));
    ++checks;
  });
  backend.Move(60, 20).Up().Wait(10).Call([&] {
    EXPECT_TRUE(Map()->IsVisible());
    ++checks;
  });
  backend.Down(20, 20).Wait(10).Up().Wait(10).Call([&] {
    EXPECT_FALSE(Map()->IsVisible());
    EXPECT_FALSE(calendar.busy);
    EXPECT_TRUE(ScreenMatchesGolden("calendar_after_map"));  // uncovered: repainted without the busy hourglass
    ++checks;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_EQ(checks, 3);
}

TEST_F(MapScreenTest, RailAreasAndTheSliderInEvenSteps) {
  int checks = 0;
  OpenDay();
  // At step 0 the plus button is refused: no pressed look.
  backend.Down(RAIL_X, 30).Wait(10).Call([&] {
    EXPECT_FALSE(Map()->zoomInPressed);
    ++checks;
  });
  backend.Up();
  // y 40 is the slider, clamped to the row of step 0; a tap alone asks for no step.
  backend.Down(RAIL_X, 40).Wait(10).Call([&] {
    EXPECT_TRUE(Map()->sliderActive.load());
    EXPECT_EQ(Map()->sliderY.load(), 51);
    EXPECT_EQ(Renderer()->TargetStep(), 0);
    ++checks;
  });
  backend.Up().Wait(10);
  // y 232 is the slider too, clamped to the row of step 26; moving asks for it.
  backend.Down(RAIL_X, 232).Wait(10).Move(RAIL_X, 232).Call([&] {
    EXPECT_EQ(Map()->sliderY.load(), 220);
    EXPECT_EQ(Renderer()->TargetStep(), 26);
    ++checks;
  });
  backend.Wait(10).Call([&] {
    // While the slider is held a finished frame leaves the knob where it is.
    EXPECT_EQ(Renderer()->CurrentStep(), 26);
    EXPECT_EQ(Map()->sliderY.load(), 220);
    ++checks;
  });
  backend.Up().Wait(10);
  // y 233 is the minus button: refused at step 26.
  backend.Down(RAIL_X, 233).Wait(10).Call([&] {
    EXPECT_FALSE(Map()->zoomOutPressed);
    EXPECT_FALSE(Map()->sliderActive.load());
    ++checks;
  });
  backend.Up().Wait(10);
  // The plus button now zooms in by two steps and shows its pressed look.
  backend.Down(RAIL_X, 30).Wait(10).Call([&] {
    EXPECT_TRUE(Map()->zoomInPressed);
    EXPECT_EQ(Renderer()->CurrentStep(), 24);
    EXPECT_TRUE(ScreenMatchesGolden("map_screen_step_24_plus_pressed"));
    ++checks;
  });
  backend.Up().Quit();
  calendar.RunModal();
  EXPECT_EQ(checks, 6);
}

// The pressed look of plus and minus ends when the pen lifts, whether the
// new frame came before the release or not.
TEST_F(MapScreenTest, ZoomButtonsLookNormalAgainWhenThePenLifts) {
  int checks = 0;
  std::vector<uint16_t> plus, minus;
  OpenDay();
  backend.Down(RAIL_X, 232).Wait(10).Move(RAIL_X, 232).Up().Wait(10);  // step 26: both buttons take taps
  backend.Call([&] {
    plus = ScreenPixels(448, 0, 480, 32);
    minus = ScreenPixels(448, 240, 480, 272);
  });
  backend.Down(RAIL_X, 30).Wait(10).Call([&] {
    EXPECT_TRUE(Map()->zoomInPressed);
    EXPECT_NE(ScreenPixels(448, 0, 480, 32), plus);
    ++checks;
  });
  backend.Up().Wait(10).Call([&] {
    EXPECT_EQ(ScreenPixels(448, 0, 480, 32), plus);
    ++checks;
  });
  backend.Down(RAIL_X, 250).Wait(10).Up().Wait(10).Call([&] {
    EXPECT_EQ(Renderer()->CurrentStep(), 26);
    EXPECT_EQ(ScreenPixels(448, 240, 480, 272), minus);
    ++checks;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_EQ(checks, 3);
}

// A drag beyond the map's edge that the renderer refuses brings no new
// frame: the last one is put back, without the preview's grey band.
TEST_F(MapScreenTest, ARefusedDragPutsTheLastFrameBack) {
  int checks = 0;
  std::vector<uint16_t> before;
  MapCoord centre{};
  OpenDay();
  backend.Down(RAIL_X, 232).Wait(10).Move(RAIL_X, 232).Up().Wait(10);  // step 26: a drag goes far
  backend.Call([&] {
    before = ScreenPixels(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT);
    centre = Renderer()->TargetCenter();
  });
  backend.Down(100, 100).Wait(100).Move(400, 250).Wait(100).Call([&] {
    EXPECT_NE(ScreenPixels(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT), before);  // the preview, grey band and all
    ++checks;
  });
  backend.Up().Wait(10).Call([&] {
    MapCoord target = Renderer()->TargetCenter();
    EXPECT_EQ(target.x, centre.x);  // refused
    EXPECT_EQ(target.y, centre.y);
    EXPECT_EQ(ScreenPixels(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT), before);
    ++checks;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_EQ(checks, 2);
}

}  // namespace
