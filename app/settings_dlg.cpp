#include "app/settings_dlg.h"

#include "app/free_space.h"
#include "app/overlays.h"
#include "app/tap_notify.h"
#include "app/touch_area.h"
#include "canvas/blit.h"
#include "canvas/picture_ids.h"
#include "logs/log_directory.h"
#include "logs/recording_settings.h"
#include "platform/picture_cache.h"
#include "platform/unicode.h"

namespace {

constexpr TouchArea RECORDING_TIME_AREA{170, 53, 272, 85};
constexpr TouchArea DATE_DELETE_AREA{170, 120, 272, 152};
constexpr TouchArea ALL_DELETE_AREA{306, 120, 408, 152};

// 102 x 32 buttons of the sprite sheet; the recording-time button shows
// the look of the current LOG_REC value, normal and pressed.
constexpr int32_t WIDE_BUTTON_WIDTH = 102;
constexpr int32_t WIDE_BUTTON_HEIGHT = 32;
constexpr int32_t RECORDING_TIME_X = 170, RECORDING_TIME_Y = 53;
struct WideButtonLook {
  int32_t normalX, normalY, pressedX, pressedY;
};
constexpr WideButtonLook RECORDING_TIME_LOOKS[] = {
    {128, 64, 128, 96},   // "OFF"
    {230, 0, 230, 32},    // "8時間"
    {230, 64, 230, 96},   // "12時間"
    {230, 128, 230, 160}  // "24時間"
};
constexpr int32_t DATE_DELETE_X = 170, DATE_DELETE_Y = 120;
constexpr SpriteCell DATE_DELETE_GREY{128, 160, WIDE_BUTTON_WIDTH, WIDE_BUTTON_HEIGHT};
constexpr int32_t ALL_DELETE_X = 306, ALL_DELETE_Y = 120;
constexpr SpriteCell ALL_DELETE_GREY{128, 224, WIDE_BUTTON_WIDTH, WIDE_BUTTON_HEIGHT};


// Free space: the text, the gauge segments (10 x 32 from x 192 at y 189) and
// the card message that replaces both when the card cannot be read.
constexpr Rect FREE_SPACE_TEXT_RECT{192, 170, 392, 194};
constexpr int32_t GAUGE_X = 192, GAUGE_Y = 189, GAUGE_STEP = 10;
constexpr SpriteCell GAUGE_BLUE{128, 256, 10, 32};
constexpr SpriteCell GAUGE_RED{138, 256, 10, 32};
constexpr int32_t CARD_MESSAGE_X = 192, CARD_MESSAGE_Y = 189;
constexpr SpriteCell CARD_MESSAGE{0, 288, 200, 32};


constexpr LogicalFont SETTINGS_FONT{DEVICE_FONT_FACE, 120, 400, FONT_QUALITY_ANTIALIASED, 128, 2};

// Pictures of the failure notices, by failure - 1.
constexpr int FAILURE_NOTICE_PICTURES[FAILURE_NOTICE_COUNT] = {
    PICTURE_DELETE_FAILED_NOTICE, PICTURE_SETTINGS_UNREADABLE_NOTICE, PICTURE_SETTINGS_UNWRITTEN_NOTICE};

}  // namespace

CCalendarDlg_Setting::CCalendarDlg_Setting() = default;

CCalendarDlg_Setting::~CCalendarDlg_Setting() {
  DeleteFont(settingsFont);
  DestroyWindow();
}

int CCalendarDlg_Setting::OnInitDialog() {
  screen.Create(SCREEN_WIDTH, SCREEN_HEIGHT);
  LoadPicture(&background, PICTURE_SETTINGS_BACKGROUND);
  LoadPicture(&spriteSheet, PICTURE_SPRITE_SHEET);
  LoadPicture(&allDeleteConfirm, PICTURE_ALL_DELETE_CONFIRM);
  LoadPicture(&deletedNotice, PICTURE_DELETED_NOTICE);
  for (int i = 0; i < FAILURE_NOTICE_COUNT; ++i) LoadPicture(&failureNotices[i], FAILURE_NOTICE_PICTURES[i]);
  MoveWindow(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, true);
  ClearPressFlags();
  hasLogs = CountNewestMonthLogs();
  confirmShown = yesPressed = noPressed = deletedNoticeShown = false;
  failureNotice = FAILURE_NONE;
  settingsFont = CreateFont(SETTINGS_FONT);
  ReadSettingsFile();
  QueryCard();
  SelectFont(screen.dc, settingsFont);
  SetBackgroundMode(screen.dc, BK_TRANSPARENT);
  return 1;
}

