// Touch areas: inclusive pixel bounds in screen coordinates.
#pragma once

#include <cstdint>

struct TouchArea {
  int32_t x0, y0, x1, y1;
  bool Contains(int32_t x, int32_t y) const { return x0 <= x && x <= x1 && y0 <= y && y <= y1; }
};

// A picture cell copied somewhere: source position in the picture, size, and
// destination on the screen.
struct SpriteCell {
  int32_t sx, sy, w, h;
};
