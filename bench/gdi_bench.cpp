// Label text: 300 Japanese labels of 4 to 8 characters in the 11-point label
// font, measured and drawn white on magenta into a scratch canvas as the
// map's haloed labels are. Warm glyph caches against FreeType loading and
// rendering every glyph on every call.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "canvas/canvas.h"
#include "platform/gdi.h"
#include "platform/text_freetype.h"
#include "tools/splitmix64.h"

namespace {

constexpr int32_t LABEL_COUNT = 300;
constexpr uint32_t MAGENTA = 0xFF00FF;
constexpr uint32_t WHITE = 0xFFFFFF;

// Characters of place and facility names: kanji, hiragana, katakana.
const char16_t CHARACTERS[] =
    u"東京新宿渋谷池袋上野品川目黒世田谷区市町村駅前通り公園神社寺院病院学校郵便局銀行図書館交番消防署"
    u"国道県道橋川山谷坂丘台森林田畑中央本北南西東口入出大小高低のがにをはでとやへ"
    u"ガソリンスタンドホテルコンビニセンタープラザビルパークタワーマート";

std::vector<std::u16string> MakeLabels() {
  SplitMix64 random(5);
  size_t characterCount = sizeof(CHARACTERS) / sizeof(CHARACTERS[0]) - 1;
  std::vector<std::u16string> labels(LABEL_COUNT);
  for (std::u16string& label : labels) {
    size_t length = 4 + random.Next() % 5;
    for (size_t i = 0; i < length; ++i) label.push_back(CHARACTERS[random.Next() % characterCount]);
  }
  return labels;
}

struct LabelScene {
  Font* font = nullptr;
  Canvas textCanvas;
  DrawingContext* dc = nullptr;
  std::vector<std::u16string> labels = MakeLabels();

  LabelScene() {
    LogicalFont description;
    description.tenthsOfPoint = 110;
    description.weight = 300;
    font = CreateFont(description);
    CreateCanvas(&textCanvas, 996, 580);
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
