// The section writer against the decoders: what the writer puts into a map
// file is what AcquireRoads, AcquireBackground and AcquireNames give back,
// field by field; what the format cannot hold is refused; the dump of a
// small map is exactly as expected.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "map_sections_support.h"
#include "mapdata/background_records.h"
#include "mapdata/name_records.h"
#include "mapdata/parcel_index.h"
#include "mapdata/road_records.h"
#include "mapdata_support.h"
#include "tools/mapwriter/demo_content.h"

namespace {

// --- What the decoders must give for a written record ---

std::vector<SectionPoint> SegmentPoints(const ShapeSegment& segment) {
  std::vector<SectionPoint> points{{segment.x, segment.y}};
  int16_t x = segment.x, y = segment.y;
  for (uint32_t d = 0; d < segment.deltaCount; ++d) {
    x = static_cast<int16_t>(x + segment.deltas[2 * d]);
    y = static_cast<int16_t>(y + segment.deltas[2 * d + 1]);
    points.push_back({x, y});
  }
  return points;
}

bool SamePoints(const std::vector<SectionPoint>& a, const std::vector<SectionPoint>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
  }
  return true;
}

void ExpectRoads(const RoadSectionRecord& written, uint16_t valueA, uint16_t valueB, const RoadParcel& read) {
  EXPECT_EQ(read.groupCount, std::min<size_t>(written.groups.size(), ROAD_GROUP_SLOTS));
  EXPECT_EQ(read.valueA, valueA & 0x7FFF);
  EXPECT_EQ(read.valueB, valueB & 0x7FFF);
  for (size_t row = 0; row < read.groupCount; ++row) {
    SCOPED_TRACE("road row " + std::to_string(row));
    const RoadGroupRecord& group = written.groups[row];
    const RoadGroup& got = read.groups[row];
    if (group.absent || group.objects.empty()) {
      EXPECT_TRUE(got.groupOffset == EMPTY_ROAD_GROUP || got.objectCount == 0);
      EXPECT_EQ(got.decodedCount, 0);
      continue;
    }
    EXPECT_EQ(got.groupFlags, group.flags);
    EXPECT_EQ(got.objectCount, group.objects.size());
    int decoded = 0, lastClass = 0;
    for (const RoadObjectRecord& object : group.objects) {
      if (object.segments.empty()) continue;  // takes no slot
      ASSERT_LT(decoded, got.decodedCount);
      EXPECT_EQ(got.objectAttributes[decoded], object.attributes);
      const ShapeSegment* segment = got.objects[decoded];
      for (const RoadSegmentRecord& expected : object.segments) {
        ASSERT_NE(segment, nullptr);
        EXPECT_TRUE(SamePoints(SegmentPoints(*segment), expected.points)) << "object " << decoded;
        segment = segment->next;
      }
      EXPECT_EQ(segment, nullptr);
      lastClass = object.attributes >> ROAD_ATTR_CLASS_SHIFT;
      ++decoded;
    }
    EXPECT_EQ(got.decodedCount, decoded);
    EXPECT_EQ(got.drawClass, lastClass);
    EXPECT_EQ(got.alternate, row >= 10 ? 1 : 0);
  }
}

void ExpectItem(const FeatureItemRecord& item, bool decodable, const FeatureItem& got) {
  if (!decodable) {  // kinds 0 and 3: zero-filled
    EXPECT_EQ(got.itemHeader, 0);
    EXPECT_EQ(got.pointCount, 0);
    EXPECT_EQ(got.points, nullptr);
    return;
  }
  EXPECT_EQ(got.itemHeader >> 14, (item.skipped ? 2 : 0) | (item.headerField ? 1 : 0));
  EXPECT_EQ(got.itemClass, item.itemClass);
  EXPECT_EQ(got.pointCount, item.points.size());
  if (item.skipped || item.itemClass == 0) {
    EXPECT_EQ(got.points, nullptr);
    return;
  }
  EXPECT_EQ(got.typeCode, item.typeCode);
  const uint16_t flags =
      item.flags | (item.field11 ? 1 << 11 : 0) | (item.field12 ? 1 << 12 : 0) | (item.field13 ? 1 << 13 : 0);
  EXPECT_EQ(got.itemFlags, flags);
  ASSERT_NE(got.points, nullptr);
  for (size_t p = 0; p < item.points.size(); ++p) {
    EXPECT_EQ(got.points[p].x, item.points[p].x) << p;
    EXPECT_EQ(got.points[p].y, item.points[p].y) << p;
    EXPECT_EQ(got.points[p].toggle, item.points[p].toggle) << p;
  }
}

