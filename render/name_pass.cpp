// The names pass: for each visible name record a facility mark or a small
// symbol, then its label (halo text, or white text on a blue box), unless
// the label would overlap one placed before it in this frame.
#include <algorithm>
#include <cstdint>

#include "canvas/blit.h"
#include "geometry/raster.h"
#include "geometry/trig.h"
#include "mapdata/name_records.h"
#include "render/label_placement.h"
#include "render/name_tables.h"
#include "render/passes.h"

namespace {

// What DrawSymbol did.
constexpr int32_t SYMBOL_NONE = 0;      // nothing drawn
constexpr int32_t SYMBOL_DRAWN = 1;     // drawn, the label goes below it
constexpr int32_t SYMBOL_NUMBERED = 2;  // drawn with its number, no label
constexpr int32_t MARK_DRAWN = 3;       // a facility mark, the label goes below it
constexpr int32_t SYMBOL_HIDDEN = 4;    // suppressed at this scale, no label

// The classes 976..991 (a code whose low four bits are cleared equals
// 976) set the characters of a placed label side by side, stepping right
// from the anchor, instead of at their stored offsets.
constexpr uint16_t STEPPING_CLASSES = 976;
constexpr uint16_t STEPPING_CLASS_LOW_BITS = 15;
// Route numbers are left out from this step (100 m) on.
constexpr uint16_t FIRST_STEP_WITHOUT_ROUTE_NUMBERS = 6;
// The extra symbol classes move their label this far down.
constexpr int32_t EXTRA_SYMBOL_DROP = 4;
// Boxed labels sit this far below their anchor; the box reaches this far
// around the text, blended at half weight.
constexpr int32_t BOXED_LABEL_DROP = 15;
constexpr int32_t BOX_MARGIN = 2;
constexpr int32_t BOX_WEIGHT = 128;
// The line break of a two-line label.
constexpr char16_t LINE_BREAK = 13;
constexpr uint32_t WHITE_RGB = 0xFFFFFF;
constexpr uint32_t MAGENTA_RGB = 0xFF00FF;
constexpr uint16_t HALO_COLOUR = 0xFFFF;
// Detail classes choose bits 4..0 of a record's visibility mask
// (NAME_VISIBILITY_SHIFT).
constexpr uint32_t TEXT_FLAGS = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
constexpr int32_t TRIG_SHIFT = 17;

// A record's text as 16-bit characters (stored as UTF-16LE byte pairs).
struct LabelText {
  char16_t chars[NAME_TEXT_MAX_CHARS + 1] = {};
  int32_t count = 0;
  int32_t lineBreak = -1;  // position of the first line break, or -1
};

LabelText TextOf(const NameRecord& record) {
  LabelText text;
  if (record.text == nullptr) return text;
  text.count = static_cast<int32_t>(std::min<uint32_t>(record.charCount, NAME_TEXT_MAX_CHARS));
  for (int32_t i = 0; i < text.count; ++i) {
    text.chars[i] = static_cast<char16_t>(record.text[2 * i] | (record.text[2 * i + 1] << 8));
    if (text.chars[i] == LINE_BREAK && text.lineBreak < 0) text.lineBreak = i;
  }
  return text;
}

int32_t EvenUp(int32_t v) { return v + (v & 1); }

// Counts a label of `kind` placed, or left out for lack of room.
void CountLabel(Frame* frame, NameKind kind, bool placed) {
  ++(placed ? frame->stats.namesPlaced : frame->stats.namesLeftOut)[kind];
}

TextSize Measure(Frame* frame, const char16_t* text, int32_t count) {
  TextSize size;
  if (count > 0) MeasureText(frame->kit->context, text, count, &size);
  return size;
}

// Copies `rect` of an atlas centred on the anchor, cut to the canvas. False
// when nothing of it lies in the canvas.
bool CopyCentred(Frame* frame, const Canvas* atlas, const AtlasRect& rect, Point anchor) {
  const int32_t left = anchor.x - rect.width / 2;
  const int32_t top = anchor.y - rect.height / 2;
  if (left >= frame->view.width || top >= frame->view.height || left + rect.width <= 0 || top + rect.height <= 0) {
    return false;
  }
  BlitKeyed(&frame->kit->canvas, atlas, left, top, rect.width, rect.height, rect.x, rect.y);
  return true;
}

void DrawExtraSymbol(Frame* frame, const NameRecord& record, Point pixel) {
  if (!ExtraSymbolClass(record.classCode)) return;
  CopyCentred(frame, &frame->kit->symbolAtlas, ExtraSymbol(), pixel);
}

int32_t DrawMark(Frame* frame, const NameRecord& record, Point* anchor) {
  AtlasRect mark;
  if (!MarkOf(record.classCode, &mark) || !CopyCentred(frame, &frame->kit->markAtlas, mark, *anchor)) return 0;
  anchor->y += mark.height / 2;
  return 1;
}

// The white number over a route symbol, centred on the symbol in the small font.
void DrawSymbolNumber(Frame* frame, const LabelText& text, Point centre) {
  if (text.count == 0) return;
  Font* previous = SelectFont(frame->kit->context, frame->kit->smallFont);
  Font* previousText = SelectFont(frame->kit->textContext, frame->kit->smallFont);
  TextSize size = Measure(frame, text.chars, text.count);
  const int32_t hw = (size.width + 1) / 2, hh = (size.height + 1) / 2;
  SetTextColour(frame->kit->context, WHITE_RGB);
  DrawText(frame->kit->context, text.chars, text.count, Rect{centre.x - hw, centre.y - hh, centre.x + hw, centre.y + hh},
           TEXT_FLAGS);
  SelectFont(frame->kit->context, previous);
  SelectFont(frame->kit->textContext, previousText);
}

bool RouteNumberHiddenAt(uint16_t code, uint16_t step) {
  const bool routeNumber = code == 512 || code == 544 || code == 576 || code == 608 || (code >= 282 && code <= 291);
  return routeNumber && step >= FIRST_STEP_WITHOUT_ROUTE_NUMBERS;
}

int32_t DrawSymbol(Frame* frame, const NameRecord& record, const LabelText& text, Point* anchor) {
  const uint16_t code = record.classCode;
  if (RouteNumberHiddenAt(code, frame->view.step)) return SYMBOL_HIDDEN;
  if (ExtraSymbolClass(code)) {
    anchor->y += EXTRA_SYMBOL_DROP;
    return SYMBOL_DRAWN;
  }
  AtlasRect rect;
  bool withNumber = false;
  if (SymbolOf(code, &rect, &withNumber)) {
    if (!CopyCentred(frame, &frame->kit->symbolAtlas, rect, *anchor)) return SYMBOL_NONE;
    if (withNumber) {
      DrawSymbolNumber(frame, text, *anchor);
      return SYMBOL_NUMBERED;
    }
    anchor->y += rect.height / 2;
    return SYMBOL_DRAWN;
  }
  if (NumberedCellOf(code, &rect)) {
    if (!CopyCentred(frame, &frame->kit->symbolAtlas, rect, *anchor)) return SYMBOL_NONE;
    anchor->y += rect.height / 2;
    return SYMBOL_DRAWN;
  }
  return SYMBOL_NONE;
}

// Text stamped in the label colour over a one-pixel white halo: drawn once
// into the scratch canvas and copied nine times by its shape.
void DrawHaloText(Frame* frame, const char16_t* text, int32_t count, const Rect& rect, uint16_t colour) {
  const int32_t w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0 || count <= 0) return;
  FillRect(frame->kit->textContext, Rect{0, 0, w, h}, MAGENTA_RGB);
  SetTextColour(frame->kit->textContext, WHITE_RGB);
  DrawText(frame->kit->textContext, text, count, Rect{0, 0, w, h}, TEXT_FLAGS);
  static constexpr Point HALO[8] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
  for (const Point& d : HALO) {
    StencilCopy(&frame->kit->canvas, &frame->kit->textCanvas, rect.left + d.x, rect.top + d.y, w, h, 0, 0, HALO_COLOUR);
  }
  StencilCopy(&frame->kit->canvas, &frame->kit->textCanvas, rect.left, rect.top, w, h, 0, 0, colour);
}

