// Fonts rasterised with FreeType, with a glyph cache per font.
#include "platform/text_freetype.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/font_lookup.h"
#include "platform/gdi.h"

namespace {

// Weights from this one up draw bold.
constexpr int32_t BOLD_WEIGHT = 600;
// The quality that asks for plain black-and-white glyphs; every other
// quality draws greyscale antialiasing.
constexpr uint8_t FONT_QUALITY_NONANTIALIASED = 3;
// Tenths of a point per inch.
constexpr int64_t TENTHS_PER_INCH = 720;
// Em heights are kept between these (pixels), whatever a description asks.
constexpr int32_t MIN_EM_PIXELS = 1;
constexpr int32_t MAX_EM_PIXELS = 512;
// Synthetic bold widens each glyph by a sixteenth of the em (1 pixel at
// 16 pixels), horizontally only, and advances by as much more.
constexpr int32_t EMBOLDEN_EM_DIVISOR = 16;
constexpr FT_Pos ONE_PIXEL = 64;  // in FreeType's 26.6 fixed point

constexpr char32_t FIRST_PRINTABLE = 0x20;
constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr char32_t CODE_POINT_LIMIT = 0x110000;

// Code points map to glyphs through pages of 256, allocated on first use.
constexpr int32_t GLYPH_PAGE_BITS = 8;
constexpr int32_t GLYPH_PAGE_SIZE = 1 << GLYPH_PAGE_BITS;
constexpr int32_t GLYPH_PAGE_COUNT = CODE_POINT_LIMIT >> GLYPH_PAGE_BITS;
constexpr int32_t GLYPH_NOT_LOADED = -1;

constexpr uint16_t FULL_COVERAGE = 255;
// Coverage rows are padded with zero coverage to a multiple of this many
// pixels, so that drawing blends whole vector blocks instead of finishing
// short glyph rows one pixel at a time (a zero blends to the old pixel).
constexpr uint32_t COVERAGE_ROW_ALIGNMENT = 16;
// A rendered glyph larger than this either way (pixels) is not kept: it
// would not fit the glyph record, and no text of the system needs one.
constexpr unsigned int MAX_GLYPH_EXTENT = 4096;

// One shared FreeType library. FreeType allows one library for all threads
// as long as faces are created and destroyed one at a time; each face is
// then used by one thread at a time (the font's own lock).
std::mutex libraryLock;
FT_Library sharedLibrary = nullptr;

// Call with libraryLock held. The library lives until the process ends.
FT_Library Library() {
  if (sharedLibrary == nullptr && FT_Init_FreeType(&sharedLibrary) != 0) sharedLibrary = nullptr;
  return sharedLibrary;
}

}  // namespace

// A glyph as drawn: a coverage bitmap (one byte per pixel, 0 to 255) placed
// relative to the pen position on the baseline, and the pen's advance.
struct Glyph {
  size_t offset = 0;  // first coverage byte in Font::coverage
  uint16_t width = 0;
  uint16_t rows = 0;
  uint16_t pitch = 0;   // coverage bytes per row: width padded with zeros
  int16_t left = 0;     // bitmap's left edge right of the pen
  int16_t top = 0;      // bitmap's top edge above the baseline
  int32_t advance = 0;  // whole pixels
};

struct GlyphPage {
  std::array<int32_t, GLYPH_PAGE_SIZE> index;
};

struct Font {
  mutable std::mutex lock;  // one user at a time: the face and the cache
  FT_Face face = nullptr;
  std::string filePath;
  FT_Int32 loadFlags = 0;
  FT_Render_Mode renderMode = FT_RENDER_MODE_NORMAL;
  FT_Pos emboldenStrength = 0;  // 0 when the face is bold itself or not asked for
  int32_t ascent = 0;
  int32_t descent = 0;
  std::vector<std::unique_ptr<GlyphPage>> pages;
  std::vector<Glyph> glyphs;
  std::vector<uint8_t> coverage;
  int64_t glyphLoads = 0;
};

