// The calendar: the program's main screen. One month as a 7 x 6 grid with
// the days that have a log marked; month stepping with auto-repeat; opening a
// day on the map screen (browse mode) or deleting a day's log after a
// confirmation (delete mode); the way to the recording settings screen.
#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include "app/canvas_context.h"
#include "platform/window.h"

class DrawKit;
class MapDialog;
class MapDataOwner;
struct ScreenPreload;

// Modes of the calendar.
constexpr int16_t MODE_BROWSE = 1;
constexpr int16_t MODE_DELETE = 2;

// Timers of the calendar window.
constexpr uint32_t TIMER_NEXT_MONTH = 1025;
constexpr uint32_t TIMER_PREV_MONTH = 1026;
constexpr uint32_t TIMER_NO_LOGS_NOTICE = 1027;
constexpr uint32_t TIMER_MAP_BUSY = 1028;
constexpr uint32_t TIMER_DAY_DELETED_NOTICE = 1029;

constexpr uint32_t MONTH_REPEAT_FIRST_MS = 1000;
constexpr uint32_t MONTH_REPEAT_NEXT_MS = 500;
constexpr uint32_t NO_LOGS_NOTICE_MS = 5000;
constexpr uint32_t MAP_BUSY_MS = 100;
constexpr uint32_t DAY_DELETED_NOTICE_MS = 3000;

// The busy indicator's animation has 15 steps, 0..14.
constexpr int16_t BUSY_STEPS = 15;

// Title of the calendar window, and the title a second copy looks for.
constexpr char CALENDAR_TITLE[] = "TEVO_LogViewer";
constexpr char SINGLE_INSTANCE_TITLE[] = "Tevo_LogViewer";

constexpr int32_t MAX_LOG_DAYS = 31;

// A 64 x 32 button: where it goes on the screen and where its pressed and
// normal looks lie in the sprite sheet.
struct CalendarButton {
  int32_t x, y;
  int32_t pressedX, pressedY;
  int32_t normalX, normalY;
};

class CalendarDlg : public Window {
 public:
  // `map` is the program's owner of the map data, handed to the map screen
  // (null: a map screen without a map); it outlives the calendar.
  explicit CalendarDlg(MapDataOwner* map = nullptr);
  ~CalendarDlg() override;

  // State, readable by tests and the viewer's tools.
  int32_t year = 0;
  int32_t month = 1;
  int32_t day = 0;
  int32_t logDays[MAX_LOG_DAYS] = {};
  int32_t logDayCount = 0;
  int16_t mode = MODE_BROWSE;
  int16_t selectedDay = -1;
  int32_t pressX = -1;
  int32_t pressY = -1;
  bool prevPressed = false;
  bool nextPressed = false;
  bool settingsPressed = false;
  bool backPressed = false;
  bool exitPressed = false;
  bool yesPressed = false;
  bool noPressed = false;
  bool noLogsNoticeShown = false;
  bool confirmShown = false;
  bool deletedNoticeShown = false;
  bool deleteFailedNoticeShown = false;  // the confirmed day's log could not be deleted
  bool busy = false;
  int16_t busyStep = 0;
  MapDialog* mapScreen = nullptr;  // created on the first opened day, owned
  MapDataOwner* mapData = nullptr;  // not owned
  ScreenPreload* mapScreenPreload = nullptr;  // the map screen's pictures, decoded ahead
  // Until the first day is opened: the thread that loads the map's
  // management data and makes the renderer's kit ahead, and that kit.
  std::thread mapScreenPreparation;
  std::unique_ptr<DrawKit> preparedKit;

  // The composed screen of the last repaint.
  const Canvas& ScreenPicture() const { return screen.canvas; }

 protected:
  int OnInitDialog() override;
  void OnPaint() override;
  int OnEraseBkgnd(DrawingContext* dc) override;
  void OnLButtonDown(uint32_t flags, int32_t x, int32_t y) override;
  void OnLButtonUp(uint32_t flags, int32_t x, int32_t y) override;
  void OnTimer(uint32_t id) override;
  intptr_t OnGetText(uintptr_t size, char16_t* buffer) override;

 private:
  void LoadPicturesAndFonts();
  void StartMapScreenPreparation();
  void ShowNewestMonthOrToday();
  void AskMainMenuForTapTarget();

  void DrawMonth();
  void DrawMarks(int32_t day, const Rect& cell);
  void DrawDeleteConfirmation();
  void DrawBusyIndicator();
  void DrawButton(const CalendarButton& button, bool pressed);

  bool BrowseRules(int32_t x, int32_t y);
  bool DeleteRules(int32_t x, int32_t y);
  void ArrowRules(int32_t x, int32_t y);
  void PressGrid(int32_t x, int32_t y);
  bool IsMarked(int32_t day) const;
  bool MarkedDayAt(int32_t x, int32_t y) const;
  void StepShownMonth(int32_t direction);
  void StepHeldArrows();
  void ShowNoLogsNoticeIfNoLogsLeft();
  void DeleteConfirmedDay();
  void HideDeleteNotices();

  void OpenSettings();
  void OpenMap();
  void PollMapReady();

  CanvasContext screen;
  CanvasContext browseBackground;
  CanvasContext deleteBackground;
  CanvasContext spriteSheet;
  CanvasContext noLogsNotice;
  Canvas dayDeleteConfirm;
  Canvas deletedNotice;
  Canvas deleteFailedNotice;
  Canvas busyPicture;
  Font* calendarFont = nullptr;
  Font* dateFont = nullptr;
};
