// Drawing the raster workloads with our rasterisers and with the peers:
// cairo (RGB565 image surface, no antialiasing, even-odd fill) and
// Anti-Grain Geometry (RGB565, aliased scanlines, even-odd fill).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "canvas/canvas.h"
#include "bench/raster_workloads.h"

// Ours.
void FillShapes(Canvas* canvas, const std::vector<Shape>& shapes);
void DrawRoads(Canvas* canvas, const std::vector<Shape>& roads, int32_t width);
void DrawFrame(Canvas* canvas, const WorkloadFrame& frame);

// cairo: a MAP_CANVAS_WIDTH x MAP_CANVAS_HEIGHT RGB16_565 image surface.
class CairoTarget {
 public:
  CairoTarget();
  ~CairoTarget();
  CairoTarget(const CairoTarget&) = delete;
  CairoTarget& operator=(const CairoTarget&) = delete;

  void FillShapes(const std::vector<Shape>& shapes);
  void StrokeRoads(const std::vector<Shape>& roads, int32_t width);
  void DrawFrame(const WorkloadFrame& frame);
  // Makes sure every drawing operation has reached the pixels.
  void Flush();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};

// Anti-Grain Geometry: a MAP_CANVAS_WIDTH x MAP_CANVAS_HEIGHT RGB565 buffer.
class AggTarget {
 public:
  AggTarget();
  ~AggTarget();
  AggTarget(const AggTarget&) = delete;
  AggTarget& operator=(const AggTarget&) = delete;

  void FillShapes(const std::vector<Shape>& shapes);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};
