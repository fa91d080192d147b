#include "tools/mapwriter/map_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numeric>
#include <set>
#include <tuple>

#include "platform/unicode.h"

namespace {

// The parcel index area starts on the file's third sector.
constexpr uint32_t INDEX_AREA_AT = 2 * SECTOR_BYTES;

// A grid word of rows × columns cells.
uint32_t GridWord(uint32_t rows, uint32_t columns) { return ((rows - 1) << GRID_ROWS_SHIFT) | (columns - 1); }

uint32_t RoundUp(uint64_t value, uint32_t multiple) {
  return static_cast<uint32_t>((value + multiple - 1) / multiple * multiple);
}

// Big-endian writes into a growing image.
class Image {
 public:
  explicit Image(std::vector<uint8_t>* bytes) : bytes(bytes) {}
  void Put(uint32_t pos, uint32_t value, int width) {
    if (bytes->size() < pos + width) bytes->resize(pos + width, 0);
    for (int i = 0; i < width; ++i) (*bytes)[pos + i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
  }
  void Put16(uint32_t pos, uint32_t value) { Put(pos, value, 2); }
  void Put24(uint32_t pos, uint32_t value) { Put(pos, value, 3); }
  void Put32(uint32_t pos, uint32_t value) { Put(pos, value, 4); }
  void PutBytes(uint32_t pos, const uint8_t* data, size_t count) {
    if (bytes->size() < pos + count) bytes->resize(pos + count, 0);
    std::copy(data, data + count, bytes->begin() + pos);
  }
  void PadTo(uint32_t length) {
    if (bytes->size() < length) bytes->resize(length, 0);
  }

 private:
  std::vector<uint8_t>* bytes;
};

uint32_t DataAreaBytes(const ParcelData& data) {
  return PARCEL_HEADER_BYTES + RoundUp(data.road.size(), 2) + RoundUp(data.background.size(), 2) +
         RoundUp(data.names.size(), 2);
}

// One parcel's data area at `offset`: the parcel data header, then its
// sections, each padded to whole 16-bit words. Nothing in it depends on
// where it lies in the file.
void WriteDataArea(const ParcelData& data, uint32_t blocks, uint32_t offset, Image* image) {
  image->Put16(offset, PARCEL_HEADER_BYTES / 2);
  image->Put16(offset + PARCEL_HEADER_VALUE_A_OFFSET, data.valueA & PARCEL_HEADER_VALUE_MASK);
  image->Put16(offset + PARCEL_HEADER_VALUE_B_OFFSET, data.valueB & PARCEL_HEADER_VALUE_MASK);
  image->Put16(offset + PARCEL_HEADER_BLOCKS_OFFSET, blocks);
  image->Put16(offset + PARCEL_HEADER_ENTRY_COUNT_OFFSET, 0);  // no optional entries
  uint32_t pos = PARCEL_HEADER_BYTES;
  const std::vector<uint8_t>* sections[PARCEL_SECTIONS] = {&data.road, &data.background, &data.names};
  for (int s = 0; s < PARCEL_SECTIONS; ++s) {
    const std::vector<uint8_t>& section = *sections[s];
    const uint32_t entry = offset + PARCEL_HEADER_FIXED_BYTES + PARCEL_HEADER_SECTION_BYTES * s;
    image->Put32(entry, section.empty() ? NO_SECTION : pos / 2);
    image->Put16(entry + 4, RoundUp(section.size(), 2) / 2);
    image->PutBytes(offset + pos, section.data(), section.size());
    pos += RoundUp(section.size(), 2);
  }
}

// A parcel's position split into its block, sub-block and parcel cells.
struct GridPosition {
  uint32_t blockRow, blockColumn, subRow, subColumn, parcelRow, parcelColumn;
};

GridPosition Locate(const MapLevelDescription& level, uint32_t row, uint32_t column) {
  const uint32_t rowsPerBlock = uint32_t{level.subBlockRows} * level.parcelRows;
  const uint32_t columnsPerBlock = uint32_t{level.subBlockColumns} * level.parcelColumns;
  return {row / rowsPerBlock,
          column / columnsPerBlock,
          row / level.parcelRows % level.subBlockRows,
          column / level.parcelColumns % level.subBlockColumns,
          row % level.parcelRows,
          column % level.parcelColumns};
}

using BlockKey = std::tuple<uint32_t, uint32_t, uint32_t>;                          // level, row, column
using SubBlockKey = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>;  // + sub row, column

class Writer {
 public:
  Writer(const MapDescription& map, std::string* error) : map(map), error(error) {}

