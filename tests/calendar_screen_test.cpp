// The calendar on the headless backend: start-up, month stepping with
// auto-repeat, pressing days, the delete mode with its confirmation and
// notices, the tap notifications, and golden screenshots.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/calendar_dlg.h"
#include "app/log_viewer_app.h"
#include "app/map_dialog.h"
#include "logs/selected_day.h"
#include "screen_support.h"

namespace {

// Screen positions of the calendar's buttons.
constexpr int32_t PREV_X = 368, NEXT_X = 432, ARROW_Y = 16;
constexpr int32_t SETTINGS_X = 368, EXIT_X = 432, BOTTOM_Y = 256;
constexpr int32_t BACK_X = 368;
constexpr int32_t YES_X = 143, NO_X = 335, YES_NO_Y = 176;
// On the settings screen: the delete-by-date button.
constexpr int32_t DATE_DELETE_X = 221, DATE_DELETE_Y = 136;

class CalendarTest : public ScreenTest {
 protected:
  // Taps a day of the shown month: pen down, a pause for the repaint, pen up.
  void TapDay(int32_t year, int32_t month, int32_t day) {
    int32_t x = 0, y = 0;
    DayCentre(year, month, day, &x, &y);
    backend.Down(x, y).Wait(10).Up().Wait(10);
  }
  void Tap(int32_t x, int32_t y) { backend.Down(x, y).Wait(10).Up().Wait(10); }
  // Switches into the delete mode through the settings screen.
  void EnterDeleteMode() {
    Tap(SETTINGS_X, BOTTOM_Y);
    Tap(DATE_DELETE_X, DATE_DELETE_Y);
  }

