#include "bench/pass_workloads.h"

#include <algorithm>
#include <cstdio>

#include "bench/label_workload.h"
#include "canvas/picture_ids.h"
#include "geometry/raster.h"
#include "mapdata/block_cache.h"
#include "mapdata/map_database.h"
#include "mapdata/map_layout.h"
#include "mapdata/parcel_index.h"
#include "platform/gdi.h"
#include "render/frame_view.h"
#include "render/name_tables.h"
#include "render/passes.h"
#include "render/styles.h"
#include "tools/mapwriter/map_sections.h"
#include "tools/mapwriter/map_writer.h"

namespace {

// The view: step 0 of the finest level, on a parcel of 4096 x 4096 map units
// centred on the canvas.
constexpr uint16_t WORKLOAD_STEP = 0;
constexpr uint16_t WORKLOAD_LEVEL = LEVEL_CODE_FINEST;
constexpr int32_t PARCEL_UNITS = 4096;
constexpr MapCoord VIEW_CENTRE{64397824, 16421504};  // a multiple of 16 on both axes
// Display thresholds of the level (100 x the scale values of steps 0..3 in
// metres): step 0 is detail class 0, where every name is visible.
constexpr uint32_t LEVEL_THRESHOLDS[LEVEL_THRESHOLDS] = {1000, 1700, 2500, 3700, 5000};

// Pixels the parcel spans at the step, parcel points per pixel, and the
// pixel of the parcel's south-west corner (x from the left, y upwards from
// the canvas bottom).
constexpr int32_t PARCEL_PIXELS = PARCEL_UNITS / 2;
constexpr int32_t POINTS_PER_PIXEL = PARCEL_SPAN / PARCEL_PIXELS;
constexpr int32_t ORIGIN_X = MAP_CANVAS_WIDTH / 2 - PARCEL_PIXELS / 2;
constexpr int32_t ORIGIN_Y = MAP_CANVAS_HEIGHT / 2 - PARCEL_PIXELS / 2;

// The workload's eight area colours as classes: five base areas (step 0
// draws class 3344 as water) and three fill-only features.
constexpr uint16_t AREA_CLASSES[AREA_COLOURS] = {3344, 3345, 3346, 3347, 3348, 3472, 808, 3474};

// Road classes whose styles draw the workload's casing widths 1, 3 and 5
// (with centres of 0, 1 and 3 pixels).
struct RoadClassOfWidth {
  int32_t width;
  uint16_t roadClass;
};
constexpr RoadClassOfWidth ROAD_CLASSES[] = {{1, 7}, {3, 5}, {5, 2}};

// Labels are packed in rows from this pixel of the canvas on.
constexpr int32_t LABEL_MARGIN = 1;
// Name attributes: visible at every detail class.
constexpr uint16_t NAME_VISIBLE_EVERYWHERE = 0xF800;
constexpr uint8_t NAME_TYPE_POINT_LABEL = 1;

// Fonts of the names, as the renderer creates them.
constexpr int32_t SMALL_FONT_TENTHS = 90;
constexpr uint16_t BOX_BLUE = 0x001F;

SectionPoint ParcelPoint(Point pixel) {
  return SectionPoint{(pixel.x - ORIGIN_X) * POINTS_PER_PIXEL, (MAP_CANVAS_HEIGHT - ORIGIN_Y - pixel.y) * POINTS_PER_PIXEL};
}

std::vector<SectionPoint> ParcelPoints(const Shape& shape) {
  std::vector<SectionPoint> points;
  points.reserve(shape.size());
  for (const Point& p : shape) points.push_back(ParcelPoint(p));
  return points;
}

int Fail(const std::string& reason) {
  std::fprintf(stderr, "pass workload: %s\n", reason.c_str());
  return -1;
}

int32_t EvenUp(int32_t v) { return v + (v & 1); }

LogicalFont NameFont(int32_t tenths) {
  LogicalFont font;
  font.tenthsOfPoint = tenths;
  font.weight = LABEL_WORKLOAD_WEIGHT;
  font.quality = FONT_QUALITY_ANTIALIASED;
  return font;
}

int BackgroundOf(const WorkloadFrame& city, BackgroundSectionRecord* section, std::string* error) {
  FeatureGroupRecord group;
  group.kind = FEATURE_KIND_AREA;
  for (size_t i = 0; i < city.areas.size(); ++i) {
    FeatureItemRecord item;
    item.typeCode = AREA_CLASSES[i % AREA_COLOURS];
    if (SetFeatureLine(ParcelPoints(city.areas[i]), &item, error) < 0) return -1;
    group.items.push_back(std::move(item));
  }
  FeatureClassRecord featureClass;
  featureClass.slot = 0;
  featureClass.groups.push_back(std::move(group));
  section->classes.push_back(std::move(featureClass));
  return 0;
}

int RoadsOf(const WorkloadFrame& city, RoadSectionRecord* section, std::string* error) {
  for (const RoadClassOfWidth& style : ROAD_CLASSES) {
    if (ROAD_STYLES[style.roadClass].width != style.width) {
      *error = "road class " + std::to_string(style.roadClass) + " does not draw width " + std::to_string(style.width);
      return -1;
    }
    RoadGroupRecord group;
    group.flags = ROAD_GROUP_NO_FIELD_A | ROAD_GROUP_NO_FIELD_B | ROAD_GROUP_NO_FIELD_C | ROAD_GROUP_NO_SEGMENT_BLOCKS;
    for (const StyledRoad& road : city.roads) {
      if (road.width != style.width) continue;
      RoadObjectRecord object;
      object.attributes = static_cast<uint16_t>(style.roadClass << ROAD_ATTR_CLASS_SHIFT);
      if (AppendRoadPolyline(ParcelPoints(road.points), &object, error) < 0) return -1;
      group.objects.push_back(std::move(object));
    }
    section->groups.push_back(std::move(group));
  }
  return 0;
}

NameSectionRecord NamesOf(const std::vector<PlacedWorkloadLabel>& labels) {
  NameGroupRecord group;
  for (const PlacedWorkloadLabel& label : labels) {
    NameRecordRecord record;
    record.type = NAME_TYPE_POINT_LABEL;
    record.attributes = NAME_VISIBLE_EVERYWHERE;
    record.classCode = WORKLOAD_LABEL_CLASS;
    record.anchor = ParcelPoint(label.anchor);
    record.text = label.text;
    group.records.push_back(std::move(record));
  }
  NameSectionRecord section;
  section.groups.push_back(std::move(group));
  return section;
}

int WriteWorkloadMap(const ParcelSectionsRecord& sections, const std::string& path) {
  ParcelData data;
  std::string error;
  if (EncodeParcelSections(sections, &data, &error) != 0) return Fail(error);
  MapDescription map;
  map.extent = InclusiveRect{VIEW_CENTRE.x - PARCEL_UNITS / 2, VIEW_CENTRE.y - PARCEL_UNITS / 2,
                      VIEW_CENTRE.x + PARCEL_UNITS / 2, VIEW_CENTRE.y + PARCEL_UNITS / 2};
  const int level = AddRegularLevel(&map, WORKLOAD_LEVEL, PARCEL_UNITS, PARCEL_UNITS, LEVEL_THRESHOLDS);
  if (level < 0 || CoverBox(&map, level, map.extent, [&](int, uint32_t, uint32_t) { return data; }) != 1) {
    return Fail("cannot describe the one-parcel map");
  }
  if (WriteMapFile(map, path.c_str(), nullptr, &error) != 0) return Fail("cannot write " + path + ": " + error);
  return 0;
}

// True when the view maps parcel points to the workload's pixels exactly,
// inside the canvas and beyond it.
bool MapsPixelsExactly(FrameView view, const ParcelEntry& entry) {
  SetParcelView(&view, entry);
  const Point probes[] = {{0, 0}, {MAP_CANVAS_WIDTH - 1, MAP_CANVAS_HEIGHT - 1}, {-100, 700}, {1100, -120}, {513, 287}};
  for (const Point& p : probes) {
    const SectionPoint s = ParcelPoint(p);
    const Point mapped = MapPoint(view, Point16{static_cast<int16_t>(s.x), static_cast<int16_t>(s.y)});
    if (mapped.x != p.x || mapped.y != p.y) return false;
  }
  return true;
}

}  // namespace

