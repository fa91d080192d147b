// The labels placed in one frame: rectangles that later labels must not
// overlap.
#pragma once

#include <cstdint>

// A label's rectangle in canvas pixels: left and top inclusive, right and
// bottom exclusive in the overlap test, so rectangles that only share an
// edge do not overlap.
struct LabelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

constexpr int32_t PLACED_LABEL_CAPACITY = 256;

struct PlacedLabels {
  LabelRect rects[PLACED_LABEL_CAPACITY];
  int32_t count = 0;
};

// True when `rect` has a non-empty intersection with none of the placed
// rectangles.
bool IsFree(const PlacedLabels& placed, const LabelRect& rect);

// Registers a placed label; a full list is left as it is (the label is still
// drawn by its caller, later labels may then overlap it).
void AddPlaced(PlacedLabels* placed, const LabelRect& rect);
