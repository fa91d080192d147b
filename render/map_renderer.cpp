#include "render/map_renderer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "canvas/blit.h"
#include "canvas/sizes.h"
#include "geometry/raster.h"
#include "logs/selected_day.h"

namespace {

// Only the first renderer of the process wakes on "TEVO_DMAP0".
std::atomic<int> rendererCount{0};

}  // namespace

MapRenderer::MapRenderer(MapDataOwner* mapData) : map(mapData) {
  if (map != nullptr) map->Load();
}

MapRenderer::~MapRenderer() {
  uint8_t current = state.load();
  while ((current == RENDERER_IDLE || current == RENDERER_DRAWING) &&
         !state.compare_exchange_weak(current, RENDERER_STOP_REQUESTED)) {
  }
  // The worker sees the stop request when it wakes, or when the frame it is
  // drawing ends, and returns; the join waits for exactly that.
  if (worker != nullptr) {
    SetEvent(wakeEvent);
    JoinThread(worker);
  }
  CloseEvent(wakeEvent);
  FreeParcelList(roadParcels);
  FreeParcelList(areaParcels);
}

int MapRenderer::Initialise(int32_t canvasWidth, int32_t canvasHeight, Event* doneEvent,
                            std::unique_ptr<DrawKit> prepared) {
  frameArea = AREA_CANVAS;
  frameDoneEvent = doneEvent;
  width = canvasWidth;
  height = canvasHeight;
  SetFrameView(&view, CurrentCenter(), step.load(), width, height, frameArea);
  SelectParcels();
  const bool fits = prepared != nullptr && prepared->canvas.width == width && prepared->canvas.height == height;
  kit = fits ? std::move(prepared) : std::make_unique<DrawKit>();
  if (!fits) kit->Create(width, height);
  CreateCanvas(&frontCanvas, width, height);
  FillBackground();
  std::snprintf(wakeEventName, sizeof wakeEventName, "TEVO_DMAP%d", rendererCount++ == 0 ? 0 : 1);
  wakeEvent = CreateEvent(wakeEventName);
  state = RENDERER_IDLE;
  worker = StartThread(RenderLoop, this, THREAD_PRIORITY_BELOW_NORMAL);
  return 0;
}

// ---------------------------------------------------------------------------
// Requests

// A request counts itself before it wakes the worker: a frame that took its
// targets before the count moved is aborted by it (AbortRequested), and the
// wake-up brings the frame for the new targets.
void MapRenderer::Signal(uint16_t area) {
  requestArea = area;
  requests.fetch_add(1);
  SetEvent(wakeEvent);
}

// A zoom moves the target two steps from the target of the last request
// (or from the current step once the target is at the end of the table).
// The result stays within the table: a target or current step left odd by
// SetScaleStep would otherwise step past its ends.
int MapRenderer::ZoomOut() {
  uint16_t current = step.load();
  if (current >= MAX_SCALE_STEP) return 0;
  uint16_t target = targetStep.load();
  targetStep = std::min<uint16_t>(target < MAX_SCALE_STEP ? target + 2 : current + 2, MAX_SCALE_STEP);
  Signal(AREA_SCREEN);
  return 1;
}

int MapRenderer::ZoomIn() {
  uint16_t current = step.load();
  if (current == 0) return 0;
  uint16_t target = targetStep.load();
  int32_t next = target != 0 ? target - 2 : current - 2;
  targetStep = static_cast<uint16_t>(std::max(next, 0));
  Signal(AREA_SCREEN);
  return 1;
}

int MapRenderer::SetScaleStep(int32_t s) {
  if (s < 0 || s > MAX_SCALE_STEP || s == targetStep.load()) return 0;
  targetStep = static_cast<uint16_t>(s);
  Signal(AREA_SCREEN);
  return 1;
}