void DrawLabelLine(Frame* frame, const char16_t* text, int32_t count, const Rect& rect, uint16_t code) {
  if (BoxedLabelClass(code)) {
    SetTextColour(frame->kit->context, WHITE_RGB);
    DrawText(frame->kit->context, text, count, Rect{rect.left, rect.top, rect.right, rect.bottom}, TEXT_FLAGS);
  } else {
    DrawHaloText(frame, text, count, rect, Rgb24To565(LabelColour(code)));
  }
}

// One or two lines of text in `rect`: with a line break at k < count, the
// first k characters in the upper half and the rest in the lower half.
void DrawLabelText(Frame* frame, const char16_t* text, int32_t count, const Rect& rect, uint16_t code) {
  if (BoxedLabelClass(code)) {
    BlitKeyedBlend(&frame->kit->canvas, &frame->kit->boxCanvas, rect.left - BOX_MARGIN, rect.top - BOX_MARGIN,
                   rect.right - rect.left + 2 * BOX_MARGIN, rect.bottom - rect.top + 2 * BOX_MARGIN, 0, 0, BOX_WEIGHT);
  }
  const char16_t* found = std::find(text, text + count, LINE_BREAK);
  if (found == text + count) {
    DrawLabelLine(frame, text, count, rect, code);
    return;
  }
  const int32_t k = static_cast<int32_t>(found - text);
  const int32_t middle = rect.top + (rect.bottom - rect.top) / 2;
  DrawLabelLine(frame, text, k, Rect{rect.left, rect.top, rect.right, middle}, code);
  DrawLabelLine(frame, text + k + 1, count - k - 1, Rect{rect.left, middle, rect.right, rect.bottom}, code);
}

