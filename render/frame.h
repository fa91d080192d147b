// What the drawing passes of one frame work on: the view, the parcel lists
// with the decoded parcels of their entries, the parcel index's entries of
// the step's levels, the kit of drawing resources, the day's track, and the
// question whether a newer request has made the frame obsolete. The passes
// read the frame and draw with the kit; they fetch nothing themselves and
// own nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "logs/nmea_reader.h"
#include "mapdata/background_records.h"
#include "mapdata/map_database.h"
#include "mapdata/name_records.h"
#include "mapdata/parcel_list.h"
#include "mapdata/road_records.h"
#include "render/draw_kit.h"
#include "render/frame_view.h"

struct Frame {
  FrameView view;
  const ParcelList* roadParcels = nullptr;  // roads and names
  const ParcelList* areaParcels = nullptr;  // background areas (and lines, see LineParcels)
  // The decoded parcels of the lists' entries: entry i of a list has its
  // parcel in slot i, null where it has none of that kind or the frame's
  // passes do not draw that kind. Each holds a slot for every entry of its
  // list, however long the list is. Read-only while the frame holds them.
  std::vector<RoadParcel*> roads;        // of roadParcels
  std::vector<NameParcel*> names;        // of roadParcels
  std::vector<BackgroundParcel*> areas;  // of areaParcels
  std::vector<BackgroundParcel*> lines;  // of LineParcels
  // The parcel index's entries of the step's road and area levels (null
  // when the map has no such level): the names' display thresholds, and
  // whether background lines are drawn.
  const LevelEntry* roadLevelEntry = nullptr;
  const LevelEntry* areaLevelEntry = nullptr;
  DrawKit* kit = nullptr;        // what the frame is drawn into and with
  const Track* track = nullptr;  // the day's track, or null
  // Requests counted by the renderer, and the count this frame started
  // from: a different count means a newer request has come.
  const std::atomic<uint32_t>* requests = nullptr;
  uint32_t frameRequests = 0;

  // True once a newer request has come: the passes stop at their next item.
  bool AbortRequested() const { return requests != nullptr && requests->load() != frameRequests; }
  // The clip rectangle of every drawer: the whole canvas.
  Rect Clip() const { return Rect{0, 0, view.width, view.height}; }
};

// The level code of the step for roads and names, background lines, areas.
inline uint16_t RoadLevel(const Frame& frame) { return SCALE_STEPS[frame.view.step].roadLevel; }
inline uint16_t AreaLevel(const Frame& frame) { return SCALE_STEPS[frame.view.step].areaLevel; }

// The list background lines are drawn from: the areas' list when the
// line and area level columns agree at the step, else the roads' list.
inline const ParcelList* LineParcels(const Frame& frame) {
  const ScaleStep& s = SCALE_STEPS[frame.view.step];
  return s.lineLevel == s.areaLevel ? frame.areaParcels : frame.roadParcels;
}
