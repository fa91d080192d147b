#include "app/overlays.h"

#include "canvas/blit.h"

namespace {

// Sprite sheet cells: 64 x 32 buttons.
constexpr SpriteCell YES_PRESSED{0, 224, 64, 32};
constexpr SpriteCell NO_PRESSED{64, 224, 64, 32};
constexpr SpriteCell BACK_PRESSED{0, 160, 64, 32};
constexpr SpriteCell BACK_NORMAL{64, 160, 64, 32};
constexpr int32_t YES_X = 111, NO_X = 303, YES_NO_Y = 160;
constexpr int32_t BACK_X = 336, BACK_Y = 240;

void CopyCell(Canvas* screen, const Canvas& spriteSheet, const SpriteCell& cell, int32_t x, int32_t y) {
  BlitKeyed(screen, &spriteSheet, x, y, cell.w, cell.h, cell.sx, cell.sy);
}

}  // namespace

void BlendOverlay(Canvas* screen, const Canvas& picture, int32_t weight) {
  BlitKeyedBlend(screen, &picture, OVERLAY_X, OVERLAY_Y, OVERLAY_WIDTH, OVERLAY_HEIGHT, 0, 0, weight);
}

void PressYesOrNo(int32_t x, int32_t y, bool* yesPressed, bool* noPressed) {
  if (YES_AREA.Contains(x, y)) {
    *yesPressed = true;
  } else if (NO_AREA.Contains(x, y)) {
    *noPressed = true;
  }
}

void DrawPressedYesOrNo(Canvas* screen, const Canvas& spriteSheet, bool yesPressed, bool noPressed) {
  if (yesPressed) {
    CopyCell(screen, spriteSheet, YES_PRESSED, YES_X, YES_NO_Y);
  } else if (noPressed) {
    CopyCell(screen, spriteSheet, NO_PRESSED, NO_X, YES_NO_Y);
  }
}

void DrawBackButton(Canvas* screen, const Canvas& spriteSheet, bool pressed) {
  CopyCell(screen, spriteSheet, pressed ? BACK_PRESSED : BACK_NORMAL, BACK_X, BACK_Y);
}
