// The drawing resources frames are drawn with: the canvas a frame is drawn
// into with its text context, the scratch surface of the label text, the
// blue surface under boxed labels, the three picture atlases, the two name
// fonts and the passes' scratch buffers. The renderer makes one kit and
// draws every frame with it; the pass benchmarks make their own the same
// way. A kit serves one frame at a time.
#pragma once

#include <cstdint>

#include "canvas/canvas.h"
#include "geometry/types.h"
#include "mapdata/map_layout.h"
#include "platform/gdi.h"
#include "render/label_placement.h"

// A background item has at most this many points.
constexpr int32_t MAX_ITEM_POINTS = FEATURE_MAX_POINTS;

// One background item's points as pixels of the current parcel, with their
// edge flags: scratch of the background passes, so that mapping an item
// never allocates.
struct ItemPixels {
  Point pixels[MAX_ITEM_POINTS];
  int32_t flags[MAX_ITEM_POINTS];
  int32_t count = 0;
  Rect bounds{0, 0, 0, 0};  // the smallest and largest x and y of the pixels, all included
};

class DrawKit {
 public:
  DrawKit() = default;
  // Frees the drawing contexts and fonts; the canvases free themselves.
  ~DrawKit();
  DrawKit(const DrawKit&) = delete;
  DrawKit& operator=(const DrawKit&) = delete;

  // Creates the canvases of a width x height frame, the pictures and the
  // name fonts (antialiased),
  // fills the box canvas with the boxes' blue and selects the label font
  // into both drawing contexts. Returns 0, or -1 when a canvas, picture or
  // font could not be made (what was made stays, and is freed with the kit).
  int Create(int32_t width, int32_t height);

  // The name fonts: "MS UI ゴシック" of weight 300, labels at the font size
  // x 11 tenths of a point, small names at x 9.
  static constexpr int32_t NAME_FONT_SIZE = 10;
  static constexpr int32_t LABEL_FONT_FACTOR = 11;
  static constexpr int32_t SMALL_FONT_FACTOR = 9;
  static constexpr int32_t NAME_FONT_WEIGHT = 300;

  Canvas canvas;                         // the frame being drawn
  DrawingContext* context = nullptr;     // draws text into `canvas`
  Canvas textCanvas;                     // scratch surface of the label text
  DrawingContext* textContext = nullptr;
  Canvas boxCanvas;                      // blue, under boxed labels
  Canvas symbolAtlas;
  Canvas markAtlas;
  Canvas flagAtlas;
  Font* labelFont = nullptr;
  Font* smallFont = nullptr;
  ItemPixels itemPixels;                 // the background passes' current item
  PlacedLabels placedLabels;             // the labels the names pass placed in this frame
};
