// The renderer's drawing passes on the raster workload's dense city frame (c)
// and the 300 haloed labels, written as a map of one parcel (see
// pass_workloads.h), side by side with their peers in one run:
//
//   BM_Memset                a memset of the 996 x 580 RGB565 canvas
//   BM_DenseFramePasses      the land colour, DrawBaseAreas, DrawFeatures, DrawRoads
//   BM_DenseFrameCairo       cairo drawing the same shapes (aliased, RGB565)
//   BM_LabelsPasses          DrawNames with warm glyph caches: all 300 labels, haloed
//   BM_LabelsFreeType        plain FreeType measuring and drawing the same labels, uncached
//   BM_DenseFrameWithLabels  the dense frame, then DrawNames
//
// Decoded parcels stay pooled between frames, as they do between the
// renderer's frames of one view; one frame is drawn before any is timed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/freetype_labels.h"
#include "bench/label_workload.h"
#include "bench/pass_workloads.h"
#include "bench/raster_draw.h"
#include "bench/raster_workloads.h"
#include "render/name_tables.h"

namespace {

namespace fs = std::filesystem;

PassRig* rig = nullptr;
const WorkloadFrame* city = nullptr;

void BM_Memset(benchmark::State& state) {
  Canvas canvas;
  CreateCanvas(&canvas, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
  const size_t bytes = static_cast<size_t>(canvas.stride) * canvas.height * sizeof(uint16_t);
  int value = 0;
  for (auto _ : state) {
    std::memset(canvas.pixels, value++ & 0xFF, bytes);
    benchmark::DoNotOptimize(canvas.pixels);
    benchmark::ClobberMemory();
  }
}

void BM_DenseFramePasses(benchmark::State& state) {
  for (auto _ : state) {
    rig->DrawDenseFrame();
    benchmark::ClobberMemory();
  }
}

void BM_DenseFrameCairo(benchmark::State& state) {
  CairoTarget target;
  for (auto _ : state) {
    target.DrawFrame(*city);
    target.Flush();
  }
}

void BM_LabelsPasses(benchmark::State& state) {
  rig->DrawDenseFrame();
  rig->DrawLabels();  // warms the glyph caches
  for (auto _ : state) {
    rig->DrawLabels();
    benchmark::ClobberMemory();
  }
}

void BM_LabelsFreeType(benchmark::State& state) {
  FreeTypeLabels peer;
  if (!peer.Ok()) {
    state.SkipWithError("no face for the labels");
    return;
  }
  Canvas canvas;
  CreateCanvas(&canvas, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
  FillCanvas(&canvas, BACKGROUND.Rgb565());
  const uint16_t colour = Rgb24To565(LabelColour(WORKLOAD_LABEL_CLASS));
  for (auto _ : state) {
    peer.Draw(&canvas, rig->Labels(), colour);
    benchmark::ClobberMemory();
  }
}

void BM_DenseFrameWithLabels(benchmark::State& state) {
  rig->DrawDenseFrame();
  rig->DrawLabels();
  for (auto _ : state) {
    rig->DrawDenseFrame();
    rig->DrawLabels();
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_Memset)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DenseFramePasses)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DenseFrameCairo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LabelsPasses)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LabelsFreeType)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DenseFrameWithLabels)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::random_device seed;
  const fs::path dir = fs::temp_directory_path() / ("tevo-passes-bench-" + std::to_string(seed()));
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "passes_bench: cannot create %s: %s\n", dir.c_str(), error.message().c_str());
    return 1;
  }
  const WorkloadFrame workload = CityFrame();
  int status = 0;
  {
    PassRig passes;
    if (passes.Open(workload, LabelWorkload(), (dir / "city.kwi").string()) != 0) {
      status = 1;
    } else {
      rig = &passes;
      city = &workload;
      rig->DrawDenseFrame();
      benchmark::RunSpecifiedBenchmarks();
      rig = nullptr;
    }
  }
  benchmark::Shutdown();
  fs::remove_all(dir, error);
  return status;
}
