// The recording settings screen: the log recording time, deleting the logs
// of chosen days (by sending the calendar into its delete mode) or of all
// days, and the card's free space with a gauge and the recording time left.
// Runs modally over the calendar; ends with one of its results below.
#pragma once

#include <cstdint>

#include "app/canvas_context.h"
#include "platform/window.h"

// What the screen ends with.
constexpr int SETTINGS_RESULT_BACK = 0;
constexpr int SETTINGS_RESULT_DELETE_DAYS = 1;  // the calendar goes into its delete mode

// Ends whichever notice the screen shows: "deleted" or a failure.
constexpr uint32_t TIMER_ALL_DELETED_NOTICE = 1030;
constexpr uint32_t ALL_DELETED_NOTICE_MS = 3000;

// Failures the screen reports with a notice (none shown: FAILURE_NONE).
constexpr uint8_t FAILURE_NONE = 0;
constexpr uint8_t FAILURE_DELETE = 1;          // logs are left after deleting all
constexpr uint8_t FAILURE_SETTINGS_READ = 2;   // the settings file exists but cannot be read
constexpr uint8_t FAILURE_SETTINGS_WRITE = 3;  // a new recording time could not be written
constexpr int FAILURE_NOTICE_COUNT = 3;

// Recording times the button cycles through (the LOG_REC value).
constexpr uint8_t LOG_REC_OFF = 0;
constexpr uint8_t LOG_REC_8_HOURS = 1;
constexpr uint8_t LOG_REC_12_HOURS = 2;
constexpr uint8_t LOG_REC_24_HOURS = 3;

class CCalendarDlg_Setting : public Window {
 public:
  CCalendarDlg_Setting();
  ~CCalendarDlg_Setting() override;

  // State, readable by tests.
  uint8_t logRecMode = LOG_REC_OFF;
  int32_t hasLogs = 0;
  bool logRecPressed = false;
  bool dateDeletePressed = false;
  bool allDeletePressed = false;
  bool backPressed = false;
  bool confirmShown = false;
  bool yesPressed = false;
  bool noPressed = false;
  bool deletedNoticeShown = false;
  uint8_t failureNotice = FAILURE_NONE;
  uint64_t cardFreeBytes = 0;
  uint8_t cardFreePercent = 0;

 protected:
  int OnInitDialog() override;
  void OnPaint() override;
  int OnEraseBkgnd(DrawingContext* dc) override;
  void OnLButtonDown(uint32_t flags, int32_t x, int32_t y) override;
  void OnMouseMove(uint32_t flags, int32_t x, int32_t y) override;
  void OnLButtonUp(uint32_t flags, int32_t x, int32_t y) override;
  void OnTimer(uint32_t id) override;

 private:
  void QueryCard();
  void ReadSettingsFile();
  void DrawRecordingTimeButton();
  void DrawFreeSpace();
  void DrawConfirmation();
  void ClearPressFlags();
  void CycleRecordingTime();
  void DeleteAll();
  void ShowFailureNotice(uint8_t failure);
  void HideNotices();

  CanvasContext screen;
  Canvas background;
  Canvas spriteSheet;
  Canvas allDeleteConfirm;
  Canvas deletedNotice;
  Canvas failureNotices[FAILURE_NOTICE_COUNT];  // by failure - 1
  Font* settingsFont = nullptr;
};
