// Fonts used from several threads at once: the renderer's worker draws
// labels while the user-interface thread draws the calendar.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "canvas/canvas.h"
#include "platform/gdi.h"

namespace {

constexpr int32_t ROUNDS = 40;
constexpr uint16_t WHITE = 0xFFFF;
const char16_t* const LABELS[] = {u"2009年05月", u"新宿御苑前", u"国道２０号", u"1.7km", u"記録中 24時間"};

// Draws every label `ROUNDS` times into a fresh canvas with `font` (null:
// the default font) and returns the canvas's pixels.
std::vector<uint16_t> DrawLabels(Font* font) {
  Canvas canvas;
  CreateCanvas(&canvas, 240, 120);
  DrawingContext* dc = CreateDrawingContext();
  SelectCanvas(dc, &canvas);
  SelectFont(dc, font);
  SetBackgroundMode(dc, BK_TRANSPARENT);
  for (int32_t round = 0; round < ROUNDS; ++round) {
    FillCanvas(&canvas, WHITE);
    int32_t top = 0;
    for (const char16_t* label : LABELS) {
      TextSize size;
      MeasureText(dc, label, -1, &size);
      DrawText(dc, label, -1, Rect{0, top, 240, top + size.height}, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      top += size.height;
    }
  }
  std::vector<uint16_t> pixels(canvas.pixels, canvas.pixels + canvas.stride * canvas.height);
  DeleteDrawingContext(dc);
  return pixels;
}

TEST(GdiThreadsTest, FontsDrawTheSameFromSeveralThreads) {
  if (!HasJapaneseFont()) GTEST_SKIP() << "no Japanese font installed";
  LogicalFont labelDescription;
  labelDescription.tenthsOfPoint = 110;
  labelDescription.weight = 300;
  LogicalFont calendarDescription;
  calendarDescription.weight = 900;

  // References drawn on one thread, each with a font of its own.
  std::vector<std::vector<uint16_t>> expected;
  for (const LogicalFont& description : {labelDescription, calendarDescription}) {
    Font* font = CreateFont(description);
    expected.push_back(DrawLabels(font));
    DeleteFont(font);
  }
  expected.push_back(DrawLabels(nullptr));

  // Fonts are created on the threads that use them, two threads share one
  // font, and two more share the default font.
  Font* shared = CreateFont(labelDescription);
  std::vector<std::vector<uint16_t>> results(6);
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    Font* font = CreateFont(labelDescription);
    results[0] = DrawLabels(font);
    DeleteFont(font);
  });
  threads.emplace_back([&] {
    Font* font = CreateFont(calendarDescription);
    results[1] = DrawLabels(font);
    DeleteFont(font);
  });
  threads.emplace_back([&] { results[2] = DrawLabels(shared); });
  threads.emplace_back([&] { results[3] = DrawLabels(shared); });
  threads.emplace_back([&] { results[4] = DrawLabels(nullptr); });
  threads.emplace_back([&] { results[5] = DrawLabels(nullptr); });
  for (std::thread& thread : threads) thread.join();
  DeleteFont(shared);

  EXPECT_EQ(results[0], expected[0]);
  EXPECT_EQ(results[1], expected[1]);
  EXPECT_EQ(results[2], expected[0]);
  EXPECT_EQ(results[3], expected[0]);
  EXPECT_EQ(results[4], expected[2]);
  EXPECT_EQ(results[5], expected[2]);
}

}  // namespace
