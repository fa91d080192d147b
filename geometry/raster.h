// Software rasterisers that draw into a Canvas: weighted pixel and rectangle
// blends, solid, railway and dotted lines, a scanline polygon filler, a
// stencil copy for haloed text and the track's dot.
//
// Colours are RGB565; a weight is 0..255 where 255 replaces the pixel.
// Points are signed 32-bit pixel coordinates and may lie anywhere, even far
// outside the canvas: every drawer cuts its work to the clip rectangle and to
// the canvas itself, so nothing is written outside the pixel buffer, and an
// empty canvas (null pixels) is left alone. Only FillPolygon allocates, and
// only for polygons of more than POLYGON_STACK_POINTS points.
#pragma once

#include <cstdint>

#include "canvas/canvas.h"
#include "geometry/types.h"

// Full weight: the colour replaces the pixel.
constexpr int32_t WEIGHT_OPAQUE = 255;
// Line widths DrawLine draws; any other width draws nothing.
constexpr int32_t LINE_WIDTH_THIN = 1;
constexpr int32_t LINE_WIDTH_DOUBLE = 2;
constexpr int32_t LINE_WIDTH_CASED = 3;
constexpr int32_t LINE_WIDTH_WIDE = 5;
// Railway dashes: DASH_LENGTH black core pixels, then DASH_LENGTH white ones.
constexpr int32_t RAILWAY_DASH_LENGTH = 10;
constexpr uint16_t RAILWAY_BLACK = 0x0000;
constexpr uint16_t RAILWAY_WHITE = 0xFFFF;
// The track dot's colour, pure red.
constexpr uint16_t DOT_COLOUR = 0xF800;
// Polygons up to this many points are filled with working memory on the stack.
constexpr int32_t POLYGON_STACK_POINTS = 64;

// Blends colour into pixel (x, y) with weight 0..255 (values outside are
// clamped). Weight 255 writes the colour; otherwise each channel becomes
// old + ((colour - old) * weight >> 8), rounding towards minus infinity.
// A pixel outside the canvas is left alone.
void BlendPixel(Canvas* canvas, int32_t x, int32_t y, uint16_t colour, int32_t weight);

// Blends colour over the width x height rectangle at (x, y) with weight
// 0..255 (clamped), always by the channel formula of BlendPixel, so that
// even weight 255 leaves full channels one step short. The rectangle is cut
// to the canvas; a width or height of 0 or less draws nothing.
void BlendFill(Canvas* canvas, int32_t x, int32_t y, int32_t width, int32_t height, uint16_t colour,
               int32_t weight);

// Draws the line (x0, y0)..(x1, y1), both ends included, by Bresenham
// stepping along its longer axis (x when |dy| < |dx|, else y), one step per
// pixel of that axis. The other coordinate moves towards the end point
// once the line has drifted a whole pixel from it (after k of n steps it has
// moved floor(k * minor / n) times), so a shallow line keeps its start row
// longest. At each step `width` pixels are set across the line:
//   1: one pixel in edgeColour;
//   2: the pixel and one neighbour, both in edgeColour;
//   3: centreColour with one edgeColour pixel on each side;
//   5: three centreColour pixels with one edgeColour pixel on each side.
// Other widths and zero-length lines draw nothing. Only pixels inside the
// clip rectangle and the canvas are set.
void DrawLine(Canvas* canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t edgeColour,
              uint16_t centreColour, int32_t width, const Rect& clip);

// Draws a railway: a two-pixel core in dashes of 10 black and 10 white
// pixels, with the pixel on each side of the core blended with black by how
// far the true line lies from the core, which smooths its edges. Stepping
// and clipping as DrawLine.
void DrawRailwayLine(Canvas* canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Rect& clip);

// Draws every other pixel of the line (steps 0, 2, 4, ...) in colour.
// Stepping and clipping as DrawLine.
void DrawDottedLine(Canvas* canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t colour,
                    const Rect& clip);

// Fills the interior of the polygon of `count` points (closed from the last
// point back to the first) in colour, by the even-odd rule. A row is filled
// from its left edge to its right edge with both end pixels included; a
// polygon's top row is filled and its bottom row is not, so polygons that
// share an edge never leave a gap between them. Only pixels inside the clip
// rectangle and the canvas are set. Returns 0, or -1 when working memory
// for a large polygon cannot be had (nothing is drawn then).
int FillPolygon(Canvas* canvas, const Point* points, int32_t count, uint16_t colour, const Rect& clip);

// Sets the target's pixels of the width x height rectangle at (x, y) to
// colour wherever the stencil's pixel at the same place from (stencilX,
// stencilY) is not KEY_COLOUR. A negative x or y is cut to 0 and the stencil
// start moves with it, so a halo drawn one pixel left of or above the canvas
// stays aligned. The rectangle then stops one short of the stencil's stride
// and height (x + width < stride, y + height < height), so the last column
// and row of a target the size of the stencil are never written; finally it
// is cut to both canvases.
void StencilCopy(Canvas* target, const Canvas* stencil, int32_t x, int32_t y, int32_t width, int32_t height,
                 int32_t stencilX, int32_t stencilY, uint16_t colour);

// Draws the track's dot: a 4 x 4 square of DOT_COLOUR from (x - 1, y - 1)
// to (x + 2, y + 2) without its four corners, 12 pixels, those inside the
// canvas only.
void DrawDot(Canvas* canvas, int32_t x, int32_t y);