  // Lays out a map whose data areas come later: `areaBytes` gives, per data
  // area in placement order, its size (0: a piece without data). Writes
  // everything before the first data area into *bytes.
  int BuildHead(const std::vector<uint32_t>& areaBytes, std::vector<uint8_t>* bytes, MapLayout* layout) {
    presetBytes = &areaBytes;
    if (Validate() != 0) return -1;
    align = DataAlignment();
    GroupParcels();
    if (PlaceIndexArea(layout) != 0 || PlaceTablesAndData(layout) != 0) return -1;
    if (nextPreset != areaBytes.size()) return Fail("data area sizes do not match the parcels");
    bytes->clear();
    Image image(bytes);
    WriteManagement(&image);
    WriteIndexArea(&image, *layout);
    WriteTables(&image, *layout);
    layout->fileBytes = RoundUp(std::max<uint64_t>(end, INDEX_AREA_AT + SECTOR_BYTES), SECTOR_BYTES);
    for (const DataArea& area : dataAreas) layout->dataOffsets.push_back(area.blocks == 0 ? 0 : area.offset);
    return 0;
  }

  int Build(std::vector<uint8_t>* bytes, MapLayout* layout) {
    if (Validate() != 0) return -1;
    align = DataAlignment();
    GroupParcels();
    if (PlaceIndexArea(layout) != 0 || PlaceTablesAndData(layout) != 0) return -1;
    bytes->clear();
    Image image(bytes);
    WriteManagement(&image);
    WriteIndexArea(&image, *layout);
    WriteTables(&image, *layout);
    WriteParcelData(&image);
    // Every block request ends inside the file, so each is smaller than it.
    layout->fileBytes = RoundUp(std::max<uint64_t>(end, INDEX_AREA_AT + SECTOR_BYTES), SECTOR_BYTES);
    image.PadTo(layout->fileBytes);
    return 0;
  }

 private:
  int Fail(const char* what) {
    if (error != nullptr) *error = what;
    return -1;
  }

  static bool GridOk(uint32_t count) { return count >= 1 && count <= GRID_MAX_CELLS; }

  static bool ExtentOk(int32_t value) {
    return value >= 0 && value % EXTENT_SCALE == 0 && static_cast<uint32_t>(value / EXTENT_SCALE) <= EXTENT_MASK;
  }

  uint32_t PiecesPerSide(const MapLevelDescription& level, uint8_t kind) const {
    return kind == 0 ? level.parcelColumns : level.pieceGrid[kind - 1];
  }

  // Section sizes are 16-bit word counts.
  // Data starts on multiples of the block size when every such position
  // inside a sector fits the address word's 6 unit bits, else on sectors.
  uint32_t DataAlignment() const {
    return map.blockSize >= SECTOR_BYTES / (ADDRESS_UNIT_MASK + 1) && SECTOR_BYTES % map.blockSize == 0
               ? map.blockSize
               : SECTOR_BYTES;
  }

  static bool SectionsFit(const ParcelData& data) {
    constexpr size_t MAX_SECTION_BYTES = SECTION_MAX_WORDS * 2;
    return data.road.size() <= MAX_SECTION_BYTES && data.background.size() <= MAX_SECTION_BYTES &&
           data.names.size() <= MAX_SECTION_BYTES;
  }

  int Validate() {
    if (map.blockSize == 0) return Fail("block size 0");
    const InclusiveRect& e = map.extent;
    if (!ExtentOk(e.x0) || !ExtentOk(e.y0) || !ExtentOk(e.x1) || !ExtentOk(e.y1)) {
      return Fail("extent must be non-negative multiples of 16 units below 2^27");
    }
    for (const MapLevelDescription& level : map.levels) {
      if (level.levelCode > LEVEL_CODE_MAX) return Fail("level code above 63");
      if (!GridOk(level.blockRows) || !GridOk(level.blockColumns) || !GridOk(level.subBlockRows) ||
          !GridOk(level.subBlockColumns) || !GridOk(level.parcelRows) || !GridOk(level.parcelColumns)) {
        return Fail("grid sizes must be 1..256");
      }
      for (uint16_t pieces : level.pieceGrid) {
        if (!GridOk(pieces)) return Fail("piece grids must be 1..256");
      }
    }
    // A list sorted once rather than a tree: a map may have millions of parcels.
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> places;
    places.reserve(map.parcels.size());
    for (const MapParcelDescription& parcel : map.parcels) {
      if (parcel.level >= map.levels.size()) return Fail("parcel of an undefined level");
      const MapLevelDescription& level = map.levels[parcel.level];
      if (parcel.row >= level.ParcelGridRows() || parcel.column >= level.ParcelGridColumns()) {
        return Fail("parcel outside its level's grid");
      }
      places.emplace_back(parcel.level, parcel.row, parcel.column);
      if (parcel.split) {
        if (parcel.splitKind > SPLIT_KINDS) return Fail("split kind above 3");
        const uint32_t side = PiecesPerSide(level, parcel.splitKind);
        if (parcel.pieces.size() != side * side) return Fail("a split parcel needs S x S pieces");
        for (const std::optional<ParcelData>& piece : parcel.pieces) {
          if (piece && !SectionsFit(*piece)) return Fail("a section larger than 65535 words");
        }
      } else if (presetBytes == nullptr && !SectionsFit(parcel.data)) {
        return Fail("a section larger than 65535 words");
      }
    }
    std::sort(places.begin(), places.end());
    if (std::adjacent_find(places.begin(), places.end()) != places.end()) return Fail("parcel described twice");
    return 0;
  }

