// The program's pictures: each picture file is decoded and converted to
// RGB565 once per process, and every LoadPicture copies the result into a
// canvas.
// Pictures can be decoded ahead, on a thread of their own, so that the
// screen that needs them does not wait for the decoding.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "canvas/canvas.h"

// Loads picture `pictureId` (129..153) into the canvas, converting it to
// RGB565 (pure magenta becomes exactly KEY_COLOUR). Returns non-zero on
// success; 0 when the picture cannot be loaded, leaving the canvas empty.
int LoadPicture(Canvas* canvas, int pictureId);

// One picture as RGB565 pixels, rows top-down without padding.
struct DecodedPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint16_t> pixels;
};

// The decoded picture `pictureId` from the picture directory in use,
// decoding it on the first request (a request for a picture that is being
// decoded on another thread waits for it). Null when the picture cannot be
// loaded; a failure is not remembered. Any thread.
std::shared_ptr<const DecodedPicture> FindDecodedPicture(int pictureId);

struct ScreenPreload;

// What a screen needs when it is created, to be prepared ahead.
struct PreloadList {
  const int* pictureIds;  // pictures to decode
  int pictureCount;
  int32_t canvasWidth;  // canvases of this size to make ready (CreateCanvas)
  int32_t canvasHeight;
  int canvasCount;
};

// Starts decoding the pictures of `list` and preparing its canvases on a
// thread of its own. Null when no thread can be started (the pictures are
// then decoded, and the canvases made, when first needed). Finish it with
// FinishScreenPreload.
ScreenPreload* StartScreenPreload(const PreloadList& list);
// Waits for a preload to end, frees the canvases it prepared that were not
// taken, and releases it; null is accepted.
void FinishScreenPreload(ScreenPreload* preload);