void DropBoxedLabel(uint16_t code, Rect* rect) {
  if (!BoxedLabelClass(code)) return;
  rect->top += BOXED_LABEL_DROP;
  rect->bottom += BOXED_LABEL_DROP;
}

// The widths of the two lines of a label, each evened up, and their heights.
struct TwoLines {
  int32_t w1, h1, w2, h2;
};

TwoLines MeasureLines(Frame* frame, const LabelText& text) {
  TextSize first = Measure(frame, text.chars, text.lineBreak);
  TextSize second = Measure(frame, text.chars + text.lineBreak + 1, text.count - text.lineBreak - 1);
  return TwoLines{EvenUp(first.width), first.height, EvenUp(second.width), second.height};
}

// The rectangle of a point or offset label around the anchor.
Rect LabelAround(Frame* frame, const LabelText& text, Point a, bool belowSymbol, bool offsetLabel) {
  const TextSize whole = Measure(frame, text.chars, text.count);
  const TextSize first = Measure(frame, text.chars, 1);
  const int32_t ch = first.height;
  if (text.lineBreak < 0) {
    const int32_t w = EvenUp(whole.width);
    if (belowSymbol) return Rect{a.x - w / 2, a.y, a.x + w / 2, a.y + ch};
    return Rect{a.x - w / 2, a.y - EvenUp(whole.height) / 2, a.x + w / 2, a.y + ch / 2};
  }
  const TwoLines lines = MeasureLines(frame, text);
  if (offsetLabel) {
    const int32_t half = EvenUp(lines.w1 >= lines.w2 ? lines.w1 : lines.w2) / 2;
    return Rect{a.x - half, a.y, a.x + half, a.y + 2 * ch};
  }
  const int32_t half = std::max(lines.w1, lines.w2) / 2;
  if (belowSymbol) return Rect{a.x - half, a.y, a.x + half, a.y + 2 * ch};
  const int32_t h = lines.w1 < lines.w2 ? EvenUp(lines.h2) : EvenUp(lines.h1);
  return Rect{a.x - half, a.y - h, a.x + half, a.y + ch};
}