namespace {

// 96 dots per inch: 120 tenths of a point give a 16-pixel em. Rounded to
// whole pixels, as the device turns point sizes into pixel heights.
int32_t EmPixels(int32_t tenthsOfPoint) {
  int64_t em = (int64_t{SCREEN_DOTS_PER_INCH} * tenthsOfPoint + TENTHS_PER_INCH / 2) / TENTHS_PER_INCH;
  return static_cast<int32_t>(std::clamp<int64_t>(em, MIN_EM_PIXELS, MAX_EM_PIXELS));
}

// Copies a rendered bitmap into the font's coverage pool as one byte per
// pixel; black-and-white bitmaps become 0 and 255. Bitmaps of other kinds
// or sizes leave the glyph without pixels.
void StoreCoverage(Font* font, const FT_Bitmap& bitmap, Glyph* glyph) {
  bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
  if ((!mono && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) || bitmap.pitch <= 0 || bitmap.buffer == nullptr) return;
  if (bitmap.width > MAX_GLYPH_EXTENT || bitmap.rows > MAX_GLYPH_EXTENT) return;
  uint32_t pitch = (bitmap.width + COVERAGE_ROW_ALIGNMENT - 1) / COVERAGE_ROW_ALIGNMENT * COVERAGE_ROW_ALIGNMENT;
  glyph->offset = font->coverage.size();
  glyph->width = static_cast<uint16_t>(bitmap.width);
  glyph->rows = static_cast<uint16_t>(bitmap.rows);
  glyph->pitch = static_cast<uint16_t>(pitch);
  font->coverage.resize(font->coverage.size() + static_cast<size_t>(pitch) * bitmap.rows, 0);
  uint8_t* out = font->coverage.data() + glyph->offset;
  for (unsigned int y = 0; y < bitmap.rows; ++y, out += pitch) {
    const unsigned char* row = bitmap.buffer + static_cast<size_t>(y) * static_cast<size_t>(bitmap.pitch);
    for (unsigned int x = 0; x < bitmap.width; ++x) {
      out[x] = mono ? ((row[x >> 3] & (0x80 >> (x & 7))) ? FULL_COVERAGE : 0) : row[x];
    }
  }
}

// Loads and renders one glyph. A code point the face lacks gives its .notdef
// glyph; a glyph FreeType cannot load or render draws nothing (with what
// advance it has); control characters take no FreeType call at all.
Glyph LoadGlyph(Font* font, char32_t c) {
  Glyph glyph;
  if (c < FIRST_PRINTABLE) return glyph;
  ++font->glyphLoads;
  FT_UInt index = FT_Get_Char_Index(font->face, c);
  if (FT_Load_Glyph(font->face, index, font->loadFlags) != 0) return glyph;
  FT_GlyphSlot slot = font->face->glyph;
  FT_Pos advance = slot->advance.x;
  if (font->emboldenStrength > 0 && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_Outline_EmboldenXY(&slot->outline, font->emboldenStrength, 0);
    advance += font->emboldenStrength;
  }
  glyph.advance = static_cast<int32_t>((advance + ONE_PIXEL / 2) / ONE_PIXEL);
  if (FT_Render_Glyph(slot, font->renderMode) != 0) return glyph;
  glyph.left = static_cast<int16_t>(slot->bitmap_left);
  glyph.top = static_cast<int16_t>(slot->bitmap_top);
  StoreCoverage(font, slot->bitmap, &glyph);
  return glyph;
}

// The cached glyph of `c` (loaded on first use). Call with the font's lock
// held; the reference and the glyph's coverage stay valid until the next
// lookup.
const Glyph& CachedGlyph(Font* font, char32_t c) {
  std::unique_ptr<GlyphPage>& page = font->pages[c >> GLYPH_PAGE_BITS];
  if (page == nullptr) {
    page = std::make_unique<GlyphPage>();
    page->index.fill(GLYPH_NOT_LOADED);
  }
  int32_t& slot = page->index[c & (GLYPH_PAGE_SIZE - 1)];
  if (slot == GLYPH_NOT_LOADED) {
    Glyph glyph = LoadGlyph(font, c);
    slot = static_cast<int32_t>(font->glyphs.size());
    font->glyphs.push_back(glyph);
  }
  return font->glyphs[slot];
}

// Decodes the code point at text[*i] and moves *i past it. A surrogate that
// is not part of a pair becomes U+FFFD.
char32_t NextCodePoint(const char16_t* text, int32_t count, int32_t* i) {
  char32_t c = text[(*i)++];
  bool high = c >= 0xD800 && c < 0xDC00;
  if (high && *i < count && text[*i] >= 0xDC00 && text[*i] < 0xE000) {
    return 0x10000 + ((c - 0xD800) << 10) + (text[(*i)++] - 0xDC00);
  }
  return (c >= 0xD800 && c < 0xE000) ? REPLACEMENT_CHARACTER : c;
}

// x / 255 for 0 <= x < 65535, without a division.
inline uint16_t DivideBy255(uint16_t x) { return static_cast<uint16_t>((x + 1 + (x >> 8)) >> 8); }

// One RGB565 field: old + (colour - old) x coverage / 255 rounded down,
// written as (old x (255 - coverage) + colour x coverage) / 255 so that it
// stays unsigned. Exact at coverage 0 and 255. Every step fits 16 bits (at
// most 63 x 255), which lets the compiler use 16-bit vector lanes.
inline uint16_t BlendField(uint16_t old, uint16_t colour, uint16_t coverage) {
  return DivideBy255(static_cast<uint16_t>(old * (FULL_COVERAGE - coverage) + colour * coverage));
}

// Blends one glyph's bitmap, its top-left corner at (x, y), inside `clip`.
// The row loop has no branches (coverage 0 and 255 blend exactly), so the
// compiler vectorises it; rows run on into their zero padding where the clip
// allows, which keeps them whole vector blocks.
void DrawGlyph(const Glyph& glyph, const uint8_t* coverage, Canvas* canvas, int64_t x, int64_t y, const Rect& clip,
               uint16_t colour) {
  int64_t left = std::max<int64_t>(x, clip.left);
  int64_t top = std::max<int64_t>(y, clip.top);
  int64_t right = std::min<int64_t>(x + glyph.pitch, clip.right);
  int64_t bottom = std::min<int64_t>(y + glyph.rows, clip.bottom);
  if (left >= right) return;
  uint16_t red = colour >> 11;
  uint16_t green = (colour >> 5) & 0x3F;
  uint16_t blue = colour & 0x1F;
  for (int64_t py = top; py < bottom; ++py) {
    const uint8_t* in = coverage + (py - y) * glyph.pitch + (left - x);
    uint16_t* out = canvas->pixels + py * canvas->stride + left;
    for (int64_t i = 0; i < right - left; ++i) {
      uint16_t a = in[i];
      uint16_t old = out[i];
      out[i] = static_cast<uint16_t>((BlendField(old >> 11, red, a) << 11) |
                                     (BlendField((old >> 5) & 0x3F, green, a) << 5) | BlendField(old & 0x1F, blue, a));
    }
  }
}

}  // namespace

