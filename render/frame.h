// What the drawing passes of one frame work on: the view, the parcel lists,
// the canvases, pictures and fonts, the day's track, and the question
// whether a newer request has made the frame obsolete. The renderer owns
// everything a frame points to; the passes own nothing.
#pragma once

#include <atomic>
#include <cstdint>

#include "canvas/canvas.h"
#include "logs/nmea_reader.h"
#include "mapdata/parcel_list.h"
#include "platform/gdi.h"
#include "render/frame_view.h"

struct Frame {
  FrameView view;
  const ParcelList* roadParcels = nullptr;  // roads and names
  const ParcelList* areaParcels = nullptr;  // background areas (and lines, see LineParcels)
  Canvas* canvas = nullptr;                 // the frame being drawn
  DrawingContext* context = nullptr;        // draws text into `canvas`
  Canvas* textCanvas = nullptr;             // scratch surface of the label text
  DrawingContext* textContext = nullptr;
  const Canvas* boxCanvas = nullptr;        // blue, under boxed labels
  const Canvas* symbolAtlas = nullptr;
  const Canvas* markAtlas = nullptr;
  const Canvas* flagAtlas = nullptr;
  Font* labelFont = nullptr;
  Font* smallFont = nullptr;
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
