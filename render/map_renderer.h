// The map renderer: draws the road map around a centre at one of 27 scale
// steps, with the selected day's track, into an off-screen canvas larger
// than the screen, on a worker thread of its own. The map screen asks for
// pictures (pan, zoom, redraw) and copies finished frames out.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "canvas/canvas.h"
#include "geometry/types.h"
#include "mapdata/map_layout.h"
#include "mapdata/map_owner.h"
#include "mapdata/parcel_index.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "render/draw_kit.h"
#include "render/frame_setup.h"
#include "render/frame_view.h"
#include "render/passes.h"

// Renderer states.
constexpr uint8_t RENDERER_IDLE = 1;
constexpr uint8_t RENDERER_DRAWING = 2;
constexpr uint8_t RENDERER_STOP_REQUESTED = 3;
constexpr uint8_t RENDERER_STOPPED = 4;

// The view shown when there is no track: 139.752222 E, 35.636944 N.
constexpr MapCoord DEFAULT_CENTER{64397824, 16421504};

// Background colours of the land (default) and the sea (maps with flag bit 14).
constexpr uint16_t LAND_COLOUR = Rgb565(248, 248, 192);
constexpr uint16_t SEA_COLOUR = Rgb565(108, 152, 199);

class MapRenderer {
 public:
  // Loads the map's management data through `map`, the program's owner of
  // the map data, which outlives the renderer (null: a renderer without a
  // map, whose frames show the land colour and the track). The worker
  // starts with Initialise.
  explicit MapRenderer(MapDataOwner* map);
  // Stops the worker and releases everything it holds; the map data stay
  // with their owner.
  ~MapRenderer();
  MapRenderer(const MapRenderer&) = delete;
  MapRenderer& operator=(const MapRenderer&) = delete;

  // Creates the canvases (width x height), fonts and pictures, selects the
  // first parcels and starts the worker; finished frames set
  // `frameDoneEvent`. A kit made ahead for a frame of that size
  // (DrawKit::Create) is taken instead of making one. Returns 0.
  int Initialise(int32_t width, int32_t height, Event* frameDoneEvent, std::unique_ptr<DrawKit> prepared = nullptr);

  // Requests, from the map screen's thread. Each stores its target and wakes
  // the worker; a request during a frame aborts that frame.
  int ZoomOut();                // 1 accepted, 0 refused (at step 26)
  int ZoomIn();                 // 1 accepted, 0 refused (at step 0)
  int SetScaleStep(int32_t s);  // 1 accepted, 0 refused (s > 26 or s is the target already)
  int RequestRedraw();          // 0; the next frame fits the view to the selected day's track
  int PanTo(int32_t x, int32_t y);  // canvas pixel to centre on: 0, or -1 outside the map

  // Asks for a frame of the whole canvas centred on `center` (map units,
  // snapped to the step's pixel grid when drawn) at scale step `s` (0..26),
  // without fitting the view to the track, also when a RequestRedraw is
  // still pending. The centre is not checked against the map's extent: a
  // view without parcels shows the background colour only. Returns 0, or -1
  // (nothing changed) when s is out of range. For the command-line renderer
  // and tests, which ask for a given view.
  int RequestView(MapCoord center, int32_t s, uint16_t area = AREA_CANVAS);

  // Draws `track` (owned by the caller, kept until the renderer is gone or
  // another track is set; null: back to the selected day's) instead of the
  // selected day's track, also when fitting the view. For the command-line
  // renderer and benchmarks, which draw a log file of their own. Set it
  // while no frame is drawn.
  void SetFixedTrack(const Track* track) { fixedTrack = track; }

  // Copies the last finished frame into `dst` at (x, y): w x h from the
  // middle of the frame, or all of it when w (h) is not smaller than its
  // width (height). Returns 0, or -1 when no frame is ready.
  int CopyFrame(Canvas* dst, int32_t x, int32_t y, int32_t w, int32_t h);

  // What the last finished frame drew and how long it and its passes took.
  FrameStats LastFrameStats();

  // Scale value in metres of the step last drawn.
  int32_t GetScaleMetres() const { return SCALE_STEPS[step.load()].metres; }