PassRig::PassRig() {
  labelFont = CreateFont(NameFont(LABEL_WORKLOAD_TENTHS_OF_POINT));
  smallFont = CreateFont(NameFont(SMALL_FONT_TENTHS));
  CreateCanvas(&canvas, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
  CreateCanvas(&textCanvas, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
  CreateCanvas(&boxCanvas, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
  BlendFill(&boxCanvas, 0, 0, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT, BOX_BLUE, 255);
  LoadPicture(&symbolAtlas, PICTURE_MAP_SYMBOLS);
  LoadPicture(&markAtlas, PICTURE_FACILITY_MARKS);
  LoadPicture(&flagAtlas, PICTURE_ROUND_BUTTONS);
  context = CreateDrawingContext();
  SelectCanvas(context, &canvas);
  SelectFont(context, labelFont);
  textContext = CreateDrawingContext();
  SelectCanvas(textContext, &textCanvas);
  SelectFont(textContext, labelFont);
}

PassRig::~PassRig() {
  FreeParcelList(roadParcels);
  FreeParcelList(areaParcels);
  MapDatabase::Destroy();
  DestroyBlockCache();
  DeleteDrawingContext(context);
  DeleteDrawingContext(textContext);
  DeleteFont(labelFont);
  DeleteFont(smallFont);
}

// Rows of labels side by side, each in the rectangle the names pass gives a
// one-line point label around its anchor (the measured width evened up, half
// the height above the anchor and half the first character's below). Labels
// that share only an edge do not collide, so none is dropped.
int PassRig::PlaceLabels(const std::vector<std::u16string>& labels) {
  placed.clear();
  int32_t x = LABEL_MARGIN, rowTop = LABEL_MARGIN, rowHeight = 0;
  for (const std::u16string& text : labels) {
    TextSize whole{}, first{};
    const auto count = static_cast<int32_t>(text.size());
    if (count == 0 || MeasureText(context, text.c_str(), count, &whole) == 0 ||
        MeasureText(context, text.c_str(), 1, &first) == 0) {
      return Fail("cannot measure a label");
    }
    const int32_t width = EvenUp(whole.width), above = EvenUp(whole.height) / 2, below = first.height / 2;
    if (x + width > MAP_CANVAS_WIDTH - LABEL_MARGIN) {
      x = LABEL_MARGIN;
      rowTop += rowHeight;
      rowHeight = 0;
    }
    if (rowTop + above + below > MAP_CANVAS_HEIGHT - LABEL_MARGIN) return Fail("the labels do not fit the canvas");
    placed.push_back(PlacedWorkloadLabel{text, Point{x + width / 2, rowTop + above}});
    x += width;
    rowHeight = std::max(rowHeight, above + below);
  }
  return 0;
}

int PassRig::Open(const WorkloadFrame& city, const std::vector<std::u16string>& labels, const std::string& mapPath) {
  if (labelFont == nullptr || canvas.pixels == nullptr) return Fail("no label font or canvas");
  AtlasRect rect;
  bool numbered = false;
  if (MarkOf(WORKLOAD_LABEL_CLASS, &rect) || SymbolOf(WORKLOAD_LABEL_CLASS, &rect, &numbered) ||
      ExtraSymbolClass(WORKLOAD_LABEL_CLASS) || BoxedLabelClass(WORKLOAD_LABEL_CLASS)) {
    return Fail("the label class is not a plain haloed label");
  }
  if (PlaceLabels(labels) != 0) return -1;
  ParcelSectionsRecord sections;
  std::string error;
  sections.background.emplace();
  sections.roads.emplace();
  if (BackgroundOf(city, &*sections.background, &error) != 0 || RoadsOf(city, &*sections.roads, &error) != 0) {
    return Fail(error);
  }
  sections.names = NamesOf(placed);
  if (WriteWorkloadMap(sections, mapPath) != 0) return -1;
  if (LoadMapDatabase(mapPath.c_str()) != 0) return Fail("cannot load " + mapPath);

  SetFrameView(&frame.view, SnapToPixelGrid(VIEW_CENTRE, WORKLOAD_STEP), WORKLOAD_STEP, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT,
               AREA_CANVAS);
  const ScaleStep& step = SCALE_STEPS[WORKLOAD_STEP];
  roadParcels = FindParcels(&frame.view.center, frame.view.halfWidth, frame.view.halfHeight, step.roadLevel);
  areaParcels = FindParcels(&frame.view.center, frame.view.halfWidth, frame.view.halfHeight, step.areaLevel);
  if (roadParcels == nullptr || areaParcels == nullptr || roadParcels->count != 1 || areaParcels->count != 1) {
    return Fail("the view does not find the map's one parcel");
  }
  if (!MapsPixelsExactly(frame.view, roadParcels->entries[0])) return Fail("the view does not map pixels exactly");

  frame.roadParcels = roadParcels;
  frame.areaParcels = areaParcels;
  frame.canvas = &canvas;
  frame.context = context;
  frame.textCanvas = &textCanvas;
  frame.textContext = textContext;
  frame.boxCanvas = &boxCanvas;
  frame.symbolAtlas = &symbolAtlas;
  frame.markAtlas = &markAtlas;
  frame.flagAtlas = &flagAtlas;
  frame.labelFont = labelFont;
  frame.smallFont = smallFont;
  return 0;
}

void PassRig::DrawDenseFrame() {
  FillCanvas(&canvas, StyleColour(BACKGROUND_STYLES[STYLE_LAND]));
  DrawBaseAreas(&frame);
  DrawFeatures(&frame);
  DrawRoads(&frame);
}

void PassRig::DrawLabels() { DrawNames(&frame); }