  void GroupParcels() {
    for (size_t i = 0; i < map.parcels.size(); ++i) {
      const MapParcelDescription& parcel = map.parcels[i];
      const GridPosition at = Locate(map.levels[parcel.level], parcel.row, parcel.column);
      blocks[{parcel.level, at.blockRow, at.blockColumn}];
      subBlocks[{parcel.level, at.blockRow, at.blockColumn, at.subRow, at.subColumn}].push_back(i);
    }
  }

  // The parcel index area: header, levels, block tables, then one sub-block
  // table per block that has parcels.
  int PlaceIndexArea(MapLayout* layout) {
    uint32_t pos = PARCEL_INDEX_HEADER_BYTES + LEVEL_ENTRY_BYTES * static_cast<uint32_t>(map.levels.size());
    for (const MapLevelDescription& level : map.levels) {
      // Block table offsets are 16-bit word counts.
      if (pos / 2 > 0xFFFF) return Fail("block tables lie beyond 128 KiB of the index area");
      layout->blockTableOffsets.push_back(INDEX_AREA_AT + pos);
      blockTables.push_back(pos);
      pos += BLOCK_RECORD_BYTES * level.blockRows * level.blockColumns;
    }
    for (auto& [key, tablePos] : blocks) {
      const MapLevelDescription& level = map.levels[std::get<0>(key)];
      tablePos = pos;
      pos += SUB_BLOCK_RECORD_BYTES * level.subBlockRows * level.subBlockColumns;
    }
    areaBlocks = (pos + map.blockSize - 1) / map.blockSize;
    if (areaBlocks > 0xFFFF) return Fail("parcel index area larger than 65535 blocks");
    layout->areaOffset = INDEX_AREA_AT;
    layout->areaBytes = pos;
    end = RoundUp(INDEX_AREA_AT + uint64_t{areaBlocks} * map.blockSize, align);
    return 0;
  }

  // Reserves `bytes` at the end of the file: its address word and size in
  // blocks. Fails when the file outgrows 32-bit offsets or the size field.
  int Reserve(uint64_t bytes, uint32_t* offset, uint32_t* address, uint32_t* blocksOut) {
    const uint64_t blockCount = std::max<uint64_t>(1, (bytes + map.blockSize - 1) / map.blockSize);
    if (blockCount > 0xFFFF) return Fail("a table or parcel larger than 65535 blocks");
    const uint64_t next = uint64_t{end} + blockCount * map.blockSize;
    if (next + align > 0xFFFFFFFFull) return Fail("map file larger than 4 GiB");
    *offset = end;
    *address = ((end / SECTOR_BYTES) << ADDRESS_SECTOR_SHIFT) | ((end % SECTOR_BYTES) / map.blockSize);
    *blocksOut = static_cast<uint32_t>(blockCount);
    end = RoundUp(next, align);
    return 0;
  }

  static uint32_t DataBytes(const ParcelData& data) { return DataAreaBytes(data); }

  int PlaceTablesAndData(MapLayout* layout) {
    layout->parcels.assign(map.parcels.size(), ParcelPlacement{});
    for (auto& [key, members] : subBlocks) {
      const MapLevelDescription& level = map.levels[std::get<0>(key)];
      uint64_t bytes = PARCEL_TABLE_HEAD_BYTES + uint64_t{PARCEL_RECORD_BYTES} * level.parcelRows * level.parcelColumns;
      std::vector<uint32_t> splitAt(members.size(), 0);
      for (size_t m = 0; m < members.size(); ++m) {
        const MapParcelDescription& parcel = map.parcels[members[m]];
        if (!parcel.split) continue;
        splitAt[m] = static_cast<uint32_t>(bytes);
        bytes += SPLIT_HEAD_BYTES + PARCEL_RECORD_BYTES * parcel.pieces.size();
      }
      Table table;
      if (Reserve(bytes, &table.offset, &table.address, &table.blocks) != 0) return -1;
      for (size_t m = 0; m < members.size(); ++m) {
        const MapParcelDescription& parcel = map.parcels[members[m]];
        const GridPosition at = Locate(level, parcel.row, parcel.column);
        ParcelPlacement& placement = layout->parcels[members[m]];
        placement.tableOffset = table.offset;
        placement.recordOffset =
            table.offset + PARCEL_TABLE_HEAD_BYTES + PARCEL_RECORD_BYTES * (at.parcelRow * level.parcelColumns + at.parcelColumn);
        placement.splitOffset = parcel.split ? table.offset + splitAt[m] : 0;
      }
      tables[key] = table;
    }
    for (size_t i = 0; i < map.parcels.size(); ++i) {
      const MapParcelDescription& parcel = map.parcels[i];
      ParcelPlacement& placement = layout->parcels[i];
      if (!parcel.split) {
        if (PlaceData(&parcel.data, &placement) != 0) return -1;
        continue;
      }
      for (const std::optional<ParcelData>& piece : parcel.pieces) {
        if (PlaceData(piece ? &*piece : nullptr, &placement) != 0) return -1;
      }
    }
    return 0;
  }

