// The map writer: what it lays out is what the reader finds.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "mapdata/parcel_index.h"
#include "mapdata_support.h"

namespace {

class MapWriterTest : public MapDataTest {
 protected:
  void Write(const MapDescription& map) {
    std::string error;
    ASSERT_EQ(WriteMapFile(map, scratch.File("map.kwi").c_str(), &layout, &error), 0) << error;
    ASSERT_EQ(Open(scratch.File("map.kwi")), 0);
  }
  MapLayout layout;
};

// The parcel data a list entry points at starts with a parcel data header
// that locates the three sections, in 16-bit words from the data's start.
TEST_F(MapWriterTest, EntriesPointAtParcelDataWithTheSectionsInPlace) {
  for (uint16_t blockSize : {32, 48, 256, 2048, 4096}) {
    SCOPED_TRACE(blockSize);
    MapDescription map = SmallMap();
    map.blockSize = blockSize;
    MapParcelDescription parcel;
    parcel.row = 2;
    parcel.column = 5;
    parcel.data.valueA = 0x8123;  // 15 bits are kept
    parcel.data.valueB = 7;
    parcel.data.road = {1, 2, 3};
    parcel.data.names = std::vector<uint8_t>(5000, 0x5A);
    map.parcels.push_back(parcel);
    Write(map);
    const MapCoord center{800000 + 5500, 400000 + 2000};
    ParcelList* list = FindParcels(Map(), &center, 10, 10, 62);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 1);
    const ParcelEntry& entry = list->entries[0];
    MapBlock* data = OpenBlock(Map()->Blocks(), scratch.File("map.kwi").c_str(), BYTE_ORDER_BIG,
                               SectorAddressToOffset(entry.address, blockSize), entry.size * blockSize);
    ASSERT_NE(data, nullptr);
    ByteCursor cursor = BlockCursor(data);
    const uint32_t headerWords = ReadU16(&cursor);
    EXPECT_EQ(headerWords, 27u);
    SeekTo(&cursor, 20);
    EXPECT_EQ(ReadU16(&cursor), 0x0123u);
    EXPECT_EQ(ReadU16(&cursor), 7u);
    SeekTo(&cursor, 34);
    EXPECT_EQ(ReadU16(&cursor), 0u);  // no optional entries
    const uint32_t roadOffset = ReadU32(&cursor), roadWords = ReadU16(&cursor);
    const uint32_t backgroundOffset = ReadU32(&cursor), backgroundWords = ReadU16(&cursor);
    const uint32_t nameOffset = ReadU32(&cursor), nameWords = ReadU16(&cursor);
    EXPECT_EQ(roadWords, 2u);
    EXPECT_EQ(backgroundOffset, NO_SECTION);
    EXPECT_EQ(backgroundWords, 0u);
    EXPECT_EQ(nameWords, 2500u);
    EXPECT_GE(roadOffset * 2, headerWords * 2);
    SeekTo(&cursor, roadOffset * 2);
    EXPECT_EQ(ReadU24(&cursor), 0x010203u);
    SeekTo(&cursor, nameOffset * 2 + 4999);
    EXPECT_EQ(ReadU8(&cursor), 0x5Au);
    EXPECT_EQ(cursor.overrun, 0);
    ReleaseBlock(Map()->Blocks(), data);
    FreeParcelList(list);
  }
}

