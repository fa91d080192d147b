#include "bench/freetype_labels.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include "bench/label_workload.h"
#include "platform/font_lookup.h"
#include "platform/gdi.h"

namespace {

constexpr int32_t TENTHS_PER_INCH = 720;
constexpr int32_t ONE_PIXEL = 64;  // FreeType's 26.6 fixed point
constexpr uint32_t FULL_COVERAGE = 255;

// One RGB565 field moved towards `colour` by coverage / 255.
uint32_t BlendField(uint32_t old, uint32_t colour, uint32_t coverage) {
  return (old * (FULL_COVERAGE - coverage) + colour * coverage) / FULL_COVERAGE;
}

uint16_t BlendPixel(uint16_t old, uint16_t colour, uint32_t coverage) {
  const uint32_t r = BlendField(old >> 11, colour >> 11, coverage);
  const uint32_t g = BlendField((old >> 5) & 0x3F, (colour >> 5) & 0x3F, coverage);
  const uint32_t b = BlendField(old & 0x1F, colour & 0x1F, coverage);
  return static_cast<uint16_t>((r << 11) | (g << 5) | b);
}

// Blends a greyscale glyph bitmap with its top-left corner at (x, y).
void BlendBitmap(Canvas* canvas, const FT_Bitmap& bitmap, int32_t x, int32_t y, uint16_t colour) {
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
  for (int32_t row = 0; row < static_cast<int32_t>(bitmap.rows); ++row) {
    const int32_t cy = y + row;
    if (cy < 0 || cy >= canvas->height) continue;
    const unsigned char* coverage = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
    uint16_t* out = canvas->pixels + static_cast<ptrdiff_t>(cy) * canvas->stride;
    for (int32_t column = 0; column < static_cast<int32_t>(bitmap.width); ++column) {
      const int32_t cx = x + column;
      if (cx >= 0 && cx < canvas->width && coverage[column] != 0) out[cx] = BlendPixel(out[cx], colour, coverage[column]);
    }
  }
}

}  // namespace

struct FreeTypeLabels::Impl {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  int32_t ascent = 0;
  int32_t lineHeight = 0;

  // The label's width: the sum of its glyphs' rounded advances.
  int32_t Measure(const std::u16string& text) const {
    int32_t width = 0;
    for (char16_t c : text) {
      if (FT_Load_Char(face, c, FT_LOAD_DEFAULT) == 0) width += (face->glyph->advance.x + ONE_PIXEL / 2) / ONE_PIXEL;
    }
    return width;
  }
};

FreeTypeLabels::FreeTypeLabels() : impl(new Impl) {
  FontFaceFile file;
  if (LookupFontFace(nullptr, false, &file) == 0 || FT_Init_FreeType(&impl->library) != 0) return;
  if (FT_New_Face(impl->library, file.path.c_str(), file.index, &impl->face) != 0) {
    impl->face = nullptr;
    return;
  }
  const int32_t em = (SCREEN_DOTS_PER_INCH * LABEL_WORKLOAD_TENTHS_OF_POINT + TENTHS_PER_INCH / 2) / TENTHS_PER_INCH;
  FT_Set_Pixel_Sizes(impl->face, 0, static_cast<FT_UInt>(em));
  impl->ascent = static_cast<int32_t>(impl->face->size->metrics.ascender / ONE_PIXEL);
  impl->lineHeight = impl->ascent - static_cast<int32_t>(impl->face->size->metrics.descender / ONE_PIXEL);
}

FreeTypeLabels::~FreeTypeLabels() {
  if (impl->face != nullptr) FT_Done_Face(impl->face);
  if (impl->library != nullptr) FT_Done_FreeType(impl->library);
}

bool FreeTypeLabels::Ok() const { return impl->face != nullptr; }

void FreeTypeLabels::Draw(Canvas* canvas, const std::vector<PlacedWorkloadLabel>& labels, uint16_t colour) {
  if (!Ok()) return;
  FT_Face face = impl->face;
  for (const PlacedWorkloadLabel& label : labels) {
    int32_t pen = label.anchor.x - impl->Measure(label.text) / 2;
    const int32_t baseline = label.anchor.y - impl->lineHeight / 2 + impl->ascent;
    for (char16_t c : label.text) {
      if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) continue;
      const FT_GlyphSlot slot = face->glyph;
      BlendBitmap(canvas, slot->bitmap, pen + slot->bitmap_left, baseline - slot->bitmap_top, colour);
      pen += static_cast<int32_t>((slot->advance.x + ONE_PIXEL / 2) / ONE_PIXEL);
    }
  }
}