  int PlaceData(const ParcelData* data, ParcelPlacement* placement) {
    uint32_t offset = 0, address = NO_ADDRESS, blockCount = 0;
    if (presetBytes != nullptr) {
      if (nextPreset >= presetBytes->size()) return Fail("data area sizes do not match the parcels");
      const uint32_t bytes = (*presetBytes)[nextPreset++];
      data = bytes == 0 ? nullptr : data;
      if (bytes != 0 && Reserve(bytes, &offset, &address, &blockCount) != 0) return -1;
      placement->addresses.push_back(address);
      placement->sizes.push_back(blockCount);
      dataAreas.push_back({data, offset, blockCount});
      return 0;
    }
    if (data != nullptr && Reserve(DataBytes(*data), &offset, &address, &blockCount) != 0) return -1;
    placement->addresses.push_back(address);
    placement->sizes.push_back(blockCount);
    dataAreas.push_back({data, offset, blockCount});
    return 0;
  }

  void WriteManagement(Image* image) const {
    uint32_t pos = 0;
    for (int i = 0; i < HEADER_TEXT_FIELDS; ++i) {
      const std::string& text = map.headerTexts[i];
      // A text longer than its field is cut before the character that
      // would not fit whole.
      const size_t count = Utf8CutLength(text, HEADER_TEXT_FIELD_BYTES[i]);
      image->PutBytes(pos, reinterpret_cast<const uint8_t*>(text.data()), count);
      pos += HEADER_TEXT_FIELD_BYTES[i];
    }
    // The four extent coordinates as (south, west, north, east); the reader
    // keeps them as (west, south, east, north).
    const int32_t corners[4] = {map.extent.y0, map.extent.x0, map.extent.y1, map.extent.x1};
    for (int i = 0; i < 4; ++i) {
      image->Put32(HEADER_EXTENT_OFFSET + 4 * i, static_cast<uint32_t>(corners[i] / EXTENT_SCALE) << EXTENT_HEADER_SHIFT);
    }
    image->Put16(HEADER_BLOCK_SIZE_OFFSET, map.blockSize);
    image->Put16(HEADER_FLAGS_OFFSET, map.flags);
    // Section directory: entry 0 locates the parcel index area (sector 2).
    image->Put32(SECTION_DIRECTORY_OFFSET, (INDEX_AREA_AT / SECTOR_BYTES) << ADDRESS_SECTOR_SHIFT);
    image->Put16(SECTION_DIRECTORY_OFFSET + SECTION_SIZE_OFFSET, areaBlocks);
  }

  void WriteIndexArea(Image* image, const MapLayout& layout) const {
    const uint32_t area = INDEX_AREA_AT;
    const InclusiveRect& e = map.extent;
    const int32_t extent[4] = {e.y1, e.y0, e.x0, e.x1};
    for (uint32_t i = 0; i < 4; ++i) {
      image->Put24(area + INDEX_EXTENT_OFFSET + INDEX_EXTENT_FIELD_BYTES * i,
                   static_cast<uint32_t>(extent[i] / EXTENT_SCALE));
    }
    image->Put16(area + INDEX_BLOCK_RECORD_SIZE_OFFSET, BLOCK_RECORD_BYTES / 2);
    image->Put16(area + INDEX_SUB_BLOCK_RECORD_SIZE_OFFSET, SUB_BLOCK_RECORD_BYTES / 2);
    image->Put16(area + INDEX_LEVEL_COUNT_OFFSET, static_cast<uint32_t>(map.levels.size()));
    image->Put16(area + INDEX_EXTRA_COUNT_OFFSET, 0);
    for (size_t i = 0; i < map.levels.size(); ++i) {
      const MapLevelDescription& level = map.levels[i];
      const uint32_t at = area + PARCEL_INDEX_HEADER_BYTES + LEVEL_ENTRY_BYTES * static_cast<uint32_t>(i);
      image->Put16(at, uint32_t{level.levelCode} << LEVEL_CODE_SHIFT);
      for (int t = 0; t < LEVEL_THRESHOLDS; ++t) image->Put32(at + LEVEL_THRESHOLDS_OFFSET + 4 * t, level.thresholds[t]);
      image->Put16(at + LEVEL_BLOCK_GRID_OFFSET, GridWord(level.blockRows, level.blockColumns));
      image->Put16(at + LEVEL_SUB_BLOCK_GRID_OFFSET, GridWord(level.subBlockRows, level.subBlockColumns));
      image->Put16(at + LEVEL_PARCEL_GRID_OFFSET, GridWord(level.parcelRows, level.parcelColumns));
      for (int k = 0; k < SPLIT_KINDS; ++k) image->Put16(at + LEVEL_PIECE_GRIDS_OFFSET + 2 * k, level.pieceGrid[k] - 1u);
      image->Put16(at + LEVEL_BLOCK_TABLE_OFFSET, blockTables[i] / 2);
      // Every block starts without data.
      for (uint32_t b = 0; b < uint32_t{level.blockRows} * level.blockColumns; ++b) {
        const uint32_t record = layout.blockTableOffsets[i] + BLOCK_RECORD_BYTES * b;
        image->Put32(record + BLOCK_RECORD_TABLE_OFFSET, NO_SUB_BLOCK_TABLE);
        image->Put32(record + BLOCK_RECORD_PRESENCE_OFFSET, 0);
      }
    }
    for (const auto& [key, tablePos] : blocks) {
      const auto [levelIndex, row, column] = key;
      const MapLevelDescription& level = map.levels[levelIndex];
      const uint32_t record = layout.blockTableOffsets[levelIndex] + BLOCK_RECORD_BYTES * (row * level.blockColumns + column);
      image->Put32(record + BLOCK_RECORD_TABLE_OFFSET, tablePos / 2);
      image->Put32(record + BLOCK_RECORD_PRESENCE_OFFSET, 1);
      for (uint32_t s = 0; s < uint32_t{level.subBlockRows} * level.subBlockColumns; ++s) {
        image->Put32(area + tablePos + SUB_BLOCK_RECORD_BYTES * s, NO_ADDRESS);
        image->Put16(area + tablePos + SUB_BLOCK_RECORD_BYTES * s + RECORD_SIZE_OFFSET, 0);
      }
    }
  }