void ExpectBackground(const BackgroundSectionRecord& written, const BackgroundParcel& read) {
  EXPECT_EQ(read.tableWords, 64 + written.surplusWords);
  for (const FeatureClassRecord& featureClass : written.classes) {
    SCOPED_TRACE("class slot " + std::to_string(featureClass.slot));
    const FeatureClass& got = read.classes[featureClass.slot];
    EXPECT_NE(got.classOffset, 0u);
    EXPECT_EQ(got.classPresence, featureClass.presence);
    if (featureClass.presence == 0) continue;
    ASSERT_EQ(got.groupCount, featureClass.groups.size());
    for (size_t g = 0; g < featureClass.groups.size(); ++g) {
      SCOPED_TRACE("group " + std::to_string(g));
      const FeatureGroupRecord& group = featureClass.groups[g];
      EXPECT_EQ(got.groupWords[g] >> FEATURE_KIND_SHIFT, group.kind);
      EXPECT_EQ((got.groupWords[g] & FEATURE_RUN_TABLE) != 0, group.runTable);
      ASSERT_EQ(got.groups[g].itemCount, group.items.size());
      const bool decodable = group.kind == FEATURE_KIND_LINE || group.kind == FEATURE_KIND_AREA;
      for (size_t i = 0; i < group.items.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        ExpectItem(group.items[i], decodable, got.groups[g].items[i]);
      }
    }
  }
  for (int slot = 0; slot < FEATURE_CLASS_SLOTS; ++slot) {
    bool written_here = false;
    for (const FeatureClassRecord& c : written.classes) written_here |= c.slot == slot;
    if (!written_here) {
      EXPECT_EQ(read.classes[slot].classPresence, 0) << slot;
    }
  }
}

void ExpectRecord(const NameRecordRecord& record, const NameRecord& got) {
  EXPECT_EQ(got.recordHeader >> 15, record.skipped ? 1 : 0);
  EXPECT_EQ(got.attributes, (record.attributes & ~0x0780) | (record.type << 8) | (record.extra1 ? 0x80 : 0));
  EXPECT_EQ(got.classCode, record.classCode);
  if (record.skipped || record.type < 1 || record.type > 3) {
    EXPECT_EQ(got.text, nullptr);
    EXPECT_EQ(got.style, 0);
    return;
  }
  EXPECT_EQ(got.style, (record.style & ~0x0800) | (record.extra2 ? 0x0800 : 0));
  EXPECT_EQ(got.x, record.anchor.x);
  EXPECT_EQ(got.y, record.anchor.y);
  const bool anchorsKept = record.type == 2 && (record.style & 7) == 0;
  EXPECT_EQ(got.anchorA, anchorsKept ? static_cast<int8_t>(record.anchorA) : 0);
  EXPECT_EQ(got.anchorB, anchorsKept ? static_cast<int8_t>(record.anchorB) : 0);
  const size_t kept = std::min<size_t>(record.text.size(), NAME_TEXT_MAX_CHARS);
  ASSERT_EQ(got.charCount, kept);
  if (kept == 0) {
    EXPECT_EQ(got.text, nullptr);
  } else {
    ASSERT_NE(got.text, nullptr);
    for (size_t c = 0; c < kept; ++c) {
      EXPECT_EQ(got.text[2 * c] | got.text[2 * c + 1] << 8, record.text[c]) << c;
    }
    EXPECT_EQ(got.text[2 * kept], 0);
    EXPECT_EQ(got.text[2 * kept + 1], 0);
  }
  EXPECT_EQ(got.extra1, record.extra1.value_or(0));
  EXPECT_EQ(got.extra2, record.extra2.value_or(0));
  if (record.type != 3 || kept == 0) {
    EXPECT_EQ(got.placement, nullptr);
    return;
  }
  ASSERT_NE(got.placement, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(got.placement, got.placement + kept), record.placement);
  ASSERT_EQ(2u * got.offsetCount, record.placementOffsets.size());
  EXPECT_EQ(std::vector<uint8_t>(got.placementOffsets, got.placementOffsets + 2 * got.offsetCount),
            record.placementOffsets);
}