// Characters set one by one along the record's angle: dropped whole when
// any character after the first would overlap a placed label.
void DrawAngledLabel(Frame* frame, const NameRecord& record, const LabelText& text, Point a, Point pixel,
                     PlacedLabels* placed) {
  const TextSize whole = Measure(frame, text.chars, text.count);
  const TextSize first = Measure(frame, text.chars, 1);
  const int32_t w = EvenUp(whole.width), cw = first.width, ch = first.height;
  const int32_t degrees = record.extra2 < 180 ? record.extra2 + 180 : record.extra2 - 180;
  const int64_t s = Sin(degrees * 10), c = Cos(degrees * 10);
  const int64_t d = (w - cw) / 2;
  const int64_t cx = a.x + ((c * d) >> TRIG_SHIFT);
  const int64_t cy = a.y - ((s * d) >> TRIG_SHIFT);
  const auto stepX = static_cast<int32_t>(((c * (d - cw)) >> TRIG_SHIFT) - ((c * d) >> TRIG_SHIFT));
  const auto stepY = static_cast<int32_t>((a.y - ((s * (d - cw)) >> TRIG_SHIFT)) - (a.y - ((s * d) >> TRIG_SHIFT)));

  Rect rects[NAME_TEXT_MAX_CHARS];
  rects[0] = Rect{static_cast<int32_t>(cx - cw / 2), static_cast<int32_t>(cy - ch / 2),
                       static_cast<int32_t>(cx + cw / 2), static_cast<int32_t>(cy + ch / 2)};
  for (int32_t i = 1; i < text.count; ++i) {
    const TextSize one = Measure(frame, text.chars + i, 1);
    Rect& r = rects[i];
    r.right = rects[i - 1].right + stepX;
    r.left = r.right - one.width;
    r.top = rects[i - 1].top + stepY;
    r.bottom = r.top + one.height;
    DropBoxedLabel(record.classCode, &r);
    if (!IsFree(*placed, r)) {
      CountLabel(frame, NAME_KIND_ANGLED, false);
      return;
    }
  }
  CountLabel(frame, NAME_KIND_ANGLED, true);
  DrawExtraSymbol(frame, record, pixel);
  for (int32_t i = 0; i < text.count; ++i) {
    DrawLabelText(frame, text.chars + i, 1, rects[i], record.classCode);
    AddPlaced(placed, rects[i]);
  }
}

void DrawPointLabel(Frame* frame, const NameRecord& record, const LabelText& text, Point a, Point pixel,
                    bool belowSymbol, PlacedLabels* placed) {
  if ((record.attributes & NAME_ATTR_ROTATED) != 0) {
    DrawAngledLabel(frame, record, text, a, pixel, placed);
    return;
  }
  Rect rect = LabelAround(frame, text, a, belowSymbol, false);
  DropBoxedLabel(record.classCode, &rect);
  const bool free = IsFree(*placed, rect);
  CountLabel(frame, NAME_KIND_POINT, free);
  if (!free) return;
  AddPlaced(placed, rect);
  DrawExtraSymbol(frame, record, pixel);
  DrawLabelText(frame, text.chars, text.count, rect, record.classCode);
}

// Type 2. The record's two anchor offsets are not used: the label is placed
// around the anchor it is given (below its mark or symbol), as for type 1.
void DrawOffsetLabel(Frame* frame, const NameRecord& record, const LabelText& text, Point a, Point pixel,
                     bool belowSymbol, PlacedLabels* placed) {
  Rect rect = LabelAround(frame, text, a, belowSymbol, true);
  if (rect.left < 0 || rect.top < 0 || rect.right < 0 || rect.bottom < 0) return;
  DropBoxedLabel(record.classCode, &rect);
  const bool free = IsFree(*placed, rect);
  CountLabel(frame, NAME_KIND_ANCHORED, free);
  if (!free) return;
  AddPlaced(placed, rect);
  DrawExtraSymbol(frame, record, pixel);
  DrawLabelText(frame, text.chars, text.count, rect, record.classCode);
}

