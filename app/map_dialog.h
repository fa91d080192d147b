// The map screen: the chosen day's track over the road map. The renderer
// draws on its own thread into a canvas larger than the screen; the map
// screen's worker copies each finished frame in, and the screen lays its
// controls over it: drag the map, zoom with two buttons or the slider, read
// the scale, leave with the back button.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "app/canvas_context.h"
#include "canvas/picture_ids.h"
#include "platform/kernel.h"
#include "platform/window.h"

class MapRenderer;
class MapDataOwner;

// The screen shows 480 x 272 of the map canvas (canvas/sizes.h) from
// (258, 154), so the canvas centre (498, 290) is the screen centre (240, 136).
constexpr int32_t MAP_SHOWN_X = 258;
constexpr int32_t MAP_SHOWN_Y = 154;

// States of the map screen's worker.
constexpr uint8_t WorkerRunning = 1;
constexpr uint8_t WorkerStopping = 2;
constexpr uint8_t WorkerEnded = 3;

class DrawKit;

// Name of the event the renderer sets for every finished frame.
constexpr char MAP_FRAME_EVENT_NAME[] = "TEVO_VMAP";

// The pictures the map screen and its renderer load when the screen is
// created, and the number of canvases of the map's size they make: prepared
// ahead while the calendar is shown (CalendarDlg), so that the first
// opening of a day does not wait for them.
constexpr int MAP_SCREEN_PICTURES[] = {PICTURE_MAP_FRAME,     PICTURE_SLIDER_KNOB, PICTURE_MARKER,
                                       PICTURE_ROUND_BUTTONS, PICTURE_MAP_SYMBOLS, PICTURE_FACILITY_MARKS};
constexpr int MAP_SCREEN_CANVASES = 3;  // compose, map, drag
constexpr int MAP_RENDERER_CANVASES = 1;  // front; the kit's back, text and box canvases come with the kit

// The renderer's kit of drawing resources for the map screen's canvas (its
// canvases, fonts and pictures), made on the calling thread: the calendar
// makes it ahead, on a thread of its own, and hands it to the map screen it
// creates. Null when the kit could not be made whole.
std::unique_ptr<DrawKit> PrepareRendererKit();

class MapDialog : public Window {
 public:
  // `map` is the program's owner of the map data (null: no map); it
  // outlives the map screen. `preparedKit`, when given, is the renderer's
  // kit of drawing resources made ahead (PrepareRendererKit).
  explicit MapDialog(MapDataOwner* map, std::unique_ptr<DrawKit> preparedKit = nullptr);
  ~MapDialog() override;

  // A new picture for the selected day: clears the ready flag and asks the
  // renderer to fit its next frame to the day's track. Returns 0.
  int RequestMapRedraw();
  // 1 once the worker has copied a frame in since RequestMapRedraw, else 0.
  int IsMapReady() const { return frameShown.load(); }

  MapRenderer* Renderer() const { return renderer; }
  // The composed picture (map, marker, frame, knob, pressed looks).
  const Canvas& ComposedPicture() const { return composeCanvas.canvas; }

  // State, readable by tests.
  std::atomic<uint8_t> workerState{0};
  uint32_t lastMoveTick = 0;
  int32_t lastX = 0, lastY = 0;
  int32_t dragStartX = -1, dragStartY = -1;
  bool zoomOutPressed = false, zoomInPressed = false, backPressed = false;
  std::atomic<bool> sliderActive{false};
  std::atomic<int32_t> sliderX{-1}, sliderY{-1};
  std::atomic<int32_t> frameShown{0};

 protected:
  int OnInitDialog() override;
  void OnPaint() override;
  int OnEraseBkgnd(DrawingContext* dc) override;
  void OnLButtonDown(uint32_t flags, int32_t x, int32_t y) override;
  void OnMouseMove(uint32_t flags, int32_t x, int32_t y) override;
  void OnLButtonUp(uint32_t flags, int32_t x, int32_t y) override;

 private:
  static int MapWorker(void* self);
  void ShowFinishedFrame();
  void StopWorker();

  bool MoveTooSoon(uint32_t* now) const;
  void StartDrag(int32_t x, int32_t y);
  void ShowDragPreview(int32_t x, int32_t y);
  void FinishDrag();
  void ReleaseZoomButton(int32_t x, int32_t y);
  void MoveSlider(int32_t x, int32_t y);
  void DrawScaleLabel(DrawingContext* window);

  Event* frameEvent = nullptr;
  Thread* worker = nullptr;
  int32_t canvasWidth = MAP_CANVAS_WIDTH;
  int32_t canvasHeight = MAP_CANVAS_HEIGHT;
  CanvasContext composeCanvas;
  CanvasContext mapCanvas;
  Canvas markerPicture;
  MapRenderer* renderer = nullptr;
  std::unique_ptr<DrawKit> preparedKit;  // handed to the renderer when the screen is initialised
  CanvasContext dragCanvas;
  Canvas framePicture;
  Canvas knobPicture;
  Pen* scalePen = nullptr;
  Canvas buttonsPicture;
  // The user-interface thread and the worker both write the map and
  // composed canvases; each writes whole pictures under this lock.
  std::mutex canvasLock;
};
