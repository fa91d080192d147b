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

// A rectangle with all four bounds included, x0 <= x1 and y0 <= y1: in map
// units (x east, y north), parcel-local units or pixels.
struct InclusiveRect {
  int32_t x0 = 0;
  int32_t y0 = 0;
  int32_t x1 = 0;
  int32_t y1 = 0;
};

// A rectangle of pixels with exclusive right and bottom edges: pixel (x, y)
// is inside when left <= x < right and top <= y < bottom. The platform's
// fills and text take it, the rasterisers clip to it (the renderer passes
// (0, 0, width, height)) and labels are placed in it.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};