// Type 3: each character at its own place along a line, from the anchor
// moved by the record's placement offsets; no collision test.
void DrawPlacedLabel(Frame* frame, const NameRecord& record, const LabelText& text, Point pixel) {
  const TextSize whole = Measure(frame, text.chars, text.count);
  const bool stepsRight = (record.classCode & ~STEPPING_CLASS_LOW_BITS) == STEPPING_CLASSES;
  const int32_t shift = record.style & NAME_STYLE_SHIFT_MASK;
  Point16 p{record.x, record.y};
  Point at = MapPoint(frame->view, p);
  int32_t prevWidth = whole.width;
  if (stepsRight) {
    at.x = at.x - whole.width / 2 - whole.width;
    at.y += whole.height;
  }
  int32_t nextOffset = 0;
  CountLabel(frame, NAME_KIND_LINE, true);
  for (int32_t i = 0; i < text.count; ++i) {
    const bool ownOffset = record.placement != nullptr && record.placement[i] < PLACEMENT_NO_OFFSET;
    if (stepsRight || !ownOffset || record.placementOffsets == nullptr || nextOffset >= record.offsetCount) {
      at.x += prevWidth;
    } else {
      const auto dx = static_cast<int8_t>(record.placementOffsets[2 * nextOffset]);
      const auto dy = static_cast<int8_t>(record.placementOffsets[2 * nextOffset + 1]);
      ++nextOffset;
      p.x = static_cast<int16_t>(p.x + (dx * (1 << shift)));
      p.y = static_cast<int16_t>(p.y + (dy * (1 << shift)));
      at = MapPoint(frame->view, p);
    }
    const TextSize one = Measure(frame, text.chars + i, 1);
    prevWidth = one.width;
    Rect rect{at.x - one.width / 2, at.y - one.height / 2, at.x + one.width / 2, at.y + one.height / 2};
    DropBoxedLabel(record.classCode, &rect);
    DrawExtraSymbol(frame, record, pixel);
    DrawLabelText(frame, text.chars + i, 1, rect, record.classCode);
  }
}

void DrawLabel(Frame* frame, const NameRecord& record, const LabelText& text, Point anchor, Point pixel,
               bool belowSymbol, PlacedLabels* placed) {
  switch ((record.attributes >> NAME_TYPE_SHIFT) & NAME_TYPE_MASK) {
    case NAME_TYPE_POINT:
      DrawPointLabel(frame, record, text, anchor, pixel, belowSymbol, placed);
      break;
    case NAME_TYPE_ANCHORED:
      DrawOffsetLabel(frame, record, text, anchor, pixel, belowSymbol, placed);
      break;
    case NAME_TYPE_LINE:
      DrawPlacedLabel(frame, record, text, pixel);
      break;
    default:
      break;
  }
}

// Draws one record's mark or symbol and label.
void DrawRecord(Frame* frame, const NameRecord& record, Point pixel, PlacedLabels* placed) {
  const LabelText text = TextOf(record);
  Point anchor = pixel;
  int32_t drawn = DrawMark(frame, record, &anchor) == 1 ? MARK_DRAWN : DrawSymbol(frame, record, text, &anchor);
  if (text.count == 0 || text.chars[0] == 0 || drawn == SYMBOL_NUMBERED || drawn == SYMBOL_HIDDEN) return;
  DrawLabel(frame, record, text, anchor, pixel, drawn != SYMBOL_NONE, placed);
}

// Draws the parcel's visible records; false when a newer request stopped it.
bool DrawNameParcel(Frame* frame, const NameParcel& parcel, uint32_t visibleBit, PlacedLabels* placed) {
  const FrameView& view = frame->view;
  const InclusiveRect canvasArea{0, 0, view.width, view.height};
  for (const NameGroup& group : parcel.groups) {
    if (group.records == nullptr) continue;
    for (uint16_t r = 0; r < group.recordCount; ++r) {
      const NameRecord& record = group.records[r];
      const Point16 at{record.x, record.y};
      if (((record.attributes >> NAME_VISIBILITY_SHIFT) & visibleBit) == 0 || !InWindow(view, at, at)) continue;
      if (frame->AbortRequested()) return false;
      const Point pixel = MapPoint(view, at);
      if (PointInRect(canvasArea, pixel) == 0) continue;
      DrawRecord(frame, record, pixel, placed);
    }
  }
  return true;
}

}  // namespace

void DrawNames(Frame* frame) {
  SetBackgroundMode(frame->kit->context, BK_TRANSPARENT);
  SetBackgroundMode(frame->kit->textContext, BK_TRANSPARENT);
  const int32_t detail = DetailClass(*frame);
  const ParcelList* list = frame->roadParcels;
  if (detail < 0 || list == nullptr || list->count == 0) return;
  const uint32_t visibleBit = 16u >> detail;
  PlacedLabels* placed = &frame->kit->placedLabels;
  placed->count = 0;
  for (uint16_t i = 0; i < list->count; ++i) {
    const NameParcel* parcel = frame->names[i];
    if (parcel == nullptr) continue;
    SetParcelView(&frame->view, list->entries[i]);
    if (!DrawNameParcel(frame, *parcel, visibleBit, placed)) return;
  }
}
