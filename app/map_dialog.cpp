#include "app/map_dialog.h"

#include <algorithm>
#include <cstdio>

#include "app/tap_notify.h"
#include "canvas/blit.h"
#include "canvas/picture_ids.h"
#include "platform/picture_cache.h"
#include "platform/unicode.h"
#include "render/map_renderer.h"

namespace {

// Touch areas in screen pixels (pen-down position).
constexpr int32_t RAIL_LEFT = 440;      // x above this: the zoom rail
constexpr int32_t BACK_MIN = 1;         // back button: 1..39 on both axes
constexpr int32_t BACK_MAX = 39;
constexpr int32_t PLUS_BELOW_Y = 40;    // plus: y below 40
constexpr int32_t SLIDER_TOP = 40;      // slider: y 40..232
constexpr int32_t SLIDER_BOTTOM = 232;  // minus: y 233 and below

// The slider shows even steps only: knob row k = step / 2 lies at screen y
// 45 + 13k; the pen's y is held within 51..220.
constexpr int32_t SLIDER_FIRST_ROW_Y = 45;
constexpr int32_t SLIDER_ROW_HEIGHT = 13;
constexpr int32_t SLIDER_MIN_Y = 51;
constexpr int32_t SLIDER_MAX_Y = 220;

// Pen moves of a drag or a slider drag are handled at most this often.
constexpr uint32_t MOVE_INTERVAL_MS = 100;

constexpr uint32_t DRAG_GREY = Rgb(244, 244, 244);
constexpr uint16_t FRAME_WHITE = Rgb565(255, 255, 255);

// Canvas positions of what the paint lays over the map.
constexpr int32_t MARKER_X = 482, MARKER_Y = 274, MARKER_SIZE = 32;
constexpr int32_t FRAME_WEIGHT = 255;
constexpr int32_t KNOB_X = 710, KNOB_FIRST_Y = 199, KNOB_WIDTH = 24, KNOB_HEIGHT = 13;
constexpr int32_t BUTTON_SIZE = 32;
constexpr int32_t MINUS_X = 706, MINUS_Y = 394, MINUS_SOURCE_X = 0;
constexpr int32_t PLUS_X = 706, PLUS_Y = 154, PLUS_SOURCE_X = 32;
constexpr int32_t BACK_ARROW_SOURCE_X = 64, BACK_ARROW_HEIGHT = 33;

// The scale label (white, centred) and its 32-pixel bracket, on the window.
constexpr Rect SCALE_LABEL_RECT{388, 246, 425, 267};
constexpr int32_t BRACKET[4][2] = {{389, 260}, {389, 265}, {421, 265}, {421, 260}};
constexpr uint32_t SCALE_WHITE = Rgb(255, 255, 255);
constexpr int32_t KM_WITHOUT_DECIMALS_ABOVE = 5000;

int32_t ClampSliderY(int32_t y) { return std::clamp(y, SLIDER_MIN_Y, SLIDER_MAX_Y); }

int32_t SliderStep(int32_t sliderY) { return ((sliderY - SLIDER_FIRST_ROW_Y) / SLIDER_ROW_HEIGHT) * 2; }

}  // namespace

// "10m" below a kilometre, "1.7km" up to 5 km, "7km" above.
static void FormatScale(int32_t metres, char* text, size_t size) {
  if (metres < 1000) {
    std::snprintf(text, size, "%dm", metres);
  } else if (metres > KM_WITHOUT_DECIMALS_ABOVE) {
    std::snprintf(text, size, "%dkm", metres / 1000);
  } else {
    std::snprintf(text, size, "%d.%dkm", metres / 1000, metres % 1000 / 100);
  }
}

MapDialog::MapDialog(MapDataOwner* map, std::unique_ptr<DrawKit> kit)
    : renderer(new MapRenderer(map)), preparedKit(std::move(kit)) {}

std::unique_ptr<DrawKit> PrepareRendererKit() {
  auto kit = std::make_unique<DrawKit>();
  return kit->Create(MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT) == 0 ? std::move(kit) : nullptr;
}

