#include "bench/raster_workloads.h"

#include <cmath>

namespace {

constexpr double TWO_PI = 6.283185307179586;

Point Rounded(double x, double y) { return Point{static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y))}; }

// Draws the blob's parameters in argument order: n, cx, cy, R.
Shape NextBlob(SplitMix64* random, int32_t nLo, int32_t nHi, double rLo, double rHi) {
  int32_t n = random->Range(nLo, nHi);
  double cx = random->Uniform(0, MAP_CANVAS_WIDTH);
  double cy = random->Uniform(0, MAP_CANVAS_HEIGHT);
  double radius = random->Uniform(rLo, rHi);
  return Blob(random, n, cx, cy, radius);
}

// The road, then its style k = range(0, 99).
StyledRoad NextStyledRoad(SplitMix64* random, int32_t segLo, int32_t segHi, double lmin, double lmax) {
  int32_t segs = random->Range(segLo, segHi);
  StyledRoad road{Road(random, segs, lmin, lmax), 1, 0};
  int32_t k = random->Range(0, 99);
  if (k >= 92) {
    road.width = 5;
    road.centreWidth = 3;
  } else if (k >= 75) {
    road.width = 3;
    road.centreWidth = 1;
  }
  return road;
}

WorkloadFrame MakeFrame(uint64_t seed, int32_t blobs, int32_t nHi, double rLo, double rHi, int32_t roads,
                        int32_t segLo, int32_t segHi, double lmin, double lmax) {
  SplitMix64 random(seed);
  WorkloadFrame frame;
  for (int32_t i = 0; i < blobs; ++i) frame.areas.push_back(NextBlob(&random, 4, nHi, rLo, rHi));
  for (int32_t i = 0; i < roads; ++i) frame.roads.push_back(NextStyledRoad(&random, segLo, segHi, lmin, lmax));
  return frame;
}

}  // namespace

Shape Blob(SplitMix64* random, int32_t n, double cx, double cy, double radius) {
  Shape shape;
  for (int32_t i = 0; i < n; ++i) {
    double angle = TWO_PI * (i + random->Uniform(0, 0.8)) / n;
    double r = radius * random->Uniform(0.5, 1);
    shape.push_back(Rounded(cx + r * std::cos(angle), cy + r * std::sin(angle)));
  }
  return shape;
}

Shape Road(SplitMix64* random, int32_t segs, double lmin, double lmax) {
  double x = random->Uniform(0, MAP_CANVAS_WIDTH);
  double y = random->Uniform(0, MAP_CANVAS_HEIGHT);
  double heading = random->Uniform(0, TWO_PI);
  Shape shape{Rounded(x, y)};
  for (int32_t i = 0; i < segs; ++i) {
    heading += random->Uniform(-0.6, 0.6);
    double length = random->Uniform(lmin, lmax);
    x += length * std::cos(heading);
    y += length * std::sin(heading);
    shape.push_back(Rounded(x, y));
  }
  return shape;
}

std::vector<Shape> PolygonWorkload() {
  SplitMix64 random(1);
  std::vector<Shape> shapes;
  for (int32_t i = 0; i < 2000; ++i) shapes.push_back(NextBlob(&random, 10, 40, 8, 60));
  return shapes;
}

std::vector<Shape> RoadWorkload() {
  SplitMix64 random(2);
  std::vector<Shape> roads;
  for (int32_t i = 0; i < 10000; ++i) {
    int32_t segs = random.Range(2, 20);
    roads.push_back(Road(&random, segs, 4, 30));
  }
  return roads;
}

WorkloadFrame CityFrame() { return MakeFrame(3, 1200, 24, 4, 25, 4000, 1, 5, 4, 20); }

WorkloadFrame OverloadFrame() { return MakeFrame(4, 800, 40, 6, 50, 5000, 2, 12, 5, 40); }

uint16_t BenchColour::Rgb565() const { return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)); }

const BenchColour AREA_PALETTE[AREA_COLOURS] = {{108, 152, 199}, {200, 230, 180}, {230, 210, 170}, {190, 190, 210},
                                                {160, 210, 160}, {240, 200, 200}, {220, 220, 150}, {180, 160, 140}};
const BenchColour BACKGROUND{248, 248, 192};

BenchColour CasingColour(int32_t width) {
  if (width == 5) return {200, 0, 30};
  if (width == 3) return {102, 62, 9};
  return {123, 102, 93};
}

BenchColour CentreColour(int32_t width) {
  if (width == 5) return {247, 119, 100};
  return {196, 171, 118};
}
