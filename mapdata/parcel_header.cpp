#include "mapdata/parcel_header.h"

#include "mapdata/map_database.h"

int ReadParcelHeader(ByteCursor* cursor, uint32_t blockSize, ParcelHeader* header) {
  *header = ParcelHeader{};
  header->headerBytes = static_cast<uint16_t>(ReadU16(cursor) * WORD_BYTES);
  Skip(cursor, static_cast<int32_t>(PARCEL_HEADER_KEPT_OFFSET - WORD_BYTES));
  header->word14 = ReadU32(cursor);
  header->word18 = static_cast<uint16_t>(ReadU16(cursor));
  header->valueA = static_cast<uint16_t>(ReadU16(cursor) & PARCEL_HEADER_VALUE_MASK);
  header->valueB = static_cast<uint16_t>(ReadU16(cursor) & PARCEL_HEADER_VALUE_MASK);
  header->word24 = static_cast<uint16_t>(ReadU16(cursor));
  header->word26 = static_cast<uint16_t>(ReadU16(cursor));
  header->word28 = ReadU32(cursor);
  header->blockBytes = static_cast<uint16_t>(ReadU16(cursor) * blockSize);
  header->entryCount = static_cast<uint16_t>(ReadU16(cursor));
  Skip(cursor, static_cast<int32_t>(header->entryCount * PARCEL_HEADER_ENTRY_BYTES));
  header->roadOffset = ReadU32(cursor);
  header->roadSize = static_cast<uint16_t>(ReadU16(cursor));
  header->backgroundOffset = ReadU32(cursor);
  header->backgroundSize = static_cast<uint16_t>(ReadU16(cursor));
  header->nameOffset = ReadU32(cursor);
  header->nameSize = static_cast<uint16_t>(ReadU16(cursor));
  if (cursor->overrun) {
    *header = ParcelHeader{};
    return -1;
  }
  return 0;
}

MapBlock* ReadParcelHeader(const ParcelEntry& entry, ParcelHeader* header) {
  *header = ParcelHeader{};
  const MapDatabase* database = MapDatabase::Instance();
  const ManagementHeader* management = database == nullptr ? nullptr : database->GetManagementHeader();
  if (management == nullptr) return nullptr;
  const uint32_t blockSize = management->blockSize;
  MapBlock* block = OpenBlock(database->MapPath(), BYTE_ORDER_BIG, SectorAddressToOffset(entry.address, blockSize),
                              entry.size * blockSize);
  if (block == nullptr) return nullptr;
  ByteCursor cursor = BlockCursor(block);
  if (ReadParcelHeader(&cursor, blockSize, header) != 0) {
    ReleaseBlock(block);
    return nullptr;
  }
  header->key = KeyOf(entry);
  return block;
}

ByteCursor SectionCursor(const ByteCursor* data, uint32_t offset, uint16_t size) {
  const uint64_t start = uint64_t{offset} * WORD_BYTES;
  if (offset == NO_SECTION || size == 0 || start > UINT32_MAX) return OverrunCursor(data->byteOrder);
  return SubCursor(data, static_cast<uint32_t>(start), uint32_t{size} * WORD_BYTES);
}