MapDialog::~MapDialog() {
  StopWorker();
  DeletePen(scalePen);
  composeCanvas.Release();
  mapCanvas.Release();
  dragCanvas.Release();
  delete renderer;  // stops the renderer's own worker, which may still set frameEvent
  renderer = nullptr;
  CloseEvent(frameEvent);
  DestroyWindow();
}

int MapDialog::OnInitDialog() {
  composeCanvas.Create(canvasWidth, canvasHeight);
  mapCanvas.Create(canvasWidth, canvasHeight);
  dragCanvas.Create(canvasWidth, canvasHeight);
  LoadPicture(&framePicture, PICTURE_MAP_FRAME);
  LoadPicture(&knobPicture, PICTURE_SLIDER_KNOB);
  frameEvent = CreateEvent(MAP_FRAME_EVENT_NAME);
  workerState = WorkerRunning;
  worker = StartThread(MapWorker, this, THREAD_PRIORITY_BELOW_NORMAL);
  frameShown = 0;
  renderer->Initialise(canvasWidth, canvasHeight, frameEvent, std::move(preparedKit));
  LoadPicture(&markerPicture, PICTURE_MARKER);
  LoadPicture(&buttonsPicture, PICTURE_ROUND_BUTTONS);
  zoomOutPressed = zoomInPressed = backPressed = false;
  sliderActive = false;
  sliderX = sliderY = -1;
  MoveWindow(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, false);
  ShowWindow(SW_HIDE);
  scalePen = CreatePen(PS_SOLID, 1, SCALE_WHITE);
  return 1;
}

int MapDialog::RequestMapRedraw() {
  frameShown = 0;
  renderer->RequestRedraw();
  return 0;
}

// ---------------------------------------------------------------------------
// Worker: takes each finished frame from the renderer.

int MapDialog::MapWorker(void* self) {
  auto* dialog = static_cast<MapDialog*>(self);
  while (dialog->workerState.load() == WorkerRunning) {
    WaitEvent(dialog->frameEvent, WAIT_INFINITE);
    if (dialog->workerState.load() != WorkerStopping) dialog->ShowFinishedFrame();
  }
  dialog->workerState = WorkerEnded;
  return 0;
}

void MapDialog::ShowFinishedFrame() {
  {
    std::lock_guard<std::mutex> lock(canvasLock);
    FillCanvas(&mapCanvas.canvas, FRAME_WHITE);
    renderer->CopyFrame(&mapCanvas.canvas, 0, 0, canvasWidth, canvasHeight);
    BlitOpaque(&composeCanvas.canvas, &mapCanvas.canvas, 0, 0, canvasWidth, canvasHeight, 0, 0);
  }
  frameShown = 1;
  // The knob goes back to the renderer's step unless the slider is held.
  if (!sliderActive.load()) sliderX = sliderY = -1;
  // The repaint is asked for last, so that it cannot lay the knob over the
  // new frame at the slider's old place before the slider is let go of.
  Invalidate(true);
}

// The worker is out of ShowFinishedFrame before any canvas is released.
void MapDialog::StopWorker() {
  if (worker == nullptr) return;
  workerState = WorkerStopping;
  SetEvent(frameEvent);
  JoinThread(worker);
  worker = nullptr;
}

// ---------------------------------------------------------------------------
// Touch

void MapDialog::StartDrag(int32_t x, int32_t y) {
  dragStartX = lastX = x;
  dragStartY = lastY = y;
  std::lock_guard<std::mutex> lock(canvasLock);
  FillRect(dragCanvas.dc, Rect{0, 0, canvasWidth, canvasHeight}, DRAG_GREY);
  BitBlt(dragCanvas.dc, 0, 0, canvasWidth, canvasHeight, mapCanvas.dc, 0, 0);
}