// A missing file gets the defaults. A file that exists but cannot be read
// (or holds fewer than five values) is left as it is, for the recorder may
// still read it: the screen says so and shows the values that were found.
void CCalendarDlg_Setting::ReadSettingsFile() {
  RecordingSettings settings;
  if (ReadRecordingSettings(&settings) < 0) {
    if (RecordingSettingsFileMissing()) {
      WriteDefaultRecordingSettings();
      ReadRecordingSettings(&settings);
    } else {
      ShowFailureNotice(FAILURE_SETTINGS_READ);
    }
  }
  logRecMode = settings.logRec;
}

void CCalendarDlg_Setting::QueryCard() {
  CardSpace card = QueryCardSpace();
  cardFreeBytes = card.freeBytes;
  cardFreePercent = card.freePercent;
}

// One notice at a time; timer 1030 or the next pen-down ends it.
void CCalendarDlg_Setting::ShowFailureNotice(uint8_t failure) {
  deletedNoticeShown = false;
  failureNotice = failure;
  SetTimer(TIMER_ALL_DELETED_NOTICE, ALL_DELETED_NOTICE_MS);
}

void CCalendarDlg_Setting::HideNotices() {
  KillTimer(TIMER_ALL_DELETED_NOTICE);
  deletedNoticeShown = false;
  failureNotice = FAILURE_NONE;
}

void CCalendarDlg_Setting::ClearPressFlags() {
  logRecPressed = dateDeletePressed = allDeletePressed = backPressed = false;
}

// ---------------------------------------------------------------------------
// Painting

void CCalendarDlg_Setting::DrawRecordingTimeButton() {
  if (logRecMode >= sizeof RECORDING_TIME_LOOKS / sizeof RECORDING_TIME_LOOKS[0]) return;
  const WideButtonLook& look = RECORDING_TIME_LOOKS[logRecMode];
  BlitOpaque(&screen.canvas, &spriteSheet, RECORDING_TIME_X, RECORDING_TIME_Y, WIDE_BUTTON_WIDTH, WIDE_BUTTON_HEIGHT,
             logRecPressed ? look.pressedX : look.normalX, logRecPressed ? look.pressedY : look.normalY);
}

// The gauge's segments advance 10 pixels each, blue with room for more than
// a day of recording, red when the estimate of the time left is shown.
void CCalendarDlg_Setting::DrawFreeSpace() {
  if (cardFreePercent & 0x80) {
    BlitKeyed(&screen.canvas, &spriteSheet, CARD_MESSAGE_X, CARD_MESSAGE_Y, CARD_MESSAGE.w, CARD_MESSAGE.h,
              CARD_MESSAGE.sx, CARD_MESSAGE.sy);
    return;
  }
  FreeSpaceView view = DescribeFreeSpace(cardFreeBytes, cardFreePercent);
  const SpriteCell& segment = view.estimate ? GAUGE_RED : GAUGE_BLUE;
  for (int32_t i = 0; i < view.segments; ++i) {
    BlitKeyed(&screen.canvas, &spriteSheet, GAUGE_X + GAUGE_STEP * i, GAUGE_Y, segment.w, segment.h, segment.sx,
              segment.sy);
  }
  std::u16string text = Utf8ToUtf16(view.text);
  DrawText(screen.dc, text.c_str(), static_cast<int32_t>(text.size()), FREE_SPACE_TEXT_RECT, DT_LEFT | DT_VCENTER);
}

void CCalendarDlg_Setting::DrawConfirmation() {
  BlendOverlay(&screen.canvas, allDeleteConfirm, CONFIRM_WEIGHT);
  DrawPressedYesOrNo(&screen.canvas, spriteSheet, yesPressed, noPressed);
}

void CCalendarDlg_Setting::OnPaint() {
  QueryCard();
  BlitOpaque(&screen.canvas, &background, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0);
  DrawRecordingTimeButton();
  if (hasLogs <= 0 || dateDeletePressed) {
    BlitOpaque(&screen.canvas, &spriteSheet, DATE_DELETE_X, DATE_DELETE_Y, DATE_DELETE_GREY.w, DATE_DELETE_GREY.h,
               DATE_DELETE_GREY.sx, DATE_DELETE_GREY.sy);
  }
  if (hasLogs <= 0 || allDeletePressed) {
    BlitOpaque(&screen.canvas, &spriteSheet, ALL_DELETE_X, ALL_DELETE_Y, ALL_DELETE_GREY.w, ALL_DELETE_GREY.h,
               ALL_DELETE_GREY.sx, ALL_DELETE_GREY.sy);
  }
  DrawBackButton(&screen.canvas, spriteSheet, backPressed);
  DrawFreeSpace();
  if (confirmShown) DrawConfirmation();
  if (deletedNoticeShown) BlendOverlay(&screen.canvas, deletedNotice, NOTICE_WEIGHT);
  if (failureNotice != FAILURE_NONE) BlendOverlay(&screen.canvas, failureNotices[failureNotice - 1], NOTICE_WEIGHT);
  DrawingContext* window = BeginPaint();
  BitBlt(window, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, screen.dc, 0, 0);
  EndPaint(window);
}