  void WriteTables(Image* image, const MapLayout& layout) const {
    for (const auto& [key, table] : tables) {
      const auto [levelIndex, blockRow, blockColumn, subRow, subColumn] = key;
      const MapLevelDescription& level = map.levels[levelIndex];
      const uint32_t subRecord = INDEX_AREA_AT + blocks.at({levelIndex, blockRow, blockColumn}) +
                                 SUB_BLOCK_RECORD_BYTES * (subRow * level.subBlockColumns + subColumn);
      image->Put32(subRecord, table.address);
      image->Put16(subRecord + RECORD_SIZE_OFFSET, table.blocks);
      image->Put32(table.offset, 0);  // the two head words
      for (uint32_t p = 0; p < uint32_t{level.parcelRows} * level.parcelColumns; ++p) {
        image->Put32(table.offset + PARCEL_TABLE_HEAD_BYTES + PARCEL_RECORD_BYTES * p, NO_ADDRESS);
        image->Put16(table.offset + PARCEL_TABLE_HEAD_BYTES + PARCEL_RECORD_BYTES * p + RECORD_SIZE_OFFSET, 0);
      }
    }
    for (size_t i = 0; i < map.parcels.size(); ++i) {
      const MapParcelDescription& parcel = map.parcels[i];
      const ParcelPlacement& placement = layout.parcels[i];
      if (!parcel.split) {
        image->Put32(placement.recordOffset, placement.addresses[0]);
        image->Put16(placement.recordOffset + RECORD_SIZE_OFFSET, placement.sizes[0]);
        continue;
      }
      // A split parcel's record holds the split record's offset in words
      // from the table's start, and size 0.
      image->Put32(placement.recordOffset, (placement.splitOffset - placement.tableOffset) / 2);
      image->Put16(placement.recordOffset + RECORD_SIZE_OFFSET, 0);
      image->Put16(placement.splitOffset, uint32_t{parcel.splitKind} << SPLIT_KIND_SHIFT);
      image->Put16(placement.splitOffset + 2, 0);
      for (size_t p = 0; p < parcel.pieces.size(); ++p) {
        const uint32_t record = placement.splitOffset + SPLIT_HEAD_BYTES + PARCEL_RECORD_BYTES * static_cast<uint32_t>(p);
        image->Put32(record, placement.addresses[p]);
        image->Put16(record + RECORD_SIZE_OFFSET, placement.sizes[p]);
      }
    }
  }

  void WriteParcelData(Image* image) const {
    for (const DataArea& area : dataAreas) {
      if (area.data != nullptr) WriteDataArea(*area.data, area.blocks, area.offset, image);
    }
  }

  struct Table {
    uint32_t offset = 0, address = 0, blocks = 0;
  };
  struct DataArea {
    const ParcelData* data;
    uint32_t offset;
    uint32_t blocks;
  };

