// The densest view of every scale step of a map, and its frame time against
// a memset of the canvas (goal MB3).
//
//   render_steps MAP [--frames N] [--candidates K]
//
// For each step 0..26 the candidate centres are the middles of the parcels
// (and pieces) of the step's road and area levels; the 64 holding the most
// data are scored by the data of the parcels a frame there selects (both
// lists, as the renderer selects them), and the K best (default 4) are
// drawn N times each (default 15) through the renderer's worker: the
// request, the frame-done event and CopyFrame of the whole canvas. The one
// with the most processor time (median) is the step's densest view: unlike
// real time, it does not depend on what else the machine runs. A memset of the canvas
// is timed beside each step's frames, and each frame is divided by the
// memset's median of its step.
//
// Prints one line per step:
//   STEP s lon lat frame_us ratio   (and what the frame drew, the passes'
//   times and the processor time of the process over the frame, which a
//   loaded machine does not inflate)
// then "WORST s ratio".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "canvas/sizes.h"
#include "mapdata/map_owner.h"
#include "mapdata/parcel_index.h"
#include "platform/kernel.h"
#include "render/frame_setup.h"
#include "render/map_renderer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t WIDTH = MAP_CANVAS_WIDTH;
constexpr int32_t HEIGHT = MAP_CANVAS_HEIGHT;
constexpr uint32_t FRAME_TIMEOUT_MS = 60000;
// Parcels whose views are scored per step, the largest first.
constexpr size_t SCORED_CENTRES = 64;
constexpr int MEMSET_SAMPLES = 301;

struct Candidate {
  MapCoord centre;
  uint64_t weight;  // data of the parcel, then of the view's parcels, in blocks
};

double MedianOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

