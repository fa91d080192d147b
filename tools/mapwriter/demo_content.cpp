#include "tools/mapwriter/demo_content.h"

#include "platform/unicode.h"
#include "tools/mapwriter/map_sections.h"

namespace {

// Road classes the drawing pass knows: 2 main road, 4 prefectural road,
// 6 local street.
constexpr uint16_t CLASS_MAIN = 2, CLASS_PREFECTURAL = 4, CLASS_STREET = 6;
// Background class codes: a park area, a river line and a railway line.
constexpr uint16_t TYPE_PARK = 3351;
constexpr uint16_t TYPE_RIVER = 3349;
constexpr uint16_t TYPE_RAILWAY = 2816;
// Name class codes: a place name and a road name (black labels), shown at
// every detail class.
constexpr uint16_t NAME_CLASS_PLACE = 100;
constexpr uint16_t NAME_CLASS_ROAD = 300;
constexpr uint16_t NAME_VISIBLE_ALWAYS = 0xF800;

const char* const PLACE_NAMES[] = {"本町", "栄町", "緑が丘", "桜台", "港町", "中央", "東雲", "若葉"};
const char* const ROAD_NAMES[] = {"中央通り", "桜通り", "大通り", "港通り"};

// A small hash so that neighbouring parcels differ but stay reproducible.
uint32_t Mix(int level, uint32_t row, uint32_t column) {
  uint32_t h = static_cast<uint32_t>(level) * 0x9E3779B1u ^ row * 0x85EBCA77u ^ column * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  return h ^ (h >> 13);
}

void AddRoad(RoadGroupRecord* group, uint16_t drawClass, std::vector<SectionPoint> line) {
  RoadObjectRecord object;
  object.attributes = static_cast<uint16_t>(drawClass << ROAD_ATTR_CLASS_SHIFT);
  if (AppendRoadPolyline(line, &object) > 0) group->objects.push_back(std::move(object));
}

// A main road east-west and a prefectural road south-north at fixed
// positions (so they meet the same roads in the neighbours), and a street
// whose bend depends on the parcel.
RoadSectionRecord Roads(uint32_t hash) {
  RoadSectionRecord roads;
  RoadGroupRecord main, prefectural, streets;
  main.flags = prefectural.flags = streets.flags = ROAD_GROUP_NO_SEGMENT_BLOCKS;
  AddRoad(&main, CLASS_MAIN, {{0, 1400}, {1500, 1460}, {2800, 1380}, {PARCEL_SPAN, 1400}});
  AddRoad(&prefectural, CLASS_PREFECTURAL, {{2600, 0}, {2560, 2000}, {2640, PARCEL_SPAN}});
  const int32_t bend = 800 + static_cast<int32_t>(hash % 1600);
  AddRoad(&streets, CLASS_STREET, {{0, 3000}, {bend, 3100}, {2600, 2400}});
  AddRoad(&streets, CLASS_STREET, {{900, 0}, {1000, 1400}, {bend / 2 + 300, PARCEL_SPAN}});
  roads.groups = {main, prefectural, streets};
  return roads;
}

BackgroundSectionRecord Background(uint32_t hash) {
  FeatureItemRecord park;
  park.typeCode = TYPE_PARK;
  const int32_t px = 300 + static_cast<int32_t>(hash % 900), py = 1900 + static_cast<int32_t>((hash >> 8) % 500);
  SetFeatureLine({{px, py}, {px + 900, py}, {px + 1000, py + 700}, {px, py + 800}, {px, py}}, &park);
  FeatureItemRecord river;
  river.typeCode = TYPE_RIVER;
  SetFeatureLine({{0, 500}, {1200, 700}, {2400, 300}, {PARCEL_SPAN, 600}}, &river);
  FeatureItemRecord railway;
  railway.typeCode = TYPE_RAILWAY;
  SetFeatureLine({{0, 3600}, {PARCEL_SPAN, 3300}}, &railway);

  FeatureClassRecord areas, lines;
  areas.slot = 2;
  areas.groups.push_back({FEATURE_KIND_AREA, false, {park}});
  lines.slot = 5;
  lines.groups.push_back({FEATURE_KIND_LINE, false, {river, railway}});
  BackgroundSectionRecord background;
  background.classes = {areas, lines};
  return background;
}

// A place label near the middle and the main road's name following it,
// one character every 400 units.
NameSectionRecord Names(uint32_t hash) {
  NameRecordRecord place;
  place.type = 1;
  place.attributes = NAME_VISIBLE_ALWAYS;
  place.classCode = NAME_CLASS_PLACE;
  place.anchor = {1800 + static_cast<int32_t>(hash % 600), 2600};
  place.text = Utf8ToUtf16(PLACE_NAMES[hash % std::size(PLACE_NAMES)]);

  NameRecordRecord road;
  road.type = 3;
  road.attributes = NAME_VISIBLE_ALWAYS;
  road.classCode = NAME_CLASS_ROAD;
  road.style = 3;  // offsets in steps of 8 units
  road.anchor = {600, 1420};
  road.text = Utf8ToUtf16(ROAD_NAMES[(hash >> 4) % std::size(ROAD_NAMES)]);
  for (size_t i = 0; i < road.text.size(); ++i) {
    road.placement.push_back(static_cast<uint8_t>(i));
    road.placementOffsets.push_back(i == 0 ? 0 : 50);  // 400 units east
    road.placementOffsets.push_back(0);
  }
  NameSectionRecord names;
  names.groups.push_back({false, {place, road}});
  return names;
}

}  // namespace

ParcelData DemoParcelContent(int levelIndex, uint32_t row, uint32_t column) {
  const uint32_t hash = Mix(levelIndex, row, column);
  ParcelSectionsRecord sections;
  sections.roads = Roads(hash);
  sections.background = Background(hash);
  sections.names = Names(hash);
  ParcelData data;
  EncodeParcelSections(sections, &data);  // fixed content within every limit
  return data;
}

ParcelFiller DemoContentFiller() { return DemoParcelContent; }
