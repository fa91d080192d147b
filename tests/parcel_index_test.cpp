// Management data and the parcel index: maps written by the map writer,
// read back by the system's reader, intact and damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "mapdata/parcel_index.h"
#include "mapdata_support.h"

namespace {

constexpr int32_t X0 = 800000;  // south-west corner of SmallMap
constexpr int32_t Y0 = 400000;

// (column, row) of each entry in the small map's parcel grid.
using Cells = std::vector<std::pair<int32_t, int32_t>>;

Cells CellsOf(const ParcelList* list) {
  Cells cells;
  for (int i = 0; list != nullptr && i < list->count; ++i) {
    cells.push_back({(list->entries[i].x0 - X0) / SMALL_PARCEL_WIDTH, (list->entries[i].y0 - Y0) / SMALL_PARCEL_HEIGHT});
  }
  return cells;
}

#ifdef TEVO_LOGTOOL
// Runs tevo-logtool with `arguments`; its output (both streams) and *status.
std::string RunTool(const std::string& arguments, const std::string& output, int* status) {
  *status = std::system((std::string(TEVO_LOGTOOL) + " " + arguments + " >" + output + " 2>&1").c_str());
  std::ifstream in(output);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
#endif

class ParcelIndexTest : public MapDataTest {
 protected:
  // Writes the map (or the given image) and loads it.
  void Load(const MapDescription& map) {
    std::string error;
    ASSERT_EQ(BuildMapImage(map, &image, &layout, &error), 0) << error;
    LoadImage();
  }
  void LoadImage() {
    Reset();
    path = scratch.File("map.kwi");
    WriteBytes(path, image);
    ASSERT_EQ(Open(path), 0);
  }
  // Parcels of level 62 touching [x0, x1] × [y0, y1], relative to the map's
  // corner; the rectangle is given by its centre and half sizes as the
  // renderer does, so odd widths are not expressible.
  ParcelList* Query(int32_t cx, int32_t cy, int32_t halfWidth, int32_t halfHeight, uint16_t code = 62) {
    const MapCoord center{X0 + cx, Y0 + cy};
    return FindParcels(Map(), &center, halfWidth, halfHeight, code);
  }
  Cells QueryCells(int32_t cx, int32_t cy, int32_t halfWidth, int32_t halfHeight) {
    ParcelList* list = Query(cx, cy, halfWidth, halfHeight);
    Cells cells = CellsOf(list);
    FreeParcelList(list);
    return cells;
  }
  const ParcelIndex& Index() { return *Database().GetParcelIndex(); }

  std::vector<uint8_t> image;
  MapLayout layout;
  std::string path;
};

TEST_F(ParcelIndexTest, HeaderFlagsExtentsAndLevelsDecode) {
  MapDescription map = SmallMap();
  map.flags = 0x4000;
  FillAllParcels(&map);
  Load(map);
  int bit15 = -1, bit14 = -1;
  EXPECT_EQ(GetMapFlags(Map(), &bit15, &bit14), 0);
  EXPECT_EQ(bit15, 0);
  EXPECT_EQ(bit14, 1);
  const ManagementHeader* header = Database().GetManagementHeader();
  EXPECT_EQ(header->blockSize, 256);
  EXPECT_EQ(header->extent[0], X0);  // the file's second coordinate comes first
  EXPECT_EQ(header->extent[1], Y0);
  EXPECT_EQ(header->extent[2], 808000);
  EXPECT_EQ(header->extent[3], 406400);
  EXPECT_EQ(Index().west, X0);
  EXPECT_EQ(Index().north, 406400);
  ASSERT_EQ(Index().levelCount, 1);
  const LevelEntry& level = Index().levels[0];
  EXPECT_EQ(level.levelCode, 62);
  EXPECT_EQ(level.blockRows * level.subBlockRows * level.parcelRows, 8);
  EXPECT_EQ(level.pieceGrid[0], 4);

  // A 32-bit extent field keeps bits 30..8: 0x12345678 is 0x123456 eighths
  // of a second.
  Patch32(&image, 456 + 4, 0x12345678);
  LoadImage();
  EXPECT_EQ(Database().GetManagementHeader()->extent[0], 0x123456 * 16);
}

TEST_F(ParcelIndexTest, WithoutAMapNothingIsFoundAndNothingIsInside) {
  const MapCoord point{X0, Y0};
  int bit15 = 7, bit14 = 7;
  EXPECT_EQ(GetMapFlags(nullptr, &bit15, &bit14), -1);
  EXPECT_EQ(bit15, 7);
  EXPECT_EQ(IsInsideMap(nullptr, &point), 0);
  EXPECT_EQ(FindParcels(nullptr, &point, 10, 10, 62), nullptr);
  EXPECT_EQ(Open(scratch.File("missing.kwi")), -1);
  EXPECT_EQ(GetMapFlags(Map(), &bit15, &bit14), -1);
  EXPECT_EQ(IsInsideMap(Map(), &point), 0);
  EXPECT_EQ(FindParcels(Map(), &point, 10, 10, 62), nullptr);
  WriteBytes(scratch.File("short.kwi"), std::vector<uint8_t>(4096, 0));
  EXPECT_EQ(Open(scratch.File("short.kwi")), -1);
}

TEST_F(ParcelIndexTest, ADatabaseHoldsTheRecordsOfOneFileOnly) {
  MapDescription map = SmallMap();
  FillAllParcels(&map);
  Load(map);
  WriteBytes(scratch.File("other.kwi"), image);
  MapDatabase database;
  BlockCache blocks;
  EXPECT_EQ(LoadMapDatabase(&database, &blocks, path.c_str()), 0);
  EXPECT_EQ(LoadMapDatabase(&database, &blocks, path.c_str()), 0);
  EXPECT_EQ(LoadMapDatabase(&database, &blocks, scratch.File("other.kwi").c_str()), -1);
  EXPECT_EQ(LoadMapDatabase(&database, &blocks, nullptr), -1);
  EXPECT_STREQ(database.MapPath(), path.c_str());
  // Two owners hold two files side by side.
  MapDataOwner other(scratch.File("other.kwi").c_str());
  ASSERT_EQ(other.Load(), 0);
  EXPECT_STREQ(other.Database()->MapPath(), scratch.File("other.kwi").c_str());
  EXPECT_STREQ(Database().MapPath(), path.c_str());
}

TEST_F(ParcelIndexTest, TheEastAndNorthEdgesAreInsideTheMap) {
  Load(SmallMap());
  const std::pair<MapCoord, int> cases[] = {
      {{X0, Y0}, 1},          {{808000, 406400}, 1}, {{808001, 406400}, 0},
      {{808000, 406401}, 0},  {{X0 - 1, Y0}, 0},     {{X0, Y0 - 1}, 0},
  };
  for (const auto& [point, inside] : cases) EXPECT_EQ(IsInsideMap(Map(), &point), inside) << point.x << "," << point.y;
}

TEST_F(ParcelIndexTest, EntriesCarryTheirParcelsRectangleAndData) {
  MapDescription map = SmallMap();
  FillAllParcels(&map);
  Load(map);
  ParcelList* list = Query(2500, 2000, 100, 100);  // inside parcel (2, 2)
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 1);
  EXPECT_EQ(list->levelCode, 62);
  EXPECT_EQ(list->levelIndex, 0);
  EXPECT_EQ(list->capacity, 64);
  const ParcelEntry& entry = list->entries[0];
  const ParcelPlacement& placed = layout.parcels[2 * 8 + 2];
  EXPECT_EQ(entry.x0, X0 + 2000);
  EXPECT_EQ(entry.y0, Y0 + 1600);
  EXPECT_EQ(entry.width, SMALL_PARCEL_WIDTH);
  EXPECT_EQ(entry.height, SMALL_PARCEL_HEIGHT);
  EXPECT_EQ(entry.xDiv, 16);
  EXPECT_EQ(entry.yDiv, 16);
  EXPECT_EQ(entry.piece, 0);
  EXPECT_EQ(entry.address, placed.addresses[0]);
  EXPECT_EQ(entry.size, placed.sizes[0]);
  EXPECT_EQ(entry.reserved1 | entry.reserved2, 0);
  FreeParcelList(list);
  EXPECT_EQ(Query(2500, 2000, 100, 100, 0), nullptr);  // no level 0 in this map
}

TEST_F(ParcelIndexTest, ScanOrderIsBlockBySouthToNorthAndWestToEast) {
  MapDescription map = SmallMap();
  FillAllParcels(&map);
  Load(map);
  // Two parcel rows (in two sub-blocks) of block (0, 0) and of block
  // (0, 1): the first block's rows come before the second block's.
  EXPECT_EQ(QueryCells(3750, 1350, 250, 350), (Cells{{3, 1}, {3, 2}, {4, 1}, {4, 2}}));
  // Around the corner of four blocks.
  EXPECT_EQ(QueryCells(4000, 3200, 500, 300), (Cells{{3, 3}, {4, 3}, {3, 4}, {4, 4}}));
}

// The block and sub-block stages reach one cell further than the query;
// the parcel stage truncates towards zero, so a rectangle that ends less
// than one parcel before the next block still takes that block's first
// parcel, and one that ends further away does not.
TEST_F(ParcelIndexTest, TheNextBlocksFirstParcelIsTakenWithinOneParcelOfIt) {
  MapDescription map = SmallMap();
  FillAllParcels(&map);
  Load(map);
  EXPECT_EQ(QueryCells(3250, 400, 250, 100), (Cells{{3, 0}, {4, 0}}));   // ends 500 before x = 4000
  EXPECT_EQ(QueryCells(2450, 400, 450, 100), (Cells{{2, 0}}));           // ends 1100 before it
  EXPECT_EQ(QueryCells(400, 2850, 100, 250), (Cells{{0, 3}, {0, 4}}));   // the same northwards
  // West of the map: the scan starts at column 0, and the first column is
  // taken while the query ends less than one parcel west of the map.
  EXPECT_EQ(QueryCells(-250, 400, 2750, 100), (Cells{{0, 0}, {1, 0}, {2, 0}}));
  EXPECT_EQ(QueryCells(-2600, 400, 2400, 100), (Cells{{0, 0}}));         // ends 200 west of it
  EXPECT_EQ(QueryCells(-3500, 400, 2000, 100), Cells{});                 // ends 1500 west of it
  EXPECT_EQ(QueryCells(400, -1000, 100, 900), (Cells{{0, 0}}));          // ends 100 south of it
}

TEST_F(ParcelIndexTest, ASplitParcelListsItsPiecesWithTheParentsRectangle) {
  MapDescription map = SmallMap();
  MapParcelDescription split;
  split.row = 1;
  split.column = 1;
  split.split = true;
  split.splitKind = 1;  // the level's first piece grid: 4 × 4
  for (int i = 0; i < 16; ++i) split.pieces.push_back(ParcelData{});
  split.pieces[5] = std::nullopt;  // row 1, column 1 has no data
  map.parcels.push_back(split);
  Load(map);
  ParcelList* list = Query(1500, 1200, 499, 399);  // all of parcel (1, 1)
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 15);
  int i = 0;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      if (row == 1 && column == 1) continue;
      const ParcelEntry& entry = list->entries[i++];
      EXPECT_EQ(entry.piece, column * 256 + row);
      EXPECT_EQ(entry.xDiv, 4);
      EXPECT_EQ(entry.yDiv, 4);
      EXPECT_EQ(entry.x0, X0 + 1000);
      EXPECT_EQ(entry.y0, Y0 + 800);
      EXPECT_EQ(entry.width, SMALL_PARCEL_WIDTH);
      EXPECT_EQ(entry.address, layout.parcels[0].addresses[row * 4 + column]);
    }
  }
  FreeParcelList(list);
  // A query over the parcel's south-west quarter takes pieces 0..1 × 0..1.
  list = Query(1200, 950, 100, 100);
  ASSERT_NE(list, nullptr);
  std::vector<int> pieces;
  for (int k = 0; k < list->count; ++k) pieces.push_back(list->entries[k].piece);
  EXPECT_EQ(pieces, (std::vector<int>{0x000, 0x100, 0x001}));
  FreeParcelList(list);
}