void MapDialog::OnLButtonDown(uint32_t, int32_t x, int32_t y) {
  SetCapture();
  dragStartX = dragStartY = -1;
  lastMoveTick = 0;
  if (x <= RAIL_LEFT) {
    if (x >= BACK_MIN && x <= BACK_MAX && y >= BACK_MIN && y <= BACK_MAX) {
      NotifyTap();
      backPressed = true;
    } else {
      StartDrag(x, y);
    }
  } else if (y < PLUS_BELOW_Y) {
    if (renderer->ZoomIn() == 1) {
      NotifyTap();
      zoomInPressed = true;
      InvalidateRect(Rect{RAIL_LEFT, 0, SCREEN_WIDTH, SCREEN_HEIGHT}, true);
    }
  } else if (y <= SLIDER_BOTTOM) {
    sliderY = ClampSliderY(y);
    sliderActive = true;
    sliderX = x;
  } else if (renderer->ZoomOut() == 1) {
    NotifyTap();
    zoomOutPressed = true;
    InvalidateRect(Rect{RAIL_LEFT, 0, SCREEN_WIDTH, SCREEN_HEIGHT}, true);
  }
}

// A move that comes sooner than 100 ms after the last handled one is ignored.
bool MapDialog::MoveTooSoon(uint32_t* now) const {
  *now = GetTickCount();
  return lastMoveTick != 0 && *now - lastMoveTick < MOVE_INTERVAL_MS;
}

// The map follows the pen; the uncovered edge shows grey.
void MapDialog::ShowDragPreview(int32_t x, int32_t y) {
  lastX = x;
  lastY = y;
  std::lock_guard<std::mutex> lock(canvasLock);
  FillRect(composeCanvas.dc, Rect{0, 0, canvasWidth, canvasHeight}, DRAG_GREY);
  BitBlt(composeCanvas.dc, 0, 0, canvasWidth, canvasHeight, dragCanvas.dc, dragStartX - x, dragStartY - y);
}

// The zoom follows the knob, in even steps only.
void MapDialog::MoveSlider(int32_t x, int32_t y) {
  sliderY = ClampSliderY(y);
  sliderX = x;
  int32_t step = SliderStep(sliderY.load());
  if (step != renderer->CurrentStep()) renderer->SetScaleStep(step);
}

void MapDialog::OnMouseMove(uint32_t flags, int32_t x, int32_t y) {
  if (!(flags & MK_LBUTTON)) return;
  uint32_t now = 0;
  if (dragStartX != -1 || dragStartY != -1) {
    if (MoveTooSoon(&now)) return;
    lastMoveTick = now;
    ShowDragPreview(x, y);
  }
  if (sliderActive.load()) {
    if (MoveTooSoon(&now)) return;
    lastMoveTick = now;
    MoveSlider(x, y);
  }
  if (backPressed && (x > BACK_MAX || y > BACK_MAX)) backPressed = false;  // sliding off cancels it
  Invalidate(true);
}

// The point under the finger goes where the last handled move left it; the
// shifted snapshot stays until the frame for the new centre arrives. A pan
// the renderer refuses (beyond the map's edge) brings no new frame, so the
// last frame is put back instead of leaving the preview with its grey band.
void MapDialog::FinishDrag() {
  int32_t offsetX = dragStartX - lastX;
  int32_t offsetY = dragStartY - lastY;
  bool refused = renderer->PanTo(offsetX + canvasWidth / 2, offsetY + canvasHeight / 2) < 0;
  dragStartX = dragStartY = -1;
  {
    std::lock_guard<std::mutex> lock(canvasLock);
    if (refused) {
      BlitOpaque(&composeCanvas.canvas, &mapCanvas.canvas, 0, 0, canvasWidth, canvasHeight, 0, 0);
    } else {
      FillRect(mapCanvas.dc, Rect{0, 0, canvasWidth, canvasHeight}, DRAG_GREY);
      BitBlt(mapCanvas.dc, 0, 0, canvasWidth, canvasHeight, dragCanvas.dc, offsetX, offsetY);
    }
  }
  Invalidate(false);
}

