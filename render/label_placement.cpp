#include "render/label_placement.h"

#include <algorithm>

bool IsFree(const PlacedLabels& placed, const Rect& rect) {
  for (int32_t i = 0; i < placed.count; ++i) {
    const Rect& other = placed.rects[i];
    if (std::max(rect.left, other.left) < std::min(rect.right, other.right) &&
        std::max(rect.top, other.top) < std::min(rect.bottom, other.bottom)) {
      return false;
    }
  }
  return true;
}

void AddPlaced(PlacedLabels* placed, const Rect& rect) {
  if (placed->count < PLACED_LABEL_CAPACITY) placed->rects[placed->count++] = rect;
}