TEST_F(ParcelIndexTest, SplitKindZeroUsesTheParcelColumnsAndKindThreeItsGrid) {
  MapDescription map = SmallMap();
  for (uint8_t kind : {0, 3}) {
    MapParcelDescription split;
    split.column = kind;  // kind 0 at column 0, kind 3 at column 3
    split.split = true;
    split.splitKind = kind;
    split.pieces.assign(kind == 0 ? 4 : 1, ParcelData{});
    map.parcels.push_back(split);
  }
  Load(map);
  ParcelList* list = Query(1500, 400, 1499, 300);  // columns 0..2 of row 0
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 4);
  EXPECT_EQ(list->entries[0].xDiv, 8);
  FreeParcelList(list);
  list = Query(3500, 400, 400, 300);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 1);
  EXPECT_EQ(list->entries[0].xDiv, 16);
  EXPECT_EQ(list->entries[0].piece, 0);
  FreeParcelList(list);
}

bool CollectEntry(void* entries, const ParcelEntry& entry) {
  static_cast<std::vector<ParcelEntry>*>(entries)->push_back(entry);
  return true;
}

// A list holds every parcel and piece the rectangle touches, however many:
// here 60 whole parcels and four split into 4 × 4 pieces, 124 entries, the
// same entries in the same order as a walk of the whole level finds.
TEST_F(ParcelIndexTest, AQueryListsEveryParcelAndPieceItTouches) {
  MapDescription map = SmallMap();
  FillAllParcels(&map);
  for (int cell : {0, 9, 36, 63}) {
    MapParcelDescription& split = map.parcels[cell];
    split.split = true;
    split.splitKind = 1;
    split.pieces.assign(16, ParcelData{});
  }
  Load(map);
  ParcelList* list = Query(4000, 3200, 4000, 3200);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count, 60 + 4 * 16);
  EXPECT_GE(list->capacity, list->count);
  EXPECT_FALSE(list->incomplete);
  std::vector<ParcelEntry> walked;
  ParcelWalk walk{CollectEntry, &walked, 0, 0, 0, 0, false};
  ASSERT_EQ(WalkParcels(Map(), 0, {Index().west, Index().south, Index().east, Index().north}, &walk), 0);
  ASSERT_EQ(walked.size(), list->count);
  for (size_t i = 0; i < walked.size(); ++i) EXPECT_TRUE(KeyOf(walked[i]) == KeyOf(list->entries[i])) << i;
  // The last parcel in scan order, split, is listed whole.
  EXPECT_EQ(CellsOf(list).back(), (std::pair<int32_t, int32_t>{7, 7}));
  FreeParcelList(list);
}