int CCalendarDlg_Setting::OnEraseBkgnd(DrawingContext*) { return 1; }

// ---------------------------------------------------------------------------
// Touch

void CCalendarDlg_Setting::OnLButtonDown(uint32_t, int32_t x, int32_t y) {
  if (confirmShown) {
    NotifyTap();
    PressYesOrNo(x, y, &yesPressed, &noPressed);
  } else if (deletedNoticeShown || failureNotice != FAILURE_NONE) {
    NotifyTap();
    HideNotices();
  } else if (RECORDING_TIME_AREA.Contains(x, y)) {
    logRecPressed = true;
    NotifyTap();
  } else if (hasLogs >= 1 && DATE_DELETE_AREA.Contains(x, y)) {
    dateDeletePressed = true;
    NotifyTap();
  } else if (hasLogs >= 1 && ALL_DELETE_AREA.Contains(x, y)) {
    allDeletePressed = true;
    NotifyTap();
  } else if (BACK_AREA.Contains(x, y)) {
    NotifyTap();
    backPressed = true;
  }
  Invalidate(true);
}

// Moving off a pressed button cancels it.
void CCalendarDlg_Setting::OnMouseMove(uint32_t, int32_t x, int32_t y) {
  bool cleared = false;
  auto leave = [&](bool* flag, const TouchArea& area) {
    if (*flag && !area.Contains(x, y)) {
      *flag = false;
      cleared = true;
    }
  };
  leave(&logRecPressed, RECORDING_TIME_AREA);
  leave(&dateDeletePressed, DATE_DELETE_AREA);
  leave(&allDeletePressed, ALL_DELETE_AREA);
  leave(&backPressed, BACK_AREA);
  if (cleared) Invalidate(true);
}

// The button then shows what the file holds: the new time, or, when it
// could not be written, the time still in the file, with a notice.
void CCalendarDlg_Setting::CycleRecordingTime() {
  // 0 -> 1 -> 2 -> 3 -> 0; any value above 2 (also one read from a foreign file) becomes 0.
  uint8_t next = logRecMode > LOG_REC_12_HOURS ? LOG_REC_OFF : static_cast<uint8_t>(logRecMode + 1);
  RecordingSettings settings;
  settings.logRec = next;
  settings.recStartDay = settings.recStartTime = settings.recEndDay = settings.recEndTime = -1;
  if (WriteRecordingSettings(settings) == 0) {
    logRecMode = next;
    return;
  }
  RecordingSettings held;
  ReadRecordingSettings(&held);
  logRecMode = held.logRec;
  ShowFailureNotice(FAILURE_SETTINGS_WRITE);
}

// "Deleted" only when every log is gone; otherwise a failure notice, and
// the delete buttons stay usable while logs remain.
void CCalendarDlg_Setting::DeleteAll() {
  if (DeleteAllLogs() < 0) {
    hasLogs = CountNewestMonthLogs();
    ShowFailureNotice(FAILURE_DELETE);
    return;
  }
  hasLogs = 0;
  failureNotice = FAILURE_NONE;
  deletedNoticeShown = true;
  SetTimer(TIMER_ALL_DELETED_NOTICE, ALL_DELETED_NOTICE_MS);
}

void CCalendarDlg_Setting::OnLButtonUp(uint32_t, int32_t, int32_t) {
  if (confirmShown) {
    // Any release closes the confirmation; only "yes" deletes.
    if (yesPressed) DeleteAll();
    confirmShown = yesPressed = noPressed = false;
  } else if (logRecPressed) {
    CycleRecordingTime();
  } else if (dateDeletePressed) {
    EndModal(SETTINGS_RESULT_DELETE_DAYS);
  } else if (allDeletePressed) {
    confirmShown = true;
  } else if (backPressed) {
    EndModal(SETTINGS_RESULT_BACK);
  }
  ClearPressFlags();
  Invalidate(true);
}

void CCalendarDlg_Setting::OnTimer(uint32_t id) {
  if (id != TIMER_ALL_DELETED_NOTICE) return;
  HideNotices();
  Invalidate(true);
}
