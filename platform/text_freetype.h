// Runs of text in a Font: measuring and drawing single lines through the
// font's glyph cache. The drawing contexts lay lines out with these; tests
// and benchmarks use the cache counters.
#pragma once

#include <cstdint>

#include "canvas/canvas.h"
#include "platform/gdi.h"

// The font's line height in pixels: ascent + descent.
int32_t FontLineHeight(const Font* font);

// Width in pixels of `count` UTF-16 units of `text`: the sum of the glyphs'
// whole-pixel advances, without kerning. Control characters (below U+0020)
// have no width.
int32_t MeasureTextRun(Font* font, const char16_t* text, int32_t count);

// Draws one line of `count` UTF-16 units whose cell starts at (x, top): the
// baseline lies the font's ascent below `top`. Glyph coverage blends the
// RGB565 `colour` into the canvas, only inside `clip` (canvas pixels, cut to
// the canvas again here).
void DrawTextRun(Font* font, Canvas* canvas, const char16_t* text, int32_t count, int64_t x, int64_t top,
                 const Rect& clip, uint16_t colour);

// How many glyphs the font has loaded from FreeType since it was created or
// its cache was last cleared; a warm cache draws without loading any.
int64_t GlyphLoadCount(const Font* font);

// Empties the font's glyph cache (the next use loads glyphs again). For
// benchmarks that compare cached with uncached drawing.
void ClearGlyphCache(Font* font);
