#include "canvas/blit.h"

#include <algorithm>
#include <cstring>

namespace {

// One axis of a copy: cuts the leading part where either position is
// negative (both positions move by the cut), then the trailing part beyond
// either canvas. 64-bit throughout, so no position or size can wrap. False
// when nothing is left.
bool ClipAxis(int32_t* dpos, int32_t* spos, int32_t* size, int32_t dstLength, int32_t srcLength) {
  int64_t d = *dpos, s = *spos, n = *size;
  int64_t cut = std::max<int64_t>(-d, -s);
  if (cut > 0) {
    d += cut;
    s += cut;
    n -= cut;
  }
  n = std::min<int64_t>({n, dstLength - d, srcLength - s});
  if (n <= 0) return false;
  *dpos = static_cast<int32_t>(d);
  *spos = static_cast<int32_t>(s);
  *size = static_cast<int32_t>(n);
  return true;
}

}  // namespace

bool ClipBlitRect(const Canvas* dst, const Canvas* src, BlitRect* r) {
  if (dst->pixels == nullptr || src->pixels == nullptr) return false;
  return ClipAxis(&r->dx, &r->sx, &r->w, dst->width, src->width) &&
         ClipAxis(&r->dy, &r->sy, &r->h, dst->height, src->height);
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
