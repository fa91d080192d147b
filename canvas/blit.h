// Rectangle copies between canvases: plain, colour-keyed and keyed with a weight.
#pragma once

#include <cstdint>

#include "canvas/canvas.h"

// All blits take the destination, the source, the destination position
// (dx, dy), the size (w, h) and the source position (sx, sy); the source
// rectangle has the destination's size. A rectangle reaching outside either
// canvas is cut to both, so no blit reads or writes outside a buffer; an
// empty canvas (null pixels) is skipped.

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
