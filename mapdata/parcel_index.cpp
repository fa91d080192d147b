#include "mapdata/parcel_index.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "mapdata/map_owner.h"

namespace {

// --- Decoding the management data ---

// Each decoder reads one record through its own cursor and looks at the
// cursor's overrun flag once, at the end of the record: a record that does
// not lie wholly inside its block is not kept.

ManagementHeader* DecodeManagementHeader(const ByteCursor& block) {
  ByteCursor cursor = block;
  auto* header = static_cast<ManagementHeader*>(std::calloc(1, sizeof(ManagementHeader)));
  if (header == nullptr) return nullptr;
  ReadBytes(&cursor, header->text, HEADER_TEXT_BYTES);
  SeekTo(&cursor, HEADER_EXTENT_OFFSET);
  uint32_t extent[HEADER_EXTENT_WORDS];
  for (uint32_t& field : extent) field = ReadU32(&cursor);
  // Memory keeps the file's coordinates pairwise swapped: 2nd, 1st, 4th, 3rd.
  header->extent[0] = ExtentFrom32(extent[1]);
  header->extent[1] = ExtentFrom32(extent[0]);
  header->extent[2] = ExtentFrom32(extent[3]);
  header->extent[3] = ExtentFrom32(extent[2]);
  header->blockSize = static_cast<uint16_t>(ReadU16(&cursor));
  header->reserved = static_cast<uint16_t>(ReadU16(&cursor));
  header->flags = static_cast<uint16_t>(ReadU16(&cursor));
  if (cursor.overrun) {
    std::free(header);
    return nullptr;
  }
  return header;
}

SectionDirectory* DecodeSectionDirectory(const ByteCursor& block) {
  ByteCursor cursor = block;
  auto* directory = static_cast<SectionDirectory*>(std::calloc(1, sizeof(SectionDirectory)));
  if (directory == nullptr) return nullptr;
  SeekTo(&cursor, SECTION_DIRECTORY_OFFSET);
  for (SectionEntry& entry : directory->entries) {
    entry.address = ReadU32(&cursor);
    entry.size = static_cast<uint16_t>(ReadU16(&cursor));
    ReadBytes(&cursor, entry.raw, SECTION_RAW_BYTES);
  }
  if (cursor.overrun) {
    std::free(directory);
    return nullptr;
  }
  return directory;
}

// A grid word: high byte + 1 rows, low byte + 1 columns.
void DecodeGrid(uint32_t word, uint16_t* rows, uint16_t* columns) {
  *rows = static_cast<uint16_t>((word >> GRID_ROWS_SHIFT) + 1);
  *columns = static_cast<uint16_t>((word & GRID_CELLS_MASK) + 1);
}

void DecodeLevel(ByteCursor* cursor, LevelEntry* level) {
  level->codeWord = static_cast<uint16_t>(ReadU16(cursor));
  level->levelCode = static_cast<uint16_t>(level->codeWord >> LEVEL_CODE_SHIFT);
  level->word2 = static_cast<uint16_t>(ReadU16(cursor));
  for (uint32_t& threshold : level->thresholds) threshold = ReadU32(cursor);
  DecodeGrid(ReadU16(cursor), &level->blockRows, &level->blockColumns);
  DecodeGrid(ReadU16(cursor), &level->subBlockRows, &level->subBlockColumns);
  DecodeGrid(ReadU16(cursor), &level->parcelRows, &level->parcelColumns);
  // Piece grids use only their low byte: S = low byte + 1.
  for (uint16_t& pieces : level->pieceGrid) pieces = static_cast<uint16_t>((ReadU16(cursor) & GRID_CELLS_MASK) + 1);
  level->blockTableOffset = ReadU16(cursor) * WORD_BYTES;
  level->word38 = ReadU16(cursor) * WORD_BYTES;
}

void DecodeExtra(ByteCursor* cursor, ExtraEntry* extra) {
  extra->value = static_cast<uint16_t>(ReadU16(cursor));
  extra->first = ReadU32(cursor) * WORD_BYTES;
  extra->second = ReadU32(cursor) * WORD_BYTES;
}

// Decodes `count` records of `recordBytes` each from the cursor into a new
// array in *records, keeping only the records that lie inside the block: a
// count larger than the block can hold gives fewer records. Sets *kept.
// Returns false only when memory runs out.
template <typename Record>
bool DecodeArray(ByteCursor* cursor, uint32_t count, uint32_t recordBytes, void (*decode)(ByteCursor*, Record*),
                 Record** records, uint16_t* kept) {
  const uint32_t fit = std::min(count, Remaining(cursor) / recordBytes);
  *records = nullptr;
  *kept = 0;
  if (fit == 0) return true;
  *records = static_cast<Record*>(std::calloc(fit, sizeof(Record)));
  if (*records == nullptr) return false;
  for (uint32_t i = 0; i < fit; ++i) {
    decode(cursor, &(*records)[i]);
    if (cursor->overrun) break;
    *kept = static_cast<uint16_t>(i + 1);
  }
  return true;
}

// Reads the parcel index header; false when it does not fit in the area.
bool DecodeIndexHeader(ByteCursor* cursor, ParcelIndex* index, uint32_t* levelCount, uint32_t* extraCount) {
  index->word0 = static_cast<uint16_t>(ReadU16(cursor));
  ReadU16(cursor);
  index->word4 = static_cast<uint16_t>(ReadU16(cursor));
  ReadU16(cursor);
  index->north = ExtentFrom24(ReadU24(cursor));
  index->south = ExtentFrom24(ReadU24(cursor));
  index->west = ExtentFrom24(ReadU24(cursor));
  index->east = ExtentFrom24(ReadU24(cursor));
  index->word20 = ReadU16(cursor) * WORD_BYTES;
  index->blockRecordSize = ReadU16(cursor) * WORD_BYTES;
  index->subBlockRecordSize = ReadU16(cursor) * WORD_BYTES;
  *levelCount = ReadU16(cursor);
  *extraCount = ReadU16(cursor);
  return !cursor->overrun;
}

ParcelIndex* DecodeParcelIndex(const ManagementHeader& header, const SectionDirectory& directory,
                               BlockCache* blocks, const char* path) {
  const SectionEntry& section = directory.entries[0];
  const uint32_t areaOffset = SectorAddressToOffset(section.address, header.blockSize);
  const uint32_t areaSize = static_cast<uint32_t>(section.size) * header.blockSize;
  MapBlock* area = OpenBlock(blocks, path, BYTE_ORDER_BIG, areaOffset, areaSize);
  if (area == nullptr) return nullptr;
  auto* index = static_cast<ParcelIndex*>(std::calloc(1, sizeof(ParcelIndex)));
  if (index == nullptr) {
    ReleaseBlock(blocks, area);
    return nullptr;
  }
  index->areaOffset = areaOffset;
  index->areaSize = areaSize;
  index->blockSize = header.blockSize;
  ByteCursor cursor = BlockCursor(area);
  uint32_t levelCount = 0, extraCount = 0;
  const bool decoded =
      DecodeIndexHeader(&cursor, index, &levelCount, &extraCount) &&
      DecodeArray(&cursor, levelCount, LEVEL_ENTRY_BYTES, DecodeLevel, &index->levels, &index->levelCount) &&
      DecodeArray(&cursor, extraCount, EXTRA_ENTRY_BYTES, DecodeExtra, &index->extras, &index->extraCount);
  ReleaseBlock(blocks, area);
  if (!decoded) {
    FreeParcelIndex(index);
    return nullptr;
  }
  return index;
}

// --- The grid scan ---

// Cells [first, last] of one axis; empty when first > last.
struct Span {
  int64_t first;
  int64_t last;
};

// Differences and origins use the 32-bit wrap-around of the map's integer
// arithmetic.
int32_t Difference(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

int32_t Sum(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t CellOrigin(int32_t origin, int64_t index, uint32_t cellSize) {
  return static_cast<int32_t>(static_cast<uint32_t>(origin) + static_cast<uint32_t>(index) * cellSize);
}

// The block stage works in unsigned arithmetic: a query that ends west of
// (or south of) the map wraps to a huge cell number and is clamped to the
// last block. The last cell is one further than the query reaches.
Span BlockSpan(int32_t q0, int32_t q1, int32_t origin, uint32_t cellSize, uint32_t count) {
  const int32_t start = Difference(q0, origin);
  const uint32_t first = start < 0 ? 0 : static_cast<uint32_t>(start) / cellSize;
  uint32_t last = static_cast<uint32_t>(Difference(q1, origin)) / cellSize + 1;
  if (last >= count) last = count - 1;
  return {first, last};
}

// The stages below work in signed arithmetic, truncating towards zero;
// `extra` is 1 at the sub-block stage and 0 at the parcel and piece stages.
Span CellSpan(int32_t q0, int32_t q1, int32_t origin, int32_t cellSize, int32_t count, int32_t extra) {
  const int32_t start = Difference(q0, origin);
  const int64_t first = start < 0 ? 0 : start / cellSize;
  int64_t last = Difference(q1, origin) / cellSize + extra;
  if (last >= count) last = count - 1;
  return {first, last};
}

// The rectangle of one cell: its south-west corner and size in map units.
struct Cell {
  int32_t x, y;
  int32_t width, height;
};

enum class Flow { GO_ON, STOP, FAIL };

class Walker {
 public:
  Walker(const ParcelIndex& index, const LevelEntry& level, const InclusiveRect& query, ParcelWalk* walk,
         BlockCache* blocks, const MapBlock* areaBlock, const char* path)
      : index(index), level(level), query(query), walk(walk), blocks(blocks), area(BlockCursor(areaBlock)), path(path),
        // In a sound file every record a walk reads is a record of at least
        // 6 bytes of its own, so a walk never needs more reads than that.
        recordBudget(areaBlock->fileLength / PARCEL_RECORD_BYTES + 1) {}

  Flow Run() {
    const uint32_t blockWidth = static_cast<uint32_t>(Difference(index.east, index.west)) / level.blockColumns;
    const uint32_t blockHeight = static_cast<uint32_t>(Difference(index.north, index.south)) / level.blockRows;
    // A map without extent has no cells (and no division by zero).
    if (blockWidth == 0 || blockHeight == 0) return Flow::GO_ON;
    const Span rows = BlockSpan(query.y0, query.y1, index.south, blockHeight, level.blockRows);
    const Span columns = BlockSpan(query.x0, query.x1, index.west, blockWidth, level.blockColumns);
    for (int64_t row = rows.first; row <= rows.last; ++row) {
      for (int64_t column = columns.first; column <= columns.last; ++column) {
        const Cell block{CellOrigin(index.west, column, blockWidth), CellOrigin(index.south, row, blockHeight),
                         static_cast<int32_t>(blockWidth), static_cast<int32_t>(blockHeight)};
        const Flow flow = VisitBlock(row * level.blockColumns + column, block);
        if (flow != Flow::GO_ON) return flow;
      }
    }
    return Flow::GO_ON;
  }

 private:
  // Counts one record read against the budget; false when it is spent.
  bool TakeRecord() {
    if (walk->recordsRead >= recordBudget) {
      walk->truncated = true;
      return false;
    }
    walk->recordsRead += 1;
    return true;
  }

  // A cursor over the record of `bytes` bytes at `pos` of `table`: overrun
  // (and read as zeros) when the record does not lie wholly inside the
  // table. A reader of the record checks that once, after its reads; the
  // cell then has no data.
  static ByteCursor RecordAt(const ByteCursor& table, uint64_t pos, uint32_t bytes) {
    if (pos > UINT32_MAX) return OverrunCursor(table.byteOrder);
    return SubCursor(&table, static_cast<uint32_t>(pos), bytes);
  }

  // Calls `visit(row, column, cell)` for the cells of a grid of rows ×
  // columns over `area` that the query touches, until one does not go on.
  template <typename Visit>
  Flow ScanGrid(const Cell& area, int32_t rows, int32_t columns, int32_t extra, Visit visit) {
    const int32_t width = area.width / columns;
    const int32_t height = area.height / rows;
    // Cells of no size (or a size that wrapped negative) select nothing.
    if (width <= 0 || height <= 0) return Flow::GO_ON;
    const Span rowSpan = CellSpan(query.y0, query.y1, area.y, height, rows, extra);
    const Span columnSpan = CellSpan(query.x0, query.x1, area.x, width, columns, extra);
    for (int64_t row = rowSpan.first; row <= rowSpan.last; ++row) {
      for (int64_t column = columnSpan.first; column <= columnSpan.last; ++column) {
        const Cell cell{CellOrigin(area.x, column, static_cast<uint32_t>(width)),
                        CellOrigin(area.y, row, static_cast<uint32_t>(height)), width, height};
        const Flow flow = visit(row, column, cell);
        if (flow != Flow::GO_ON) return flow;
      }
    }
    return Flow::GO_ON;
  }

  Flow VisitBlock(int64_t number, const Cell& block) {
    if (!TakeRecord()) return Flow::STOP;
    ByteCursor record =
        RecordAt(area, level.blockTableOffset + static_cast<uint64_t>(index.blockRecordSize) * number,
                 BLOCK_RECORD_BYTES);
    SeekTo(&record, BLOCK_RECORD_TABLE_OFFSET);
    const uint32_t subBlockTable = ReadU32(&record);
    const uint32_t presence = ReadU32(&record);
    if (record.overrun || subBlockTable == NO_SUB_BLOCK_TABLE || presence == 0) return Flow::GO_ON;
    const uint64_t tablePos = static_cast<uint64_t>(subBlockTable) * WORD_BYTES;
    return ScanGrid(block, level.subBlockRows, level.subBlockColumns, 1,
                    [&](int64_t row, int64_t column, const Cell& subBlock) {
                      return VisitSubBlock(tablePos, row * level.subBlockColumns + column, subBlock);
                    });
  }

  Flow VisitSubBlock(uint64_t tablePos, int64_t number, const Cell& subBlock) {
    if (!TakeRecord()) return Flow::STOP;
    ByteCursor record = RecordAt(area, tablePos + static_cast<uint64_t>(index.subBlockRecordSize) * number,
                                 SUB_BLOCK_RECORD_BYTES);
    const uint32_t address = ReadU32(&record);
    const uint32_t size = ReadU16(&record);
    if (record.overrun || address == NO_ADDRESS) return Flow::GO_ON;
    MapBlock* tableBlock =
        OpenBlock(blocks, path, BYTE_ORDER_BIG, SectorAddressToOffset(address, index.blockSize), size * index.blockSize);
    if (tableBlock == nullptr) return Flow::FAIL;
    // The table's two head words are not used.
    const ByteCursor table = BlockCursor(tableBlock);
    const Flow flow = ScanGrid(subBlock, level.parcelRows, level.parcelColumns, 0,
                               [&](int64_t row, int64_t column, const Cell& parcel) {
                                 return VisitParcel(table, row * level.parcelColumns + column, parcel);
                               });
    ReleaseBlock(blocks, tableBlock);
    return flow;
  }

  Flow VisitParcel(const ByteCursor& table, int64_t number, const Cell& parcel) {
    if (!TakeRecord()) return Flow::STOP;
    ByteCursor record = RecordAt(
        table, PARCEL_TABLE_HEAD_BYTES + static_cast<uint64_t>(PARCEL_RECORD_BYTES) * number, PARCEL_RECORD_BYTES);
    const uint32_t address = ReadU32(&record);
    const uint32_t size = ReadU16(&record);
    if (record.overrun || address == NO_ADDRESS) return Flow::GO_ON;
    // A valid address with size 0 marks a split parcel; its address is then
    // the split record's offset in 16-bit words from the table's start.
    if (size != 0) {
      walk->wholeParcels += 1;
      return Emit(parcel, WHOLE_PARCEL_DIV, 0, address, size);
    }
    return VisitSplit(table, static_cast<uint64_t>(address) * WORD_BYTES, parcel);
  }

  Flow VisitSplit(const ByteCursor& table, uint64_t splitPos, const Cell& parcel) {
    walk->splitParcels += 1;
    ByteCursor head = RecordAt(table, splitPos, SPLIT_HEAD_BYTES);
    const uint32_t kind = (ReadU16(&head) >> SPLIT_KIND_SHIFT) & SPLIT_KIND_MASK;
    if (head.overrun) return Flow::GO_ON;
    // Kind 0 splits into as many pieces per side as the sub-block has parcel
    // columns; kinds 1..3 take their level's piece grids.
    const int32_t pieces = kind == 0 ? level.parcelColumns : level.pieceGrid[kind - 1];
    const auto div = static_cast<uint8_t>(WHOLE_PARCEL_DIV / pieces);
    return ScanGrid(parcel, pieces, pieces, 0, [&](int64_t row, int64_t column, const Cell&) {
      if (!TakeRecord()) return Flow::STOP;
      const uint64_t pos = splitPos + SPLIT_HEAD_BYTES + PARCEL_RECORD_BYTES * static_cast<uint64_t>(row * pieces + column);
      ByteCursor record = RecordAt(table, pos, PARCEL_RECORD_BYTES);
      const uint32_t address = ReadU32(&record);
      const uint32_t size = ReadU16(&record);
      if (record.overrun) return Flow::GO_ON;
      if (address != NO_ADDRESS && size != 0) walk->pieces += 1;
      return Emit(parcel, div, static_cast<uint16_t>(column * 256 + row), address, size);
    });
  }

  // Passes on an entry that has data: a valid address and a non-zero size.
  Flow Emit(const Cell& parcel, uint8_t div, uint16_t piece, uint32_t address, uint32_t size) {
    if (address == NO_ADDRESS || size == 0) return Flow::GO_ON;
    ParcelEntry entry{};
    entry.x0 = parcel.x;
    entry.y0 = parcel.y;
    entry.xDiv = div;
    entry.yDiv = div;
    entry.piece = piece;
    entry.address = address;
    entry.size = size;
    entry.width = parcel.width;
    entry.height = parcel.height;
    return walk->visit(walk->context, entry) ? Flow::GO_ON : Flow::STOP;
  }

  const ParcelIndex& index;
  const LevelEntry& level;
  const InclusiveRect query;
  ParcelWalk* walk;
  BlockCache* blocks;
  const ByteCursor area;
  const char* path;
  const uint32_t recordBudget;
};

// Makes room for one more entry: the list doubles its room, up to
// PARCEL_LIST_MAX_ENTRIES. False when it is at its maximum or memory runs
// out.
bool GrowList(ParcelList* list) {
  if (list->capacity >= PARCEL_LIST_MAX_ENTRIES) return false;
  const uint16_t capacity = static_cast<uint16_t>(std::min<uint32_t>(
      list->capacity == 0 ? PARCEL_LIST_FIRST_CAPACITY : uint32_t{list->capacity} * 2, PARCEL_LIST_MAX_ENTRIES));
  auto* entries = static_cast<ParcelEntry*>(std::realloc(list->entries, capacity * sizeof(ParcelEntry)));
  if (entries == nullptr) return false;
  list->entries = entries;
  list->capacity = capacity;
  return true;
}

// The list being filled by a query, and whether memory ran out on the way.
struct ListFill {
  ParcelList* list;
  bool outOfMemory;
};

// Adds every entry the walk finds. An entry beyond the list's maximum ends
// the walk and marks the list incomplete.
bool AppendToList(void* context, const ParcelEntry& entry) {
  auto* fill = static_cast<ListFill*>(context);
  ParcelList* list = fill->list;
  if (list->count == list->capacity && !GrowList(list)) {
    if (list->capacity >= PARCEL_LIST_MAX_ENTRIES) {
      list->incomplete = true;
    } else {
      fill->outOfMemory = true;
    }
    return false;
  }
  list->entries[list->count++] = entry;
  return true;
}

}  // namespace

int LoadMapDatabase(MapDatabase* database, BlockCache* blocks, const char* path) {
  if (database == nullptr || blocks == nullptr) return -1;
  // What is loaded belongs to one file: headers of one file never meet the
  // tables of another.
  const bool loaded = database->GetManagementHeader() != nullptr || database->GetSectionDirectory() != nullptr ||
                      database->GetParcelIndex() != nullptr;
  const char* loadedPath = database->MapPath() == nullptr ? "" : database->MapPath();
  if (loaded && std::strcmp(loadedPath, path == nullptr ? "" : path) != 0) return -1;
  if (database->SetMapPath(path) != 0) return -1;
  path = database->MapPath();
  MapBlock* first = OpenBlock(blocks, path, BYTE_ORDER_BIG, 0, MANAGEMENT_BLOCK_BYTES);
  if (first == nullptr) return -1;
  const ByteCursor management = BlockCursor(first);
  if (database->GetManagementHeader() == nullptr) database->SetManagementHeader(DecodeManagementHeader(management));
  if (database->GetSectionDirectory() == nullptr) database->SetSectionDirectory(DecodeSectionDirectory(management));
  ReleaseBlock(blocks, first);
  const ManagementHeader* header = database->GetManagementHeader();
  const SectionDirectory* directory = database->GetSectionDirectory();
  if (database->GetParcelIndex() == nullptr && header != nullptr && directory != nullptr) {
    database->SetParcelIndex(DecodeParcelIndex(*header, *directory, blocks, path));
  }
  return 0;
}

int FindLevel(const ParcelIndex& index, uint16_t levelCode) {
  for (int i = 0; i < index.levelCount; ++i) {
    if (index.levels[i].levelCode == levelCode) return i;
  }
  return -1;
}

const ParcelIndex* LoadedParcelIndex(const MapDataOwner* map) {
  return map == nullptr ? nullptr : map->Database()->GetParcelIndex();
}

int WalkParcels(const MapDataOwner* map, int levelIndex, const InclusiveRect& query, ParcelWalk* walk) {
  const ParcelIndex* index = LoadedParcelIndex(map);
  if (index == nullptr || levelIndex < 0 || levelIndex >= index->levelCount) return -1;
  BlockCache* blocks = map->Blocks();
  const char* path = map->Database()->MapPath();
  MapBlock* area = OpenBlock(blocks, path, BYTE_ORDER_BIG, index->areaOffset, index->areaSize);
  if (area == nullptr) return -1;
  Walker walker(*index, index->levels[levelIndex], query, walk, blocks, area, path);
  const Flow flow = walker.Run();
  ReleaseBlock(blocks, area);
  return flow == Flow::FAIL ? -1 : 0;
}

ParcelList* FindParcels(const MapDataOwner* map, const MapCoord* center, int32_t halfWidth, int32_t halfHeight,
                        uint16_t levelCode) {
  const ParcelIndex* index = LoadedParcelIndex(map);
  if (center == nullptr || index == nullptr) return nullptr;
  const int levelIndex = FindLevel(*index, levelCode);
  if (levelIndex < 0) return nullptr;
  auto* list = static_cast<ParcelList*>(std::calloc(1, sizeof(ParcelList)));
  if (list == nullptr) return nullptr;
  list->levelCode = levelCode;
  list->levelIndex = static_cast<uint16_t>(levelIndex);
  const InclusiveRect query{Difference(center->x, halfWidth), Difference(center->y, halfHeight),
                      Sum(center->x, halfWidth), Sum(center->y, halfHeight)};
  ListFill fill{list, false};
  ParcelWalk walk{AppendToList, &fill, 0, 0, 0, 0, false};
  if (!GrowList(list) || WalkParcels(map, levelIndex, query, &walk) != 0 || fill.outOfMemory || list->count == 0) {
    FreeParcelList(list);
    return nullptr;
  }
  // A walk that ran out of its record budget (a damaged index) has not
  // listed everything either.
  if (walk.truncated) list->incomplete = true;
  return list;
}

int FreeParcelList(ParcelList* list) {
  if (list != nullptr) std::free(list->entries);
  std::free(list);
  return 0;
}

int IsInsideMap(const MapDataOwner* map, const MapCoord* point) {
  const ParcelIndex* index = LoadedParcelIndex(map);
  if (point == nullptr || index == nullptr) return 0;
  return index->west <= point->x && point->x <= index->east && index->south <= point->y &&
                 point->y <= index->north
             ? 1
             : 0;
}

int GetMapFlags(const MapDataOwner* map, int* bit15, int* bit14) {
  const ManagementHeader* header = map == nullptr ? nullptr : map->Database()->GetManagementHeader();
  if (header == nullptr) return -1;
  *bit15 = (header->flags >> 15) & 1;
  *bit14 = (header->flags >> 14) & 1;
  return 0;
}
