// Drawing contexts over canvases: state, fills, lines, copies and the layout
// of text in rectangles (glyphs come from text_freetype.cpp).
#include "platform/gdi.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "canvas/blit.h"
#include "platform/text_freetype.h"

struct Pen {
  int style = PS_SOLID;
  int32_t width = 1;
  uint16_t colour = 0;
};

struct DrawingContext {
  Canvas* canvas = nullptr;
  Font* font = nullptr;  // null: the default font
  Pen* pen = nullptr;    // null: the default pen
  uint32_t textRgb = 0x000000;
  uint32_t backgroundRgb = 0xFFFFFF;
  int backgroundMode = BK_OPAQUE;
  int32_t penX = 0;
  int32_t penY = 0;
};

namespace {

constexpr uint32_t RGB24_MASK = 0xFFFFFF;
// Pens are kept between these widths; the system draws with 1-pixel pens.
constexpr int32_t MIN_PEN_WIDTH = 1;
constexpr int32_t MAX_PEN_WIDTH = 64;

const Pen DEFAULT_PEN{PS_SOLID, 1, 0x0000};

// The font of a context that has none selected: the Japanese Gothic face at
// 12 points, weight 400. One instance serves every context on every thread
// (the font locks itself) and lives until the process ends, so contexts made
// for a single paint do not load a face each time. Null when no face exists.
Font* DefaultFont() {
  static Font* const font = [] {
    LogicalFont description;
    description.tenthsOfPoint = DEFAULT_FONT_TENTHS;
    return CreateFont(description);
  }();
  return font;
}

Font* ActiveFont(const DrawingContext* dc) { return dc->font != nullptr ? dc->font : DefaultFont(); }
const Pen& ActivePen(const DrawingContext* dc) { return dc->pen != nullptr ? *dc->pen : DEFAULT_PEN; }

bool HasPixels(const Canvas* canvas) { return canvas != nullptr && canvas->pixels != nullptr; }

Rect CanvasBounds(const Canvas* canvas) { return Rect{0, 0, canvas->width, canvas->height}; }

bool IsEmpty(const Rect& r) { return r.left >= r.right || r.top >= r.bottom; }

// The part of the box [left, right) x [top, bottom) inside `limit`; an
// empty Rect when they do not meet. 64-bit inputs, so boxes computed from
// far-off positions cannot wrap.
Rect ClipBox(const Rect& limit, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  left = std::max<int64_t>(left, limit.left);
  top = std::max<int64_t>(top, limit.top);
  right = std::min<int64_t>(right, limit.right);
  bottom = std::min<int64_t>(bottom, limit.bottom);
  if (left >= right || top >= bottom) return Rect{};
  return Rect{static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
              static_cast<int32_t>(bottom)};
}

Rect ClipRect(const Rect& limit, const Rect& r) { return ClipBox(limit, r.left, r.top, r.right, r.bottom); }

// The part of `rect` inside the canvas, cut by the clip of the canvas blits
// (text is a copy into the canvas like any other).
Rect CanvasPart(const Canvas* canvas, const Rect& rect) {
  // Rectangles may span every coordinate: the part left of or above the
  // canvas goes first, in 64 bits, so that the size fits a copy's rectangle.
  int64_t left = std::max<int64_t>(rect.left, 0);
  int64_t top = std::max<int64_t>(rect.top, 0);
  int64_t w = std::min<int64_t>(int64_t{rect.right} - left, INT32_MAX);
  int64_t h = std::min<int64_t>(int64_t{rect.bottom} - top, INT32_MAX);
  if (w <= 0 || h <= 0) return Rect{};
  BlitRect r{static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(w), static_cast<int32_t>(h),
             static_cast<int32_t>(left), static_cast<int32_t>(top)};
  if (!ClipBlitRect(canvas, canvas, &r)) return Rect{};
  return Rect{r.dx, r.dy, r.dx + r.w, r.dy + r.h};
}

// Fills a box that already lies inside the canvas.
void FillPixels(Canvas* canvas, const Rect& box, uint16_t colour) {
  if (IsEmpty(box)) return;
  for (int32_t y = box.top; y < box.bottom; ++y) {
    uint16_t* row = canvas->pixels + static_cast<size_t>(y) * canvas->stride;
    std::fill(row + box.left, row + box.right, colour);
  }
}

// One pen position of a line: the pixel itself, or a square of the pen's
// width centred on it.
void PlotPen(Canvas* canvas, int64_t x, int64_t y, const Pen& pen) {
  int64_t left = x - pen.width / 2;
  int64_t top = y - pen.width / 2;
  FillPixels(canvas, ClipBox(CanvasBounds(canvas), left, top, left + pen.width, top + pen.width), pen.colour);
}

// The steps i of [0, steps) whose coordinate start + direction x i lies in
// [low, high): where a line can touch the canvas along its major axis.
void StepsWithin(int64_t start, int64_t direction, int64_t low, int64_t high, int64_t steps, int64_t* first,
                 int64_t* last) {
  int64_t from = direction > 0 ? low - start : start - high + 1;
  int64_t to = direction > 0 ? high - start : start - low + 1;
  *first = std::max<int64_t>(from, 0);
  *last = std::min<int64_t>(to, steps);
}

// Bresenham's line from (x0, y0) towards (x1, y1), leaving out (x1, y1).
// Step i along the major axis moves the minor axis by
// round(i x minorLength / majorLength), halves rounded away from the start.
// Only the steps that can reach the canvas are walked, so a line between far
// points costs no more than one across the canvas.
void DrawLine(Canvas* canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Pen& pen) {
  int64_t dx = int64_t{x1} - x0;
  int64_t dy = int64_t{y1} - y0;
  bool xMajor = std::llabs(dx) >= std::llabs(dy);
  int64_t major = std::llabs(xMajor ? dx : dy);
  int64_t minor = std::llabs(xMajor ? dy : dx);
  int64_t majorDirection = (xMajor ? dx : dy) < 0 ? -1 : 1;
  int64_t minorDirection = (xMajor ? dy : dx) < 0 ? -1 : 1;
  int64_t majorStart = xMajor ? x0 : y0;
  int64_t minorStart = xMajor ? y0 : x0;
  if (major == 0) return;

  int64_t reach = pen.width;  // a square pen reaches this far beyond its pixel
  int64_t limit = xMajor ? canvas->width : canvas->height;
  int64_t first = 0;
  int64_t last = 0;
  StepsWithin(majorStart, majorDirection, -reach, limit + reach, major, &first, &last);
  if (first >= last) return;

  // Minor offset at step i: (2 i minor + major) / (2 major), kept as a
  // quotient and a remainder; the product needs 128 bits only once.
  int64_t denominator = 2 * major;
  __int128 numerator = static_cast<__int128>(2 * minor) * first + major;
  int64_t offset = static_cast<int64_t>(numerator / denominator);
  int64_t remainder = static_cast<int64_t>(numerator % denominator);
  for (int64_t i = first; i < last; ++i) {
    int64_t a = majorStart + majorDirection * i;
    int64_t b = minorStart + minorDirection * offset;
    PlotPen(canvas, xMajor ? a : b, xMajor ? b : a, pen);
    remainder += 2 * minor;
    if (remainder >= denominator) {
      remainder -= denominator;
      ++offset;
    }
  }
}

// Copies the rectangle, skipping source pixels equal to `key`; cut by the
// clip of the canvas blits.
void BlitWithKey(Canvas* dst, const Canvas* src, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx, int32_t sy,
                 uint16_t key) {
  BlitRect r{dx, dy, w, h, sx, sy};
  if (!ClipBlitRect(dst, src, &r)) return;
  for (int32_t y = 0; y < r.h; ++y) {
    uint16_t* out = dst->pixels + static_cast<size_t>(r.dy + y) * dst->stride + r.dx;
    const uint16_t* in = src->pixels + static_cast<size_t>(r.sy + y) * src->stride + r.sx;
    for (int32_t i = 0; i < r.w; ++i) {
      if (in[i] != key) out[i] = in[i];
    }
  }
}

// A text's length in UTF-16 units: `count`, or up to the terminating zero
// for -1. Other negative counts and a null text give 0.
int32_t TextLength(const char16_t* text, int32_t count) {
  if (text == nullptr || count < -1) return 0;
  if (count >= 0) return count;
  int32_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

struct LineSpan {
  int32_t start;
  int32_t length;
};

// The line that starts at *position; moves *position past the line break
// that ends it (line feed, carriage return, or both). A single-line text is
// one line whatever it holds.
LineSpan NextLine(const char16_t* text, int32_t count, bool singleLine, int32_t* position) {
  int32_t start = *position;
  int32_t end = start;
  while (end < count && (singleLine || (text[end] != u'\n' && text[end] != u'\r'))) ++end;
  *position = end;
  if (*position < count && text[*position] == u'\r') ++*position;
  if (*position < count && text[*position] == u'\n') ++*position;
  return LineSpan{start, end - start};
}

int64_t CountLines(const char16_t* text, int32_t count, bool singleLine) {
  int64_t lines = 0;
  for (int32_t position = 0; position < count; ++lines) NextLine(text, count, singleLine, &position);
  return lines;
}

}  // namespace

Pen* CreatePen(int style, int32_t width, uint32_t rgb) {
  return new Pen{style, std::clamp(width, MIN_PEN_WIDTH, MAX_PEN_WIDTH), Rgb24To565(rgb & RGB24_MASK)};
}

void DeletePen(Pen* pen) { delete pen; }

DrawingContext* CreateDrawingContext() { return new DrawingContext; }

void DeleteDrawingContext(DrawingContext* dc) { delete dc; }

Canvas* SelectCanvas(DrawingContext* dc, Canvas* canvas) {
  if (dc == nullptr) return nullptr;
  return std::exchange(dc->canvas, canvas);
}

Font* SelectFont(DrawingContext* dc, Font* font) {
  if (dc == nullptr) return nullptr;
  return std::exchange(dc->font, font);
}

Pen* SelectPen(DrawingContext* dc, Pen* pen) {
  if (dc == nullptr) return nullptr;
  return std::exchange(dc->pen, pen);
}

Canvas* SelectedCanvas(const DrawingContext* dc) { return dc == nullptr ? nullptr : dc->canvas; }

uint32_t SetTextColour(DrawingContext* dc, uint32_t rgb) {
  if (dc == nullptr) return 0;
  return std::exchange(dc->textRgb, rgb & RGB24_MASK);
}

uint32_t SetBackgroundColour(DrawingContext* dc, uint32_t rgb) {
  if (dc == nullptr) return 0;
  return std::exchange(dc->backgroundRgb, rgb & RGB24_MASK);
}

int SetBackgroundMode(DrawingContext* dc, int mode) {
  if (dc == nullptr || (mode != BK_TRANSPARENT && mode != BK_OPAQUE)) return 0;
  return std::exchange(dc->backgroundMode, mode);
}

int MeasureText(DrawingContext* dc, const char16_t* text, int32_t count, TextSize* size) {
  if (dc == nullptr || size == nullptr) return 0;
  Font* font = ActiveFont(dc);
  if (font == nullptr) return 0;
  size->width = MeasureTextRun(font, text, TextLength(text, count));
  size->height = FontLineHeight(font);
  return 1;
}

int32_t DrawText(DrawingContext* dc, const char16_t* text, int32_t count, const Rect& rect, uint32_t flags) {
  if (dc == nullptr || !HasPixels(dc->canvas)) return 0;
  Font* font = ActiveFont(dc);
  int32_t length = TextLength(text, count);
  if (font == nullptr || length == 0) return 0;

  Canvas* canvas = dc->canvas;
  bool singleLine = (flags & DT_SINGLELINE) != 0;
  bool opaque = dc->backgroundMode == BK_OPAQUE;
  int64_t lineHeight = FontLineHeight(font);
  int64_t blockHeight = CountLines(text, length, singleLine) * lineHeight;
  auto textHeight = static_cast<int32_t>(std::min<int64_t>(blockHeight, INT32_MAX));
  int64_t lineTop = rect.top;
  if (flags & DT_VCENTER) lineTop += (int64_t{rect.bottom} - rect.top - blockHeight) / 2;
  Rect clip = (flags & DT_NOCLIP) ? CanvasBounds(canvas) : CanvasPart(canvas, rect);
  if (IsEmpty(clip)) return textHeight;
  uint16_t colour = Rgb24To565(dc->textRgb);

  for (int32_t position = 0; position < length && lineTop < clip.bottom; lineTop += lineHeight) {
    LineSpan line = NextLine(text, length, singleLine, &position);
    if (lineTop + lineHeight <= clip.top) continue;
    const char16_t* start = text + line.start;
    int64_t x = rect.left;
    int64_t width = (opaque || (flags & DT_CENTER)) ? MeasureTextRun(font, start, line.length) : 0;
    if (flags & DT_CENTER) x += (int64_t{rect.right} - rect.left - width) / 2;
    if (opaque) {
      FillPixels(canvas, ClipBox(clip, x, lineTop, x + width, lineTop + lineHeight), Rgb24To565(dc->backgroundRgb));
    }
    DrawTextRun(font, canvas, start, line.length, x, lineTop, clip, colour);
  }
  return textHeight;
}

void FillRect(DrawingContext* dc, const Rect& rect, uint32_t rgb) {
  if (dc == nullptr || !HasPixels(dc->canvas)) return;
  FillPixels(dc->canvas, ClipRect(CanvasBounds(dc->canvas), rect), Rgb24To565(rgb & RGB24_MASK));
}

void MoveTo(DrawingContext* dc, int32_t x, int32_t y) {
  if (dc == nullptr) return;
  dc->penX = x;
  dc->penY = y;
}

void LineTo(DrawingContext* dc, int32_t x, int32_t y) {
  if (dc == nullptr) return;
  if (HasPixels(dc->canvas)) DrawLine(dc->canvas, dc->penX, dc->penY, x, y, ActivePen(dc));
  dc->penX = x;
  dc->penY = y;
}

void BitBlt(DrawingContext* dst, int32_t dx, int32_t dy, int32_t w, int32_t h, DrawingContext* src, int32_t sx,
            int32_t sy) {
  if (dst == nullptr || src == nullptr || !HasPixels(dst->canvas) || !HasPixels(src->canvas)) return;
  BlitOpaque(dst->canvas, src->canvas, dx, dy, w, h, sx, sy);
}

void TransparentBlt(DrawingContext* dst, int32_t dx, int32_t dy, int32_t w, int32_t h, DrawingContext* src, int32_t sx,
                    int32_t sy, int32_t sw, int32_t sh, uint32_t keyRgb) {
  if (dst == nullptr || src == nullptr || !HasPixels(dst->canvas) || !HasPixels(src->canvas)) return;
  if (sw != w || sh != h) return;
  uint16_t key = Rgb24To565(keyRgb & RGB24_MASK);
  if (key == KEY_COLOUR) {
    BlitKeyed(dst->canvas, src->canvas, dx, dy, w, h, sx, sy);
  } else {
    BlitWithKey(dst->canvas, src->canvas, dx, dy, w, h, sx, sy, key);
  }
}
