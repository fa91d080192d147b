#include "app/calendar_dlg.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <system_error>

#include "app/map_dialog.h"
#include "app/month_grid.h"
#include "app/overlays.h"
#include "app/settings_dlg.h"
#include "app/tap_notify.h"
#include "app/touch_area.h"
#include "canvas/blit.h"
#include "canvas/picture_ids.h"
#include "logs/log_directory.h"
#include "mapdata/map_owner.h"
#include "platform/kernel.h"
#include "platform/picture_cache.h"
#include "platform/unicode.h"
#include "render/draw_kit.h"

namespace {

// Touch areas (inclusive, screen pixels). Where two meet, the rule tested
// first wins: x 400 belongs to the previous arrow and to the settings button.
constexpr TouchArea PREV_ARROW_AREA{336, 0, 400, 32};
constexpr TouchArea NEXT_ARROW_AREA{400, 0, 464, 32};
constexpr TouchArea BROWSE_GRID_AREA{16, 64, 464, 256};
constexpr TouchArea DELETE_GRID_AREA{16, 64, 464, 224};
constexpr TouchArea SETTINGS_AREA{336, 240, 400, 272};
constexpr TouchArea EXIT_AREA{400, 240, 464, 272};

// Where buttons go on the screen and where their looks lie in the sprite
// sheet (pressed, normal).
constexpr int32_t BUTTON_WIDTH = 64;
constexpr int32_t BUTTON_HEIGHT = 32;
constexpr CalendarButton PREV_ARROW{336, 0, 0, 0, 0, 32};
constexpr CalendarButton NEXT_ARROW{400, 0, 64, 0, 64, 32};
constexpr CalendarButton SETTINGS_BUTTON{336, 240, 0, 192, 64, 192};
constexpr CalendarButton EXIT_BUTTON{400, 240, 0, 96, 64, 96};

// Day marks: 62 x 30 at the cell's top-left corner.
constexpr SpriteCell MARK_NORMAL{0, 256, 62, 30};
constexpr SpriteCell MARK_PRESSED{64, 256, 62, 30};

// Texts.
constexpr Rect TITLE_RECT{185, 4, 285, 36};
constexpr Rect CONFIRM_DATE_RECT{132, 96, 330, 118};
constexpr uint32_t CENTRED = DT_CENTER | DT_VCENTER;
constexpr uint32_t SUNDAY_COLOUR = Rgb(253, 47, 6);
constexpr uint32_t SATURDAY_COLOUR = Rgb(0, 84, 255);
constexpr uint32_t TEXT_BLACK = Rgb(0, 0, 0);
constexpr uint32_t TEXT_WHITE = Rgb(255, 255, 255);

constexpr LogicalFont CALENDAR_FONT{DEVICE_FONT_FACE, 120, 900, FONT_QUALITY_ANTIALIASED, 128, 2};
constexpr LogicalFont DATE_FONT{DEVICE_FONT_FACE, 140, 400, FONT_QUALITY_CLEARTYPE, 128, 2};

// Busy indicator: the hourglass and, clockwise from the top, eight dots.
constexpr SpriteCell HOURGLASS{17, 17, 30, 30};
constexpr SpriteCell BUSY_DOT{28, 1, 8, 8};
constexpr int32_t HOURGLASS_X = 225;
constexpr int32_t HOURGLASS_Y = 121;
constexpr int32_t BUSY_DOT_POSITIONS[8][2] = {{236, 104}, {256, 112}, {264, 132}, {256, 152},
                                              {236, 160}, {216, 152}, {208, 132}, {216, 112}};

void DrawUtf8(DrawingContext* dc, const char* text, const Rect& rect, uint32_t flags) {
  std::u16string wide = Utf8ToUtf16(text);
  DrawText(dc, wide.c_str(), static_cast<int32_t>(wide.size()), rect, flags);
}

}  // namespace

CalendarDlg::CalendarDlg(MapDataOwner* map) : mapData(map) {}

CalendarDlg::~CalendarDlg() {
  if (mapScreenPreparation.joinable()) mapScreenPreparation.join();
  delete mapScreen;  // destroys its window, worker and renderer
  mapScreen = nullptr;
  FinishScreenPreload(mapScreenPreload);
  mapScreenPreload = nullptr;
  DeleteFont(calendarFont);
  DeleteFont(dateFont);
  DestroyWindow();
}