// The largest view the tools draw (a 4096-pixel canvas) at the coarsest
// step of each standard level touches few enough parcels that, even split
// into the finest pieces an entry can describe, they fit one list.
TEST_F(ParcelIndexTest, TheLargestViewsOfTheStandardLevelsFitOneList) {
  constexpr int64_t LARGEST_CANVAS = 4096;
  int64_t most = 0;
  for (const StandardLevel& level : STANDARD_LEVELS) {
    const ScaleStep& step = SCALE_STEPS[level.lastStep];
    // A span of n parcel sizes touches at most n + 2 parcels, its ends
    // included.
    const int64_t columns = LARGEST_CANVAS * step.unitsPerPixelX / level.parcelWidth + 2;
    const int64_t rows = LARGEST_CANVAS * step.unitsPerPixelY / level.parcelHeight + 2;
    most = std::max(most, columns * rows);
  }
  EXPECT_EQ(most, 156);
  EXPECT_LE(most * PIECE_GRID_MAX_SIDE * PIECE_GRID_MAX_SIDE, PARCEL_LIST_MAX_ENTRIES);
}

TEST_F(ParcelIndexTest, ParcelsWithoutDataAreSkipped) {
  MapDescription map = SmallMap();
  FillAllParcels(&map);
  Load(map);
  Patch16(&image, layout.parcels[0].recordOffset + 4, 0);  // (0, 0): size 0 makes it a split parcel
  Patch32(&image, layout.parcels[0].recordOffset, 0x7FFFFFFF);  // whose split record lies outside the table
  Patch32(&image, layout.parcels[1].recordOffset, NO_ADDRESS);  // (1, 0): no parcel
  LoadImage();
  EXPECT_EQ(QueryCells(1000, 400, 999, 300), (Cells{{2, 0}}));
}