void ExpectNames(const NameSectionRecord& written, const NameParcel& read) {
  EXPECT_EQ(read.directoryBytes, 2 * (2 * written.groups.size() + 1));
  EXPECT_EQ(read.groupCount, std::min<size_t>(written.groups.size(), NAME_GROUP_SLOTS));
  for (size_t g = 0; g < read.groupCount; ++g) {
    SCOPED_TRACE("name group " + std::to_string(g));
    const NameGroupRecord& group = written.groups[g];
    const NameGroup& got = read.groups[g];
    if (group.absent) {
      EXPECT_EQ(got.groupOffset, EMPTY_NAME_GROUP);
      EXPECT_EQ(got.records, nullptr);
      continue;
    }
    ASSERT_EQ(got.recordCount, group.records.size());
    if (group.records.empty()) continue;
    ASSERT_NE(got.records, nullptr);
    for (size_t r = 0; r < group.records.size(); ++r) {
      SCOPED_TRACE("record " + std::to_string(r));
      ExpectRecord(group.records[r], got.records[r]);
    }
  }
}

class MapSectionsTest : public MapDataTest {
 protected:
  // Writes one parcel (split into 2 × 2 pieces when `pieces`, each with
  // the same content) and lists the entries of the whole map.
  std::vector<ParcelEntry> WriteParcel(const ParcelSectionsRecord& sections, bool pieces = false) {
    ParcelData data;
    std::string error;
    EXPECT_EQ(EncodeParcelSections(sections, &data, &error), 0) << error;
    MapDescription map = SmallMap();
    MapParcelDescription parcel;
    parcel.row = 3;
    parcel.column = 4;
    if (pieces) {
      parcel.split = true;
      parcel.splitKind = 2;  // 2 × 2 pieces
      parcel.pieces.assign(4, data);
    } else {
      parcel.data = data;
    }
    map.parcels.push_back(parcel);
    EXPECT_EQ(WriteMapFile(map, scratch.File("map.kwi").c_str(), nullptr, &error), 0) << error;
    Reset();
    EXPECT_EQ(LoadMapDatabase(scratch.File("map.kwi").c_str()), 0);
    return Entries();
  }

  static bool Keep(void* context, const ParcelEntry& entry) {
    static_cast<std::vector<ParcelEntry>*>(context)->push_back(entry);
    return true;
  }
  static std::vector<ParcelEntry> Entries() {
    std::vector<ParcelEntry> entries;
    const ParcelIndex* index = MapDatabase::Instance()->GetParcelIndex();
    if (index == nullptr) return entries;
    ParcelWalk walk{Keep, &entries, 0, 0, 0, 0, false};
    WalkParcels(*index, 0, {index->west, index->south, index->east, index->north}, &walk);
    return entries;
  }
};