// The fit is marked before the picture is marked not ready: a frame that is
// being published meanwhile sees the mark and leaves the picture not ready
// (PublishFrame).
int MapRenderer::RequestRedraw() {
  fitPending = 1;
  frameReady = 0;
  Signal(AREA_CANVAS);
  return 0;
}

int MapRenderer::RequestView(MapCoord center, int32_t s, uint16_t area) {
  if (s < 0 || s > MAX_SCALE_STEP) return -1;
  fitPending = 0;
  targetX = center.x;
  targetY = center.y;
  targetStep = static_cast<uint16_t>(s);
  Signal(area == AREA_SCREEN ? AREA_SCREEN : AREA_CANVAS);
  return 0;
}

// The point under the finger ends up where the finger was released: the new
// centre is the canvas pixel (x, y), y growing southwards.
int MapRenderer::PanTo(int32_t x, int32_t y) {
  auto dx = static_cast<int16_t>(x - width / 2);
  auto dy = static_cast<int16_t>(height / 2 - y);
  if (dx == 0 && dy == 0) return 0;
  const ScaleStep& current = SCALE_STEPS[step.load()];
  MapCoord target{centerX.load() + dx * current.unitsPerPixelX, centerY.load() + dy * current.unitsPerPixelY};
  if (IsInsideMap(map, &target) == 0) return -1;
  targetX = target.x;
  targetY = target.y;
  Signal(AREA_CANVAS);
  return 0;
}

int MapRenderer::CopyFrame(Canvas* dst, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (frameReady.load() == 0) return -1;
  int32_t sx = w < width ? width / 2 - w / 2 : 0;
  int32_t sy = h < height ? height / 2 - h / 2 : 0;
  std::lock_guard<std::mutex> lock(frontLock);
  BlitOpaque(dst, &frontCanvas, x, y, w < width ? w : width, h < height ? h : height, sx, sy);
  return 0;
}

FrameStats MapRenderer::LastFrameStats() {
  std::lock_guard<std::mutex> lock(frontLock);
  return frontStats;
}

// ---------------------------------------------------------------------------
// The worker and its frames

int MapRenderer::RenderLoop(void* self) {
  auto* renderer = static_cast<MapRenderer*>(self);
  std::atomic<uint8_t>& state = renderer->state;
  for (;;) {
    // Back to idle unless a stop was asked for (a plain store could
    // overwrite the stop request of a destruction that came meanwhile).
    uint8_t drawing = RENDERER_DRAWING;
    state.compare_exchange_strong(drawing, RENDERER_IDLE);
    if (state.load() == RENDERER_STOP_REQUESTED) break;
    WaitEvent(renderer->wakeEvent, WAIT_INFINITE);
    uint8_t idle = RENDERER_IDLE;
    if (!state.compare_exchange_strong(idle, RENDERER_DRAWING)) break;
    renderer->DrawFrame();
  }
  state = RENDERER_STOPPED;
  return 0;
}

void MapRenderer::DrawFrame() {
  // The day's track stays valid for the whole frame, even when another day
  // is selected meanwhile.
  SelectedTrackPin pin;
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = ThreadCpuSeconds();
  // Requests counted so far are taken into this frame; any later one aborts it.
  frameRequests = requests.load();
  if (fitPending.exchange(0) != 0) FitViewToTrack();
  step = targetStep.load();
  MapCoord center = SnapToPixelGrid(MapCoord{targetX.load(), targetY.load()}, step.load());
  centerX = center.x;
  centerY = center.y;
  frameArea = static_cast<uint8_t>(requestArea.load());
  SetFrameView(&view, center, step.load(), width, height, frameArea);
  const auto selectStart = std::chrono::steady_clock::now();
  SelectParcelsOnce();
  const auto selectEnd = std::chrono::steady_clock::now();
  FillBackground();
  // The frame holds the decoded parcels of its lists while its passes run.
  Frame frame;
  HoldFrame(map, view, roadParcels, areaParcels, kit.get(), &frame);
  frame.track = TrackToDraw();
  frame.requests = &requests;
  frame.frameRequests = frameRequests;
  frame.stats.selectSeconds = std::chrono::duration<double>(selectEnd - selectStart).count();
  DrawLayers(&frame, passObserver);
  ReleaseFrame(map, &frame);
  PublishFrame(frame.stats, start, cpuStart);
}

