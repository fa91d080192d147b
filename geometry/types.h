// Plain points and rectangles shared by the geometric tests and the rasterisers.
#pragma once

#include <cstdint>

// A pixel or map position, signed 32-bit.
struct Point {
  int32_t x = 0;
  int32_t y = 0;
};

// A position in a parcel's normalised units (0..4096 spans the parcel), signed 16-bit.
struct Point16 {
  int16_t x = 0;
  int16_t y = 0;
};

// A rectangle for the geometric tests: x0 <= x1 and y0 <= y1, all four bounds included.
struct InclusiveRect {
  int32_t x0 = 0;
  int32_t y0 = 0;
  int32_t x1 = 0;
  int32_t y1 = 0;
};

// A clip rectangle for the rasterisers: pixel (x, y) is inside when
// cx0 <= x < cx1 and cy0 <= y < cy1. The renderer passes (0, 0, width, height).
struct ClipRect {
  int32_t cx0 = 0;
  int32_t cy0 = 0;
  int32_t cx1 = 0;
  int32_t cy1 = 0;
};
