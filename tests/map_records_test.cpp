// The parcel section decoders on small byte arrays: road group tables and
// object layouts, background items, name records, and damaged sections.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mapdata/background_records.h"
#include "mapdata/name_records.h"
#include "mapdata/road_records.h"
#include "map_records_support.h"

namespace {

RoadParcel* Roads(const Bytes& section) {
  return DecodeRoads(section.data.data(), section.Size(), HeaderFor(SectionKind::ROADS, section));
}
BackgroundParcel* Background(const Bytes& section) {
  return DecodeBackground(section.data.data(), section.Size(), HeaderFor(SectionKind::BACKGROUND, section));
}
NameParcel* Names(const Bytes& section) {
  return DecodeNames(section.data.data(), section.Size(), HeaderFor(SectionKind::NAMES, section));
}

Bytes Segment(uint16_t x, uint16_t y, std::initializer_list<int8_t> deltas) {
  Bytes b;
  b.U16(static_cast<uint32_t>(deltas.size() / 2)).U16(x).U16(y);
  for (int8_t d : deltas) b.U8(static_cast<uint8_t>(d));
  return b;
}

// --- Roads ---

TEST(RoadRecordsTest, EveryTableRowTakesItsSlotUpToThirtyTwo) {
  // 34 rows; rows 0 and 10 hold the same group, the others are empty in
  // either way; the group data follows the 8-byte head and 136-byte table.
  std::vector<std::pair<uint16_t, uint16_t>> rows(34, {EMPTY_ROAD_GROUP, 1});
  rows[0] = rows[10] = {72, 1};
  rows[2] = {72, 0};
  Bytes section;
  section.U16(0).U16(0).U8(34).U8(0).U16(0);
  for (const auto& [offset, count] : rows) section.U16(offset).U16(count);
  section.U16(0x000F).Append(SimpleRoadObject(0x3000, 0x2005, 0x1FFF, {3, -1}));

  RoadParcel* parcel = Roads(section);
  ASSERT_NE(parcel, nullptr);
  EXPECT_EQ(parcel->groupCount, ROAD_GROUP_SLOTS);
  for (int row = 0; row < ROAD_GROUP_SLOTS; ++row) {
    const RoadGroup& group = parcel->groups[row];
    const bool decoded = row == 0 || row == 10;
    EXPECT_EQ(group.decodedCount, decoded ? 1 : 0) << row;
    EXPECT_EQ(group.alternate, row == 10 ? 1 : 0) << row;
    if (!decoded) continue;
    EXPECT_EQ(group.drawClass, 3);
    const ShapeSegment* segment = group.objects[0];
    EXPECT_EQ(segment->x, 4101);  // 0x2005: 5 + one parcel span
    EXPECT_EQ(segment->y, 8191);
    ASSERT_EQ(segment->deltaCount, 1);
    EXPECT_EQ(segment->deltas[0], 3);
    EXPECT_EQ(segment->deltas[1], -1);
    EXPECT_EQ(segment->next, nullptr);
  }
  EXPECT_EQ(parcel->groups[2].objectCount, 0);
  FreeRoads(parcel);
}

// Each case is a first object of one layout; the reader must land exactly on
// the marker object that follows it.
struct ObjectCase {
  const char* name;
  uint16_t groupFlags;
  Bytes first;
  int decoded;  // objects decoded in the group
};

std::vector<ObjectCase> ObjectCases() {
  const Bytes seg = Segment(100, 200, {1, 1});  // 8 bytes
  std::vector<ObjectCase> cases;
  cases.push_back({"no optional parts", 0x000F, Bytes().U32(5).U16(1).U16(0).U16(0x1000).Append(seg), 2});
  cases.push_back({"fields A, B, C skipped after the segments", 0x0008,
                   Bytes().U32(8).U16(1).U16(0).U16(1).U16(0).U16(2).U16(0x1000).Append(seg).Fill(6), 2});
  cases.push_back({"8 bytes per segment without group bit 3", 0x0007,
                   Bytes().U32(5).U16(2).U16(0).U16(0x1000).Append(seg).Append(seg).Fill(16), 2});
  cases.push_back({"attribute bits 11, 9 and 1", 0x000F,
                   Bytes().U32(11).U16(1).U16(0).U16(0x1A02).Fill(12).Append(seg), 2});
  cases.push_back({"tail length word, masked to 15 bits", 0x000F,
                   Bytes().U32(0x8006).U16(1).U16(0).U16(0x1000).U16(0x8003).Append(seg).Fill(6), 2});
  cases.push_back({"fill up to the fixed length", 0x000F,
                   Bytes().U32(8).U16(1).U16(0).U16(0x1000).Fill(6).Append(seg), 2});
  cases.push_back({"bit 29 moves forwards past trailing bytes", 0x000F,
                   Bytes().U32((1u << 29) | (13u << 16) | 5).U16(1).U16(0).U16(0x1000).Append(seg).Fill(8), 2});
  cases.push_back({"bit 29 moves back before a field's stated bytes", 0x000D,
                   Bytes().U32((1u << 29) | (10u << 16) | 6).U16(1).U16(0).U16(10).U16(0x1000).Append(seg), 2});
  cases.push_back({"an object without segments takes no position", 0x000F,
                   Bytes().U32(5).U16(0).U16(0).U16(0x1000), 1});
  cases.push_back({"bit 29 with length 0 ends the group", 0x000F,
                   Bytes().U32((1u << 29) | 5).U16(1).U16(0).U16(0x1000).Append(seg), 1});
  return cases;
}

TEST(RoadRecordsTest, ObjectLayoutsLandOnTheNextObject) {
  for (const ObjectCase& c : ObjectCases()) {
    SCOPED_TRACE(c.name);
    Bytes section = RoadHead({{6, 2}});
    section.U16(c.groupFlags).Append(c.first).Append(SimpleRoadObject(0x5000, 0x2005, 7, {-2, 4}));
    // Groups without field C etc. read the marker through the same flags:
    // give it the fields those flags ask for.
    if (c.groupFlags != 0x000F) {
      section = RoadHead({{6, 2}});
      Bytes marker;
      marker.U32(5 + ((c.groupFlags & 4) ? 0 : 1) + ((c.groupFlags & 2) ? 0 : 1) + ((c.groupFlags & 1) ? 0 : 1))
          .U16(1)
          .U16(0);
      for (uint16_t bit : {4, 2, 1}) {
        if (!(c.groupFlags & bit)) marker.U16(0);
      }
      marker.U16(0x5000).Append(Segment(0x2005, 7, {-2, 4}));
      if (!(c.groupFlags & 8)) marker.Fill(8);
      section.U16(c.groupFlags).Append(c.first).Append(marker);
    }
    RoadParcel* parcel = Roads(section);
    ASSERT_NE(parcel, nullptr);
    const RoadGroup& group = parcel->groups[0];
    ASSERT_EQ(group.decodedCount, c.decoded);
    const ShapeSegment* last = group.objects[c.decoded - 1];
    if (c.decoded == 2) {
      EXPECT_EQ(group.objects[0]->x, 100);
      EXPECT_EQ(last->x, 4101);
      EXPECT_EQ(last->y, 7);
      EXPECT_EQ(group.drawClass, 5);
      EXPECT_EQ(group.objectAttributes[1], 0x5000);
    }
    FreeRoads(parcel);
  }
}

// --- Background ---

// An item: header flags and length (computed), class, points from deltas,
// and `tail` bytes (run table, optional fields, fill) after the deltas.
Bytes Item(uint16_t headerFlags, uint16_t itemClass, uint16_t typeCode, uint16_t flags, uint16_t x, uint16_t y,
           std::initializer_list<int8_t> deltas, const Bytes& tail = Bytes()) {
  const auto pointCount = static_cast<uint32_t>(deltas.size() / 2 + 1);
  const uint32_t words = (12 + static_cast<uint32_t>(deltas.size()) + tail.Size()) / 2;
  Bytes b;
  b.U16(headerFlags | words).U16((itemClass << 11) | (pointCount - 1)).U16(typeCode).U16(flags).U16(x).U16(y);
  for (int8_t d : deltas) b.U8(static_cast<uint8_t>(d));
  return b.Append(tail);
}

// A background section with one class in slot 3 holding `groups` (group
// word, item bytes), laid out one after another.
Bytes BackgroundWith(const std::vector<std::pair<uint16_t, Bytes>>& groups) {
  Bytes section = BackgroundDirectory(3);
  uint32_t offset = 1 + 2 * static_cast<uint32_t>(groups.size());  // words from the class
  section.U16(static_cast<uint32_t>(groups.size()));
  for (const auto& [word, items] : groups) {
    section.U16(offset).U16(word);
    offset += items.Size() / 2;
  }
  for (const auto& group : groups) section.Append(group.second);
  return section;
}

TEST(BackgroundRecordsTest, DeltaScalesMultiplyTheDeltas) {
  const struct {
    uint16_t scale;
    int16_t x, y;
  } cases[] = {{0, 103, 99}, {1, 112, 96}, {2, 124, 92}, {3, 148, 84}};
  for (const auto& c : cases) {
    BackgroundParcel* parcel = Background(BackgroundWith({{0x4001, Item(0, 4, 7, c.scale, 100, 100, {3, -1})}}));
    ASSERT_NE(parcel, nullptr);
    const FeatureItem& item = parcel->classes[3].groups[0].items[0];
    ASSERT_EQ(item.pointCount, 2);
    EXPECT_EQ(item.points[1].x, c.x) << c.scale;
    EXPECT_EQ(item.points[1].y, c.y) << c.scale;
    FreeBackground(parcel);
  }
}

TEST(BackgroundRecordsTest, ZeroDeltasFlipTheToggleOnlyWithBit10) {
  for (uint16_t flags : {0x0400, 0x0000}) {
    const Bytes item = Item(0, 4, 7, flags, 0x2010, 10, {5, 0, 0, 0, 1, 1, 0, 0, 2, 2});
    BackgroundParcel* parcel = Background(BackgroundWith({{0x8001, item}}));
    ASSERT_NE(parcel, nullptr);
    const FeatureItem& decoded = parcel->classes[3].groups[0].items[0];
    ASSERT_EQ(decoded.pointCount, 6);
    EXPECT_EQ(decoded.points[0].x, 0x10);  // background points keep 13 bits only
    EXPECT_EQ(decoded.points[2].x, decoded.points[1].x);
    const int expected[] = {0, 0, 1, 1, 0, 0};
    for (int j = 0; j < 6; ++j) EXPECT_EQ(decoded.points[j].toggle, flags ? expected[j] : 0) << j;
    FreeBackground(parcel);
  }
}

TEST(BackgroundRecordsTest, KindsRunTablesSkippedItemsAndOptionalFieldsKeepItemsAligned) {
  Bytes lines;
  lines.Append(Item(0, 2, 11, 0, 1, 2, {1, 1, 1, 1}, Bytes().U16(0x5003).U16(9)))  // one run entry covers 3 points
      .Append(Item(0, 2, 12, 0, 5, 6, {}, Bytes().U16(1).U16(0)));              // a single point, no deltas
  Bytes areas;
  areas.U16(0x8000 | 4).U16((5 << 11) | 3).Fill(4)  // no shape: skipped by its length
      .U16(3).U16(0x0002).Fill(2)                    // class 0: skipped
      .Append(Item(0x4000, 6, 13, 0x3800, 7, 8, {2, 2}, Bytes().Fill(12).Fill(4)))
      .Append(Item(0, 6, 14, 0, 9, 9, {}));
  BackgroundParcel* parcel = Background(BackgroundWith({{0xC003, Bytes()}, {0x6002, lines}, {0x8004, areas}}));
  ASSERT_NE(parcel, nullptr);
  const FeatureClass& featureClass = parcel->classes[3];
  ASSERT_EQ(featureClass.groupCount, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(featureClass.groups[0].items[i].points, nullptr);
    EXPECT_EQ(featureClass.groups[0].items[i].itemHeader, 0);
  }
  const FeatureItem* line = featureClass.groups[1].items;
  EXPECT_EQ(line[0].pointCount, 3);
  EXPECT_EQ(line[1].typeCode, 12);
  EXPECT_EQ(line[1].pointCount, 1);
  EXPECT_EQ(line[1].points[0].x, 5);
  const FeatureItem* area = featureClass.groups[2].items;
  EXPECT_EQ(area[0].points, nullptr);
  EXPECT_EQ(area[0].itemClass, 5);
  EXPECT_EQ(area[0].pointCount, 4);
  EXPECT_EQ(area[1].points, nullptr);
  EXPECT_EQ(area[1].itemClass, 0);
  EXPECT_EQ(area[2].typeCode, 13);
  EXPECT_EQ(area[2].points[1].x, 9);
  EXPECT_EQ(area[3].typeCode, 14);
  EXPECT_EQ(area[3].points[0].y, 9);
  FreeBackground(parcel);
}

// --- Names ---

Bytes Record(uint16_t headerFlags, uint16_t attributes, uint16_t classCode, const Bytes& body) {
  Bytes b;
  b.U16(headerFlags | ((6 + body.Size() + 1) / 2)).U16(attributes).U16(classCode).Append(body);
  return b.PadToWords();
}

Bytes Text(uint32_t count) {
  Bytes b;
  b.U16(count);
  for (uint32_t i = 0; i < count; ++i) b.U8('A' + i % 26).U8(0x30);
  return b;
}

TEST(NameRecordsTest, DirectoryWordGivesTheGroupCount) {
  const struct {
    uint16_t a, groups;
  } cases[] = {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {7, 3}, {41, NAME_GROUP_SLOTS}};
  for (const auto& c : cases) {
    Bytes section = NameDirectory(c.a, {});
    for (int g = 0; g < (c.a < 3 ? 0 : (c.a - 1) / 2); ++g) section.U16(EMPTY_NAME_GROUP).U16(0);
    NameParcel* parcel = Names(section.Fill(2));
    ASSERT_NE(parcel, nullptr) << c.a;
    EXPECT_EQ(parcel->groupCount, c.groups) << c.a;
    EXPECT_EQ(parcel->directoryBytes, c.a * 2u);
    FreeNames(parcel);
  }
}

TEST(NameRecordsTest, RecordTypesTextsAndPlacementEndAtTheirStatedLength) {
  std::vector<Bytes> records = {
      // Type 1, 40 characters, extra1 and extra2 after the whole text.
      Record(0, 0x0180, 11, Bytes().U16(0x0800).U16(0x2005).U16(3).Append(Text(40)).U16(0x1111).U16(90)),
      // Type 3, 5 characters: fill byte, placement, two offsets.
      Record(0, 0x0300, 12,
             Bytes().U16(2).U16(1).U16(2).Append(Text(5)).U8(0xFF).Raw({0x05, 0x80, 0x7F, 0xFF, 0x81})
                 .Raw({0xA1, 0xA2, 0xB1, 0xB2})),
      Record(0x8000, 0x0100, 13, Bytes().Fill(8)),  // not decoded
      Record(0, 0x0500, 14, Bytes().Fill(8)),       // type 5
      Record(0, 0x0200, 15, Bytes().U16(0).U16(1).U16(1).Raw({0xFD, 0x04}).Append(Text(0))),  // anchors kept
      Record(0, 0x0200, 16, Bytes().U16(1).U16(1).U16(1).Raw({0xFD, 0x04}).Append(Text(0))),  // anchors unused
      // Type 3, 40 characters: the placement of all 40 follows the whole text.
      Record(0, 0x0300, 17, [] {
        Bytes body;
        body.U16(0).U16(1).U16(1).Append(Text(40));
        for (int i = 0; i < 40; ++i) body.U8(i % 2 ? 0x90 : i);  // 20 with offsets, 16 of them kept
        for (int i = 0; i < 20; ++i) body.U16(0x0100 + i);
        return body;
      }()),
      Bytes().U16(0).U16(0x0100).U16(18),  // length 0: the group ends here
      Record(0, 0x0100, 19, Bytes().U16(0).U16(1).U16(1).Append(Text(1))),
  };
  Bytes section = NameDirectory(3, {{3, static_cast<uint16_t>(records.size())}});
  for (const Bytes& r : records) section.Append(r);
  NameParcel* parcel = Names(section);
  ASSERT_NE(parcel, nullptr);
  ASSERT_EQ(parcel->groupCount, 1);
  const NameRecord* r = parcel->groups[0].records;

  EXPECT_EQ(r[0].charCount, NAME_TEXT_MAX_CHARS);
  EXPECT_EQ(std::memcmp(r[0].text, records[0].data.data() + 6 + 6 + 2, 64), 0);
  EXPECT_EQ(r[0].text[64], 0);
  EXPECT_EQ(r[0].text[65], 0);
  EXPECT_EQ(r[0].x, 4101);
  EXPECT_EQ(r[0].extra1, 0x1111);
  EXPECT_EQ(r[0].extra2, 90);

  EXPECT_EQ(r[1].charCount, 5u);
  EXPECT_EQ(std::vector<uint8_t>(r[1].placement, r[1].placement + 5),
            (std::vector<uint8_t>{0x05, 0x80, 0x7F, 0xFF, 0x81}));
  ASSERT_EQ(r[1].offsetCount, 2);
  EXPECT_EQ(std::vector<uint8_t>(r[1].placementOffsets, r[1].placementOffsets + 4),
            (std::vector<uint8_t>{0xA1, 0xA2, 0xB1, 0xB2}));

  for (int i : {2, 3}) {
    EXPECT_EQ(r[i].classCode, 11 + i);
    EXPECT_NE(r[i].attributes, 0);
    EXPECT_NE(r[i].recordHeader, 0);
    EXPECT_EQ(r[i].style, 0);
    EXPECT_EQ(r[i].text, nullptr);
  }
  EXPECT_EQ(r[4].anchorA, -3);
  EXPECT_EQ(r[4].anchorB, 4);
  EXPECT_EQ(r[4].text, nullptr);
  EXPECT_EQ(r[5].anchorA, 0);
  EXPECT_EQ(r[5].anchorB, 0);

  EXPECT_EQ(r[6].charCount, 32u);
  EXPECT_EQ(r[6].placement[2], 2);
  EXPECT_EQ(r[6].offsetCount, 16);
  EXPECT_EQ(r[6].placementOffsets[31], 0x0F);

  EXPECT_EQ(r[7].classCode, 18);
  EXPECT_EQ(r[8].recordHeader, 0);  // never reached
  FreeNames(parcel);
}

// --- Damage ---

// Every truncation and every single-byte change of sections of all three
// kinds decodes without reading outside the data (checked by the
// sanitizers) and frees cleanly.
TEST(ParcelSectionsTest, TruncatedAndChangedSectionsDecodeSafely) {
  Bytes roads = RoadHead({{8, 2}, {EMPTY_ROAD_GROUP, 0}});
  roads.U16(0x000F).Append(ObjectCases()[0].first).Append(SimpleRoadObject(0x5000, 1, 2, {1, 2, 3, 4}));
  Bytes background = BackgroundWith({{0x6001, Item(0, 2, 11, 0x0401, 1, 2, {1, 1, 0, 0}, Bytes().U16(3).U16(0))}});
  Bytes names = NameDirectory(3, {{3, 2}});
  names.Append(Record(0, 0x0380, 12, Bytes().U16(0x0802).U16(1).U16(2).Append(Text(3)).U8(0).Raw({1, 0x80, 2}).U32(7).U16(5).U16(6)))
      .Append(Record(0, 0x0200, 1, Bytes().U16(0).U16(1).U16(1).Raw({1, 2}).Append(Text(2))));
  const auto sweep = [](const Bytes& whole, auto decode, auto release) {
    for (uint32_t size = 0; size <= whole.Size(); ++size) {
      Bytes cut;
      cut.data.assign(whole.data.begin(), whole.data.begin() + size);
      release(decode(cut, whole));
    }
    for (uint32_t pos = 0; pos < whole.Size(); ++pos) {
      for (uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
        Bytes changed = whole;
        changed.data[pos] = value;
        release(decode(changed, changed));
      }
    }
  };
  // The header keeps the whole section's size, so a cut section claims more
  // than the data holds.
  sweep(roads, [](const Bytes& b, const Bytes& w) {
    return DecodeRoads(b.data.data(), b.Size(), HeaderFor(SectionKind::ROADS, w)); }, FreeRoads);
  sweep(background, [](const Bytes& b, const Bytes& w) {
    return DecodeBackground(b.data.data(), b.Size(), HeaderFor(SectionKind::BACKGROUND, w)); }, FreeBackground);
  sweep(names, [](const Bytes& b, const Bytes& w) {
    return DecodeNames(b.data.data(), b.Size(), HeaderFor(SectionKind::NAMES, w)); }, FreeNames);
  RoadParcel* whole = Roads(roads);
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole->groups[0].decodedCount, 2);
  FreeRoads(whole);
}

}  // namespace