Font* CreateFont(const LogicalFont& description) {
  bool bold = description.weight >= BOLD_WEIGHT;
  FontFaceFile file;
  if (LookupFontFace(description.faceName, bold, &file) == 0) return nullptr;

  auto font = std::make_unique<Font>();
  {
    std::lock_guard<std::mutex> lock(libraryLock);
    FT_Library library = Library();
    if (library == nullptr || FT_New_Face(library, file.path.c_str(), file.index, &font->face) != 0) return nullptr;
  }
  int32_t em = EmPixels(description.tenthsOfPoint);
  if (FT_Set_Pixel_Sizes(font->face, 0, static_cast<FT_UInt>(em)) != 0) {
    DeleteFont(font.release());
    return nullptr;
  }
  bool antialiased = description.quality != FONT_QUALITY_NONANTIALIASED;
  // Embedded bitmaps are left out so that every glyph is an outline that can
  // be antialiased and emboldened alike.
  font->loadFlags = FT_LOAD_NO_BITMAP | (antialiased ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_MONO);
  font->renderMode = antialiased ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
  if (bold && !file.bold) font->emboldenStrength = std::max<FT_Pos>(em * ONE_PIXEL / EMBOLDEN_EM_DIVISOR, 1);
  // FreeType rounds a scalable face's ascender up and its descender down to
  // whole pixels.
  font->ascent = static_cast<int32_t>(font->face->size->metrics.ascender / ONE_PIXEL);
  font->descent = static_cast<int32_t>(-font->face->size->metrics.descender / ONE_PIXEL);
  font->filePath = file.path;
  font->pages.resize(GLYPH_PAGE_COUNT);
  return font.release();
}

void DeleteFont(Font* font) {
  if (font == nullptr) return;
  if (font->face != nullptr) {
    std::lock_guard<std::mutex> lock(libraryLock);
    FT_Done_Face(font->face);
  }
  delete font;
}

const char* FontFilePath(const Font* font) { return font == nullptr ? "" : font->filePath.c_str(); }

bool HasJapaneseFont() { return HasJapaneseFace(); }

int32_t FontLineHeight(const Font* font) { return font->ascent + font->descent; }

int32_t MeasureTextRun(Font* font, const char16_t* text, int32_t count) {
  std::lock_guard<std::mutex> lock(font->lock);
  int64_t width = 0;
  for (int32_t i = 0; i < count;) width += CachedGlyph(font, NextCodePoint(text, count, &i)).advance;
  return static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX));
}

void DrawTextRun(Font* font, Canvas* canvas, const char16_t* text, int32_t count, int64_t x, int64_t top,
                 const Rect& clip, uint16_t colour) {
  if (canvas == nullptr || canvas->pixels == nullptr) return;
  Rect inside{std::max(clip.left, 0), std::max(clip.top, 0), std::min(clip.right, canvas->width),
              std::min(clip.bottom, canvas->height)};
  if (inside.left >= inside.right || inside.top >= inside.bottom) return;
  std::lock_guard<std::mutex> lock(font->lock);
  int64_t baseline = top + font->ascent;
  int64_t pen = x;
  for (int32_t i = 0; i < count;) {
    const Glyph& glyph = CachedGlyph(font, NextCodePoint(text, count, &i));
    DrawGlyph(glyph, font->coverage.data() + glyph.offset, canvas, pen + glyph.left, baseline - glyph.top, inside,
              colour);
    pen += glyph.advance;
  }
}

int64_t GlyphLoadCount(const Font* font) {
  std::lock_guard<std::mutex> lock(font->lock);
  return font->glyphLoads;
}

void ClearGlyphCache(Font* font) {
  std::lock_guard<std::mutex> lock(font->lock);
  for (auto& page : font->pages) page.reset();
  font->glyphs.clear();
  font->coverage.clear();
  font->glyphLoads = 0;
}
