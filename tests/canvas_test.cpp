// Canvas creation, picture loading and the three blits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "canvas/blit.h"
#include "canvas/canvas.h"
#include "canvas/pixel_memory.h"
#include "platform/picture.h"
#include "platform/picture_cache.h"

namespace {

constexpr uint16_t WHITE = 0xFFFF;
constexpr uint16_t BLACK = 0x0000;

void MakeCanvas(Canvas* canvas, int32_t w, int32_t h, uint16_t colour) {
  CreateCanvas(canvas, w, h);
  FillCanvas(canvas, colour);
}

uint16_t At(const Canvas& c, int32_t x, int32_t y) { return c.pixels[x + y * c.stride]; }

// Counts the pixels that differ from `colour`, and the bounding box of them.
struct Changed {
  int count = 0;
  int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;
};
Changed PixelsNot(const Canvas& c, uint16_t colour) {
  Changed changed;
  for (int32_t y = 0; y < c.height; ++y) {
    for (int32_t x = 0; x < c.width; ++x) {
      if (At(c, x, y) == colour) continue;
      ++changed.count;
      changed.minX = std::min(changed.minX, x);
      changed.minY = std::min(changed.minY, y);
      changed.maxX = std::max(changed.maxX, x);
      changed.maxY = std::max(changed.maxY, y);
    }
  }
  return changed;
}

TEST(Canvas, StrideIsWidthForEvenWidthsAndOneMoreForOdd) {
  Canvas even, odd;
  EXPECT_EQ(CreateCanvas(&even, 480, 272), 1);
  EXPECT_EQ(even.stride, 480);
  EXPECT_EQ(CreateCanvas(&odd, 31, 5), 1);
  EXPECT_EQ(odd.width, 31);
  EXPECT_EQ(odd.stride, 32);
}

TEST(Canvas, FailedCreationAndMissingPictureLeaveAnEmptyCanvas) {
  Canvas canvas;
  EXPECT_EQ(CreateCanvas(&canvas, 0, 10), 1);  // the result is always 1
  EXPECT_EQ(canvas.pixels, nullptr);
  EXPECT_EQ(LoadPicture(&canvas, 9999), 0);
  EXPECT_EQ(canvas.pixels, nullptr);
  EXPECT_EQ(canvas.width, 0);
  EXPECT_EQ(canvas.height, 0);
}

// A picture decoded ahead, or decoded once and loaded again, gives the
// same pixels as a fresh decoding of its file; canvases prepared ahead are
// taken by canvases of their size and are cleared like any other.
TEST(Canvas, PreloadedAndRepeatedPicturesEqualAFreshDecoding) {
  const int pictures[] = {129, 132, 136, 9999};
  ScreenPreload* preload = StartScreenPreload(PreloadList{pictures, 4, 31, 7, 2});
  ASSERT_NE(preload, nullptr);
  for (int id : {129, 132, 136}) {
    RgbImage image;
    ASSERT_EQ(DecodePicture(id, &image), 0) << id;
    for (int load = 0; load < 2; ++load) {
      Canvas canvas;
      ASSERT_EQ(LoadPicture(&canvas, id), 1) << id;
      ASSERT_EQ(canvas.width, image.width);
      ASSERT_EQ(canvas.height, image.height);
      int differing = 0;
      for (int32_t i = 0; i < image.width * image.height; ++i) {
        const uint8_t* rgb = image.rgb + 3 * i;
        differing += At(canvas, i % image.width, i / image.width) != Rgb565(rgb[0], rgb[1], rgb[2]);
      }
      EXPECT_EQ(differing, 0) << id;
    }
    ReleaseRgbImage(&image);
  }
  Canvas missing;
  EXPECT_EQ(LoadPicture(&missing, 9999), 0);
  FinishScreenPreload(preload);  // the prepared canvases were not taken: freed here

  EXPECT_EQ(ReserveBitmapSections(31, 7, 2), 2);
  for (int i = 0; i < 3; ++i) {
    Canvas canvas;
    CreateCanvas(&canvas, 31, 7);
    ASSERT_NE(canvas.pixels, nullptr);
    EXPECT_EQ(PixelsNot(canvas, BLACK).count, 0);
    FillCanvas(&canvas, WHITE);  // a taken canvas is never handed out again
  }
  ReleaseReservedBitmapSections();
}

TEST(BlitKeyed, AllKeyRectangleLeavesDestinationAndOneStepOffKeyIsDrawn) {
  Canvas dst, src;
  MakeCanvas(&dst, 8, 8, WHITE);
  MakeCanvas(&src, 8, 8, KEY_COLOUR);
  BlitKeyed(&dst, &src, 0, 0, 8, 8, 0, 0);
  EXPECT_EQ(PixelsNot(dst, WHITE).count, 0);
  src.pixels[3 + 2 * src.stride] = 0xF81E;
  BlitKeyed(&dst, &src, 0, 0, 8, 8, 0, 0);
  EXPECT_EQ(PixelsNot(dst, WHITE).count, 1);
  EXPECT_EQ(At(dst, 3, 2), 0xF81E);
}

TEST(BlitOpaque, CopiesKeyColourLikeAnyOther) {
  Canvas dst, src;
  MakeCanvas(&dst, 4, 4, WHITE);
  MakeCanvas(&src, 4, 4, KEY_COLOUR);
  BlitOpaque(&dst, &src, 1, 1, 2, 2, 0, 0);
  Changed changed = PixelsNot(dst, WHITE);
  EXPECT_EQ(changed.count, 4);
  EXPECT_EQ(At(dst, 1, 1), KEY_COLOUR);
  EXPECT_EQ(At(dst, 2, 2), KEY_COLOUR);
}

TEST(BlitKeyedBlend, WeightZeroKeepsAndWeight255GivesOneStepLess) {
  Canvas dst, src;
  MakeCanvas(&dst, 2, 1, BLACK);
  MakeCanvas(&src, 2, 1, WHITE);
  BlitKeyedBlend(&dst, &src, 0, 0, 2, 1, 0, 0, 0);
  EXPECT_EQ(At(dst, 0, 0), BLACK);
  BlitKeyedBlend(&dst, &src, 0, 0, 2, 1, 0, 0, 255);
  // 31 becomes 30 for red and blue, 63 becomes 62 for green.
  EXPECT_EQ(At(dst, 0, 0), (30 << 11) | (62 << 5) | 30);
  // Only the low 8 bits of the weight count: 256 + 0 is weight 0.
  MakeCanvas(&dst, 2, 1, BLACK);
  BlitKeyedBlend(&dst, &src, 0, 0, 2, 1, 0, 0, 256);
  EXPECT_EQ(At(dst, 0, 0), BLACK);
}

// Each field becomes D + floor((S - D) * alpha / 256).
TEST(BlitKeyedBlend, EachFieldBlendsWithFloor) {
  struct Case {
    uint16_t destination, source;
    int32_t alpha;
    uint16_t expected;
  };
  const Case cases[] = {
      {BLACK, WHITE, 192, (23 << 11) | (47 << 5) | 23},  // notices: three quarters of white over black
      {WHITE, BLACK, 1, (30 << 11) | (62 << 5) | 30},    // 31 + floor(-31 / 256) = 30: towards minus infinity
  };
  for (const Case& c : cases) {
    Canvas dst, src;
    MakeCanvas(&dst, 1, 1, c.destination);
    MakeCanvas(&src, 1, 1, c.source);
    BlitKeyedBlend(&dst, &src, 0, 0, 1, 1, 0, 0, c.alpha);
    EXPECT_EQ(At(dst, 0, 0), c.expected) << "alpha " << c.alpha;
  }
}

TEST(BlitKeyedBlend, NoticeAtBottomRightIsCutAtTheEdges) {
  Canvas screen, notice;
  MakeCanvas(&screen, 480, 272, BLACK);
  MakeCanvas(&notice, 320, 128, WHITE);
  BlitKeyedBlend(&screen, &notice, 200, 200, 320, 128, 0, 0, 192);
  Changed changed = PixelsNot(screen, BLACK);
  EXPECT_EQ(changed.minX, 200);
  EXPECT_EQ(changed.minY, 200);
  EXPECT_EQ(changed.maxX, 479);
  EXPECT_EQ(changed.maxY, 271);
  EXPECT_EQ(changed.count, 280 * 72);
}

// Rectangles far outside either canvas are cut to both; under
// AddressSanitizer any stray access fails the test.
TEST(Blits, RectanglesOutsideEitherCanvasStayInsideTheBuffers) {
  Canvas dst, src;
  MakeCanvas(&dst, 16, 8, BLACK);
  MakeCanvas(&src, 8, 8, WHITE);
  const int32_t cases[][6] = {
      {-4, -4, 8, 8, 0, 0},         {12, 4, 8, 8, 0, 0},      {0, 0, 8, 8, -3, -5},
      {0, 0, 100, 100, 4, 4},       {-1000, 0, 2000, 8, 0, 0}, {0x7FFFFFF0, 0, 100, 8, 0, 0},
      {0, 0, 8, 8, 0x7FFFFFF0, 0},  {0, 0, -5, 8, 0, 0},       {0, 0, 8, 8, -0x7FFFFFFF, -0x7FFFFFFF},
      {-0x7FFFFFFF, 0, 0x7FFFFFFF, 8, 0, 0},
  };
  for (const auto& c : cases) {
    BlitOpaque(&dst, &src, c[0], c[1], c[2], c[3], c[4], c[5]);
    BlitKeyed(&dst, &src, c[0], c[1], c[2], c[3], c[4], c[5]);
    BlitKeyedBlend(&dst, &src, c[0], c[1], c[2], c[3], c[4], c[5], 128);
  }
  // A rectangle hanging over the top-left corner lands on the right pixels.
  MakeCanvas(&dst, 16, 8, BLACK);
  src.pixels[3 + 3 * src.stride] = 0x1234;
  BlitOpaque(&dst, &src, -2, -2, 8, 8, 0, 0);
  EXPECT_EQ(At(dst, 1, 1), 0x1234);
  EXPECT_EQ(PixelsNot(dst, BLACK).count, 36);
}

TEST(Blits, EmptyCanvasesAreSkipped) {
  Canvas dst, empty;
  MakeCanvas(&dst, 4, 4, BLACK);
  BlitOpaque(&dst, &empty, 0, 0, 4, 4, 0, 0);
  BlitKeyed(&empty, &dst, 0, 0, 4, 4, 0, 0);
  BlitKeyedBlend(&dst, &empty, 0, 0, 4, 4, 0, 0, 255);
  EXPECT_EQ(PixelsNot(dst, BLACK).count, 0);
}

}  // namespace
