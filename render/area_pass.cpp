// The background passes: base areas (land use in flat colours) and every
// other background feature (water, parks, railways, boundaries, buildings)
// as filled areas, outlines and lines, styled by their class codes.
#include "render/area_pass.h"


#include "geometry/raster.h"
#include "mapdata/background_records.h"
#include "render/passes.h"

namespace {

// Group words below this value (kind 0) carry no features to draw.
constexpr uint16_t FIRST_DRAWN_GROUP_WORD = 1u << FEATURE_KIND_SHIFT;

uint16_t GroupKind(uint16_t groupWord) { return static_cast<uint16_t>(groupWord >> FEATURE_KIND_SHIFT); }

// Maps the item's points into *work (the kit's scratch); false for an item
// without points or with more than an item can hold.
bool MapItem(const FrameView& view, const FeatureItem& item, ItemPixels* work) {
  if (item.points == nullptr || item.pointCount == 0 || item.pointCount > MAX_ITEM_POINTS) return false;
  work->count = item.pointCount;
  for (int32_t i = 0; i < work->count; ++i) {
    const FeaturePoint& p = item.points[i];
    work->pixels[i] = MapPoint(view, Point16{p.x, p.y});
    work->flags[i] = p.toggle;
  }
  return true;
}

// The outline of an area: its edges, the closing edge from the last point
// back to the first included, each unless its start point is flagged.
void DrawOutline(Frame* frame, const ItemPixels& area, const Style& style) {
  DrawPolyline(frame, area.pixels, area.flags, area.count, style);
  const int32_t last = area.count - 1;
  if (last > 0 && area.flags[last] == 0) DrawSegment(frame, area.pixels[last], area.pixels[0], style, nullptr);
}

// Calls draw(group word, item) for each item with points of every group of
// the parcel, in class slot and group order, until draw returns false.
// Returns false when it stopped early.
template <typename Draw>
bool ForEachItem(const BackgroundParcel& parcel, Draw draw) {
  for (const FeatureClass& featureClass : parcel.classes) {
    if (featureClass.groups == nullptr || featureClass.groupWords == nullptr) continue;
    for (uint16_t g = 0; g < featureClass.groupCount; ++g) {
      const FeatureGroup& group = featureClass.groups[g];
      if (!draw(featureClass.groupWords[g], group)) return false;
    }
  }
  return true;
}

// Calls drawParcel(parcel) for each entry of `list` that has a background
// among the frame's `parcels` (slot i for entry i), with the entry's parcel
// view set, until it returns false.
template <typename DrawParcel>
void ForEachBackground(Frame* frame, const ParcelList& list, BackgroundParcel* const* parcels,
                       DrawParcel drawParcel) {
  for (uint16_t i = 0; i < list.count; ++i) {
    SetParcelView(&frame->view, list.entries[i]);
    if (parcels[i] != nullptr && !drawParcel(*parcels[i])) return;
  }
}

}  // namespace

void DrawSegment(Frame* frame, Point p, Point q, const Style& style, const Style* centre) {
  const Rect clip = frame->Clip();
  switch (style.lineType) {
    case LINE_RAILWAY:
      DrawRailwayLine(&frame->kit->canvas, p.x, p.y, q.x, q.y, clip);
      break;
    case LINE_DOTTED:
      DrawDottedLine(&frame->kit->canvas, p.x, p.y, q.x, q.y, StyleColour(style), clip);
      break;
    default:
      DrawLine(&frame->kit->canvas, p.x, p.y, q.x, q.y, StyleColour(style),
               StyleColour(centre != nullptr ? *centre : style), style.width, clip);
      break;
  }
}

void DrawPolyline(Frame* frame, const Point* pixels, const int32_t* flags, int32_t n, const Style& style) {
  for (int32_t i = 0; i + 1 < n; ++i) {
    if (flags == nullptr || flags[i] == 0) DrawSegment(frame, pixels[i], pixels[i + 1], style, nullptr);
  }
}

void FillArea(Frame* frame, const Point* pixels, int32_t n, const Style& style) {
  // FillPolygon closes the polygon itself, from the last point to the first.
  FillPolygon(&frame->kit->canvas, pixels, n, StyleColour(style), frame->Clip());
}

void DrawBaseAreas(Frame* frame) {
  if (DetailClass(*frame) < 0 || frame->areaParcels == nullptr) return;
  const int32_t metres = SCALE_STEPS[frame->view.step].metres;
  ItemPixels& work = frame->kit->itemPixels;
  ForEachBackground(frame, *frame->areaParcels, frame->areas.data(), [&](const BackgroundParcel& parcel) {
    return ForEachItem(parcel, [&](uint16_t groupWord, const FeatureGroup& group) {
      if (frame->AbortRequested()) return false;
      if (GroupKind(groupWord) != FEATURE_KIND_AREA || group.items == nullptr) return true;
      for (uint16_t i = 0; i < group.itemCount; ++i) {
        const FeatureItem& item = group.items[i];
        int32_t style = BaseAreaStyle(item.typeCode, metres);
        if (style == NO_STYLE || !MapItem(frame->view, item, &work)) continue;
        FillArea(frame, work.pixels, work.count, BACKGROUND_STYLES[style]);
      }
      return true;
    });
  });
}

void DrawFeatures(Frame* frame) {
  const ParcelList* list = LineParcels(*frame);
  if (list == nullptr) return;
  if (frame->areaLevelEntry == nullptr) return;
  ItemPixels& work = frame->kit->itemPixels;
  ForEachBackground(frame, *list, frame->lines.data(), [&](const BackgroundParcel& parcel) {
    return ForEachItem(parcel, [&](uint16_t groupWord, const FeatureGroup& group) {
      if (group.items == nullptr) return true;
      for (uint16_t i = 0; i < group.itemCount; ++i) {
        const FeatureItem& item = group.items[i];
        if (item.points == nullptr || item.pointCount == 0) continue;
        if (frame->AbortRequested()) return false;
        int32_t style = FeatureStyle(item.typeCode);
        if (style == NO_STYLE || groupWord < FIRST_DRAWN_GROUP_WORD) continue;
        if (!MapItem(frame->view, item, &work)) continue;
        if (GroupKind(groupWord) == FEATURE_KIND_AREA) {
          FillArea(frame, work.pixels, work.count, BACKGROUND_STYLES[style]);
          if (!IsFillOnlyStyle(style)) DrawOutline(frame, work, BACKGROUND_STYLES[STYLE_OUTLINE]);
        } else {
          DrawPolyline(frame, work.pixels, work.flags, work.count, BACKGROUND_STYLES[style]);
        }
      }
      return true;
    });
  });
}