// A parcel table that cannot be read fails the whole query.
TEST_F(ParcelIndexTest, AnUnreadableParcelTableFailsTheQuery) {
  MapDescription map = SmallMap();
  FillAllParcels(&map);
  Load(map);
  const uint32_t subBlockRecord = layout.areaOffset + 30 + 40 + 40;  // block (0, 0)'s first sub-block
  Patch16(&image, subBlockRecord + 4, 0xFFFF);  // 65535 blocks: larger than the file
  LoadImage();
  EXPECT_EQ(Query(500, 400, 100, 100), nullptr);
  EXPECT_EQ(QueryCells(4500, 400, 100, 100), (Cells{{4, 0}}));  // another sub-block
}

// Damaged indexes give fewer parcels or none, never a crash or an endless
// scan. Each case patches a valid map whose query over everything lists 64.
struct Damage {
  const char* what;
  void (*patch)(std::vector<uint8_t>* image, const MapLayout& layout);
  int most;  // entries the whole-map query may still list
};

const uint32_t AREA = 4096;
const uint32_t LEVEL = AREA + 30;

// Stretches the extent and every grid to their largest and makes every
// block and every sub-block read the same record.
void ShareEveryTable(std::vector<uint8_t>* image) {
  Patch24(image, AREA + 8, 0x7FFFFF);   // north
  Patch24(image, AREA + 17, 0x7FFFFF);  // east
  Patch16(image, AREA + 22, 0);
  Patch16(image, AREA + 24, 0);
  for (uint32_t grid = 24; grid <= 28; grid += 2) Patch16(image, LEVEL + grid, 0xFFFF);
}