int CalendarDlg::OnInitDialog() {
  SetWindowText(CALENDAR_TITLE);
  LoadPicturesAndFonts();
  // The map screen's pictures and canvases are prepared while the calendar
  // is shown.
  if (mapScreenPreload == nullptr) {
    mapScreenPreload = StartScreenPreload(PreloadList{MAP_SCREEN_PICTURES, static_cast<int>(std::size(MAP_SCREEN_PICTURES)),
                                                        MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT,
                                                        MAP_SCREEN_CANVASES + MAP_RENDERER_CANVASES});
  }
  StartMapScreenPreparation();
  busy = false;
  noLogsNoticeShown = false;
  confirmShown = false;
  yesPressed = false;
  noPressed = false;
  ShowNewestMonthOrToday();
  selectedDay = -1;
  mode = MODE_BROWSE;
  prevPressed = nextPressed = settingsPressed = backPressed = exitPressed = false;
  deletedNoticeShown = deleteFailedNoticeShown = false;
  pressX = pressY = -1;
  MoveWindow(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, true);
  AskMainMenuForTapTarget();
  return 1;
}

// What the first opening of a day would otherwise do before its first
// frame is done while the calendar is shown: the map's management data and
// parcel index are read, and the renderer's canvases, name fonts and
// pictures made. The map screen itself is still created when the first day
// is chosen.
void CalendarDlg::StartMapScreenPreparation() {
  if (mapScreen != nullptr || mapScreenPreparation.joinable() || preparedKit != nullptr) return;
  try {
    mapScreenPreparation = std::thread([this] {
      if (mapData != nullptr) mapData->Load();
      preparedKit = PrepareRendererKit();
    });
  } catch (const std::system_error&) {
    // No thread: the first opening makes them itself.
  }
}

void CalendarDlg::LoadPicturesAndFonts() {
  screen.Create(SCREEN_WIDTH, SCREEN_HEIGHT);
  browseBackground.Load(PICTURE_BROWSE_BACKGROUND);
  deleteBackground.Load(PICTURE_DELETE_BACKGROUND);
  spriteSheet.Load(PICTURE_SPRITE_SHEET);
  calendarFont = CreateFont(CALENDAR_FONT);
  dateFont = CreateFont(DATE_FONT);
  noLogsNotice.Load(PICTURE_NO_LOGS_NOTICE);
  LoadPicture(&dayDeleteConfirm, PICTURE_DAY_DELETE_CONFIRM);
  LoadPicture(&deletedNotice, PICTURE_DELETED_NOTICE);
  LoadPicture(&deleteFailedNotice, PICTURE_DELETE_FAILED_NOTICE);
  LoadPicture(&busyPicture, PICTURE_BUSY);
}

// The newest month that has logs, or today's month with the notice that
// there are none.
void CalendarDlg::ShowNewestMonthOrToday() {
  logDayCount = FindNewestLogMonth(&year, &month, logDays);
  if (logDayCount < 1) {
    LocalTime today;
    GetLocalTime(&today);
    year = today.year;
    month = today.month;
    day = today.day;
    noLogsNoticeShown = true;
    SetTimer(TIMER_NO_LOGS_NOTICE, NO_LOGS_NOTICE_MS);
  }
}

void CalendarDlg::AskMainMenuForTapTarget() {
  tapNotifyTarget = 0;
  WindowHandle mainMenu = FindWindowByTitle(MAIN_MENU_TITLE);
  if (mainMenu != 0) tapNotifyTarget = static_cast<WindowHandle>(SendMessageTo(mainMenu, MSG_QUERY_TAP_TARGET, 0, 0));
}

// ---------------------------------------------------------------------------
// Painting

// A 64 x 32 button in its pressed or normal look, with the platform's
// colour-keyed copy.
void CalendarDlg::DrawButton(const CalendarButton& button, bool pressed) {
  TransparentBlt(screen.dc, button.x, button.y, BUTTON_WIDTH, BUTTON_HEIGHT, spriteSheet.dc,
                 pressed ? button.pressedX : button.normalX, pressed ? button.pressedY : button.normalY, BUTTON_WIDTH,
                 BUTTON_HEIGHT, KEY_COLOUR_RGB24);
}

bool CalendarDlg::IsMarked(int32_t dayOfMonth) const {
  for (int32_t i = 0; i < logDayCount && i < MAX_LOG_DAYS; ++i) {
    if (logDays[i] % 100 == dayOfMonth) return true;
  }
  return false;
}

