// The calendar's month model and the settings screen's free-space texts.
#include <gtest/gtest.h>

#include <vector>

#include "app/free_space.h"
#include "app/month_grid.h"
#include "platform/files.h"

namespace {

TEST(MonthGrid, FirstDayColumnsOfKnownMonths) {
  struct Case {
    int32_t year, month, column;
  };
  // Column 1 is Sunday. May 2009 began on a Friday, January 2010 on a Friday,
  // February 2100 on a Monday, March 2000 on a Wednesday, January 2000 on a Saturday.
  const Case cases[] = {{2009, 5, 6}, {2010, 1, 6}, {2100, 2, 2}, {2000, 3, 4}, {2000, 1, 7}, {2026, 12, 3}};
  for (const Case& c : cases) EXPECT_EQ(FirstDayColumn(c.year, c.month), c.column) << c.year << "-" << c.month;
}

TEST(MonthGrid, LeapYears) {
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(2012, 2), 29);
  EXPECT_EQ(DaysInMonth(2009, 2), 28);
  EXPECT_EQ(DaysInMonth(2009, 12), 31);
}

TEST(MonthGrid, ThirtyOneDaysFromSaturdayFillSixRowsEndingInTheFirstTwoColumns) {
  // January 2000 starts on a Saturday.
  std::vector<Rect> cells;
  ForEachDayCell(2000, 1, [&cells](int32_t, const Rect& cell) { cells.push_back(cell); });
  ASSERT_EQ(cells.size(), 31u);
  EXPECT_EQ(cells[0].left, 400);  // column 7
  EXPECT_EQ(cells[0].top, 64);
  EXPECT_EQ(cells[30].left, 80);  // day 31: column 2 of row 5
  EXPECT_EQ(cells[30].top, 224);
  EXPECT_EQ(cells[30].bottom, 256);
}

TEST(MonthGrid, CellsAreHalfOpenAndStepMonthWrapsYears) {
  Rect cell = CellRect(1, 0);  // x 16..80, y 64..96
  EXPECT_TRUE(PointInCell(cell, 16, 64));
  EXPECT_FALSE(PointInCell(cell, 80, 64));
  EXPECT_FALSE(PointInCell(cell, 16, 96));
  int32_t year = 2010, month = 1;
  StepMonth(&year, &month, -1);
  EXPECT_EQ(year, 2009);
  EXPECT_EQ(month, 12);
  StepMonth(&year, &month, +1);
  EXPECT_EQ(year, 2010);
  EXPECT_EQ(month, 1);
}

TEST(FreeSpace, TextsGaugesAndEstimates) {
  struct Case {
    uint64_t bytes;
    const char* text;
    bool estimate;
    int32_t segments;  // with a card 40 % available
  };
  const Case cases[] = {
      {2500000000, "2.5GB", false, 9},
      {999999999, "999MB", false, 9},
      {17280000, "17MB", false, 9},
      {17279999, "17MB 残り約23時間", true, 9},
      {12345678, "12MB 残り約17時間", true, 9},
      {5432100, "5.4MB 残り約7時間", true, 9},
      {999999, "999KB 残り約83分", true, 9},
      {12000, "12KB 残り約1分", true, 9},  // exactly one minute: the gauge stays
      {11999, "11KB 残り約0分", true, 0},  // below a minute: no gauge
      {500, "500B 残り約0分", true, 0},
  };
  for (const Case& c : cases) {
    FreeSpaceView view = DescribeFreeSpace(c.bytes, 40);
    EXPECT_EQ(view.text, c.text) << c.bytes;
    EXPECT_EQ(view.estimate, c.estimate) << c.bytes;
    EXPECT_EQ(view.segments, c.segments) << c.bytes;
  }
  EXPECT_EQ(DescribeFreeSpace(2500000000, 100).segments, 21);
  EXPECT_EQ(DescribeFreeSpace(2500000000, 0).segments, 1);
  EXPECT_EQ(DescribeFreeSpace(2500000000, 4).segments, 1);
  EXPECT_EQ(DescribeFreeSpace(2500000000, 5).segments, 2);
}

TEST(FreeSpace, CardQueryFailuresAndOddVolumes) {
  OverrideDiskFreeSpace(nullptr, true);
  EXPECT_EQ(QueryCardSpace().freePercent, CARD_QUERY_FAILED);
  DiskSpace noSize{10, 0, 10};  // a size of 0 cannot give a percentage
  OverrideDiskFreeSpace(&noSize);
  EXPECT_EQ(QueryCardSpace().freePercent, CARD_QUERY_FAILED);
  DiskSpace overfull{300, 200, 300};  // more available than the size
  OverrideDiskFreeSpace(&overfull);
  EXPECT_EQ(QueryCardSpace().freePercent, 100);
  DiskSpace quarter{250, 1000, 260};
  OverrideDiskFreeSpace(&quarter);
  CardSpace card = QueryCardSpace();
  EXPECT_EQ(card.freePercent, 25);
  EXPECT_EQ(card.freeBytes, 260u);
  OverrideDiskFreeSpace(nullptr);
}

}  // namespace
