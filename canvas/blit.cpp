#include "canvas/blit.h"

#include <algorithm>
#include <cstring>

namespace {

// Moves the start of one axis forward by `cut` when a position is negative.
void CutLeading(int32_t* dpos, int32_t* spos, int32_t* size) {
  int32_t cut = std::max(0 - *dpos, 0 - *spos);
  if (cut > 0) {
    *dpos += cut;
    *spos += cut;
    *size -= cut;
  }
}

}  // namespace

bool ClipBlitRect(const Canvas* dst, const Canvas* src, BlitRect* r) {
  if (dst->pixels == nullptr || src->pixels == nullptr) return false;
  CutLeading(&r->dx, &r->sx, &r->w);
  CutLeading(&r->dy, &r->sy, &r->h);
  // 64-bit sums: a position near INT32_MAX must not wrap past the edge test.
  int64_t w = std::min<int64_t>({r->w, int64_t{dst->width} - r->dx, int64_t{src->width} - r->sx});
  int64_t h = std::min<int64_t>({r->h, int64_t{dst->height} - r->dy, int64_t{src->height} - r->sy});
  if (w <= 0 || h <= 0) return false;
  r->w = static_cast<int32_t>(w);
  r->h = static_cast<int32_t>(h);
  return true;
}

namespace {

uint16_t* DestinationRow(Canvas* dst, const BlitRect& r, int32_t row) {
  return dst->pixels + static_cast<size_t>(r.dy + row) * dst->stride + r.dx;
}

const uint16_t* SourceRow(const Canvas* src, const BlitRect& r, int32_t row) {
  return src->pixels + static_cast<size_t>(r.sy + row) * src->stride + r.sx;
}

// One field of the weighted blend, kept in place in its bits:
// ((S - D) * alpha + D * 256) >> 8 as a signed 32-bit number, masked.
inline uint32_t BlendField(uint32_t s, uint32_t d, uint32_t mask, int32_t alpha) {
  int32_t sf = static_cast<int32_t>(s & mask);
  int32_t df = static_cast<int32_t>(d & mask);
  return static_cast<uint32_t>(((sf - df) * alpha + df * 256) >> 8) & mask;
}

}  // namespace

void BlitOpaque(Canvas* dst, const Canvas* src, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
                int32_t sy) {
  BlitRect r{dx, dy, w, h, sx, sy};
  if (!ClipBlitRect(dst, src, &r)) return;
  for (int32_t row = 0; row < r.h; ++row) {
    std::memmove(DestinationRow(dst, r, row), SourceRow(src, r, row), static_cast<size_t>(r.w) * 2);
  }
}

void BlitKeyed(Canvas* dst, const Canvas* src, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
               int32_t sy) {
  BlitRect r{dx, dy, w, h, sx, sy};
  if (!ClipBlitRect(dst, src, &r)) return;
  for (int32_t row = 0; row < r.h; ++row) {
    uint16_t* out = DestinationRow(dst, r, row);
    const uint16_t* in = SourceRow(src, r, row);
    for (int32_t i = 0; i < r.w; ++i) {
      uint16_t s = in[i];
      out[i] = (s == KEY_COLOUR) ? out[i] : s;
    }
  }
}

void BlitKeyedBlend(Canvas* dst, const Canvas* src, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
                    int32_t sy, int32_t alpha) {
  int32_t a = alpha & 0xFF;
  BlitRect r{dx, dy, w, h, sx, sy};
  if (!ClipBlitRect(dst, src, &r)) return;
  for (int32_t row = 0; row < r.h; ++row) {
    uint16_t* out = DestinationRow(dst, r, row);
    const uint16_t* in = SourceRow(src, r, row);
    for (int32_t i = 0; i < r.w; ++i) {
      uint32_t s = in[i];
      uint32_t d = out[i];
      if (s == KEY_COLOUR) continue;
      out[i] = static_cast<uint16_t>(BlendField(s, d, RGB565_RED_MASK, a) + BlendField(s, d, RGB565_GREEN_MASK, a) +
                                     BlendField(s, d, RGB565_BLUE_MASK, a));
    }
  }
}
