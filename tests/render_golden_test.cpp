// Golden frames of one parcel holding every class of the background tables
// (as areas and as lines), every road class, an alternate group, names of
// the three label types, boxed labels, facility marks, symbols, numbered and
// route symbols, at five scale steps. TEVO_UPDATE_GOLDEN=1 rewrites them.
#include <string>
#include <vector>

#include "render_passes_support.h"
#include "screen_support.h"

namespace {

// The first code of every run of the background class tables.
const uint16_t AREA_CODES[] = {3344, 3351, 3536, 3345, 3346, 3347, 3348, 3472, 3528, 808,  3349, 3444, 3504,
                               3509, 3474, 3480, 3328, 3332, 3452, 3496, 3497, 3477, 3478, 3481, 3483, 3489,
                               3490, 3491, 3492, 3493, 3482, 3072, 3248, 3136, 3152, 3168, 3200, 3232, 3296, 3297};
const uint16_t LINE_CODES[] = {2816, 2820, 2848, 2912, 2944, 3328, 3332, 3452, 3296, 2916};

// Cells of the layout, in parcel units around the parcel's middle.
constexpr int32_t CELL = 90;
constexpr int32_t HALF_SPAN = 540;

ParcelSectionsRecord GoldenContent() {
  const int32_t x0 = PARCEL_MIDDLE - HALF_SPAN, y0 = PARCEL_MIDDLE - HALF_SPAN;
  std::vector<FeatureItemRecord> areas, lines;
  int32_t i = 0;
  for (uint16_t code : AREA_CODES) {
    const int32_t cx = x0 + CELL / 2 + (i % 12) * CELL, cy = y0 + 5 * CELL + (i / 12) * CELL;
    areas.push_back(Feature(code, Square(cx, cy, CELL / 3)));
    ++i;
  }
  i = 0;
  for (uint16_t code : LINE_CODES) {
    const int32_t x = x0 + CELL / 2 + i * CELL;
    lines.push_back(Feature(code, {{x, y0 + 9 * CELL}, {x + CELL / 2, y0 + 12 * CELL - 10}}));
    ++i;
  }
  ParcelSectionsRecord sections;
  sections.background = Background(std::move(areas), std::move(lines));

  RoadSectionRecord roads;
  for (uint16_t roadClass = 0; roadClass < 11; ++roadClass) {
    const int32_t y = y0 + CELL / 2 + roadClass * 35;
    roads.groups.push_back(RoadGroup(roadClass, {{x0, y}, {x0 + 4 * CELL, y + 30}, {x0 + 6 * CELL, y}}));
  }
  roads.groups.push_back(RoadGroup(7, {{x0 + 7 * CELL, y0 + CELL}, {x0 + 11 * CELL, y0 + 4 * CELL}}));  // alternate
  sections.roads = roads;

  const int32_t nx = x0 + 7 * CELL;
  NameRecordRecord angled = Name(1, 1300, {nx + 2 * CELL, y0 + 2 * CELL}, u"斜めの名前", 1 << 6);
  angled.extra2 = 210;
  NameRecordRecord placed = Name(3, 100, {nx, y0 + 4 * CELL}, u"川沿い通り");
  placed.placement = {0x10, 0x10, 0x80, 0x10, 0x10};
  placed.placementOffsets = {20, 4, 20, 4, 20, 4, 20, 4};
  placed.style = 1;
  sections.names = Names({Name(1, 3600, {nx, y0 + 6 * CELL}, u"東京駅"), Name(1, 3735, {nx + 3 * CELL, y0 + 6 * CELL}, u"塔"),
                          Name(1, 257, {nx + CELL, y0 + 8 * CELL}, u"駅"), Name(1, 689, {nx + 2 * CELL, y0 + 8 * CELL}, u"20"),
                          Name(1, 512, {nx + 3 * CELL, y0 + 8 * CELL}, u"1"), Name(1, 320, {nx + 4 * CELL, y0 + 8 * CELL}, u"追加"),
                          Name(1, 652, {nx, y0 + 10 * CELL}, u"箱の名前"), Name(1, 400, {nx + 3 * CELL, y0 + 10 * CELL}, u"二行\r名前です"),
                          Name(2, 1024, {nx, y0 + 11 * CELL}, u"緑の名前"), angled, placed});
  return sections;
}

class RenderGoldenTest : public RenderTest {};

TEST_F(RenderGoldenTest, EveryClassAtFiveSteps) {
  WriteMap(ContentMap(GoldenContent()));
  StartRenderer();
  for (int32_t step : {0, 6, 12, 18, 24}) {
    DrawView(ContentCentre(step), step);
    Canvas frame;
    CreateCanvas(&frame, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
    ASSERT_EQ(renderer->CopyFrame(&frame, 0, 0, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT), 0);
    EXPECT_TRUE(CanvasMatchesGolden(frame, "render_classes_step_" + std::to_string(step)));
  }
}

}  // namespace