  CalendarDlg calendar{&mapData};
};

TEST_F(CalendarTest, StartsOnTheNewestMonthWithLogsWithoutTheNotice) {
  AddLog(2009, 5, 12);
  AddLog(2010, 1, 3);
  AddLog(2010, 1, 17);
  bool checked = false;
  backend.Wait(10)
      .Call([&] {
        EXPECT_EQ(calendar.year, 2010);
        EXPECT_EQ(calendar.month, 1);
        EXPECT_EQ(calendar.logDayCount, 2);
        EXPECT_FALSE(calendar.noLogsNoticeShown);
        EXPECT_EQ(calendar.mode, MODE_BROWSE);
        EXPECT_TRUE(ScreenMatchesGolden("calendar_browse_marks"));
        checked = true;
      })
      .Quit();
  calendar.RunModal();
  EXPECT_TRUE(checked);
}

TEST_F(CalendarTest, WithoutLogsShowsTodaysMonthAndTheNoticeForFiveSeconds) {
  int checks = 0;
  backend.Wait(10)
      .Call([&] {
        EXPECT_EQ(calendar.year, 2010);
        EXPECT_EQ(calendar.month, 2);
        EXPECT_EQ(calendar.day, 14);
        EXPECT_TRUE(calendar.noLogsNoticeShown);
        EXPECT_TRUE(ScreenMatchesGolden("calendar_no_logs_notice"));
        ++checks;
      })
      .Wait(4980)  // 4990 ms after the start
      .Call([&] {
        EXPECT_TRUE(calendar.noLogsNoticeShown);
        ++checks;
      })
      .Wait(10)
      .Call([&] {
        EXPECT_FALSE(calendar.noLogsNoticeShown);
        ++checks;
      })
      .Quit();
  calendar.RunModal();
  EXPECT_EQ(checks, 3);
}

TEST_F(CalendarTest, HoldingAnArrowStepsAtOnceAfterOneSecondThenEveryHalfSecond) {
  AddLog(2009, 5, 12);
  std::vector<int32_t> months;
  auto record = [&] { months.push_back(calendar.year * 100 + calendar.month); };
  backend.Wait(10).Down(NEXT_X, ARROW_Y).Call(record)  // at once
      .Wait(999).Call(record)                           // not yet
      .Wait(1).Call(record)                             // after 1000 ms
      .Wait(499).Call(record)
      .Wait(1).Call(record)                             // then every 500 ms
      .Wait(500).Call(record)
      .Up().Wait(2000).Call(record)                     // released: no more steps
      .Down(PREV_X, ARROW_Y).Up().Call(record)          // one step back
      .Quit();
  calendar.RunModal();
  EXPECT_EQ(months, (std::vector<int32_t>{200906, 200906, 200907, 200907, 200908, 200909, 200909, 200908}));
}

TEST_F(CalendarTest, PreviousArrowInJanuaryShowsDecemberOfTheYearBefore) {
  AddLog(2010, 1, 3);
  bool checked = false;
  backend.Wait(10).Down(PREV_X, ARROW_Y).Wait(10).Call([&] {
    EXPECT_EQ(calendar.year, 2009);
    EXPECT_EQ(calendar.month, 12);
    EXPECT_TRUE(calendar.prevPressed);
    checked = true;
  });
  backend.Up().Quit();
  calendar.RunModal();
  EXPECT_TRUE(checked);
}

TEST_F(CalendarTest, OnlyTapsOnActiveElementsAreNotified) {
  AddLog(2009, 5, 12);
  StartMainMenu();
  bool checked = false;
  TapDay(2009, 5, 13);                    // no log: no notification, nothing opens
  backend.Call([&] {
    EXPECT_EQ(mainMenu.taps, 0);
    EXPECT_FALSE(calendar.busy);
    EXPECT_EQ(calendar.pressX, -1);       // the press point is cleared on release
  });
  Tap(NEXT_X, ARROW_Y);                   // an arrow: one notification
  Tap(PREV_X, ARROW_Y);
  Tap(240, 40);                           // the weekday header: nothing
  backend.Call([&] {
    EXPECT_EQ(mainMenu.taps, 2);
    checked = true;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_TRUE(checked);
}

TEST_F(CalendarTest, PressingAMarkedDaySlidingOffAndReleasingStillOpensIt) {
  AddLog(2009, 5, 12);
  StartMainMenu();
  int32_t x = 0, y = 0;
  DayCentre(2009, 5, 12, &x, &y);
  bool checked = false;
  backend.Wait(10).Down(x, y).Wait(10).Call([&] {
    EXPECT_EQ(calendar.selectedDay, 12);  // found by the repaint after the press
    EXPECT_TRUE(ScreenMatchesGolden("calendar_day_pressed"));
  });
  backend.Move(400, 200).Up().Call([&] {
    EXPECT_TRUE(calendar.busy);
    EXPECT_EQ(calendar.day, 12);
    EXPECT_EQ(calendar.selectedDay, -1);
    EXPECT_STREQ(SelectedLogPath(), "\\SDMMC\\TEVOLOG\\2009\\05\\20090512.log");
    ASSERT_NE(calendar.mapScreen, nullptr);
    EXPECT_FALSE(calendar.mapScreen->IsVisible());
    EXPECT_EQ(mainMenu.taps, 1);
  });
  // The busy timer polls every 100 ms; the first frame is in by then.
  backend.Wait(100).Call([&] {
    EXPECT_FALSE(calendar.busy);
    EXPECT_TRUE(calendar.mapScreen->IsVisible());
    checked = true;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_TRUE(checked);
}

TEST_F(CalendarTest, BusyIndicatorSteps) {
  AddLog(2009, 5, 12);
  int shots = 0;
  for (int16_t step : {0, 7, 14}) {
    backend.Wait(10)
        .Call([&, step] {
          calendar.busy = true;
          calendar.busyStep = step;
          calendar.Invalidate(false);
        })
        .Wait(1)
        .Call([&, step] {
          EXPECT_TRUE(ScreenMatchesGolden("calendar_busy_step_" + std::to_string(step)));
          ++shots;
        });
  }
  backend.Call([&] { calendar.busy = false; }).Quit();
  calendar.RunModal();
  EXPECT_EQ(shots, 3);
}

TEST_F(CalendarTest, DeleteModeDeletesOnlyAfterYesAndTheMarkDisappears) {
  AddLog(2009, 5, 12);
  AddLog(2009, 5, 20);
  std::string log12 = LogPath(2009, 5, 12);
  int checks = 0;
  EnterDeleteMode();
  backend.Call([&] {
    EXPECT_EQ(calendar.mode, MODE_DELETE);
    ++checks;
  });
  TapDay(2009, 5, 12);
  backend.Call([&] {
    EXPECT_TRUE(calendar.confirmShown);
    EXPECT_EQ(calendar.day, 12);
    EXPECT_TRUE(ScreenMatchesGolden("calendar_delete_confirm"));
    ++checks;
  });
  Tap(NEXT_X, ARROW_Y);  // outside "yes": closes the confirmation, no month step, nothing deleted
  backend.Call([&] {
    EXPECT_FALSE(calendar.confirmShown);
    EXPECT_EQ(calendar.month, 5);
    EXPECT_TRUE(fs::exists(log12));
    ++checks;
  });
  TapDay(2009, 5, 12);
  backend.Down(YES_X, YES_NO_Y).Wait(10).Call([&] {
    EXPECT_TRUE(ScreenMatchesGolden("calendar_delete_confirm_yes_pressed"));
  });
  backend.Up().Wait(10).Call([&] {
    EXPECT_FALSE(fs::exists(log12));
    EXPECT_TRUE(fs::exists(LogPath(2009, 5, 20)));
    EXPECT_EQ(calendar.logDayCount, 1);
    EXPECT_TRUE(calendar.deletedNoticeShown);
    EXPECT_TRUE(ScreenMatchesGolden("calendar_deleted_notice"));
    ++checks;
  });
  backend.Wait(3000).Call([&] {
    EXPECT_FALSE(calendar.deletedNoticeShown);
    EXPECT_FALSE(calendar.noLogsNoticeShown);  // one log is left
    ++checks;
  });
  Tap(BACK_X, BOTTOM_Y);  // back to the settings screen, then back again: browsing
  Tap(BACK_X, BOTTOM_Y);
  backend.Call([&] {
    EXPECT_EQ(calendar.mode, MODE_BROWSE);
    ++checks;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_EQ(checks, 6);
}

TEST_F(CalendarTest, NoSaysNoAndTappingTheDeletedNoticeAfterTheLastLogShowsTheNoLogsNotice) {
  AddLog(2009, 5, 12);
  int checks = 0;
  EnterDeleteMode();
  TapDay(2009, 5, 12);
  Tap(NO_X, YES_NO_Y);
  backend.Call([&] {
    EXPECT_FALSE(calendar.confirmShown);
    EXPECT_TRUE(fs::exists(LogPath(2009, 5, 12)));
    ++checks;
  });
  TapDay(2009, 5, 12);
  Tap(YES_X, YES_NO_Y);
  backend.Down(240, 150).Wait(10).Call([&] {
    EXPECT_FALSE(calendar.deletedNoticeShown);
    EXPECT_TRUE(calendar.noLogsNoticeShown);
    ++checks;
  });
  backend.Up().Wait(5000).Call([&] {
    EXPECT_FALSE(calendar.noLogsNoticeShown);
    ++checks;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_EQ(checks, 3);
}

// A day whose month folder is a link out of the log tree is listed, but
// never deleted: the screen says so and the mark stays.
TEST_F(CalendarTest, AFailedDeleteSaysSoAndTheMarkStays) {
  AddLog(2026, 2, 11);
  fs::path outside = root / "outside";
  WriteFile(outside / "20260301.log", "keep");
  fs::create_directory_symlink(outside, root / "SDMMC/TEVOLOG/2026/03");
  int checks = 0;
  EnterDeleteMode();
  Tap(NEXT_X, ARROW_Y);
  backend.Call([&] {
    EXPECT_EQ(calendar.month, 3);
    EXPECT_EQ(calendar.logDayCount, 1);
    ++checks;
  });
  TapDay(2026, 3, 1);
  Tap(YES_X, YES_NO_Y);
  backend.Call([&] {
    EXPECT_EQ(ReadFile(outside / "20260301.log"), "keep");
    EXPECT_FALSE(calendar.deletedNoticeShown);
    EXPECT_TRUE(calendar.deleteFailedNoticeShown);
    EXPECT_EQ(calendar.logDayCount, 1);
    EXPECT_TRUE(ScreenMatchesGolden("calendar_delete_failed_notice"));
    ++checks;
  });
  backend.Wait(3000).Call([&] {
    EXPECT_FALSE(calendar.deleteFailedNoticeShown);
    EXPECT_FALSE(calendar.noLogsNoticeShown);
    ++checks;
  });
  TapDay(2026, 3, 1);
  Tap(YES_X, YES_NO_Y);
  backend.Down(240, 150).Wait(10).Call([&] {  // a tap ends the notice at once
    EXPECT_FALSE(calendar.deleteFailedNoticeShown);
    ++checks;
  });
  backend.Up().Quit();
  calendar.RunModal();
  EXPECT_EQ(checks, 4);
}

TEST_F(CalendarTest, TitleIsAnsweredWithinTheBufferAndExitEndsTheRun) {
  AddLog(2009, 5, 12);
  bool checked = false;
  backend.Wait(10).Call([&] {
    char16_t buffer[16];
    for (char16_t& c : buffer) c = u'#';
    EXPECT_EQ(SendMessageTo(calendar.Handle(), WM_GETTEXT, 0, reinterpret_cast<intptr_t>(buffer)), 0);
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(SendMessageTo(calendar.Handle(), WM_GETTEXT, 16, reinterpret_cast<intptr_t>(buffer)), 14);
    EXPECT_EQ(std::u16string(buffer), u"TEVO_LogViewer");
    EXPECT_EQ(SendMessageTo(calendar.Handle(), WM_GETTEXT, 5, reinterpret_cast<intptr_t>(buffer)), 4);
    EXPECT_EQ(buffer[5], u'L');  // untouched beyond the buffer given
    EXPECT_EQ(FindWindowByTitle("tevo_logviewer"), calendar.Handle());
    checked = true;
  });
  Tap(EXIT_X, BOTTOM_Y);
  backend.Wait(10000).Call([] { ADD_FAILURE() << "the calendar should have ended"; });
  EXPECT_EQ(calendar.RunModal(), 0);
  EXPECT_TRUE(checked);
}

TEST_F(CalendarTest, SecondCopyEndsAtOnceWhenTheCalendarRuns) {
  AddLog(2009, 5, 12);
  bool checked = false;
  backend.Wait(10).Call([&] {
    LogViewerApp second;
    EXPECT_FALSE(second.InitInstance());
    EXPECT_TRUE(second.FoundAnotherCopy());
    checked = true;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_TRUE(checked);
}

// Runs the viewer program on `deviceRoot` with a script that only waits:
// its exit status and what it printed.
int RunViewer(const fs::path& deviceRoot, const fs::path& script, std::string* output) {
  WriteFile(script, "wait 10\nquit\n");
  std::string command = std::string(TEVO_VIEWER) + " --device-root '" + deviceRoot.string() + "' --script '" +
                        script.string() + "' 2>&1";
  FILE* viewer = popen(command.c_str(), "r");
  if (viewer == nullptr) return -1;
  char line[256];
  while (std::fgets(line, sizeof line, viewer) != nullptr) *output += line;
  return pclose(viewer);
}

// Only a viewer of the same device root is another copy; one that finds it
// says so and fails, for it ran nothing.
TEST_F(CalendarTest, AnotherCopyIsOneOfTheSameDeviceRoot) {
  AddLog(2009, 5, 12);
  const fs::path otherDevice = root / "other-device";
  fs::create_directories(otherDevice);
  int checks = 0;
  backend.Wait(10).Call([&] {
    std::string output;
    EXPECT_EQ(RunViewer(otherDevice, root / "other.txt", &output), 0) << output;
    EXPECT_EQ(output.find("another copy"), std::string::npos) << output;
    output.clear();
    // The same folder by another spelling is the same device.
    EXPECT_NE(RunViewer(root / "SDMMC" / "..", root / "same.txt", &output), 0);
    EXPECT_NE(output.find("another copy"), std::string::npos) << output;
    ++checks;
  });
  backend.Quit();
  calendar.RunModal();
  EXPECT_EQ(checks, 1);
}

}  // namespace