void MapRenderer::SelectParcels() {
  SelectViewParcels(map, view, &roadParcels, &areaParcels);
  selectedCenter = view.center;
  selectedStep = view.step;
  selectedHalf = MapCoord{view.halfWidth, view.halfHeight};
}

// A frame of the view the lists were selected for (a redraw, another day
// over the same view, a repeated frame) draws from the same parcels: the
// lists are kept rather than walked again through the parcel index.
void MapRenderer::SelectParcelsOnce() {
  const bool same = roadParcels != nullptr && areaParcels != nullptr && view.center.x == selectedCenter.x &&
                    view.center.y == selectedCenter.y && view.step == selectedStep &&
                    view.halfWidth == selectedHalf.x && view.halfHeight == selectedHalf.y;
  if (!same) SelectParcels();
}

void MapRenderer::PublishFrame(const FrameStats& stats, std::chrono::steady_clock::time_point start,
                               double cpuStart) {
  {
    std::lock_guard<std::mutex> lock(frontLock);
    BlitOpaque(&frontCanvas, &kit->canvas, 0, 0, width, height, 0, 0);
    frontStats = stats;
    frontStats.frameSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    frontStats.frameCpuSeconds = ThreadCpuSeconds() - cpuStart;
  }
  // A RequestRedraw that came during this frame (for another day, say) has
  // its own frame still to come: this one, of the old view, leaves the
  // picture not ready, and the next frame is fitted to the track.
  frameReady = 1;
  if (fitPending.load() != 0) frameReady = 0;
  if (!AbortRequested()) SetEvent(frameDoneEvent);
}

void MapRenderer::FillBackground() {
  int bit15 = 0, bit14 = 0;
  bool sea = GetMapFlags(map, &bit15, &bit14) == 0 && bit14 == 1;
  FillCanvas(&kit->canvas, sea ? SEA_COLOUR : LAND_COLOUR);
}

// Centre on the track's bounding box at the most detailed even step at
// which the box fits the screen; the default view without a track.
void MapRenderer::FitViewToTrack() {
  targetStep = DEFAULT_SCALE_STEP;
  const Track* track = TrackToDraw();
  if (track == nullptr || track->count < 1) {
    targetX = DEFAULT_CENTER.x;
    targetY = DEFAULT_CENTER.y;
    return;
  }
  targetX = (track->minLon + track->maxLon) / 2;
  targetY = (track->minLat + track->maxLat) / 2;
  int64_t spanX = int64_t{track->maxLon} - track->minLon;
  int64_t spanY = int64_t{track->maxLat} - track->minLat;
  for (uint16_t s = 0; s <= MAX_SCALE_STEP; s += 2) {
    if (spanX < int64_t{SCREEN_WIDTH} * SCALE_STEPS[s].unitsPerPixelX &&
        spanY < int64_t{SCREEN_HEIGHT} * SCALE_STEPS[s].unitsPerPixelY) {
      targetStep = s;
      return;
    }
  }
  targetStep = MAX_SCALE_STEP;  // wider than the coarsest step shows
}

const Track* MapRenderer::TrackToDraw() const { return fixedTrack != nullptr ? fixedTrack : GetSelectedTrack(); }

void MapRenderer::SetViewForTest(MapCoord center, uint16_t newStep, uint16_t area) {
  centerX = center.x;
  centerY = center.y;
  step = newStep;
  frameArea = static_cast<uint8_t>(area);
  SetFrameView(&view, center, newStep, width, height, frameArea);
}