TEST_F(MapSectionsTest, EveryKindReadsBackAsWritten) {
  const ParcelSectionsRecord sections = RichSections();
  for (bool pieces : {false, true}) {
    SCOPED_TRACE(pieces ? "pieces" : "whole parcel");
    const std::vector<ParcelEntry> entries = WriteParcel(sections, pieces);
    ASSERT_EQ(entries.size(), pieces ? 4u : 1u);
    for (const ParcelEntry& entry : entries) {
      RoadParcel* roads = AcquireRoads(entry);
      ASSERT_NE(roads, nullptr);
      ExpectRoads(*sections.roads, sections.valueA, sections.valueB, *roads);
      BackgroundParcel* background = AcquireBackground(entry);
      ASSERT_NE(background, nullptr);
      ExpectBackground(*sections.background, *background);
      NameParcel* names = AcquireNames(entry);
      ASSERT_NE(names, nullptr);
      ExpectNames(*sections.names, *names);
      EXPECT_EQ(ReleaseRoads(roads), 0);
      EXPECT_EQ(ReleaseBackground(background), 0);
      EXPECT_EQ(ReleaseNames(names), 0);
    }
  }
}

// Absent sections read as null; group tables beyond the decoded slots and
// lines split by the helpers come back whole.
TEST_F(MapSectionsTest, AbsentSectionsSlotLimitsAndSplitLinesReadBack) {
  ParcelSectionsRecord sections;
  sections.names = NameSectionRecord{};
  sections.names->groups.resize(20);
  for (size_t g = 0; g < sections.names->groups.size(); ++g) {
    sections.names->groups[g].records.push_back(Name(1, static_cast<uint16_t>(g), u"g"));
  }
  sections.roads = RoadSectionRecord{};
  sections.roads->groups.resize(40);
  RoadObjectRecord longLine;
  std::vector<SectionPoint> line;
  for (int i = 0; i < 1500; ++i) line.push_back({1000 + (i % 2) * 300, 10 + i * 20});
  ASSERT_EQ(AppendRoadPolyline(line, &longLine), 5);  // 1499 steps of 3 deltas each
  sections.roads->groups[31].objects.push_back(longLine);
  sections.roads->groups[35].objects.push_back(longLine);
  const std::vector<ParcelEntry> entries = WriteParcel(sections);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(AcquireBackground(entries[0]), nullptr);
  RoadParcel* roads = AcquireRoads(entries[0]);
  ASSERT_NE(roads, nullptr);
  ExpectRoads(*sections.roads, 0, 0, *roads);
  NameParcel* names = AcquireNames(entries[0]);
  ASSERT_NE(names, nullptr);
  ExpectNames(*sections.names, *names);
  ReleaseRoads(roads);
  ReleaseNames(names);
}

// The demo map's synthetic content: every parcel carries all three kinds,
// and they decode to the roads, features and names it describes.
TEST_F(MapSectionsTest, DemoContentDecodesInEveryParcel) {
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    for (uint32_t cell = 0; cell < 64; ++cell) {
      const ParcelData data = DemoParcelContent(level, cell * 7, cell * 13 + level);
      EXPECT_FALSE(data.road.empty() || data.background.empty() || data.names.empty()) << level << " " << cell;
    }
  }
  MapDescription map = SmallMap();
  MapParcelDescription parcel;
  parcel.data = DemoParcelContent(2, 40, 41);
  map.parcels.push_back(parcel);
  ASSERT_EQ(WriteMapFile(map, scratch.File("demo.kwi").c_str()), 0);
  Reset();
  ASSERT_EQ(LoadMapDatabase(scratch.File("demo.kwi").c_str()), 0);
  const std::vector<ParcelEntry> entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  RoadParcel* roads = AcquireRoads(entries[0]);
  BackgroundParcel* background = AcquireBackground(entries[0]);
  NameParcel* names = AcquireNames(entries[0]);
  ASSERT_TRUE(roads != nullptr && background != nullptr && names != nullptr);
  ASSERT_EQ(roads->groupCount, 3);
  EXPECT_EQ(roads->groups[0].drawClass, 2);
  EXPECT_EQ(roads->groups[1].drawClass, 4);
  EXPECT_EQ(roads->groups[2].decodedCount, 2);
  EXPECT_EQ(background->classes[2].groups[0].items[0].typeCode, 3351);
  EXPECT_EQ(background->classes[5].groupCount, 1);
  ASSERT_EQ(names->groupCount, 1);
  EXPECT_GT(names->groups[0].records[1].offsetCount, 0);
  ReleaseRoads(roads);
  ReleaseBackground(background);
  ReleaseNames(names);
}

