// Raster speed against the peers, side by side in one run: polygons (a),
// roads (b), the city frame (c) and the overload frame (c'), and the canvas
// fill, half-weight blend fill and keyed blits against a memset of the canvas.
#include <benchmark/benchmark.h>

#include <cstring>

#include "canvas/blit.h"
#include "canvas/canvas.h"
#include "geometry/raster.h"
#include "bench/raster_draw.h"
#include "bench/raster_workloads.h"

namespace {

constexpr int32_t SPRITE_SIZE = 32;
constexpr int32_t SPRITE_BLITS = 300;

void MakeBenchCanvas(Canvas* canvas) {
  CreateCanvas(canvas, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
  FillCanvas(canvas, BACKGROUND.Rgb565());
}

void BM_Memset(benchmark::State& state) {
  Canvas canvas;
  MakeBenchCanvas(&canvas);
  size_t bytes = static_cast<size_t>(canvas.stride) * canvas.height * 2;
  int value = 0;
  for (auto _ : state) {
    std::memset(canvas.pixels, value++ & 0xFF, bytes);
    benchmark::DoNotOptimize(canvas.pixels);
    benchmark::ClobberMemory();
  }
}

void BM_FillCanvas(benchmark::State& state) {
  Canvas canvas;
  MakeBenchCanvas(&canvas);
  uint16_t colour = 0;
  for (auto _ : state) {
    FillCanvas(&canvas, colour++);
    benchmark::ClobberMemory();
  }
}

void BM_BlendFillHalf(benchmark::State& state) {
  Canvas canvas;
  MakeBenchCanvas(&canvas);
  for (auto _ : state) {
    BlendFill(&canvas, 0, 0, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT, 0x001F, 128);
    benchmark::ClobberMemory();
  }
}

// 300 keyed 32 x 32 sprites: a disc on the key colour.
void BM_BlitKeyed300(benchmark::State& state) {
  Canvas canvas, sprite;
  MakeBenchCanvas(&canvas);
  CreateCanvas(&sprite, SPRITE_SIZE, SPRITE_SIZE);
  for (int32_t y = 0; y < SPRITE_SIZE; ++y) {
    for (int32_t x = 0; x < SPRITE_SIZE; ++x) {
      int32_t dx = 2 * x - SPRITE_SIZE + 1, dy = 2 * y - SPRITE_SIZE + 1;
      bool inDisc = dx * dx + dy * dy <= SPRITE_SIZE * SPRITE_SIZE;
      sprite.pixels[x + y * sprite.stride] = inDisc ? static_cast<uint16_t>(0x07E0 + x) : KEY_COLOUR;
    }
  }
  SplitMix64 random(5);
  std::vector<Point> places;
  for (int32_t i = 0; i < SPRITE_BLITS; ++i) {
    int32_t x = random.Range(0, MAP_CANVAS_WIDTH - SPRITE_SIZE);
    int32_t y = random.Range(0, MAP_CANVAS_HEIGHT - SPRITE_SIZE);
    places.push_back({x, y});
  }
  for (auto _ : state) {
    for (Point p : places) BlitKeyed(&canvas, &sprite, p.x, p.y, SPRITE_SIZE, SPRITE_SIZE, 0, 0);
    benchmark::ClobberMemory();
  }
}

void BM_PolygonsTevo(benchmark::State& state) {
  static const std::vector<Shape> shapes = PolygonWorkload();
  Canvas canvas;
  MakeBenchCanvas(&canvas);
  for (auto _ : state) {
    FillShapes(&canvas, shapes);
    benchmark::ClobberMemory();
  }
}

void BM_PolygonsCairo(benchmark::State& state) {
  static const std::vector<Shape> shapes = PolygonWorkload();
  CairoTarget target;
  for (auto _ : state) {
    target.FillShapes(shapes);
    target.Flush();
  }
}

void BM_PolygonsAgg(benchmark::State& state) {
  static const std::vector<Shape> shapes = PolygonWorkload();
  AggTarget target;
  for (auto _ : state) {
    target.FillShapes(shapes);
    benchmark::ClobberMemory();
  }
}

void BM_RoadsTevo(benchmark::State& state) {
  static const std::vector<Shape> roads = RoadWorkload();
  Canvas canvas;
  MakeBenchCanvas(&canvas);
  int32_t width = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    DrawRoads(&canvas, roads, width);
    benchmark::ClobberMemory();
  }
}

void BM_RoadsCairo(benchmark::State& state) {
  static const std::vector<Shape> roads = RoadWorkload();
  CairoTarget target;
  int32_t width = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    target.StrokeRoads(roads, width);
    target.Flush();
  }
}

const WorkloadFrame& FrameOf(int64_t which) {
  static const WorkloadFrame city = CityFrame();
  static const WorkloadFrame overload = OverloadFrame();
  return which == 0 ? city : overload;
}

// Argument 0: the city frame (c); 1: the overload frame (c').
void BM_FrameTevo(benchmark::State& state) {
  const WorkloadFrame& frame = FrameOf(state.range(0));
  Canvas canvas;
  MakeBenchCanvas(&canvas);
  for (auto _ : state) {
    DrawFrame(&canvas, frame);
    benchmark::ClobberMemory();
  }
}

void BM_FrameCairo(benchmark::State& state) {
  const WorkloadFrame& frame = FrameOf(state.range(0));
  CairoTarget target;
  for (auto _ : state) {
    target.DrawFrame(frame);
    target.Flush();
  }
}

}  // namespace

BENCHMARK(BM_Memset)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillCanvas)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlendFillHalf)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlitKeyed300)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PolygonsTevo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PolygonsCairo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PolygonsAgg)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RoadsTevo)->Arg(1)->Arg(3)->Arg(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RoadsCairo)->Arg(1)->Arg(3)->Arg(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameTevo)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameCairo)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