// Marks of one day: one per matching day-list value; the mark under the
// press point is drawn pressed and makes that day the selected one.
void CalendarDlg::DrawMarks(int32_t dayOfMonth, const Rect& cell) {
  for (int32_t i = 0; i < logDayCount && i < MAX_LOG_DAYS; ++i) {
    if (logDays[i] % 100 != dayOfMonth) continue;
    const SpriteCell* mark = &MARK_NORMAL;
    if (PointInCell(cell, pressX, pressY)) {
      mark = &MARK_PRESSED;
      selectedDay = static_cast<int16_t>(dayOfMonth);
    }
    BitBlt(screen.dc, cell.left, cell.top, mark->w, mark->h, spriteSheet.dc, mark->sx, mark->sy);
  }
}

void CalendarDlg::DrawMonth() {
  Font* previous = SelectFont(screen.dc, calendarFont);
  SetBackgroundMode(screen.dc, BK_TRANSPARENT);
  SetTextColour(screen.dc, TEXT_BLACK);
  char text[48];
  std::snprintf(text, sizeof text, "%d年%02d月", year, month);
  DrawUtf8(screen.dc, text, TITLE_RECT, CENTRED);
  ForEachDayCell(year, month, [this, &text](int32_t dayOfMonth, const Rect& cell) {
    DrawMarks(dayOfMonth, cell);
    uint32_t colour = cell.left == GRID_LEFT ? SUNDAY_COLOUR : cell.right == GRID_RIGHT ? SATURDAY_COLOUR : TEXT_BLACK;
    SetTextColour(screen.dc, colour);
    std::snprintf(text, sizeof text, "%d", dayOfMonth);
    DrawUtf8(screen.dc, text, cell, CENTRED);
  });
  SelectFont(screen.dc, previous);
}

void CalendarDlg::DrawDeleteConfirmation() {
  BlendOverlay(&screen.canvas, dayDeleteConfirm, CONFIRM_WEIGHT);
  Font* previous = SelectFont(screen.dc, dateFont);
  SetTextColour(screen.dc, TEXT_WHITE);
  char text[64];
  std::snprintf(text, sizeof text, "%d年%02d月%02d日", year, month, day);
  DrawUtf8(screen.dc, text, CONFIRM_DATE_RECT, CENTRED);
  SelectFont(screen.dc, previous);
  DrawPressedYesOrNo(&screen.canvas, spriteSheet.canvas, yesPressed, noPressed);
}

// The hourglass and the dots k with k <= busyStep <= k + 7: step 0 shows dot
// 0 alone, step 7 all eight, step 14 dot 7 alone.
void CalendarDlg::DrawBusyIndicator() {
  BlitKeyed(&screen.canvas, &busyPicture, HOURGLASS_X, HOURGLASS_Y, HOURGLASS.w, HOURGLASS.h, HOURGLASS.sx,
            HOURGLASS.sy);
  for (int32_t k = 0; k < 8; ++k) {
    if (k <= busyStep && busyStep <= k + 7) {
      BlitKeyed(&screen.canvas, &busyPicture, BUSY_DOT_POSITIONS[k][0], BUSY_DOT_POSITIONS[k][1], BUSY_DOT.w,
                BUSY_DOT.h, BUSY_DOT.sx, BUSY_DOT.sy);
    }
  }
}

void CalendarDlg::OnPaint() {
  if (mode == MODE_BROWSE) {
    BitBlt(screen.dc, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, browseBackground.dc, 0, 0);
    DrawMonth();
    DrawButton(EXIT_BUTTON, exitPressed);
    DrawButton(SETTINGS_BUTTON, settingsPressed);
  } else {
    BitBlt(screen.dc, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, deleteBackground.dc, 0, 0);
    DrawMonth();
    DrawBackButton(&screen.canvas, spriteSheet.canvas, backPressed);
    if (confirmShown) DrawDeleteConfirmation();
  }
  DrawButton(PREV_ARROW, prevPressed);
  DrawButton(NEXT_ARROW, nextPressed);
  if (noLogsNoticeShown) BlendOverlay(&screen.canvas, noLogsNotice.canvas, NOTICE_WEIGHT);
  if (deletedNoticeShown) BlendOverlay(&screen.canvas, deletedNotice, NOTICE_WEIGHT);
  if (deleteFailedNoticeShown) BlendOverlay(&screen.canvas, deleteFailedNotice, NOTICE_WEIGHT);
  if (busy) DrawBusyIndicator();

  DrawingContext* window = BeginPaint();
  BitBlt(window, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, screen.dc, 0, 0);
  EndPaint(window);
}