const Damage DAMAGES[] = {
    {"east equals west: blocks of width 0",
     [](std::vector<uint8_t>* m, const MapLayout&) { Patch24(m, AREA + 17, X0 / 16); }, 0},
    {"level count far past the area",
     [](std::vector<uint8_t>* m, const MapLayout&) { Patch16(m, AREA + 26, 0xFFFF); }, 64},
    {"block table past the area",
     [](std::vector<uint8_t>* m, const MapLayout&) { Patch16(m, LEVEL + 36, 0xFFFF); }, 0},
    {"block records of size 0: every block reads block 0",
     [](std::vector<uint8_t>* m, const MapLayout&) { Patch16(m, AREA + 22, 0); }, 64},
    {"sub-block table far outside the area",
     [](std::vector<uint8_t>* m, const MapLayout& l) { Patch32(m, l.blockTableOffsets[0] + 2, 0x7FFFFFFF); }, 48},
    {"parcel table past the end of the file (reads as zeros)",
     [](std::vector<uint8_t>* m, const MapLayout& l) {
       const uint32_t record = l.areaOffset + 30 + 40 + 40;
       Patch32(m, record, 0x00FFFF00);
     }, 64},
    {"the largest extent with 256 x 256 grids everywhere and records of size 0",
     [](std::vector<uint8_t>* m, const MapLayout&) { ShareEveryTable(m); }, 64},
    {"piece grid wider than the parcel",
     [](std::vector<uint8_t>* m, const MapLayout& l) {
       Patch16(m, LEVEL + 28, 0x01FF);  // 2 x 256 parcels per sub-block: 7 units wide
       Patch32(m, l.parcels[0].recordOffset, 0x100);
       Patch16(m, l.parcels[0].recordOffset + 4, 0);
     }, 64},
};