  const MapDescription& map;
  std::string* error;
  const std::vector<uint32_t>* presetBytes = nullptr;  // BuildHead: the data areas' sizes
  size_t nextPreset = 0;
  uint32_t align = SECTOR_BYTES;
  uint32_t areaBlocks = 0;
  uint32_t end = 0;                           // the first free byte of the file
  std::vector<uint32_t> blockTables;          // per level, offset in the area
  std::map<BlockKey, uint32_t> blocks;        // present blocks → sub-block table offset in the area
  std::map<SubBlockKey, std::vector<size_t>> subBlocks;  // present sub-blocks → their parcels
  std::map<SubBlockKey, Table> tables;
  std::vector<DataArea> dataAreas;
};

// Splits n into three factors of at most 256 as evenly as possible, the
// largest first; false when there is none.
bool SplitGrid(uint32_t n, uint16_t factors[3]) {
  uint32_t best = 0;
  for (uint32_t a = 1; a <= GRID_MAX_CELLS; ++a) {
    if (n % a != 0) continue;
    for (uint32_t b = 1; b <= GRID_MAX_CELLS; ++b) {
      if ((n / a) % b != 0) continue;
      const uint32_t c = n / a / b;
      if (c > GRID_MAX_CELLS) continue;
      const uint32_t widest = std::max({a, b, c});
      if (best != 0 && widest >= best) continue;
      best = widest;
      uint32_t sorted[3] = {a, b, c};
      std::sort(sorted, sorted + 3, [](uint32_t x, uint32_t y) { return x > y; });
      for (int i = 0; i < 3; ++i) factors[i] = static_cast<uint16_t>(sorted[i]);
    }
  }
  return best != 0;
}

}  // namespace

int BuildMapImage(const MapDescription& map, std::vector<uint8_t>* image, MapLayout* layout, std::string* error) {
  MapLayout scratch;
  Writer writer(map, error);
  return writer.Build(image, layout != nullptr ? layout : &scratch);
}

int EncodeDataArea(const ParcelData& data, uint16_t blockSize, std::vector<uint8_t>* bytes, std::string* error) {
  constexpr size_t MAX_SECTION_BYTES = SECTION_MAX_WORDS * 2;
  if (data.road.size() > MAX_SECTION_BYTES || data.background.size() > MAX_SECTION_BYTES ||
      data.names.size() > MAX_SECTION_BYTES) {
    if (error != nullptr) *error = "a section larger than 65535 words";
    return -1;
  }
  const uint32_t size = DataAreaBytes(data);
  const uint64_t blocks = std::max<uint64_t>(1, (uint64_t{size} + blockSize - 1) / blockSize);
  if (blockSize == 0 || blocks > 0xFFFF) {
    if (error != nullptr) *error = "a parcel larger than 65535 blocks";
    return -1;
  }
  bytes->clear();
  Image image(bytes);
  WriteDataArea(data, static_cast<uint32_t>(blocks), 0, &image);
  image.PadTo(size);
  return 0;
}

int BuildMapHead(const MapDescription& map, const std::vector<uint32_t>& dataAreaBytes, std::vector<uint8_t>* head,
                 MapLayout* layout, std::string* error) {
  Writer writer(map, error);
  return writer.BuildHead(dataAreaBytes, head, layout);
}

namespace {

// The file being streamed, with the number of bytes written to it.
class StreamedFile {
 public:
  StreamedFile(FILE* file, const std::string& name) : file(file), name(name) {}

  int Write(const void* bytes, size_t size, std::string* error) {
    position += size;
    if (std::fwrite(bytes, 1, size, file) == size) return 0;
    *error = "cannot write " + name + ": " + std::strerror(errno);
    return -1;
  }
  // Zeros up to offset `to` (data areas start on block or sector bounds).
  int PadTo(uint64_t to, std::string* error) {
    static const std::vector<uint8_t> zeros(SECTOR_BYTES, 0);
    while (position < to) {
      const size_t size = static_cast<size_t>(std::min<uint64_t>(to - position, zeros.size()));
      if (Write(zeros.data(), size, error) != 0) return -1;
    }
    if (position == to) return 0;
    *error = "cannot write " + name + ": its parts overlap";
    return -1;
  }
  // `bytes` bytes read through `read`, in pieces of the buffer's size.
  int Copy(const DataAreaReader& read, uint32_t bytes, std::vector<uint8_t>* buffer, std::string* error) {
    while (bytes > 0) {
      const size_t size = std::min<size_t>(bytes, buffer->size());
      if (read(buffer->data(), size, error) != 0 || Write(buffer->data(), size, error) != 0) return -1;
      bytes -= static_cast<uint32_t>(size);
    }
    return 0;
  }
  uint64_t Position() const { return position; }