// Every pixel comes from the screen canvas: erasing would only flicker.
int CalendarDlg::OnEraseBkgnd(DrawingContext*) { return 1; }

// Answers the calendar's title whatever the window's real title is, never
// writing beyond the caller's buffer (a short buffer gets as much as fits).
intptr_t CalendarDlg::OnGetText(uintptr_t size, char16_t* buffer) {
  if (size == 0 || buffer == nullptr) return 0;
  static const std::u16string title = Utf8ToUtf16(CALENDAR_TITLE);
  size_t n = title.size() < size ? title.size() : size - 1;
  std::memcpy(buffer, title.data(), n * sizeof(char16_t));
  buffer[n] = u'\0';
  return static_cast<intptr_t>(n);
}

// ---------------------------------------------------------------------------
// Touch

bool CalendarDlg::MarkedDayAt(int32_t x, int32_t y) const {
  bool found = false;
  ForEachDayCell(year, month, [&](int32_t dayOfMonth, const Rect& cell) {
    if (PointInCell(cell, x, y) && IsMarked(dayOfMonth)) found = true;
  });
  return found;
}

// A press in the grid is only recorded here; the day under it is found by
// the repaint that follows.
void CalendarDlg::PressGrid(int32_t x, int32_t y) {
  if (MarkedDayAt(x, y)) NotifyTap();
  pressX = x;
  pressY = y;
}

bool CalendarDlg::BrowseRules(int32_t x, int32_t y) {
  if (noLogsNoticeShown) {
    NotifyTap();
    KillTimer(TIMER_NO_LOGS_NOTICE);
    noLogsNoticeShown = false;
  } else if (SETTINGS_AREA.Contains(x, y)) {
    NotifyTap();
    settingsPressed = true;
  } else if (EXIT_AREA.Contains(x, y)) {
    NotifyTap();
    exitPressed = true;
  } else if (BROWSE_GRID_AREA.Contains(x, y)) {
    PressGrid(x, y);
  } else {
    return false;
  }
  return true;
}

bool CalendarDlg::DeleteRules(int32_t x, int32_t y) {
  if (confirmShown) {
    NotifyTap();
    PressYesOrNo(x, y, &yesPressed, &noPressed);
  } else if (deletedNoticeShown || deleteFailedNoticeShown) {
    NotifyTap();
    HideDeleteNotices();
    ShowNoLogsNoticeIfNoLogsLeft();
  } else if (noLogsNoticeShown) {
    NotifyTap();
    KillTimer(TIMER_NO_LOGS_NOTICE);
    noLogsNoticeShown = false;
  } else if (DELETE_GRID_AREA.Contains(x, y)) {
    PressGrid(x, y);
  } else if (BACK_AREA.Contains(x, y)) {
    NotifyTap();
    backPressed = true;
  } else {
    return false;
  }
  return true;
}

void CalendarDlg::ArrowRules(int32_t x, int32_t y) {
  if (PREV_ARROW_AREA.Contains(x, y)) {
    NotifyTap();
    StepShownMonth(-1);
    prevPressed = true;
    SetTimer(TIMER_PREV_MONTH, MONTH_REPEAT_FIRST_MS);
  } else if (NEXT_ARROW_AREA.Contains(x, y)) {
    NotifyTap();
    StepShownMonth(+1);
    nextPressed = true;
    SetTimer(TIMER_NEXT_MONTH, MONTH_REPEAT_FIRST_MS);
  }
}

void CalendarDlg::OnLButtonDown(uint32_t, int32_t x, int32_t y) {
  if (busy) return;  // the map is on its way: no input, no repaint
  bool hit = false;
  if (mode == MODE_BROWSE) {
    hit = BrowseRules(x, y);
  } else if (mode == MODE_DELETE) {
    hit = DeleteRules(x, y);
  }
  if (!hit) ArrowRules(x, y);
  Invalidate(true);
}

void CalendarDlg::OnLButtonUp(uint32_t, int32_t, int32_t) {
  if (prevPressed) KillTimer(TIMER_PREV_MONTH);
  if (nextPressed) KillTimer(TIMER_NEXT_MONTH);
  if (selectedDay == -1) {
    if (settingsPressed) {
      OpenSettings();
      settingsPressed = false;
    } else if (backPressed) {
      OpenSettings();
    } else if (confirmShown) {
      // Any release closes the confirmation; only "yes" deletes.
      if (yesPressed) DeleteConfirmedDay();
      yesPressed = noPressed = confirmShown = false;
    }
  } else if (mode == MODE_BROWSE) {
    OpenMap();
  } else {
    confirmShown = true;
    day = selectedDay;
    selectedDay = -1;
  }
  pressX = pressY = -1;
  prevPressed = nextPressed = backPressed = false;
  if (exitPressed) EndModal(0);
  Invalidate(true);
}