TEST_F(ParcelIndexTest, DamagedIndexesGiveFewerParcelsOrNone) {
  MapDescription map = SmallMap();
  FillAllParcels(&map);
  std::string error;
  std::vector<uint8_t> valid;
  ASSERT_EQ(BuildMapImage(map, &valid, &layout, &error), 0);
  for (const Damage& damage : DAMAGES) {
    SCOPED_TRACE(damage.what);
    image = valid;
    damage.patch(&image, layout);
    LoadImage();
    ASSERT_NE(Database().GetParcelIndex(), nullptr);
    ParcelList* list = Query(4000, 3200, 4000, 3200);
    EXPECT_LE(list == nullptr ? 0 : list->count, damage.most);
    FreeParcelList(list);
  }
}

// A split parcel claiming the largest piece grid, 256 × 256 pieces, all
// with data: the list grows to its maximum and no further, and says that
// it was cut short; the parcels command says so and fails.
TEST_F(ParcelIndexTest, AHugePieceGridFillsTheListOnlyToItsMaximum) {
  MapDescription map = SmallMap();
  FillAllParcels(&map);
  map.levels[0].pieceGrid[2] = 256;
  MapParcelDescription& split = map.parcels[9];
  split.split = true;
  split.splitKind = 3;
  split.pieces.assign(256 * 256, std::nullopt);
  Load(map);
  const ParcelPlacement& placed = layout.parcels[9];
  for (uint32_t piece = 0; piece < 256 * 256; ++piece) {
    Patch32(&image, placed.splitOffset + 4 + 6 * piece, layout.parcels[0].addresses[0]);
    Patch16(&image, placed.splitOffset + 8 + 6 * piece, 1);
  }
  LoadImage();
  ParcelList* list = Query(4000, 3200, 4000, 3200);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count, PARCEL_LIST_MAX_ENTRIES);
  EXPECT_EQ(list->capacity, PARCEL_LIST_MAX_ENTRIES);
  EXPECT_TRUE(list->incomplete);
  FreeParcelList(list);
#ifdef TEVO_LOGTOOL
  int status = 0;
  const std::string listed = RunTool("parcels " + path + " 804000 403200 4000 3200 62", scratch.File("out.txt"), &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(listed.find("stops at 65280 entries"), std::string::npos) << listed.substr(listed.size() - 300);
#endif
}

// The index area is read only as far as the section directory says it
// reaches: a header or level entry cut off by the stated size is not taken
// from the bytes that follow it in the file.
TEST_F(ParcelIndexTest, TheIndexIsReadOnlyAsFarAsItsStatedSize) {
  MapDescription map = SmallMap();
  map.blockSize = 32;
  FillAllParcels(&map);
  Load(map);
  ASSERT_EQ(Index().levelCount, 1);
  const std::vector<uint8_t> full = image;
  const uint32_t areaBlocks = (layout.areaBytes + 31) / 32;
  for (uint32_t blocks = 0; blocks <= areaBlocks; ++blocks) {
    SCOPED_TRACE("index area of " + std::to_string(blocks) + " blocks");
    image = full;
    Patch16(&image, 2048 + 4, blocks);
    LoadImage();
    const ParcelIndex* index = Map()->Database()->GetParcelIndex();
    const uint32_t bytes = blocks * 32;
    if (bytes < 30) {
      EXPECT_EQ(index, nullptr);
      EXPECT_EQ(Query(4000, 3200, 4000, 3200), nullptr);
      continue;
    }
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->levelCount, bytes >= 30 + 40 ? 1 : 0);
  }
}

// With every table shared by every cell, a walk of the whole level would
// read 2^48 records; it stops after as many as the file can hold.
TEST_F(ParcelIndexTest, AWalkReadsNoMoreRecordsThanTheFileHolds) {
  MapDescription map = SmallMap();
  Load(map);
  ShareEveryTable(&image);
  // Every block record names sub-block table 0, which is the index header:
  // its first words read as address 0, size 0, a parcel table at the
  // start of the file whose zero records are all split parcels.
  Patch32(&image, layout.blockTableOffsets[0] + 2, 0);
  Patch32(&image, layout.blockTableOffsets[0] + 6, 1);
  LoadImage();
  const ParcelIndex& index = Index();
  ParcelWalk walk{[](void*, const ParcelEntry&) { return true; }, nullptr, 0, 0, 0, 0, false};
  EXPECT_EQ(WalkParcels(Map(), 0, {index.west, index.south, index.east, index.north}, &walk), 0);
  EXPECT_TRUE(walk.truncated);
  EXPECT_LE(walk.recordsRead, image.size() / 6 + 1);
}

