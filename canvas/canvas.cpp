#include "canvas/canvas.h"

#include <algorithm>
#include <cstring>

#include "platform/bitmap.h"
#include "platform/picture.h"

Canvas::~Canvas() { ReleaseCanvas(this); }

void ReleaseCanvas(Canvas* canvas) {
  DeleteBitmapSection(canvas->bitmap);
  canvas->bitmap = nullptr;
  canvas->pixels = nullptr;
  canvas->width = canvas->stride = canvas->height = 0;
}

int CreateCanvas(Canvas* canvas, int32_t width, int32_t height) {
  ReleaseCanvas(canvas);
  uint16_t* pixels = nullptr;
  int32_t bytesPerRow = 0;
  canvas->bitmap = CreateBitmapSection(width, height, &pixels, &bytesPerRow);
  if (canvas->bitmap != nullptr) {
    canvas->pixels = pixels;
    canvas->width = width;
    canvas->stride = bytesPerRow / 2;
    canvas->height = height;
  }
  return 1;
}

// Reduces 8-bit channels to 5, 6 and 5 bits by dropping the low bits, which
// maps pure magenta (255, 0, 255) to exactly KEY_COLOUR.
static void ConvertToRgb565(const RgbImage& image, Canvas* canvas) {
  for (int32_t y = 0; y < image.height; ++y) {
    const uint8_t* in = image.rgb + static_cast<size_t>(y) * image.width * 3;
    uint16_t* out = canvas->pixels + static_cast<size_t>(y) * canvas->stride;
    for (int32_t x = 0; x < image.width; ++x, in += 3) out[x] = Rgb565(in[0], in[1], in[2]);
  }
}

int LoadPicture(Canvas* canvas, int pictureId) {
  RgbImage image;
  if (DecodePicture(pictureId, &image) != 0) return 0;
  CreateCanvas(canvas, image.width, image.height);
  if (canvas->pixels != nullptr) ConvertToRgb565(image, canvas);
  ReleaseRgbImage(&image);
  return canvas->pixels != nullptr ? 1 : 0;
}

// Fills count pixels from p: one block by a loop, then copies of that block.
// The C library's copy writes with the widest stores the processor has,
// which a plain 16-bit loop compiled for any x86-64 cannot.
static void FillPixels(uint16_t* p, size_t count, uint16_t colour) {
  constexpr size_t BLOCK = 4096;
  size_t done = std::min(count, BLOCK);
  for (size_t i = 0; i < done; ++i) p[i] = colour;
  while (done < count) {
    size_t n = std::min(BLOCK, count - done);
    std::memcpy(p + done, p, n * sizeof *p);
    done += n;
  }
}

void FillCanvas(Canvas* canvas, uint16_t colour) {
  if (canvas->pixels == nullptr) return;
  if (canvas->stride == canvas->width) {
    FillPixels(canvas->pixels, static_cast<size_t>(canvas->width) * canvas->height, colour);
    return;
  }
  for (int32_t y = 0; y < canvas->height; ++y) {
    FillPixels(canvas->pixels + static_cast<size_t>(y) * canvas->stride, canvas->width, colour);
  }
}