// ---------------------------------------------------------------------------
// Months, timers and the other screens

void CalendarDlg::StepShownMonth(int32_t direction) {
  StepMonth(&year, &month, direction);
  logDayCount = ListLogDays(year, month, logDays);
}

// Auto-repeat: each arrow still held steps again and comes back in 500 ms.
void CalendarDlg::StepHeldArrows() {
  if (prevPressed) {
    KillTimer(TIMER_PREV_MONTH);
    SetTimer(TIMER_PREV_MONTH, MONTH_REPEAT_NEXT_MS);
    StepShownMonth(-1);
    Invalidate(true);
  }
  if (nextPressed) {
    KillTimer(TIMER_NEXT_MONTH);
    SetTimer(TIMER_NEXT_MONTH, MONTH_REPEAT_NEXT_MS);
    StepShownMonth(+1);
    Invalidate(true);
  }
}

// "Deleted" only when the file is gone; either way the marks are read
// again, so they show what is on the card.
void CalendarDlg::DeleteConfirmedDay() {
  if (DeleteLogDay(year, month, day) == 1) {
    deletedNoticeShown = true;
  } else {
    deleteFailedNoticeShown = true;
  }
  SetTimer(TIMER_DAY_DELETED_NOTICE, DAY_DELETED_NOTICE_MS);
  logDayCount = ListLogDays(year, month, logDays);
}

void CalendarDlg::HideDeleteNotices() {
  KillTimer(TIMER_DAY_DELETED_NOTICE);
  deletedNoticeShown = deleteFailedNoticeShown = false;
}

void CalendarDlg::ShowNoLogsNoticeIfNoLogsLeft() {
  if (CountNewestMonthLogs() < 1) {
    noLogsNoticeShown = true;
    SetTimer(TIMER_NO_LOGS_NOTICE, NO_LOGS_NOTICE_MS);
  }
}

void CalendarDlg::OnTimer(uint32_t id) {
  switch (id) {
    case TIMER_NO_LOGS_NOTICE:
      KillTimer(TIMER_NO_LOGS_NOTICE);
      noLogsNoticeShown = false;
      Invalidate(true);
      break;
    case TIMER_DAY_DELETED_NOTICE:
      HideDeleteNotices();
      ShowNoLogsNoticeIfNoLogsLeft();
      Invalidate(true);
      break;
    case TIMER_MAP_BUSY:
      PollMapReady();
      break;
    default:
      break;
  }
  if (id == TIMER_NEXT_MONTH || id == TIMER_PREV_MONTH || id == TIMER_MAP_BUSY) StepHeldArrows();
}

void CalendarDlg::OpenSettings() {
  CCalendarDlg_Setting settings;
  int result = settings.RunModal();
  logDayCount = ListLogDays(year, month, logDays);  // the settings screen may have deleted logs
  if (result == SETTINGS_RESULT_DELETE_DAYS && mode == MODE_BROWSE) {
    mode = MODE_DELETE;
  } else if (result == SETTINGS_RESULT_BACK && mode == MODE_DELETE) {
    mode = MODE_BROWSE;
  }
  settings.DestroyWindow();
}

void CalendarDlg::OpenMap() {
  SelectLogDay(year, month, selectedDay);
  if (mapScreen == nullptr) {
    if (mapScreenPreparation.joinable()) mapScreenPreparation.join();
    mapScreen = new MapDialog(mapData, std::move(preparedKit));
    mapScreen->Create(this, false);
  }
  mapScreen->RequestMapRedraw();
  SetTimer(TIMER_MAP_BUSY, MAP_BUSY_MS);
  busyStep = 0;
  busy = true;
  day = selectedDay;
  selectedDay = -1;
}

void CalendarDlg::PollMapReady() {
  if (mapScreen != nullptr && mapScreen->IsMapReady() != 0) {
    mapScreen->ShowWindow(SW_SHOW);
    KillTimer(TIMER_MAP_BUSY);
    busyStep = 0;
    busy = false;
    return;
  }
  busyStep = static_cast<int16_t>(busyStep + 1 >= BUSY_STEPS ? 0 : busyStep + 1);
  Invalidate(true);
}
