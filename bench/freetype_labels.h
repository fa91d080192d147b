// The peer of the label benchmark: labels measured and drawn with FreeType
// alone, without any glyph cache. Every glyph is loaded to measure its
// label and loaded and rendered again to draw it, as a text drawer without a
// cache does on every frame.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/pass_workloads.h"
#include "canvas/canvas.h"

class FreeTypeLabels {
 public:
  // Opens the face the label font is drawn with, at the label font's size.
  FreeTypeLabels();
  ~FreeTypeLabels();
  FreeTypeLabels(const FreeTypeLabels&) = delete;
  FreeTypeLabels& operator=(const FreeTypeLabels&) = delete;

  // False when no face could be opened.
  bool Ok() const;
  // Measures each label and draws it centred on its anchor, its glyphs'
  // coverage blended into `canvas` in `colour` (RGB565).
  void Draw(Canvas* canvas, const std::vector<PlacedWorkloadLabel>& labels, uint16_t colour);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};
