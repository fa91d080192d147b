// Parcel contents for the map section tests: one that uses every field the
// section writer knows, and a small one for sweeps over damaged maps.
#pragma once

#include <string>

#include "tools/mapwriter/map_sections.h"

inline RoadSegmentRecord Segment(std::vector<SectionPoint> points) { return {std::move(points)}; }

inline RoadObjectRecord RoadObject(uint16_t attributes, std::vector<RoadSegmentRecord> segments) {
  RoadObjectRecord object;
  object.attributes = attributes;
  object.segments = std::move(segments);
  return object;
}

// Roads: 12 table rows (absent rows, a row without objects, rows from 10 on
// drawn in the alternate style); every field combination of the group
// flags; attribute fields; tails; fill; stated lengths ahead of and behind
// the skipped data; objects without segments; coordinates above 4096.
inline RoadSectionRecord RichRoads() {
  RoadSectionRecord roads;
  roads.groups.resize(12);
  RoadGroupRecord& plain = roads.groups[0];  // fields A, B, C and segment blocks present
  RoadObjectRecord first = RoadObject(0x2000 | ROAD_ATTR_FIELDS_4_2 | ROAD_ATTR_FIELD_2,
                                      {Segment({{10, 20}, {137, 0}, {9, 127}}), Segment({{4101, 8191}})});
  first.fieldA = 3;
  first.fieldB = 1;
  first.fieldC = 2;
  first.tailWords = 5;
  first.fillWords = 2;
  plain.objects.push_back(first);
  plain.objects.push_back(RoadObject(0x5000 | ROAD_ATTR_FIELDS_2_2, {}));  // no segments: no slot
  RoadObjectRecord backwards = RoadObject(0x7000, {Segment({{32767, 0}, {32767 - 128, 127}})});
  backwards.fieldA = 20;       // 40 skipped bytes after the segment blocks
  backwards.statedWords = 20;  // ends before them: the next object overlaps them
  plain.objects.push_back(backwards);
  plain.objects.push_back(RoadObject(0x3000, {Segment({{100, 100}, {101, 99}})}));
  roads.groups[1].absent = true;
  roads.groups[2].flags = ROAD_GROUP_NO_FIELD_A | ROAD_GROUP_NO_FIELD_C | ROAD_GROUP_NO_SEGMENT_BLOCKS;
  RoadObjectRecord forwards = RoadObject(0x1000, {Segment({{1, 2}, {3, 4}}), Segment({{5, 6}, {-100 + 5, 6}})});
  forwards.fieldB = 4;
  forwards.statedWords = 60;  // well after its data
  roads.groups[2].objects = {forwards, RoadObject(0x9000, {Segment({{2000, 2000}})})};
  roads.groups[3].flags = ROAD_GROUP_NO_FIELD_A | ROAD_GROUP_NO_FIELD_B | ROAD_GROUP_NO_FIELD_C;  // no objects
  for (int row = 4; row < 12; ++row) {
    roads.groups[row].flags = static_cast<uint16_t>(row & 7);
    if (row % 3 == 0) continue;
    roads.groups[row].objects.push_back(
        RoadObject(static_cast<uint16_t>(row << ROAD_ATTR_CLASS_SHIFT), {Segment({{row, row * 2}, {row + 1, row}})}));
  }
  roads.groups[9].absent = true;
  return roads;
}

inline FeatureItemRecord Item(uint8_t itemClass, uint16_t typeCode, uint16_t flags,
                              std::vector<FeaturePointRecord> points) {
  FeatureItemRecord item;
  item.itemClass = itemClass;
  item.typeCode = typeCode;
  item.flags = flags;
  item.points = std::move(points);
  return item;
}

// Background: every group kind, run tables of one and several entries,
// every delta scale, toggles, every optional field, skipped items and items
// of class 0, surplus directory words, a class that is not present.
inline BackgroundSectionRecord RichBackground() {
  BackgroundSectionRecord background;
  background.surplusWords = 3;
  FeatureClassRecord areas;
  areas.slot = 0;
  FeatureItemRecord toggled =
      Item(4, 3351, FEATURE_FLAG_TOGGLES,
           {{100, 100, 0}, {105, 100, 0}, {105, 100, 1}, {106, 101, 1}, {106, 101, 0}, {108, 103, 0}});
  toggled.field12 = 0x1212;
  toggled.field11 = 0x1111;
  toggled.field13 = 0x13131313;
  toggled.headerField = 0x14141414;
  toggled.fillWords = 2;
  FeatureItemRecord scaled = Item(31, 3344, 2, {{8191, 0}, {8191 + 24, -8}, {8191 + 24 - 1024, 120}});
  FeatureItemRecord skipped = Item(5, 3345, 0, {{1, 1}, {2, 2}});
  skipped.skipped = true;
  FeatureItemRecord classless = Item(0, 3346, 0, {{3, 3}, {4, 4}, {5, 5}});
  areas.groups.push_back({FEATURE_KIND_AREA, false, {toggled, scaled, skipped, classless}});
  FeatureItemRecord single = Item(7, 2816, 1, {{4000, 4000}});
  FeatureItemRecord runs = Item(7, 2816, 3, {{0, 0}, {16, 16}, {32, 0}, {-2016, 2032}});
  runs.runs = {{0x1001, 7}, {0x0002, 8}, {0xF001, 9}};
  FeatureItemRecord oneRun = Item(7, 2816, 0, {{10, 10}, {11, 10}});
  oneRun.runs = {{2, 0x1234}};
  areas.groups.push_back({FEATURE_KIND_LINE, true, {single, runs, oneRun}});
  areas.groups.push_back({3, false, {Item(1, 1, 0, {{1, 1}}), Item(1, 1, 0, {{2, 2}})}});
  areas.groups.push_back({0, true, {Item(1, 1, 0, {{1, 1}})}});
  areas.groups.push_back({FEATURE_KIND_AREA, false, {}});
  FeatureClassRecord absent;
  absent.slot = 9;
  absent.presence = 0;
  absent.groups.push_back({FEATURE_KIND_LINE, false, {Item(1, 1, 0, {{1, 1}})}});
  FeatureClassRecord lines;
  lines.slot = 31;
  lines.presence = -2;
  lines.groups.push_back({FEATURE_KIND_LINE, false, {Item(2, 3472, 0, {{0, 8191}, {127, 8191 - 128}})}});
  background.classes = {areas, absent, lines};
  return background;
}