 private:
  FILE* file;
  const std::string& name;
  uint64_t position = 0;
};

constexpr size_t COPY_BUFFER_BYTES = 1 << 20;

}  // namespace

int StreamMapFile(const MapDescription& map, const std::vector<uint32_t>& dataAreaBytes, const DataAreaReader& read,
                  const MapWriteProgress& progress, FILE* file, const std::string& name, uint64_t* fileBytes,
                  std::string* error) {
  std::vector<uint8_t> head;
  MapLayout layout;
  if (BuildMapHead(map, dataAreaBytes, &head, &layout, error) != 0) return -1;
  StreamedFile out(file, name);
  if (progress(0, layout.fileBytes, error) != 0 || out.Write(head.data(), head.size(), error) != 0) return -1;
  std::vector<uint8_t> buffer(COPY_BUFFER_BYTES);
  for (size_t area = 0; area < dataAreaBytes.size(); ++area) {
    if (dataAreaBytes[area] == 0) continue;
    if (out.PadTo(layout.dataOffsets[area], error) != 0 || out.Copy(read, dataAreaBytes[area], &buffer, error) != 0 ||
        progress(out.Position(), layout.fileBytes, error) != 0) {
      return -1;
    }
  }
  if (out.PadTo(layout.fileBytes, error) != 0) return -1;
  *fileBytes = layout.fileBytes;
  return 0;
}

int WriteMapFile(const MapDescription& map, const char* path, MapLayout* layout, std::string* error) {
  std::vector<uint8_t> image;
  if (BuildMapImage(map, &image, layout, error) != 0) return -1;
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    if (error != nullptr) *error = std::string("cannot create ") + path;
    return -1;
  }
  const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
  const int why = errno;
  if (std::fclose(file) != 0 || !written) {
    if (error != nullptr) *error = std::string("cannot write ") + path + ": " + std::strerror(written ? errno : why);
    return -1;
  }
  return 0;
}

int AddRegularLevel(MapDescription* map, uint16_t levelCode, int32_t parcelWidth, int32_t parcelHeight,
                    const uint32_t thresholds[LEVEL_THRESHOLDS]) {
  const int64_t width = int64_t{map->extent.x1} - map->extent.x0;
  const int64_t height = int64_t{map->extent.y1} - map->extent.y0;
  if (parcelWidth <= 0 || parcelHeight <= 0 || width <= 0 || height <= 0 || width % parcelWidth != 0 ||
      height % parcelHeight != 0) {
    return -1;
  }
  uint16_t columns[3], rows[3];
  if (!SplitGrid(static_cast<uint32_t>(width / parcelWidth), columns) ||
      !SplitGrid(static_cast<uint32_t>(height / parcelHeight), rows)) {
    return -1;
  }
  MapLevelDescription level;
  level.levelCode = levelCode;
  std::copy(thresholds, thresholds + LEVEL_THRESHOLDS, level.thresholds);
  level.blockColumns = columns[0];
  level.subBlockColumns = columns[1];
  level.parcelColumns = columns[2];
  level.blockRows = rows[0];
  level.subBlockRows = rows[1];
  level.parcelRows = rows[2];
  map->levels.push_back(level);
  return static_cast<int>(map->levels.size() - 1);
}

InclusiveRect ParcelBox(const MapDescription& map, int levelIndex, uint32_t row, uint32_t column) {
  const MapLevelDescription& level = map.levels[levelIndex];
  const int32_t width = (map.extent.x1 - map.extent.x0) / static_cast<int32_t>(level.ParcelGridColumns());
  const int32_t height = (map.extent.y1 - map.extent.y0) / static_cast<int32_t>(level.ParcelGridRows());
  const int32_t west = map.extent.x0 + static_cast<int32_t>(column) * width;
  const int32_t south = map.extent.y0 + static_cast<int32_t>(row) * height;
  return {west, south, west + width, south + height};
}

int CoverBox(MapDescription* map, int levelIndex, const InclusiveRect& box, const ParcelFiller& fill) {
  if (levelIndex < 0 || static_cast<size_t>(levelIndex) >= map->levels.size()) return -1;
  const MapLevelDescription& level = map->levels[levelIndex];
  const int64_t width = (int64_t{map->extent.x1} - map->extent.x0) / level.ParcelGridColumns();
  const int64_t height = (int64_t{map->extent.y1} - map->extent.y0) / level.ParcelGridRows();
  if (width <= 0 || height <= 0) return -1;
  // Cells touched by the box, bounds included, within the grid.
  auto span = [](int64_t low, int64_t high, int64_t origin, int64_t cell, int64_t count, int64_t* first,
                 int64_t* last) {
    *first = std::max<int64_t>(0, (low - origin) / cell);
    *last = std::min<int64_t>(count - 1, (high - origin) / cell);
  };
  int64_t firstRow, lastRow, firstColumn, lastColumn;
  span(box.y0, box.y1, map->extent.y0, height, level.ParcelGridRows(), &firstRow, &lastRow);
  span(box.x0, box.x1, map->extent.x0, width, level.ParcelGridColumns(), &firstColumn, &lastColumn);
  if (box.x1 < map->extent.x0 || box.y1 < map->extent.y0) return 0;
  std::set<std::pair<uint32_t, uint32_t>> present;
  for (const MapParcelDescription& parcel : map->parcels) {
    if (parcel.level == levelIndex) present.insert({parcel.row, parcel.column});
  }
  int added = 0;
  for (int64_t row = firstRow; row <= lastRow; ++row) {
    for (int64_t column = firstColumn; column <= lastColumn; ++column) {
      if (!present.insert({static_cast<uint32_t>(row), static_cast<uint32_t>(column)}).second) continue;
      MapParcelDescription parcel;
      parcel.level = static_cast<uint16_t>(levelIndex);
      parcel.row = static_cast<uint32_t>(row);
      parcel.column = static_cast<uint32_t>(column);
      if (fill) parcel.data = fill(levelIndex, parcel.row, parcel.column);
      map->parcels.push_back(std::move(parcel));
      ++added;
    }
  }
  return added;
}

