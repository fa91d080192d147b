// Helpers of the screen tests: a device root in a scratch directory, the
// headless backend with a fixed local time, a stand-in main menu that
// counts tap notifications, day positions on the calendar, and golden
// images.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/month_grid.h"
#include "app/tap_notify.h"
#include "logs_test_support.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "mapdata/map_owner.h"

// A main menu inside the test process: answers the query for its target and
// counts the notifications.
class TapCounter : public Window {
 public:
  int taps = 0;

 protected:
  intptr_t OnMessage(uint32_t message, uintptr_t, intptr_t) override {
    if (message == MSG_QUERY_TAP_TARGET) return static_cast<intptr_t>(Handle());
    if (message == MSG_TAP) ++taps;
    return 0;
  }
};

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a day log of a short drive in central Tokyo.
  void AddLog(int year, int month, int day);
  std::string LogPath(int year, int month, int day) const;
  // Writes a map database covering central Tokyo at every level of the
  // scale steps (empty parcels: the frame is the land colour and the track).
  void WriteTokyoMap(uint16_t flags = 0);
  // Puts the stand-in main menu up (before the calendar starts).
  void StartMainMenu();

  fs::path root;
  HeadlessBackend backend;
  TapCounter mainMenu;
  // The map data of the screens a test makes; it outlives them.
  MapDataOwner mapData;
};

// Centre of a day's cell in the calendar of that month.
void DayCentre(int32_t year, int32_t month, int32_t day, int32_t* x, int32_t* y);

// Pixel of the composed screen.
uint16_t ScreenPixel(int32_t x, int32_t y);

// Compares the composed screen with tests/golden/<name>.png. On a mismatch
// it writes <name>.actual.png and <name>.diff.png into the test output
// directory and reports the first differing pixel and the count. With
// TEVO_UPDATE_GOLDEN=1 in the environment it writes the golden instead
// (look at it before committing it).
::testing::AssertionResult ScreenMatchesGolden(const std::string& name);