inline NameRecordRecord Name(uint8_t type, uint16_t classCode, const std::u16string& text) {
  NameRecordRecord record;
  record.type = type;
  record.attributes = 0xF800;
  record.classCode = classCode;
  record.anchor = {2048, 1024};
  record.text = text;
  return record;
}

// Names: absent groups and a group without records, every record type,
// skipped records, anchor bytes used and unused, a text of 40 characters,
// odd and even type-3 texts with offset-less placement bytes, both extras,
// characters that need escaping and a surrogate pair, fill words.
inline NameSectionRecord RichNames() {
  NameSectionRecord names;
  names.groups.resize(4);
  std::vector<NameRecordRecord>& records = names.groups[0].records;
  NameRecordRecord point = Name(1, 100, u"東京駅");
  point.extra1 = 0xE1;
  point.extra2 = 270;
  point.attributes |= 1 << 6;
  point.anchor = {4101, 32767};
  point.fillWords = 3;
  records.push_back(point);
  NameRecordRecord anchored = Name(2, 375, u"A\"b\\c\r\n\t\x01");
  anchored.anchorA = 0xF6;
  anchored.anchorB = 12;
  records.push_back(anchored);
  NameRecordRecord unanchored = Name(2, 652, u"x");
  unanchored.style = 5;
  unanchored.anchorA = 1;
  unanchored.anchorB = 2;
  records.push_back(unanchored);
  NameRecordRecord placed = Name(3, 300, u"中央通り線");
  placed.style = 3;
  placed.placement = {0x05, 0x80, 0x7F, 0xFF, 0x00};
  placed.placementOffsets = {1, 2, 3, 4, 0xFB, 0xFA};
  placed.extra1 = 7;
  records.push_back(placed);
  NameRecordRecord even = Name(3, 301, u"\U0001F600");
  even.placement = {0x80, 0x81};
  records.push_back(even);
  NameRecordRecord skipped = Name(1, 200, u"skipped");
  skipped.skipped = true;
  records.push_back(skipped);
  records.push_back(Name(0, 201, u""));
  records.push_back(Name(6, 202, u""));
  records.push_back(Name(1, 203, u""));  // no text
  NameRecordRecord longText = Name(1, 204, std::u16string(40, u'あ'));
  longText.fillWords = 1;
  records.push_back(longText);
  records.push_back(Name(3, 205, u""));  // a type-3 record without text has no placement
  names.groups[1].absent = true;
  names.groups[3].records.push_back(Name(1, 206, u"last"));
  return names;
}

inline ParcelSectionsRecord RichSections() {
  ParcelSectionsRecord sections;
  sections.valueA = 0x1234;
  sections.valueB = 0x7FFF;
  sections.roads = RichRoads();
  sections.background = RichBackground();
  sections.names = RichNames();
  return sections;
}

// A small parcel with all three kinds, for sweeps over damaged maps.
inline ParcelSectionsRecord SmallSections() {
  ParcelSectionsRecord sections;
  RoadSectionRecord roads;
  roads.groups.resize(2);
  roads.groups[0].absent = true;
  RoadObjectRecord object = RoadObject(0x2000 | ROAD_ATTR_FIELD_2, {Segment({{10, 20}, {30, 40}, {50, 35}})});
  object.fieldA = 1;
  object.tailWords = 1;
  object.statedWords = 16;
  roads.groups[1].objects = {object, RoadObject(0x4000, {Segment({{1, 1}, {2, 2}}), Segment({{3, 3}})})};
  sections.roads = roads;
  BackgroundSectionRecord background;
  FeatureClassRecord areas;
  areas.slot = 1;
  FeatureItemRecord item = Item(3, 3351, FEATURE_FLAG_TOGGLES, {{5, 5, 0}, {9, 5, 0}, {9, 5, 1}, {9, 9, 1}});
  item.field12 = 1;
  item.headerField = 2;
  areas.groups.push_back({FEATURE_KIND_AREA, true, {item, Item(0, 1, 0, {{1, 1}})}});
  areas.groups.push_back({3, false, {Item(1, 1, 0, {{1, 1}})}});
  background.classes = {areas};
  sections.background = background;
  NameSectionRecord names;
  names.groups.resize(2);
  NameRecordRecord placed = Name(3, 300, u"abc");
  placed.placement = {0x01, 0x80, 0x02};
  placed.placementOffsets = {1, 1, 2, 2};
  placed.extra2 = 9;
  names.groups[0].records = {placed, Name(2, 100, u"de")};
  names.groups[1].absent = true;
  sections.names = names;
  return sections;
}
