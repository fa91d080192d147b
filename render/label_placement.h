// The labels placed in one frame: rectangles that later labels must not
// overlap.
#pragma once

#include <cstdint>

#include "geometry/types.h"

// Labels' rectangles are in canvas pixels, right and bottom exclusive, so
// rectangles that only share an edge do not overlap.
constexpr int32_t PLACED_LABEL_CAPACITY = 256;

struct PlacedLabels {
  Rect rects[PLACED_LABEL_CAPACITY];
  int32_t count = 0;
};

// True when `rect` has a non-empty intersection with none of the placed
// rectangles.
bool IsFree(const PlacedLabels& placed, const Rect& rect);

// Registers a placed label; a full list is left as it is (the label is still
// drawn by its caller, later labels may then overlap it).
void AddPlaced(PlacedLabels* placed, const Rect& rect);
