// Rectangle copies between canvases: plain, colour-keyed and keyed with a weight.
#pragma once

#include <cstdint>

#include "canvas/canvas.h"

// All blits take the destination, the source, the destination position
// (dx, dy), the size (w, h) and the source position (sx, sy); the source
// rectangle has the destination's size. A rectangle reaching outside either
// canvas is cut to both, so no blit reads or writes outside a buffer; an
// empty canvas (null pixels) is skipped.

// A copy's rectangle: destination position, size, source position.
struct BlitRect {
  int32_t dx, dy, w, h, sx, sy;
};

// The one clip of every copy into a canvas (the blits here, the stencil
// copy of haloed text, the drawing contexts' keyed copy and text): cuts the
// rectangle so that it lies inside both canvases, moving the source start
// with every cut at the leading edges. Returns false (rectangle unusable)
// when nothing is left or either canvas is empty. Pass the same canvas as
// both to cut a rectangle to one canvas.
bool ClipBlitRect(const Canvas* dst, const Canvas* src, BlitRect* r);

// Copies the rectangle unchanged.
void BlitOpaque(Canvas* dst, const Canvas* src, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
                int32_t sy);

// Copies the rectangle, skipping source pixels equal to KEY_COLOUR.
void BlitKeyed(Canvas* dst, const Canvas* src, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
               int32_t sy);

// Blends the rectangle over the destination with weight alpha (only its low
// 8 bits count), skipping KEY_COLOUR source pixels. Each colour field
// becomes D + floor((S - D) * alpha / 256), computed in place in its field.
void BlitKeyedBlend(Canvas* dst, const Canvas* src, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
                    int32_t sy, int32_t alpha);
