// A canvas together with the drawing context it is selected into, so that
// the platform's text and copies can draw into it or copy from it.
#pragma once

#include <cstdint>

#include "canvas/canvas.h"
#include "platform/gdi.h"
#include "platform/picture_cache.h"

struct CanvasContext {
  Canvas canvas;
  DrawingContext* dc = nullptr;

  CanvasContext() = default;
  ~CanvasContext() { Release(); }
  CanvasContext(const CanvasContext&) = delete;
  CanvasContext& operator=(const CanvasContext&) = delete;

  // A new width x height canvas with its context.
  void Create(int32_t width, int32_t height) {
    Release();
    dc = CreateDrawingContext();
    CreateCanvas(&canvas, width, height);
    SelectCanvas(dc, &canvas);
  }
  // A picture with its context; the canvas stays empty when it cannot be loaded.
  void Load(int pictureId) {
    Release();
    dc = CreateDrawingContext();
    LoadPicture(&canvas, pictureId);
    SelectCanvas(dc, &canvas);
  }
  void Release() {
    DeleteDrawingContext(dc);
    dc = nullptr;
    ReleaseCanvas(&canvas);
  }
};
