// The road pass: each road group's links drawn as two-colour lines in the
// style of the group's class, segment by segment, skipping segments that do
// not touch the loaded area.
#include "mapdata/road_records.h"
#include "render/area_pass.h"
#include "render/passes.h"

namespace {

// The styles of a group's lines; alternate groups take class 0's.
struct RoadStyles {
  const Style* edge;
  const Style* centre;
};

RoadStyles StylesOf(const RoadGroup& group) {
  const int32_t roadClass = group.alternate != 0 ? 0 : group.drawClass;
  return RoadStyles{&ROAD_STYLES[roadClass], &ROAD_STYLES[ROAD_CENTRE_STYLES + roadClass]};
}

// Walks one link (a chain of shape segments) point by point and draws each
// step between two different points that may touch the loaded area. A
// segment's end pixel is kept as the next segment's start pixel while the
// drawn segments follow on from each other.
void DrawLink(Frame* frame, const ShapeSegment* first, const RoadStyles& styles) {
  const FrameView& view = frame->view;
  Point16 prev{first->x, first->y};
  Point prevPixel{};
  bool prevMapped = false;  // prevPixel is the pixel of prev
  for (const ShapeSegment* node = first; node != nullptr; node = node->next) {
    Point16 cur{node->x, node->y};
    for (int32_t i = 0;; ++i) {
      if (cur.x != prev.x || cur.y != prev.y) {
        if (InWindow(view, prev, cur)) {
          if (!prevMapped) prevPixel = MapPoint(view, prev);
          Point curPixel = MapPoint(view, cur);
          DrawSegment(frame, prevPixel, curPixel, *styles.edge, styles.centre);
          prevPixel = curPixel;
          prevMapped = true;
        } else {
          prevMapped = false;
        }
        prev = cur;
      }
      if (i >= node->deltaCount) break;
      // Running sums of signed bytes, kept in 16 bits as the stored points are.
      cur.x = static_cast<int16_t>(cur.x + node->deltas[2 * i]);
      cur.y = static_cast<int16_t>(cur.y + node->deltas[2 * i + 1]);
    }
  }
}

// Draws the parcel's groups; false when a newer request stopped it.
bool DrawRoadParcel(Frame* frame, const RoadParcel& parcel) {
  const int32_t groups = parcel.groupCount < ROAD_GROUP_SLOTS ? parcel.groupCount : ROAD_GROUP_SLOTS;
  for (int32_t g = 0; g < groups; ++g) {
    const RoadGroup& group = parcel.groups[g];
    if (group.objects == nullptr || group.decodedCount <= 0 || group.drawClass >= ROAD_CLASS_COUNT) continue;
    const RoadStyles styles = StylesOf(group);
    const int32_t links = group.decodedCount < group.objectCount ? group.decodedCount : group.objectCount;
    ++frame->stats.roadGroups;
    for (int32_t l = 0; l < links; ++l) {
      if (frame->AbortRequested()) return false;
      if (group.objects[l] == nullptr) continue;
      DrawLink(frame, group.objects[l], styles);
      ++frame->stats.roadLinks;
    }
  }
  return true;
}

}  // namespace

void DrawRoads(Frame* frame) {
  const ParcelList* list = frame->roadParcels;
  if (list == nullptr) return;
  for (uint16_t i = 0; i < list->count; ++i) {
    const RoadParcel* parcel = frame->roads[i];
    if (parcel == nullptr) continue;
    SetParcelView(&frame->view, list->entries[i]);
    if (!DrawRoadParcel(frame, *parcel)) return;
  }
}