TEST_F(MapWriterTest, DescriptionsTheFormatCannotHoldAreRefused) {
  struct Case {
    const char* what;
    void (*spoil)(MapDescription* map);
  };
  const Case cases[] = {
      {"extent off the 1/8 second grid", [](MapDescription* m) { m->extent.x1 += 8; }},
      {"negative extent", [](MapDescription* m) { m->extent.x0 = -16; }},
      {"grid of 257", [](MapDescription* m) { m->levels[0].parcelColumns = 257; }},
      {"level code 64", [](MapDescription* m) { m->levels[0].levelCode = 64; }},
      {"parcel outside the grid", [](MapDescription* m) { m->parcels[0].column = 8; }},
      {"parcel twice", [](MapDescription* m) { m->parcels.push_back(m->parcels[0]); }},
      {"split without its pieces", [](MapDescription* m) { m->parcels[0].split = true; }},
      {"section too large", [](MapDescription* m) { m->parcels[0].data.road.resize(0x20000); }},
      {"parcel data larger than 65535 blocks",
       [](MapDescription* m) {
         m->blockSize = 1;
         m->parcels[0].data.road.resize(0x1FFFE);
       }},
  };
  for (const Case& c : cases) {
    MapDescription map = SmallMap();
    FillAllParcels(&map);
    c.spoil(&map);
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_EQ(BuildMapImage(map, &image, nullptr, &error), -1) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

TEST_F(MapWriterTest, RegularLevelsNeedAWholeNumberOfParcels) {
  MapDescription map;
  ASSERT_EQ(AddStandardLevels(&map), 0);
  const uint32_t none[LEVEL_THRESHOLDS] = {};
  EXPECT_EQ(AddRegularLevel(&map, 1, 5761, 3840, none), -1);
  EXPECT_EQ(AddRegularLevel(&map, 1, 1, 16, none), -1);  // 23592960 columns: more than 256^3
  EXPECT_EQ(AddStandardLevels(&map), -1);                  // the levels are there already
  EXPECT_EQ(map.levels.size(), 7u);
}

// Levels over a box: the extent holds the box and reaches past it by less
// than a finest parcel, each level's grid divides the next finer one, and
// parcels stay within a factor of 1.5 of the standard sizes.
TEST_F(MapWriterTest, LevelsOverABoxTileItWithNestedGridsOfAboutTheStandardSize) {
  const InclusiveRect boxes[] = {
      {DegreesToUnits(122.93), DegreesToUnits(20.42), DegreesToUnits(153.99), DegreesToUnits(45.56)},  // Japan
      {DegreesToUnits(134.0), DegreesToUnits(33.0), DegreesToUnits(141.5), DegreesToUnits(37.0)},
      {DegreesToUnits(139.7), DegreesToUnits(35.6), DegreesToUnits(139.71), DegreesToUnits(35.61)},  // a block
  };
  for (const InclusiveRect& box : boxes) {
    MapDescription map;
    ASSERT_EQ(AddStandardLevelsOver(&map, box), 0);
    ASSERT_EQ(map.levels.size(), size_t{STANDARD_LEVEL_COUNT});
    const InclusiveRect& e = map.extent;
    const InclusiveRect finest = ParcelBox(map, 0, 0, 0);
    EXPECT_TRUE(e.x0 <= box.x0 && e.y0 <= box.y0 && e.x1 >= box.x1 && e.y1 >= box.y1);
    EXPECT_LT(e.x1 - box.x1, finest.x1 - finest.x0 + 16);
    EXPECT_LT(e.y1 - box.y1, finest.y1 - finest.y0 + 16);
    EXPECT_EQ(e.x0 % 16, 0);
    EXPECT_EQ(e.x1 % 16, 0);
    for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
      const MapLevelDescription& l = map.levels[level];
      EXPECT_EQ((e.x1 - e.x0) % l.ParcelGridColumns(), 0u);
      if (level + 1 < STANDARD_LEVEL_COUNT) {
        EXPECT_EQ(l.ParcelGridColumns() % map.levels[level + 1].ParcelGridColumns(), 0u);
        EXPECT_EQ(l.ParcelGridRows() % map.levels[level + 1].ParcelGridRows(), 0u);
      }
      const InclusiveRect parcel = ParcelBox(map, level, 0, 0);
      const double width = parcel.x1 - parcel.x0, standard = STANDARD_LEVELS[level].parcelWidth;
      // A box smaller than a level's parcel makes that level one parcel.
      if (l.ParcelGridColumns() > 1) EXPECT_TRUE(width > standard / 1.5 && width < standard * 1.5) << level;
    }
  }
  MapDescription map;
  EXPECT_EQ(AddStandardLevelsOver(&map, {10, 10, 10, 20}), -1);  // empty
  ASSERT_EQ(AddStandardLevelsOver(&map, boxes[1]), 0);
  EXPECT_EQ(AddStandardLevelsOver(&map, boxes[1]), -1);  // the levels are there already
}

// Scale steps: X and Y map units per pixel and the level code.
struct Step {
  int32_t unitsX, unitsY;
  uint16_t levelCode;
};
const Step STEPS[27] = {
    {2, 2, 62},         {3, 3, 62},         {4, 4, 62},         {6, 6, 62},         {8, 8, 0},
    {12, 12, 0},        {16, 16, 0},        {24, 24, 0},        {32, 32, 2},        {56, 56, 2},
    {80, 80, 2},        {120, 120, 2},      {160, 160, 4},      {280, 280, 4},      {400, 400, 4},
    {600, 600, 4},      {800, 800, 6},      {1200, 1200, 6},    {1600, 1600, 6},    {3120, 2400, 6},
    {4160, 3200, 8},    {6240, 4800, 8},    {8320, 6400, 8},    {14560, 11200, 8},  {20800, 16000, 10},
    {31200, 24000, 10}, {41600, 32000, 10},
};

// In the demonstration map a 996 × 580 canvas at any step touches a
// handful of its level's parcels, and at the level-62 steps they cover the
// whole view (so the renderer keeps level 62).
TEST_F(MapWriterTest, TheDemoMapGivesEveryStepAHandfulOfParcels) {
  MapDescription map;
  ASSERT_EQ(DescribeDemoMap(&map, nullptr), 0);
  Write(map);
  for (const InclusiveRect& area : DEMO_AREAS) {
    const MapCoord center{(area.x0 + area.x1) / 2, (area.y0 + area.y1) / 2};
    for (int s = 0; s < 27; ++s) {
      SCOPED_TRACE(s);
      const int32_t halfWidth = 996 * STEPS[s].unitsX / 2, halfHeight = 580 * STEPS[s].unitsY / 2;
      ParcelList* list = FindParcels(Map(), &center, halfWidth, halfHeight, STEPS[s].levelCode);
      ASSERT_NE(list, nullptr);
      EXPECT_GE(list->count, 1);
      EXPECT_LE(list->count, 12);
      if (STEPS[s].levelCode == 62) {
        for (int corner = 0; corner < 4; ++corner) {
          const int32_t x = center.x + (corner & 1 ? halfWidth : -halfWidth);
          const int32_t y = center.y + (corner & 2 ? halfHeight : -halfHeight);
          bool covered = false;
          for (int i = 0; i < list->count; ++i) {
            const ParcelEntry& e = list->entries[i];
            covered |= e.x0 <= x && x <= e.x0 + e.width && e.y0 <= y && y <= e.y0 + e.height;
          }
          EXPECT_TRUE(covered) << corner;
        }
      }
      FreeParcelList(list);
    }
  }
}

// A map written piece by piece (the head from the data areas' sizes, the
// areas streamed in after it) is byte for byte the image of the same map,
// whole parcels and divided ones with pieces lacking data, at block sizes
// that place data on blocks and on sectors.
TEST(MapStreamTest, AStreamedMapIsTheImageOfTheSameMap) {
  for (uint16_t blockSize : {32, 96, 256, 2048}) {
    SCOPED_TRACE(blockSize);
    MapDescription map = SmallMap();
    map.blockSize = blockSize;
    FillAllParcels(&map);
    map.parcels[3].data.names = std::vector<uint8_t>(3000, 0x33);
    map.parcels[5].split = true;
    map.parcels[5].splitKind = 2;
    map.parcels[5].pieces.resize(4);
    map.parcels[5].pieces[1] = map.parcels[3].data;
    map.parcels[5].pieces[2] = map.parcels[4].data;
    std::vector<uint8_t> image;
    ASSERT_EQ(BuildMapImage(map, &image), 0);

    // The data areas in placement order, back to back, as a builder keeps them.
    std::vector<uint32_t> areaBytes;
    std::vector<uint8_t> body, area;
    const auto addArea = [&](const std::optional<ParcelData>& data) {
      if (!data) return areaBytes.push_back(0);
      ASSERT_EQ(EncodeDataArea(*data, blockSize, &area), 0);
      areaBytes.push_back(static_cast<uint32_t>(area.size()));
      body.insert(body.end(), area.begin(), area.end());
    };
    for (const MapParcelDescription& parcel : map.parcels) {
      if (!parcel.split) addArea(parcel.data);
      for (const std::optional<ParcelData>& piece : parcel.pieces) addArea(piece);
    }
    size_t read = 0;
    const DataAreaReader reader = [&](uint8_t* into, size_t bytes, std::string*) {
      std::copy(body.begin() + static_cast<std::ptrdiff_t>(read), body.begin() + static_cast<std::ptrdiff_t>(read + bytes),
                into);
      read += bytes;
      return 0;
    };
    for (const int stopAt : {-1, 2}) {
      read = 0;
      int calls = 0;
      const MapWriteProgress progress = [&](uint64_t, uint64_t, std::string* why) {
        if (calls++ != stopAt) return 0;
        *why = "stopped";
        return -1;
      };
      FILE* file = std::tmpfile();
      ASSERT_NE(file, nullptr);
      uint64_t fileBytes = 0;
      std::string error;
      const int status = StreamMapFile(map, areaBytes, reader, progress, file, "map", &fileBytes, &error);
      std::vector<uint8_t> written(image.size() + 1);
      std::rewind(file);
      written.resize(std::fread(written.data(), 1, written.size(), file));
      std::fclose(file);
      if (stopAt >= 0) {
        EXPECT_EQ(status, -1);
        EXPECT_EQ(error, "stopped");
        continue;
      }
      ASSERT_EQ(status, 0) << error;
      EXPECT_EQ(fileBytes, image.size());
      EXPECT_EQ(read, body.size());
      EXPECT_TRUE(written == image);
    }
  }
}

}  // namespace
