#include "canvas/canvas.h"

#include <algorithm>
#include <cstring>

#include "canvas/pixel_memory.h"

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
