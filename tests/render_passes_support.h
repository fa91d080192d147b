// One parcel of content (the same at every level, around one point) for
// the tests of the drawing passes: as a map file, and as a frame built from
// its decoded bytes; and the pixels of its points.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "mapdata/background_records.h"
#include "mapdata/name_records.h"
#include "mapdata/road_records.h"
#include "render/draw_kit.h"
#include "render/frame.h"
#include "render/frame_view.h"
#include "render_support.h"
#include "tools/mapwriter/map_sections.h"

// The point the content parcels hold, and the middle of a parcel in its own units.
constexpr MapCoord CONTENT_AT = {64397824, 16421504};
constexpr int32_t PARCEL_MIDDLE = PARCEL_SPAN / 2;

// The standard level serving `step`.
inline int LevelOfStep(int32_t step) {
  for (int i = 0; i < STANDARD_LEVEL_COUNT; ++i) {
    if (STANDARD_LEVELS[i].firstStep <= step && step <= STANDARD_LEVELS[i].lastStep) return i;
  }
  return -1;
}

// The parcel entry of the cell holding CONTENT_AT at level `level`.
inline ParcelEntry ContentParcel(int level) {
  const StandardLevel& l = STANDARD_LEVELS[level];
  ParcelEntry entry{};
  entry.x0 = STANDARD_EXTENT.x0 + (CONTENT_AT.x - STANDARD_EXTENT.x0) / l.parcelWidth * l.parcelWidth;
  entry.y0 = STANDARD_EXTENT.y0 + (CONTENT_AT.y - STANDARD_EXTENT.y0) / l.parcelHeight * l.parcelHeight;
  entry.width = l.parcelWidth;
  entry.height = l.parcelHeight;
  return entry;
}

// The middle of the content parcel of the step's level: a view centred
// there shows the parcel's middle at the canvas centre.
inline MapCoord ContentCentre(int32_t step) {
  ParcelEntry e = ContentParcel(LevelOfStep(step));
  return MapCoord{e.x0 + e.width / 2, e.y0 + e.height / 2};
}

// A standard map with `sections` in the cell holding CONTENT_AT at every level.
inline MapDescription ContentMap(const ParcelSectionsRecord& sections) {
  MapDescription map = StandardMap();
  ParcelData data;
  std::string error;
  EXPECT_EQ(EncodeParcelSections(sections, &data, &error), 0) << error;
  for (int i = 0; i < STANDARD_LEVEL_COUNT; ++i) {
    CoverBox(&map, i, InclusiveRect{CONTENT_AT.x, CONTENT_AT.y, CONTENT_AT.x, CONTENT_AT.y},
             [&](int, uint32_t, uint32_t) { return data; });
  }
  return map;
}

// The canvas pixel of a parcel-local point in the frame at `step`.
inline Point ContentPixel(int32_t step, int32_t nx, int32_t ny, uint16_t area = AREA_CANVAS) {
  FrameView view;
  MapCoord centre = SnapToPixelGrid(ContentCentre(step), static_cast<uint16_t>(step));
  SetFrameView(&view, centre, static_cast<uint16_t>(step), MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT, area);
  SetParcelView(&view, ContentParcel(LevelOfStep(step)));
  return MapPoint(view, Point16{static_cast<int16_t>(nx), static_cast<int16_t>(ny)});
}

// The encoded sections laid out one after the other in one parcel's data,
// with the header that locates them (in 16-bit words, as a parcel data
// header gives them).
inline ParcelHeader LayOutSections(const ParcelData& data, std::vector<uint8_t>* bytes) {
  ParcelHeader header{};
  header.valueA = static_cast<uint16_t>(data.valueA & 0x7FFF);
  header.valueB = static_cast<uint16_t>(data.valueB & 0x7FFF);
  auto place = [bytes](const std::vector<uint8_t>& section, uint32_t* offset, uint16_t* size) {
    *offset = NO_SECTION;
    *size = 0;
    if (section.empty()) return;
    *offset = static_cast<uint32_t>(bytes->size() / 2);
    *size = static_cast<uint16_t>((section.size() + 1) / 2);
    bytes->insert(bytes->end(), section.begin(), section.end());
    if (bytes->size() % 2 != 0) bytes->push_back(0);
  };
  place(data.road, &header.roadOffset, &header.roadSize);
  place(data.background, &header.backgroundOffset, &header.backgroundSize);
  place(data.names, &header.nameOffset, &header.nameSize);
  return header;
}

