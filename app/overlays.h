// What the calendar and the settings screen share: the 320 x 128 notices
// and confirmations laid over the screen, the confirmations' yes / no
// buttons, and the back button at the bottom right.
#pragma once

#include <cstdint>

#include "app/touch_area.h"
#include "canvas/canvas.h"
#include "platform/window.h"

constexpr int32_t OVERLAY_X = 80;
constexpr int32_t OVERLAY_Y = 72;
constexpr int32_t OVERLAY_WIDTH = 320;
constexpr int32_t OVERLAY_HEIGHT = 128;
constexpr int32_t NOTICE_WEIGHT = 192;   // notices: three quarters over the screen
constexpr int32_t CONFIRM_WEIGHT = 224;  // confirmations: seven eighths

constexpr TouchArea YES_AREA{111, 160, 175, 192};
constexpr TouchArea NO_AREA{303, 160, 367, SCREEN_HEIGHT};
constexpr TouchArea BACK_AREA{336, 240, 400, 272};

// Blends a notice or confirmation picture over the screen at its place.
void BlendOverlay(Canvas* screen, const Canvas& picture, int32_t weight);

// A pen-down on a shown confirmation: presses "yes" or "no" when it hits one.
void PressYesOrNo(int32_t x, int32_t y, bool* yesPressed, bool* noPressed);

// The pressed look of "yes" (else of "no") over a confirmation; the normal
// looks are part of the confirmation picture.
void DrawPressedYesOrNo(Canvas* screen, const Canvas& spriteSheet, bool yesPressed, bool noPressed);

// The back button ("戻る"), pressed or normal.
void DrawBackButton(Canvas* screen, const Canvas& spriteSheet, bool pressed);
