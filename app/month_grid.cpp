#include "app/month_grid.h"

namespace {
constexpr int32_t MONTH_DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
}

int32_t DaysInMonth(int32_t year, int32_t month) {
  if (month < 1 || month > 12) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return MONTH_DAYS[month - 1] + (month == 2 && leap ? 1 : 0);
}

int32_t FirstDayColumn(int32_t year, int32_t month) {
  int32_t m = month;
  int32_t y = year;
  if (m < 3) {
    m += 12;
    y -= 1;
  }
  return ((13 * m + 8) / 5 + y / 400 + y / 4 + y - y / 100 + 1) % 7 + 1;
}

Rect CellRect(int32_t column, int32_t row) {
  return Rect{CELL_WIDTH * column - 48, CELL_HEIGHT * (row + 2), CELL_WIDTH * column + 16, CELL_HEIGHT * (row + 3)};
}

bool PointInCell(const Rect& cell, int32_t x, int32_t y) {
  return cell.left <= x && x < cell.right && cell.top <= y && y < cell.bottom;
}

void StepMonth(int32_t* year, int32_t* month, int32_t direction) {
  *month += direction < 0 ? -1 : 1;
  if (*month < 1) {
    *month = 12;
    --*year;
  } else if (*month > 12) {
    *month = 1;
    ++*year;
  }
}
