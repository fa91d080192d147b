// Label text: 300 Japanese labels of 4 to 8 characters in the 11-point label
// font, measured and drawn white on magenta into a scratch canvas as the
// map's haloed labels are. Warm glyph caches against FreeType loading and
// rendering every glyph on every call.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/label_workload.h"
#include "canvas/canvas.h"
#include "canvas/sizes.h"
#include "platform/gdi.h"
#include "platform/text_freetype.h"

namespace {

constexpr uint32_t MAGENTA = 0xFF00FF;
constexpr uint32_t WHITE = 0xFFFFFF;

struct LabelScene {
  Font* font = nullptr;
  Canvas textCanvas;
  DrawingContext* dc = nullptr;
  std::vector<std::u16string> labels = LabelWorkload();

  LabelScene() {
    LogicalFont description;
    description.tenthsOfPoint = LABEL_WORKLOAD_TENTHS_OF_POINT;
    description.weight = LABEL_WORKLOAD_WEIGHT;
    font = CreateFont(description);
    CreateCanvas(&textCanvas, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
    dc = CreateDrawingContext();
    SelectCanvas(dc, &textCanvas);
    SelectFont(dc, font);
    SetBackgroundMode(dc, BK_TRANSPARENT);
    SetTextColour(dc, WHITE);
  }
  ~LabelScene() {
    DeleteDrawingContext(dc);
    DeleteFont(font);
  }
};

// Measures the whole label and its first character, clears a box of that
// size to magenta and draws the label centred in it, as a haloed label is
// prepared. `uncached` empties the glyph cache before every call.
void DrawLabels(LabelScene* scene, bool uncached) {
  for (const std::u16string& label : scene->labels) {
    TextSize whole;
    TextSize first;
    if (uncached) ClearGlyphCache(scene->font);
    MeasureText(scene->dc, label.c_str(), static_cast<int32_t>(label.size()), &whole);
    if (uncached) ClearGlyphCache(scene->font);
    MeasureText(scene->dc, label.c_str(), 1, &first);
    Rect box{0, 0, whole.width, whole.height};
    FillRect(scene->dc, box, MAGENTA);
    if (uncached) ClearGlyphCache(scene->font);
    DrawText(scene->dc, label.c_str(), static_cast<int32_t>(label.size()), box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  benchmark::DoNotOptimize(scene->textCanvas.pixels[0]);
}

void BM_LabelsWarmCache(benchmark::State& state) {
  LabelScene scene;
  if (scene.font == nullptr) {
    state.SkipWithError("no font");
    return;
  }
  DrawLabels(&scene, false);
  for (auto _ : state) DrawLabels(&scene, false);
  state.counters["glyphLoads"] = static_cast<double>(GlyphLoadCount(scene.font));
}
BENCHMARK(BM_LabelsWarmCache)->Unit(benchmark::kMicrosecond);

void BM_LabelsUncachedFreeType(benchmark::State& state) {
  LabelScene scene;
  if (scene.font == nullptr) {
    state.SkipWithError("no font");
    return;
  }
  for (auto _ : state) DrawLabels(&scene, true);
}
BENCHMARK(BM_LabelsUncachedFreeType)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
