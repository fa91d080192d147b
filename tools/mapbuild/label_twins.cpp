#include "tools/mapbuild/label_twins.h"

#include <cmath>

namespace {

uint64_t CellKey(int64_t column, int64_t row) {
  return (static_cast<uint64_t>(row) << 32) ^ static_cast<uint64_t>(column & 0xFFFFFFFF);
}

}  // namespace

int64_t LabelTwins::Cell(double v) const { return static_cast<int64_t>(std::floor(v / distance)); }

bool LabelTwins::IsTwin(int rule, const std::string& text, double x, double y) {
  const int64_t column = Cell(x), row = Cell(y);
  for (int64_t r = row - 1; r <= row + 1; ++r) {
    for (int64_t c = column - 1; c <= column + 1; ++c) {
      const auto found = cells.find(CellKey(c, r));
      if (found == cells.end()) continue;
      for (const Kept& kept : found->second) {
        if (kept.rule == rule && kept.text == text && std::hypot(kept.x - x, kept.y - y) < distance) return true;
      }
    }
  }
  cells[CellKey(column, row)].push_back({rule, text, x, y});
  return false;
}