// Every truncation of a valid map either fails to load or answers queries
// without reading outside its buffers (AddressSanitizer checks the latter).
TEST_F(ParcelIndexTest, EveryTruncationLoadsOrFailsCleanly) {
  MapDescription map = SmallMap();
  map.blockSize = 32;
  FillAllParcels(&map);
  MapParcelDescription& split = map.parcels[9];
  split.split = true;
  split.splitKind = 1;
  split.pieces.assign(16, ParcelData{});
  std::vector<uint8_t> full;
  ASSERT_EQ(BuildMapImage(map, &full, &layout), 0);
  int loaded = 0;
  for (size_t length = 0; length <= full.size(); ++length) {
    image.assign(full.begin(), full.begin() + static_cast<long>(length));
    Reset();
    WriteBytes(scratch.File("cut.kwi"), image);
    if (Open(scratch.File("cut.kwi")) != 0) continue;
    ++loaded;
    for (const MapCoord center : {MapCoord{X0 + 4000, Y0 + 3200}, MapCoord{X0 + 1500, Y0 + 1200}}) {
      ParcelList* list = FindParcels(Map(), &center, 4000, 3200, 62);
      for (int i = 0; list != nullptr && i < list->count; ++i) {
        ASSERT_NE(list->entries[i].address, NO_ADDRESS);
        ASSERT_NE(list->entries[i].size, 0u);
      }
      FreeParcelList(list);
    }
  }
  EXPECT_EQ(loaded, static_cast<int>(full.size()) - 4096);
}

#ifdef TEVO_LOGTOOL
// The command-line tools print the reader's answers.
TEST_F(ParcelIndexTest, LogtoolPrintsListsAndMapDescriptions) {
  MapDescription map = SmallMap();
  FillAllParcels(&map);
  Load(map);
  int status = 0;
  const std::string out = scratch.File("out.txt");
  const std::string listed = RunTool("parcels " + path + " 803250 400400 250 100 62", out, &status);
  EXPECT_EQ(status, 0);
  char expected[400];
  std::snprintf(expected, sizeof(expected),
                "list levelCode=62 levelIndex=0 count=2\n"
                "entry 0 x0=803000 y0=400000 width=1000 height=800 xDiv=16 yDiv=16 piece=0x0000 address=0x%08X size=1\n"
                "entry 1 x0=804000 y0=400000 width=1000 height=800 xDiv=16 yDiv=16 piece=0x0000 address=0x%08X size=1\n",
                layout.parcels[3].addresses[0], layout.parcels[4].addresses[0]);
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(RunTool("parcels " + path + " 0 0 10 10 62", out, &status), "null\n");
  RunTool("parcels " + scratch.File("missing.kwi") + " 0 0 10 10 62", out, &status);
  EXPECT_NE(status, 0);

  const std::string info = RunTool("mapinfo " + path, out, &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(info.find("level 0 code=62 blocks=2x2 subBlocks=2x2 parcels=2x2"), std::string::npos) << info;
  EXPECT_NE(info.find("parcelCount=64 splitCount=0"), std::string::npos) << info;
  WriteBytes(scratch.File("zeros.kwi"), std::vector<uint8_t>(10000, 0));
  RunTool("mapinfo " + scratch.File("zeros.kwi"), out, &status);
  EXPECT_NE(status, 0);

  // A map cut after its index: it opens, but its parcels' data is gone,
  // and mapinfo says how many parcels cannot be read.
  std::ifstream whole(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
  bytes.resize(SectorAddressToOffset(layout.parcels[3].addresses[0], 256) + 1);
  WriteBytes(scratch.File("cut.kwi"), bytes);
  const std::string cut = RunTool("mapinfo " + scratch.File("cut.kwi"), out, &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(cut.find("parcels cannot be read: their data lies beyond the end of the file"), std::string::npos) << cut;
}
#endif

}  // namespace
