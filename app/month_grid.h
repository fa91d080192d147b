// The calendar's month model and grid geometry: month lengths, the column of
// the first day, and the 64 x 32 cells of the 7 x 6 day grid.
#pragma once

#include <cstdint>

#include "platform/gdi.h"

constexpr int32_t GRID_COLUMNS = 7;  // 1 = Sunday .. 7 = Saturday
constexpr int32_t GRID_ROWS = 6;
constexpr int32_t CELL_WIDTH = 64;
constexpr int32_t CELL_HEIGHT = 32;
constexpr int32_t GRID_LEFT = 16;
constexpr int32_t GRID_RIGHT = 464;
constexpr int32_t GRID_TOP = 64;
constexpr int32_t GRID_BOTTOM = 256;

// Days in `month` (1..12) of `year`; February has 29 in a leap year (divisible
// by 4 and not by 100, or by 400).
int32_t DaysInMonth(int32_t year, int32_t month);

// Column (1 = Sunday .. 7 = Saturday) of the first day of the month:
// ((13m + 8) / 5 + y / 400 + y / 4 + y - y / 100 + 1) mod 7 + 1, with January
// and February counted as months 13 and 14 of the year before.
int32_t FirstDayColumn(int32_t year, int32_t month);

// The cell of column c (1..7) and row r (0..5): x from 64c - 48 to 64c + 16,
// y from 32(r + 2) to 32(r + 3); right and bottom exclusive.
Rect CellRect(int32_t column, int32_t row);

// True when (x, y) lies in the cell: left <= x < right and top <= y < bottom.
bool PointInCell(const Rect& cell, int32_t x, int32_t y);

// Calls visit(day, cell) for each day of the month that has a cell: day 1 in
// the column of FirstDayColumn on row 0, each later day in the next column,
// stopping after the last day or after row 5.
template <typename Visit>
void ForEachDayCell(int32_t year, int32_t month, Visit visit) {
  int32_t column = FirstDayColumn(year, month);
  int32_t row = 0;
  int32_t lastDay = DaysInMonth(year, month);
  for (int32_t day = 1; day <= lastDay && row < GRID_ROWS; ++day) {
    visit(day, CellRect(column, row));
    if (++column > GRID_COLUMNS) {
      column = 1;
      ++row;
    }
  }
}

// One month forward or back (December to January of the next year and back).
void StepMonth(int32_t* year, int32_t* month, int32_t direction);