// --- The writer alone ---

// The helpers split steps beyond a signed byte and long lines without
// moving any given point, and every piece they make is one the encoder
// takes.
TEST(SectionHelpersTest, SplitLinesKeepEveryPointAndFitTheFormat) {
  const std::vector<std::vector<SectionPoint>> lines = {
      {{0, 0}, {4096, 4096}},
      {{5000, 100}, {5000, 100}, {4800, 350}, {4800, 350}, {4801, 351}},
      {{32767, 32767}, {0, 0}},
      {{0, 8191}, {8191, 0}, {127, 127}, {-0, 0}},
  };
  for (const std::vector<SectionPoint>& line : lines) {
    RoadObjectRecord object;
    ASSERT_GE(AppendRoadPolyline(line, &object), 1);
    std::vector<SectionPoint> joined;
    for (const RoadSegmentRecord& segment : object.segments) {
      ASSERT_LE(segment.points.size(), ROAD_MAX_SEGMENT_DELTAS + 1u);
      if (!joined.empty()) {  // a continuing segment starts where the previous one ended
        EXPECT_TRUE(SamePoints({joined.back()}, {segment.points.front()}));
        joined.pop_back();
      }
      joined.insert(joined.end(), segment.points.begin(), segment.points.end());
    }
    size_t at = 0;  // every given point appears, in order
    for (const SectionPoint& p : line) {
      while (at < joined.size() && !SamePoints({joined[at]}, {p})) ++at;
      EXPECT_LT(at, joined.size()) << p.x << "," << p.y;
    }
    RoadSectionRecord roads;
    roads.groups.push_back({false, 0, {object}});
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_EQ(EncodeRoadSection(roads, &bytes, &error), 0) << error;
    FeatureItemRecord item;
    if (SetFeatureLine(line, &item) > 0) {
      EXPECT_EQ(item.points.front().x, line.front().x);
      EXPECT_EQ(item.points.back().y, line.back().y);
      BackgroundSectionRecord background;
      background.classes.push_back({0, 1, {{FEATURE_KIND_LINE, false, {item}}}});
      EXPECT_EQ(EncodeBackgroundSection(background, &bytes, &error), 0) << error;
    }
  }
  RoadObjectRecord object;
  EXPECT_EQ(AppendRoadPolyline({{0, 0}, {-1, 5}}, &object), -1);
  EXPECT_EQ(AppendRoadPolyline({{0, 0}}, &object), -1);
  EXPECT_TRUE(object.segments.empty());
}

