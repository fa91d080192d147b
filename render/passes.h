// The drawing passes of a frame, each a free function over the frame, and
// DrawLayers, which runs them in their order.
#pragma once

#include <cstdint>

#include "render/frame.h"

// The passes, in the order DrawLayers runs them.
enum RenderPass : uint8_t {
  PASS_BASE_AREAS = 0,
  PASS_FEATURES = 1,
  PASS_ROADS = 2,
  PASS_NAMES = 3,
  PASS_TRACK = 4,
  PASS_COUNT = 5,
};
static_assert(PASS_COUNT == FRAME_STATS_PASSES, "a frame's statistics time every pass");

// Called on the worker before each pass that runs, with the frame as drawn
// so far (a seam for tests that look at a frame between passes or make a
// newer request arrive inside a given pass).
struct PassObserver {
  void (*beforePass)(void* context, RenderPass pass, const Frame& frame) = nullptr;
  void* context = nullptr;
};

// Draws the map and the track into frame->kit->canvas: background areas,
// background lines (not at level code 10), roads and names (not at level
// code 10), then the track. Draws nothing when either parcel list is null.
// A pass stops at its next item once a newer request has come; the later
// passes still run (each stops at once in turn, the track is drawn whole).
void DrawLayers(Frame* frame, const PassObserver& observer = PassObserver{});

// Background areas of the base-area classes (areaParcels).
void DrawBaseAreas(Frame* frame);
// Every other background feature, as areas (filled, most outlined) and lines.
void DrawFeatures(Frame* frame);
// Roads by class, as two-colour lines.
void DrawRoads(Frame* frame);
// Names with their marks and symbols, without overlapping labels.
void DrawNames(Frame* frame);
// The day's track: a dot per point in the canvas, start and end flags.
void DrawTrack(Frame* frame);

// The detail class of the frame's step: the index (0..4) of the first
// display-scale threshold of the step's road level entry that is at least
// 100 x the step's scale value; -1 without such a level entry or threshold.
int32_t DetailClass(const Frame& frame);
// The same for a scale step (0..26) of the map with parcel index `index`
// (null: -1).
int32_t DetailClassAt(const ParcelIndex* index, uint16_t step);
// The same by the thresholds of `level` (null: -1).
int32_t DetailClassOf(const LevelEntry* level, uint16_t step);
