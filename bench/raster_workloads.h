// The raster benchmark workloads: random blobs (polygons) and roads
// (polylines) from a splitmix64 generator, the same shapes for our
// rasterisers and for the peers, and the frames built from them.
#pragma once

#include <cstdint>
#include <vector>

#include "canvas/sizes.h"
#include "geometry/types.h"
#include "tools/splitmix64.h"

// The benchmark canvas is the renderer's: MAP_CANVAS_WIDTH × MAP_CANVAS_HEIGHT.


using Shape = std::vector<Point>;

// n vertices around (cx, cy): vertex i at angle 2 pi (i + U(0, 0.8)) / n and
// radius R * U(0.5, 1), rounded.
Shape Blob(SplitMix64* random, int32_t n, double cx, double cy, double radius);
// A polyline of segs segments from a random start and heading; each segment
// turns by U(-0.6, 0.6) radians and is U(lmin, lmax) long; points rounded.
Shape Road(SplitMix64* random, int32_t segs, double lmin, double lmax);

struct StyledRoad {
  Shape points;
  int32_t width;        // 1, 3 or 5: the casing
  int32_t centreWidth;  // 0, 1 or 3: drawn over the casing in the centre colour
};

// A dense map frame: background, areas, road casings, road centres.
struct WorkloadFrame {
  std::vector<Shape> areas;
  std::vector<StyledRoad> roads;
};

// (a) seed 1: 2,000 blobs of 10..40 vertices, radius 8..60.
std::vector<Shape> PolygonWorkload();
// (b) seed 2: 10,000 roads of 2..20 segments of 4..30 pixels.
std::vector<Shape> RoadWorkload();
// (c) seed 3: 1,200 blobs (4..24 vertices, radius 4..25) and 4,000 roads of
// 1..5 segments of 4..20 pixels; 75 % width 1, 17 % width 3 with a width-1
// centre, 8 % width 5 with a width-3 centre.
WorkloadFrame CityFrame();
// (c') seed 4: 800 blobs (4..40 vertices, radius 6..50) and 5,000 roads of
// 2..12 segments of 5..40 pixels, styled as (c).
WorkloadFrame OverloadFrame();

// Colours (RGB565 and the same as 8-bit channels for the peers).
struct BenchColour {
  uint8_t r, g, b;
  uint16_t Rgb565() const;
};
constexpr int32_t AREA_COLOURS = 8;
extern const BenchColour AREA_PALETTE[AREA_COLOURS];
extern const BenchColour BACKGROUND;
// Road colours by casing width: casing and centre.
BenchColour CasingColour(int32_t width);
BenchColour CentreColour(int32_t width);
