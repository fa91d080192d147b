// Off-screen RGB565 pixel buffers.
#pragma once

#include <cstdint>

struct PlatformBitmap;

// RGB565 field masks.
constexpr uint16_t RGB565_RED_MASK = 0xF800;
constexpr uint16_t RGB565_GREEN_MASK = 0x07E0;
constexpr uint16_t RGB565_BLUE_MASK = 0x001F;

// Magenta: the transparent colour of every picture once loaded.
constexpr uint16_t KEY_COLOUR = 0xF81F;
// The same colour as the 24-bit value the platform's colour-keyed copy takes.
constexpr uint32_t KEY_COLOUR_RGB24 = 0xFF00FF;

// 24-bit colour (0xRRGGBB) as the platform's text and fills take it.
constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

// Drawing colour from 8-bit channels: ((R >> 3) << 11) | ((G >> 2) << 5) | (B >> 3).
constexpr uint16_t Rgb565(uint32_t r, uint32_t g, uint32_t b) {
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}
constexpr uint16_t Rgb24To565(uint32_t rgb) { return Rgb565((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// A 16-bit RGB565 pixel buffer, rows top-down. Pixel (x, y) is
// pixels[x + y * stride]. A new canvas is empty: no bitmap, null pixels, all
// numbers zero. The canvas owns its bitmap and releases it when destroyed.
struct Canvas {
  PlatformBitmap* bitmap = nullptr;
  int32_t width = 0;   // pixels per row that belong to the picture
  int32_t stride = 0;  // pixels from one row to the next (at least width)
  int32_t height = 0;  // number of rows
  uint16_t* pixels = nullptr;

  Canvas() = default;
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
};

// Gives the canvas a width x height bitmap (rows padded to 4 bytes as device
// bitmaps are, so an odd width has a stride one larger). Any bitmap the
// canvas held is released first. Always returns 1; a failed allocation
// leaves null pixels and zero sizes.
int CreateCanvas(Canvas* canvas, int32_t width, int32_t height);

// Releases the canvas's bitmap and makes it empty again. Safe on an empty canvas.
void ReleaseCanvas(Canvas* canvas);

// Fills the whole canvas with one RGB565 colour (no-op on an empty canvas).
void FillCanvas(Canvas* canvas, uint16_t colour);
