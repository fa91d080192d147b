// Drawing contexts, fonts, text, pens and copies between canvases: the
// stand-in for the device's graphics interface. A drawing context draws into
// the Canvas selected into it; text is rasterised with FreeType (grey levels
// blended into RGB565) from a Japanese Gothic face found with fontconfig.
#pragma once

#include <cstdint>

#include "canvas/canvas.h"
#include "canvas/sizes.h"
#include "geometry/types.h"

struct TextSize {
  int32_t width = 0;
  int32_t height = 0;
};

// Text drawing flags (DrawText).
constexpr uint32_t DT_LEFT = 0x00;
constexpr uint32_t DT_CENTER = 0x01;
constexpr uint32_t DT_VCENTER = 0x04;
constexpr uint32_t DT_SINGLELINE = 0x20;
constexpr uint32_t DT_NOCLIP = 0x100;

// Background modes.
constexpr int BK_TRANSPARENT = 1;
constexpr int BK_OPAQUE = 2;

// Font qualities.
constexpr uint8_t FONT_QUALITY_DEFAULT = 0;
constexpr uint8_t FONT_QUALITY_ANTIALIASED = 4;
constexpr uint8_t FONT_QUALITY_CLEARTYPE = 5;  // drawn as greyscale antialiasing

constexpr int32_t SCREEN_DOTS_PER_INCH = 96;

// A logical-font description. The character height in pixels is
// SCREEN_DOTS_PER_INCH x tenthsOfPoint / 720 (120 tenths give 16 pixels).
struct LogicalFont {
  const char* faceName = DEVICE_FONT_FACE;  // UTF-8
  int32_t tenthsOfPoint = 120;
  int32_t weight = 400;  // 100..900; 600 and above draw bold
  uint8_t quality = FONT_QUALITY_ANTIALIASED;
  uint8_t charSet = 128;       // Shift-JIS
  uint8_t pitchAndFamily = 2;  // variable pitch
};

struct Font;
struct Pen;
struct DrawingContext;

// Fonts. The face "MS UI ゴシック" (and any face fontconfig cannot match with
// Japanese coverage) falls back to IPAPGothic, then VL PGothic, then Noto
// Sans CJK JP. Returns null when no usable face exists. Free with DeleteFont.
Font* CreateFont(const LogicalFont& description);
void DeleteFont(Font* font);
// The font file a face name resolves to ("" when none).
const char* FontFilePath(const Font* font);
// True when a face with Japanese glyphs is installed; the viewer tells the
// user which package to install otherwise.
bool HasJapaneseFont();

// Pens: solid lines of a width in pixels and a 24-bit colour.
constexpr int PS_SOLID = 0;
Pen* CreatePen(int style, int32_t width, uint32_t rgb);
void DeletePen(Pen* pen);

// Size of the default font: the device's system font is about 13 pixels
// high, and texts drawn without a chosen font (the map's scale label) are
// laid out for it.
constexpr int32_t DEFAULT_FONT_TENTHS = 100;

// Drawing contexts. A new context has no canvas, the default font (the
// system Gothic face at DEFAULT_FONT_TENTHS, weight 400), black text, an
// opaque white background and a black 1-pixel pen.
DrawingContext* CreateDrawingContext();
void DeleteDrawingContext(DrawingContext* dc);
// Each Select returns what was selected before (null for the defaults).
Canvas* SelectCanvas(DrawingContext* dc, Canvas* canvas);
Font* SelectFont(DrawingContext* dc, Font* font);
Pen* SelectPen(DrawingContext* dc, Pen* pen);
Canvas* SelectedCanvas(const DrawingContext* dc);
// Text colour and background colour (24-bit); each returns the previous one.
uint32_t SetTextColour(DrawingContext* dc, uint32_t rgb);
uint32_t SetBackgroundColour(DrawingContext* dc, uint32_t rgb);
// BK_TRANSPARENT or BK_OPAQUE; returns the previous mode.
int SetBackgroundMode(DrawingContext* dc, int mode);

// Width (sum of advances) and height (the font's line height) of the first
// `count` characters of a UTF-16 text; count -1 takes the text up to its
// terminating zero. Returns 1, or 0 when no font is available.
int MeasureText(DrawingContext* dc, const char16_t* text, int32_t count, TextSize* size);

// Draws text into `rect` of the selected canvas, clipped to the rectangle
// (unless DT_NOCLIP) and to the canvas. DT_CENTER centres each line horizontally (DT_LEFT
// keeps it at the left edge); DT_VCENTER centres the block of lines
// vertically. Without DT_SINGLELINE a line feed (or carriage return + line
// feed) starts a new line. In BK_OPAQUE mode the text's cells are filled
// with the background colour first. Returns the height of the text drawn.
int32_t DrawText(DrawingContext* dc, const char16_t* text, int32_t count, const Rect& rect, uint32_t flags);

// Fills `rect` (clipped to the canvas) with a 24-bit colour.
void FillRect(DrawingContext* dc, const Rect& rect, uint32_t rgb);

// Lines with the selected pen: MoveTo sets the current position; LineTo
// draws from it to (x, y), leaving out the end pixel as the platform does,
// and makes (x, y) the current position. Clipped to the canvas.
void MoveTo(DrawingContext* dc, int32_t x, int32_t y);
void LineTo(DrawingContext* dc, int32_t x, int32_t y);

// Plain copy (source copy) of a w x h rectangle between the canvases of two
// contexts; cut to both canvases.
void BitBlt(DrawingContext* dst, int32_t dx, int32_t dy, int32_t w, int32_t h, DrawingContext* src, int32_t sx,
            int32_t sy);
// Colour-keyed copy: leaves destination pixels where the source is the key
// colour (24-bit; 0xFF00FF is KEY_COLOUR). Only same-size copies are made
// (source w x h must equal destination w x h, else nothing is drawn).
void TransparentBlt(DrawingContext* dst, int32_t dx, int32_t dy, int32_t w, int32_t h, DrawingContext* src,
                    int32_t sx, int32_t sy, int32_t sw, int32_t sh, uint32_t keyRgb);
