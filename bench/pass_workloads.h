// The raster workload's dense city frame (c) and the label workload as a map
// of one parcel, drawn by the renderer's own passes: the frame's blobs as
// background areas (five base-area and three fill-only feature classes, so
// that they keep eight colours), its roads as road objects of the classes
// whose styles draw the workload's widths (1; 3 with a 1-pixel centre; 5
// with a 3-pixel centre), its labels as point names packed in rows so that
// none overlaps another and every one is drawn.
//
// The view shows the parcel at step 0 (2 map units per pixel) centred on the
// canvas, so that the 4096-unit parcel spans 2048 x 2048 pixels around the
// 996 x 580 canvas and every workload pixel is exactly one parcel point: a
// point (x, y) of the workload lands on canvas pixel (x, y).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/raster_workloads.h"
#include "canvas/canvas.h"
#include "geometry/types.h"
#include "mapdata/map_owner.h"
#include "render/draw_kit.h"
#include "render/frame.h"

// The name class of the workload's labels: a haloed label without a mark,
// symbol or box.
constexpr uint16_t WORKLOAD_LABEL_CLASS = 400;

// A label of the workload where the names pass will place it: its text and
// the anchor pixel it is centred on.
struct PlacedWorkloadLabel {
  std::u16string text;
  Point anchor;
};

// Everything a frame of the passes draws with, over the workload map.
class PassRig {
 public:
  // The renderer's kit of drawing resources for a 996 x 580 frame.
  PassRig();
  // Gives the frame's parcels back, frees the parcel lists and the map.
  ~PassRig();
  PassRig(const PassRig&) = delete;
  PassRig& operator=(const PassRig&) = delete;

  // Writes the map of `city` and `labels` to the host file `mapPath`, loads
  // it and sets the frame up as the renderer does: the parcels of the view,
  // decoded and held by the frame. Returns 0, or -1 with the reason
  // on stderr (a label that does not fit the canvas, a map that cannot be
  // written or loaded, a view that does not map the workload's pixels
  // exactly).
  int Open(const WorkloadFrame& city, const std::vector<std::u16string>& labels, const std::string& mapPath);

  // The dense frame: the land colour, then base areas, features and roads.
  void DrawDenseFrame();
  // The names pass alone, over whatever the canvas holds.
  void DrawLabels();

  // The labels as written, with their anchors (valid after Open).
  const std::vector<PlacedWorkloadLabel>& Labels() const { return placed; }
  Frame& GetFrame() { return frame; }
  Font* LabelFont() const { return kit.labelFont; }

 private:
  int PlaceLabels(const std::vector<std::u16string>& labels);

  DrawKit kit;
  std::unique_ptr<MapDataOwner> map;
  ParcelList* roadParcels = nullptr;
  ParcelList* areaParcels = nullptr;
  std::vector<PlacedWorkloadLabel> placed;
  Frame frame;
};