const InclusiveRect DEMO_AREAS[DEMO_AREA_COUNT] = {
    {DegreesToUnits(139.50), DegreesToUnits(35.50), DegreesToUnits(140.00), DegreesToUnits(35.85)},  // Tokyo
    {DegreesToUnits(136.60), DegreesToUnits(35.00), DegreesToUnits(137.05), DegreesToUnits(35.40)},  // Nagoya
    {DegreesToUnits(135.35), DegreesToUnits(34.55), DegreesToUnits(135.65), DegreesToUnits(34.80)},  // Osaka
};

namespace {

// Display thresholds of 100 × the scale value of each of the level's steps.
void StandardThresholds(const StandardLevel& standard, uint32_t thresholds[LEVEL_THRESHOLDS]) {
  for (int i = 0; i < LEVEL_THRESHOLDS; ++i) {
    thresholds[i] = static_cast<uint32_t>(SCALE_STEPS[std::min(standard.firstStep + i, standard.lastStep)].metres) *
                    THRESHOLD_PER_METRE;
  }
}

// Parcel counts along one axis of `span` units, coarsest level first
// (index STANDARD_LEVEL_COUNT - 1 .. 0), each a multiple of the next
// coarser one and as close to the standard size as that allows.
void NestedCounts(int64_t span, int32_t StandardLevel::*size, uint32_t counts[STANDARD_LEVEL_COUNT]) {
  uint32_t coarser = 1;
  for (int level = STANDARD_LEVEL_COUNT - 1; level >= 0; --level) {
    const double perCoarser = static_cast<double>(span) / coarser / (STANDARD_LEVELS[level].*size);
    const uint32_t split = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(perCoarser)));
    counts[level] = coarser * split;
    coarser = counts[level];
  }
}

// The extent on one axis from `low` to `high`: starts at `low` rounded down
// to the header's extent unit and spans a multiple of that unit and of the
// finest count.
void AxisExtent(int32_t low, int32_t high, uint32_t finest, int32_t* first, int32_t* last) {
  *first = low - low % EXTENT_SCALE;
  const int64_t unit = std::lcm<int64_t>(EXTENT_SCALE, finest);
  const int64_t span = (int64_t{high} - *first + unit - 1) / unit * unit;
  *last = static_cast<int32_t>(std::min<int64_t>(*first + span, INT32_MAX));
}

}  // namespace

int AddStandardLevels(MapDescription* map) {
  if (!map->levels.empty()) return -1;
  map->extent = STANDARD_EXTENT;
  for (const StandardLevel& standard : STANDARD_LEVELS) {
    uint32_t thresholds[LEVEL_THRESHOLDS];
    StandardThresholds(standard, thresholds);
    if (AddRegularLevel(map, standard.levelCode, standard.parcelWidth, standard.parcelHeight, thresholds) < 0) {
      return -1;
    }
  }
  return 0;
}

int AddStandardLevelsOver(MapDescription* map, const InclusiveRect& box) {
  if (!map->levels.empty() || box.x0 < 0 || box.y0 < 0 || box.x1 <= box.x0 || box.y1 <= box.y0) {
    return -1;
  }
  uint32_t columns[STANDARD_LEVEL_COUNT], rows[STANDARD_LEVEL_COUNT];
  NestedCounts(int64_t{box.x1} - box.x0, &StandardLevel::parcelWidth, columns);
  NestedCounts(int64_t{box.y1} - box.y0, &StandardLevel::parcelHeight, rows);
  AxisExtent(box.x0, box.x1, columns[0], &map->extent.x0, &map->extent.x1);
  AxisExtent(box.y0, box.y1, rows[0], &map->extent.y0, &map->extent.y1);
  const int64_t width = int64_t{map->extent.x1} - map->extent.x0;
  const int64_t height = int64_t{map->extent.y1} - map->extent.y0;
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    const StandardLevel& standard = STANDARD_LEVELS[level];
    uint32_t thresholds[LEVEL_THRESHOLDS];
    StandardThresholds(standard, thresholds);
    if (AddRegularLevel(map, standard.levelCode, static_cast<int32_t>(width / columns[level]),
                        static_cast<int32_t>(height / rows[level]), thresholds) < 0) {
      map->levels.clear();
      return -1;
    }
  }
  return 0;
}

int DescribeDemoMap(MapDescription* map, const ParcelFiller& fill) {
  if (AddStandardLevels(map) != 0) return -1;
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    for (const InclusiveRect& area : DEMO_AREAS) {
      if (CoverBox(map, level, area, fill) < 0) return -1;
    }
  }
  return 0;
}