// The pressed look of a zoom button ends with the press. Each paint lays
// its looks over what the composed canvas holds, so the button's place is
// first given back the map under it (the last frame), then repainted.
void MapDialog::ReleaseZoomButton(int32_t x, int32_t y) {
  {
    std::lock_guard<std::mutex> lock(canvasLock);
    BlitOpaque(&composeCanvas.canvas, &mapCanvas.canvas, x, y, BUTTON_SIZE, BUTTON_SIZE, x, y);
  }
  InvalidateRect(Rect{RAIL_LEFT, 0, SCREEN_WIDTH, SCREEN_HEIGHT}, true);
}

void MapDialog::OnLButtonUp(uint32_t, int32_t, int32_t) {
  ReleaseCapture();
  if (dragStartX != -1 || dragStartY != -1) FinishDrag();
  sliderActive = false;
  if (backPressed) ShowWindow(SW_HIDE);
  if (zoomOutPressed) ReleaseZoomButton(MINUS_X, MINUS_Y);
  if (zoomInPressed) ReleaseZoomButton(PLUS_X, PLUS_Y);
  zoomOutPressed = zoomInPressed = backPressed = false;
}

// ---------------------------------------------------------------------------
// Painting

void MapDialog::DrawScaleLabel(DrawingContext* window) {
  char text[16];
  FormatScale(renderer->GetScaleMetres(), text, sizeof text);
  std::u16string label = Utf8ToUtf16(text);
  SetTextColour(window, SCALE_WHITE);
  SetBackgroundMode(window, BK_TRANSPARENT);
  // Centred on its rectangle; a label wider than it (such as "200km") spills
  // over both sides onto the frame's dark plate instead of being cut.
  DrawText(window, label.c_str(), static_cast<int32_t>(label.size()), SCALE_LABEL_RECT,
           DT_CENTER | DT_VCENTER | DT_NOCLIP);
  Pen* previous = SelectPen(window, scalePen);
  MoveTo(window, BRACKET[0][0], BRACKET[0][1]);
  for (int i = 1; i < 4; ++i) LineTo(window, BRACKET[i][0], BRACKET[i][1]);
  SelectPen(window, previous);
}

void MapDialog::OnPaint() {
  DrawingContext* window = BeginPaint();
  {
    std::lock_guard<std::mutex> lock(canvasLock);
    Canvas* compose = &composeCanvas.canvas;
    BlitKeyed(compose, &markerPicture, MARKER_X, MARKER_Y, MARKER_SIZE, MARKER_SIZE, 0, 0);
    BlitKeyedBlend(compose, &framePicture, MAP_SHOWN_X, MAP_SHOWN_Y, SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0, FRAME_WEIGHT);
    int32_t slider = sliderY.load();
    int32_t row = slider != -1 ? (slider - SLIDER_FIRST_ROW_Y) / SLIDER_ROW_HEIGHT : renderer->CurrentStep() / 2;
    BlitKeyed(compose, &knobPicture, KNOB_X, row * SLIDER_ROW_HEIGHT + KNOB_FIRST_Y, KNOB_WIDTH, KNOB_HEIGHT, 0, 0);
    if (zoomOutPressed) BlitOpaque(compose, &buttonsPicture, MINUS_X, MINUS_Y, BUTTON_SIZE, BUTTON_SIZE, MINUS_SOURCE_X, 0);
    if (zoomInPressed) BlitOpaque(compose, &buttonsPicture, PLUS_X, PLUS_Y, BUTTON_SIZE, BUTTON_SIZE, PLUS_SOURCE_X, 0);
    if (backPressed) {
      BlitKeyed(compose, &buttonsPicture, MAP_SHOWN_X, MAP_SHOWN_Y, BUTTON_SIZE, BACK_ARROW_HEIGHT, BACK_ARROW_SOURCE_X,
                0);
    }
    BitBlt(window, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, composeCanvas.dc, MAP_SHOWN_X, MAP_SHOWN_Y);
  }
  DrawScaleLabel(window);
  EndPaint(window);
}

// Every pixel comes from the composed canvas.
int MapDialog::OnEraseBkgnd(DrawingContext*) { return 0; }