double MemsetSeconds() {
  std::vector<uint16_t> pixels(static_cast<size_t>(WIDTH) * HEIGHT);
  std::vector<double> seconds;
  volatile uint16_t sink = 0;
  for (int i = 0; i < MEMSET_SAMPLES; ++i) {
    const Clock::time_point start = Clock::now();
    std::memset(pixels.data(), i & 0xFF, pixels.size() * sizeof(uint16_t));
    sink = pixels[static_cast<size_t>(i) * 7919 % pixels.size()];
    seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  (void)sink;
  return MedianOf(seconds);
}

// The middle of a parcel or piece of a list entry.
MapCoord MiddleOf(const ParcelEntry& e) {
  const int64_t split = e.xDiv == 0 ? 1 : WHOLE_PARCEL_DIV / e.xDiv;
  const int64_t pieceWidth = e.width / split, pieceHeight = e.height / split;
  const int64_t column = e.piece >> 8, row = e.piece & 0xFF;
  return MapCoord{static_cast<int32_t>(e.x0 + column * pieceWidth + pieceWidth / 2),
                  static_cast<int32_t>(e.y0 + row * pieceHeight + pieceHeight / 2)};
}

// Every parcel of the level with `code`, as a candidate weighted by its data.
void AddLevelParcels(const MapDataOwner& map, uint16_t code, std::vector<Candidate>* out) {
  const ParcelIndex* index = LoadedParcelIndex(&map);
  const int level = index == nullptr ? -1 : FindLevel(*index, code);
  if (level < 0) return;
  ParcelWalk walk{};
  walk.context = out;
  walk.visit = [](void* context, const ParcelEntry& entry) {
    static_cast<std::vector<Candidate>*>(context)->push_back(Candidate{MiddleOf(entry), entry.size});
    return true;
  };
  WalkParcels(&map, level, InclusiveRect{index->west, index->south, index->east, index->north}, &walk);
}

uint64_t ListWeight(const ParcelList* list) {
  uint64_t weight = 0;
  for (uint16_t i = 0; list != nullptr && i < list->count; ++i) weight += list->entries[i].size;
  return weight;
}

// The `keep` candidate views of `step` with the most data in their parcel lists.
std::vector<Candidate> DensestViews(const MapDataOwner& map, uint16_t step, size_t keep) {
  std::vector<Candidate> parcels;
  AddLevelParcels(map, SCALE_STEPS[step].roadLevel, &parcels);
  if (SCALE_STEPS[step].areaLevel != SCALE_STEPS[step].roadLevel) {
    AddLevelParcels(map, SCALE_STEPS[step].areaLevel, &parcels);
  }
  std::sort(parcels.begin(), parcels.end(), [](const Candidate& a, const Candidate& b) { return a.weight > b.weight; });
  if (parcels.size() > SCORED_CENTRES) parcels.resize(SCORED_CENTRES);
  for (Candidate& c : parcels) {
    FrameView view;
    SetFrameView(&view, SnapToPixelGrid(c.centre, step), step, WIDTH, HEIGHT, AREA_CANVAS);
    ParcelList* roads = nullptr;
    ParcelList* areas = nullptr;
    SelectViewParcels(&map, view, &roads, &areas);
    c.weight = ListWeight(roads) + ListWeight(areas);
    FreeParcelList(roads);
    FreeParcelList(areas);
  }
  std::sort(parcels.begin(), parcels.end(), [](const Candidate& a, const Candidate& b) { return a.weight > b.weight; });
  if (parcels.size() > keep) parcels.resize(keep);
  // A step whose levels have no parcels draws the background alone: its
  // view is the middle of the map.
  const ParcelIndex* index = LoadedParcelIndex(&map);
  if (parcels.empty() && index != nullptr) {
    parcels.push_back(Candidate{MapCoord{static_cast<int32_t>((int64_t{index->west} + index->east) / 2),
                                         static_cast<int32_t>((int64_t{index->south} + index->north) / 2)},
                                0});
  }
  return parcels;
}

struct Measured {
  double seconds = 0.0;
  double cpuSeconds = 0.0;  // the processor time of the process meanwhile
  FrameStats stats;
};

// The median time of `frames` frames at the view, after one that warms the
// parcel pools.
Measured TimeView(MapRenderer* renderer, Event* done, Canvas* copy, MapCoord centre, uint16_t step, int frames) {
  std::vector<double> seconds, cpuSeconds;
  for (int i = 0; i <= frames; ++i) {
    const Clock::time_point start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    renderer->RequestView(centre, step);
    if (WaitEvent(done, FRAME_TIMEOUT_MS) != WAIT_SIGNALLED ||
        renderer->CopyFrame(copy, 0, 0, WIDTH, HEIGHT) != 0) {
      std::fprintf(stderr, "render_steps: a frame did not come\n");
      std::exit(1);
    }
    if (i > 0) {
      seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      cpuSeconds.push_back(static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    }
  }
  return Measured{MedianOf(seconds), MedianOf(cpuSeconds), renderer->LastFrameStats()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: render_steps MAP [--frames N] [--candidates K]\n");
    return 2;
  }
  int frames = 15;
  size_t candidates = 4;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--frames") == 0) frames = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--candidates") == 0) {
      candidates = static_cast<size_t>(std::max(1, std::atoi(argv[i + 1])));
    }
  }
  MapDataOwner map(argv[1]);
  Event* done = CreateEvent(nullptr);
  auto* renderer = new MapRenderer(&map);
  if (LoadedParcelIndex(&map) == nullptr) {
    std::fprintf(stderr, "render_steps: no map at %s\n", argv[1]);
    return 1;
  }
  renderer->Initialise(WIDTH, HEIGHT, done);
  Canvas copy;
  CreateCanvas(&copy, WIDTH, HEIGHT);
  double worstRatio = 0.0;
  int worstStep = -1;
  for (uint16_t step = 0; step <= MAX_SCALE_STEP; ++step) {
    Measured densest;
    MapCoord where{0, 0};
    for (const Candidate& c : DensestViews(map, step, candidates)) {
      Measured m = TimeView(renderer, done, &copy, c.centre, step, frames);
      if (m.cpuSeconds > densest.cpuSeconds) {
        densest = m;
        where = c.centre;
      }
    }
    const double memset = MemsetSeconds();
    const double ratio = memset > 0 ? densest.seconds / memset : 0.0;
    const FrameStats& s = densest.stats;
    std::printf("STEP %u %.5f %.5f %.0f %.1f  parcels %u+%u links %u areas %u lines %u names %u/%u passes", step,
                static_cast<double>(where.x) / MAP_UNITS_PER_DEGREE, static_cast<double>(where.y) / MAP_UNITS_PER_DEGREE,
                densest.seconds * 1e6, ratio, s.roadParcels, s.areaParcels, s.roadLinks, s.areasFilled, s.linesDrawn,
                s.NamesPlaced(), s.NamesLeftOut());
    for (double pass : s.passSeconds) std::printf(" %.0f", pass * 1e6);
    std::printf(" us, memset %.1f us, processor %.0f us = %.1f x\n", memset * 1e6, densest.cpuSeconds * 1e6,
                memset > 0 ? densest.cpuSeconds / memset : 0.0);
    std::fflush(stdout);
    if (ratio > worstRatio) {
      worstRatio = ratio;
      worstStep = step;
    }
  }
  std::printf("WORST %d %.1f\n", worstStep, worstRatio);
  delete renderer;
  CloseEvent(done);
  return 0;
}