TEST(SectionWriterTest, RecordsTheFormatCannotHoldAreRefused) {
  struct Case {
    const char* what;
    void (*spoil)(ParcelSectionsRecord* s);
  };
  const Case cases[] = {
      {"256 road groups", [](ParcelSectionsRecord* s) { s->roads->groups.resize(256); }},
      {"road step of 128",
       [](ParcelSectionsRecord* s) { s->roads->groups[0].objects[0].segments[0].points[1].x = 138; }},
      {"road start above 32767",
       [](ParcelSectionsRecord* s) { s->roads->groups[0].objects[0].segments[0].points[0].x = 32768; }},
      {"road segment of 1025 points",
       [](ParcelSectionsRecord* s) {
         s->roads->groups[0].objects[0].segments[1].points.assign(1025, {1, 1});
       }},
      {"road segment without points",
       [](ParcelSectionsRecord* s) { s->roads->groups[0].objects[0].segments[1].points.clear(); }},
      {"2048 road segments",
       [](ParcelSectionsRecord* s) {
         s->roads->groups[0].objects[0].segments.resize(2048, Segment({{1, 1}}));
       }},
      {"road length inside the segments",
       [](ParcelSectionsRecord* s) { s->roads->groups[0].objects[2].statedWords = 11; }},
      {"road length beyond 12 bits",
       [](ParcelSectionsRecord* s) { s->roads->groups[0].objects[2].statedWords = 4096; }},
      {"road tail beyond 15 bits", [](ParcelSectionsRecord* s) { s->roads->groups[0].objects[0].tailWords = 0x8000; }},
      {"road fixed part beyond 255 words",
       [](ParcelSectionsRecord* s) { s->roads->groups[0].objects[0].fillWords = 250; }},
      {"background class slot 32", [](ParcelSectionsRecord* s) { s->background->classes[0].slot = 32; }},
      {"background slot twice", [](ParcelSectionsRecord* s) { s->background->classes[1].slot = 0; }},
      {"background kind 4", [](ParcelSectionsRecord* s) { s->background->classes[0].groups[0].kind = 4; }},
      {"4096 items", [](ParcelSectionsRecord* s) { s->background->classes[0].groups[4].items.resize(4096); }},
      {"item without points",
       [](ParcelSectionsRecord* s) { s->background->classes[0].groups[0].items[0].points.clear(); }},
      {"item of 2049 points",
       [](ParcelSectionsRecord* s) {
         s->background->classes[0].groups[0].items[2].points.assign(2049, {1, 1, 0});
       }},
      {"item class 32", [](ParcelSectionsRecord* s) { s->background->classes[0].groups[0].items[0].itemClass = 32; }},
      {"first point above 8191",
       [](ParcelSectionsRecord* s) { s->background->classes[0].groups[0].items[1].points[0].y = 8192; }},
      {"step off the delta scale",
       [](ParcelSectionsRecord* s) { s->background->classes[0].groups[0].items[1].points[1].x += 1; }},
      {"scaled step beyond a byte",
       [](ParcelSectionsRecord* s) { s->background->classes[0].groups[0].items[1].points[2].x -= 8; }},
      {"toggle without a zero step",
       [](ParcelSectionsRecord* s) { s->background->classes[0].groups[0].items[0].points[1].toggle = 1; }},
      {"toggle without the toggle flag",
       [](ParcelSectionsRecord* s) { s->background->classes[0].groups[0].items[1].points[1].toggle = 1; }},
      {"run table short of the points",
       [](ParcelSectionsRecord* s) { s->background->classes[0].groups[1].items[1].runs.pop_back(); }},
      {"run table beyond the points",
       [](ParcelSectionsRecord* s) {
         s->background->classes[0].groups[1].items[1].runs.push_back({1, 0});
       }},
      {"item longer than 4095 words",
       [](ParcelSectionsRecord* s) { s->background->classes[0].groups[0].items[0].fillWords = 4090; }},
      {"name type 8", [](ParcelSectionsRecord* s) { s->names->groups[0].records[0].type = 8; }},
      {"name anchor below 0", [](ParcelSectionsRecord* s) { s->names->groups[0].records[0].anchor.x = -1; }},
      {"placement bytes short of the text",
       [](ParcelSectionsRecord* s) { s->names->groups[0].records[3].placement.pop_back(); }},
      {"placement offsets short",
       [](ParcelSectionsRecord* s) { s->names->groups[0].records[3].placementOffsets.pop_back(); }},
      {"name record longer than 4095 words",
       [](ParcelSectionsRecord* s) { s->names->groups[0].records[0].text.assign(4100, u'a'); }},
      {"32768 name groups", [](ParcelSectionsRecord* s) { s->names->groups.resize(32768); }},
  };
  for (const Case& c : cases) {
    ParcelSectionsRecord sections = RichSections();
    c.spoil(&sections);
    ParcelData data;
    std::string error;
    EXPECT_EQ(EncodeParcelSections(sections, &data, &error), -1) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
  ParcelData data;
  std::string error;
  EXPECT_EQ(EncodeParcelSections(RichSections(), &data, &error), 0) << error;
}

// --- tevo-logtool dump ---

#ifdef TEVO_LOGTOOL
std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// One end-to-end check of writer, decoders and dump: the dump of a small
// map with all three kinds, a split parcel and a parcel whose data lies
// beyond the file's end matches the expected text exactly; that parcel
// makes the dump fail.
TEST_F(MapSectionsTest, DumpOfASmallMapIsExactlyAsExpected) {
  MapDescription map = SmallMap();
  map.blockSize = 32;
  ParcelData small;
  ASSERT_EQ(EncodeParcelSections(SmallSections(), &small), 0);
  MapParcelDescription parcel;
  parcel.row = 0;
  parcel.column = 1;
  parcel.data = small;
  map.parcels.push_back(parcel);
  ParcelSectionsRecord texts;  // names only: texts that JSON escapes, non-ASCII, surrogates
  texts.names = NameSectionRecord{};
  texts.names->groups.resize(1);
  texts.names->groups[0].records = {Name(1, 100, u"東京\"\\\r\n\t\x01\x7F\x85é"),
                                    Name(1, 101, u"\U0001F600|\xD800|\xDC00")};
  ASSERT_EQ(EncodeParcelSections(texts, &parcel.data), 0);
  parcel.row = 2;
  parcel.column = 3;
  map.parcels.push_back(parcel);
  parcel.row = 5;
  parcel.column = 0;
  parcel.split = true;
  parcel.splitKind = 2;
  parcel.pieces = {std::nullopt, ParcelData{3, 4, {}, {}, {}}, std::nullopt, std::nullopt};
  map.parcels.push_back(parcel);
  parcel.row = 7;
  parcel.column = 7;
  parcel.split = false;
  parcel.data = ParcelData{};
  map.parcels.push_back(parcel);
  std::vector<uint8_t> image;
  MapLayout layout;
  std::string error;
  ASSERT_EQ(BuildMapImage(map, &image, &layout, &error), 0) << error;
  Patch16(&image, layout.parcels[3].recordOffset + 4, 0xFFFF);  // data larger than the file
  const std::string path = scratch.File("small.kwi");
  WriteBytes(path, image);
  const std::string out = scratch.File("dump.txt");
  const int status =
      std::system((std::string(TEVO_LOGTOOL) + " dump " + path + " >" + out + " 2>" + scratch.File("err")).c_str());
  EXPECT_EQ((status >> 8) & 0xFF, 1);
  EXPECT_NE(ReadText(scratch.File("err")).find("1 parcels cannot be read"), std::string::npos);
  const char* golden = std::getenv("TEVO_GOLDEN_DIR");
  ASSERT_NE(golden, nullptr);
  const std::string expectedPath = std::string(golden) + "/dump_small_map.txt";
  if (std::getenv("TEVO_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(expectedPath, std::ios::binary) << ReadText(out);
  }
  EXPECT_EQ(ReadText(out), ReadText(expectedPath));

  // A file that is no map, a missing file, help and bad usage.
  const auto exitStatus = [](const std::string& arguments) {
    const int status = std::system((std::string(TEVO_LOGTOOL) + " dump " + arguments + " >/dev/null 2>&1").c_str());
    return status == -1 ? -1 : (status >> 8) & 0xFF;
  };
  WriteBytes(scratch.File("short.kwi"), std::vector<uint8_t>(100, 0));
  EXPECT_EQ(exitStatus(scratch.File("short.kwi")), 1);
  EXPECT_EQ(exitStatus(scratch.File("missing.kwi")), 1);
  EXPECT_EQ(exitStatus("--help"), 0);
  EXPECT_EQ(exitStatus(""), 2);
}
#endif

}  // namespace