// A frame of the content parcel at `step`, built from the decoded bytes of
// `sections` without a map file or a worker: the content parcel of the
// step's standard level is the one entry of both lists, its decoded parcels
// sit in slot 0, both level entries carry that standard level's display
// thresholds, and it is drawn into `kit`. The decoded parcels are freed with
// the frame.
class ContentFrame {
 public:
  ContentFrame(const ParcelSectionsRecord& sections, int32_t step, uint16_t area, DrawKit* kit) {
    ParcelData data;
    std::string error;
    EXPECT_EQ(EncodeParcelSections(sections, &data, &error), 0) << error;
    const ParcelHeader header = LayOutSections(data, &bytes);
    const auto size = static_cast<uint32_t>(bytes.size());
    const int levelIndex = LevelOfStep(step);
    const MapDescription standardMap = StandardMap();
    const MapLevelDescription& standard = standardMap.levels[levelIndex];
    level.levelCode = standard.levelCode;
    std::copy(standard.thresholds, standard.thresholds + LEVEL_THRESHOLDS, level.thresholds);
    list.levelCode = standard.levelCode;
    entry = ContentParcel(levelIndex);
    list.capacity = 1;
    list.count = 1;
    list.entries = &entry;
    const MapCoord centre = SnapToPixelGrid(ContentCentre(step), static_cast<uint16_t>(step));
    SetFrameView(&frame.view, centre, static_cast<uint16_t>(step), MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT, area);
    frame.roadParcels = &list;
    frame.areaParcels = &list;
    frame.roads = {DecodeRoads(bytes.data(), size, header)};
    frame.names = {DecodeNames(bytes.data(), size, header)};
    frame.areas = {DecodeBackground(bytes.data(), size, header)};
    frame.lines = frame.areas;
    frame.roadLevelEntry = &level;
    frame.areaLevelEntry = &level;
    frame.kit = kit;
  }
  ~ContentFrame() {
    FreeRoads(frame.roads[0]);
    FreeNames(frame.names[0]);
    FreeBackground(frame.areas[0]);
  }
  ContentFrame(const ContentFrame&) = delete;
  ContentFrame& operator=(const ContentFrame&) = delete;

  Frame frame;

 private:
  std::vector<uint8_t> bytes;
  ParcelEntry entry{};
  ParcelList list{};
  LevelEntry level{};
};

// --- Content builders ---

// A background item along `points`. Long steps are split into steps of a
// signed byte; a point given twice in a row flips the edge flag (a (0, 0)
// step), so that the edges from it on are not drawn until the next repeat.
inline FeatureItemRecord Feature(uint16_t typeCode, const std::vector<SectionPoint>& points) {
  constexpr int32_t STEP = 127;
  FeatureItemRecord item;
  item.typeCode = typeCode;
  uint8_t toggle = 0;
  item.points.push_back(FeaturePointRecord{points[0].x, points[0].y, 0});
  for (size_t i = 1; i < points.size(); ++i) {
    const SectionPoint from = points[i - 1], to = points[i];
    if (from.x == to.x && from.y == to.y) {
      toggle ^= 1;
      item.flags |= FEATURE_FLAG_TOGGLES;
      item.points.push_back(FeaturePointRecord{to.x, to.y, toggle});
      continue;
    }
    const int32_t n = (std::max(std::abs(to.x - from.x), std::abs(to.y - from.y)) + STEP - 1) / STEP;
    for (int32_t k = 1; k <= n; ++k) {
      item.points.push_back(FeaturePointRecord{from.x + (to.x - from.x) * k / n, from.y + (to.y - from.y) * k / n, toggle});
    }
  }
  return item;
}

// A square area of side 2 × half around (cx, cy), counter-clockwise from its south-west corner.
inline std::vector<SectionPoint> Square(int32_t cx, int32_t cy, int32_t half) {
  return {{cx - half, cy - half}, {cx + half, cy - half}, {cx + half, cy + half}, {cx - half, cy + half}};
}

inline BackgroundSectionRecord Background(std::vector<FeatureItemRecord> areas, std::vector<FeatureItemRecord> lines) {
  BackgroundSectionRecord section;
  FeatureClassRecord featureClass;
  featureClass.slot = 0;
  if (!areas.empty()) featureClass.groups.push_back(FeatureGroupRecord{FEATURE_KIND_AREA, false, std::move(areas)});
  if (!lines.empty()) featureClass.groups.push_back(FeatureGroupRecord{FEATURE_KIND_LINE, false, std::move(lines)});
  section.classes.push_back(std::move(featureClass));
  return section;
}

// A road group of one object along `points`, of drawing class `roadClass`.
inline RoadGroupRecord RoadGroup(uint16_t roadClass, const std::vector<SectionPoint>& points) {
  RoadGroupRecord group;
  group.flags = ROAD_GROUP_NO_FIELD_A | ROAD_GROUP_NO_FIELD_B | ROAD_GROUP_NO_FIELD_C | ROAD_GROUP_NO_SEGMENT_BLOCKS;
  RoadObjectRecord object;
  object.attributes = static_cast<uint16_t>(roadClass << ROAD_ATTR_CLASS_SHIFT);
  AppendRoadPolyline(points, &object);
  group.objects.push_back(std::move(object));
  return group;
}

// A name record of `type` visible at every detail class.
inline NameRecordRecord Name(uint8_t type, uint16_t classCode, SectionPoint anchor, const std::u16string& text,
                             uint16_t attributes = 0) {
  NameRecordRecord record;
  record.type = type;
  record.attributes = static_cast<uint16_t>(0xF800 | attributes);
  record.classCode = classCode;
  record.anchor = anchor;
  record.text.assign(text.begin(), text.end());
  return record;
}

inline NameSectionRecord Names(std::vector<NameRecordRecord> records) {
  NameSectionRecord section;
  section.groups.push_back(NameGroupRecord{false, std::move(records)});
  return section;
}