  // For the map screen and tests.
  uint16_t CurrentStep() const { return step.load(); }
  uint16_t TargetStep() const { return targetStep.load(); }
  MapCoord CurrentCenter() const { return MapCoord{centerX.load(), centerY.load()}; }
  MapCoord TargetCenter() const { return MapCoord{targetX.load(), targetY.load()}; }
  uint8_t State() const { return state.load(); }
  int32_t FrameReady() const { return frameReady.load(); }
  const char* WakeEventName() const { return wakeEventName; }
  // The map the renderer draws (not owned; null: none).
  MapDataOwner* Map() const { return map; }

  // The view of the frame being drawn or last drawn, and its parcels.
  const FrameView& View() const { return view; }
  int32_t HalfWidth() const { return view.halfWidth; }
  int32_t HalfHeight() const { return view.halfHeight; }
  const ParcelList* RoadParcels() const { return roadParcels; }
  const ParcelList* AreaParcels() const { return areaParcels; }
  // Rebuilds both parcel lists for the current view.
  void SelectParcels();
  // The same, unless the lists were selected for this very view.
  void SelectParcelsOnce();
  // Sets centre, step and request area as a frame would take them (tests).
  void SetViewForTest(MapCoord center, uint16_t step, uint16_t area);
  // Calls the observer before each pass of every later frame, on the
  // worker (tests; set it while no frame is drawn).
  void SetPassObserverForTest(const PassObserver& observer) { passObserver = observer; }

  // One frame, as the worker draws it (also for the command-line renderer).
  void DrawFrame();
  // True once a request has come after the frame being drawn took its
  // targets; the passes stop at their next item and the frame is not announced.
  bool AbortRequested() const { return requests.load() != frameRequests; }
  const Canvas& FrontCanvas() const { return frontCanvas; }

 private:
  static int RenderLoop(void* self);
  void Signal(uint16_t area);
  void FitViewToTrack();
  const Track* TrackToDraw() const;
  void FillBackground();
  void PublishFrame(const FrameStats& stats, std::chrono::steady_clock::time_point start, double cpuStart);

  MapDataOwner* const map;  // not owned; null: no map
  std::atomic<uint8_t> state{RENDERER_STOPPED};
  Event* wakeEvent = nullptr;
  char wakeEventName[16] = {};
  Event* frameDoneEvent = nullptr;
  Thread* worker = nullptr;
  // Requests counted (Signal), and the count a frame started from: a frame
  // is aborted when a request came after it took its targets. Unlike a flag
  // that a frame clears when it starts, the count cannot lose a request that
  // comes at that very moment.
  std::atomic<uint32_t> requests{0};
  uint32_t frameRequests = 0;
  std::atomic<int32_t> targetX{DEFAULT_CENTER.x};
  std::atomic<int32_t> targetY{DEFAULT_CENTER.y};
  std::atomic<uint16_t> targetStep{DEFAULT_SCALE_STEP};
  std::atomic<uint16_t> requestArea{AREA_CANVAS};
  std::atomic<int32_t> centerX{DEFAULT_CENTER.x};
  std::atomic<int32_t> centerY{DEFAULT_CENTER.y};
  std::atomic<uint16_t> step{DEFAULT_SCALE_STEP};
  int32_t width = 0;
  int32_t height = 0;
  uint8_t frameArea = AREA_CANVAS;
  FrameView view;  // only the worker changes it once the worker runs
  PassObserver passObserver;
  const Track* fixedTrack = nullptr;
  std::atomic<int32_t> frameReady{0};
  // 1 from construction and every RequestRedraw until a frame starts and
  // fits the view to the track; RequestView clears it.
  std::atomic<int32_t> fitPending{1};
  std::unique_ptr<DrawKit> kit;  // the back canvas every frame is drawn into, and what it is drawn with
  Canvas frontCanvas;
  FrameStats frontStats;  // of the frame in frontCanvas
  std::mutex frontLock;  // CopyFrame never reads the front canvas while a frame is copied in
  ParcelList* roadParcels = nullptr;
  ParcelList* areaParcels = nullptr;
  // The view the lists were selected for: centre, step and the half sizes
  // of the loaded area.
  MapCoord selectedCenter{0, 0};
  uint16_t selectedStep = 0;
  MapCoord selectedHalf{0, 0};
};
