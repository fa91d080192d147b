#include "mapdata/name_records.h"

#include <algorithm>
#include <cstdlib>

#include "mapdata/decode_support.h"
#include "mapdata/map_database.h"

namespace {

// Frees what a record owns and leaves it with its first three words.
void ClearRecord(NameRecord* record) {
  std::free(record->text);
  std::free(record->placement);
  std::free(record->placementOffsets);
  NameRecord lead{};
  lead.recordHeader = record->recordHeader;
  lead.attributes = record->attributes;
  lead.classCode = record->classCode;
  *record = lead;
}

// The text: a character count, then that many 2-byte characters, of which
// the first 32 are kept (with two zero bytes after them). The cursor ends
// after the whole text, so what follows is read where the file has it.
// Returns the full count in the file.
uint32_t ReadText(ByteCursor* cursor, NameRecord* record, DecodeBudget* budget) {
  const uint32_t count = ReadU16(cursor);
  const uint32_t kept = std::min(count, NAME_TEXT_MAX_CHARS);
  if (kept > 0 && Remaining(cursor) >= kept * 2) {
    record->text = static_cast<uint8_t*>(budget->Allocate(kept * 2 + 2, 1));
    if (record->text != nullptr) {
      ReadBytes(cursor, record->text, kept * 2);
      record->charCount = kept;
    }
  }
  // Fails (and marks the cursor) when the text does not fit or was not kept.
  if (record->text == nullptr && kept > 0) cursor->overrun = 1;
  Skip(cursor, static_cast<int32_t>((count - record->charCount) * 2));
  return count;
}

// Placement data of a line-following name: a fill byte when the text's
// count is odd, one placement byte per character, then two offset bytes
// per placement byte below PLACEMENT_NO_OFFSET. The bytes of the kept
// characters are stored.
void ReadPlacement(ByteCursor* cursor, uint32_t count, NameRecord* record, DecodeBudget* budget) {
  if (count % 2 == 1) Skip(cursor, 1);
  if (Remaining(cursor) < count) {
    cursor->overrun = 1;
    return;
  }
  const uint8_t* bytes = CurrentPointer(cursor);
  uint32_t offsets = 0;
  uint32_t keptOffsets = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (bytes[i] >= PLACEMENT_NO_OFFSET) continue;
    offsets += 1;
    if (i < record->charCount) keptOffsets += 1;
  }
  record->placement = static_cast<uint8_t*>(budget->Allocate(record->charCount, 1));
  record->placementOffsets = static_cast<uint8_t*>(budget->Allocate(record->charCount * 2, 1));
  if (record->placement == nullptr || record->placementOffsets == nullptr) {
    cursor->overrun = 1;
    return;
  }
  ReadBytes(cursor, record->placement, record->charCount);
  Skip(cursor, static_cast<int32_t>(count - record->charCount));
  if (Remaining(cursor) < offsets * 2) {
    cursor->overrun = 1;
    return;
  }
  ReadBytes(cursor, record->placementOffsets, keptOffsets * 2);
  Skip(cursor, static_cast<int32_t>((offsets - keptOffsets) * 2));
  record->offsetCount = static_cast<uint16_t>(keptOffsets);
}

// Decodes the label fields that follow a record's first three words.
void ReadLabel(ByteCursor* cursor, NameRecord* record, uint32_t type, DecodeBudget* budget) {
  record->style = static_cast<uint16_t>(ReadU16(cursor));
  record->x = DecodeRoadCoordinate(ReadU16(cursor));
  record->y = DecodeRoadCoordinate(ReadU16(cursor));
  if (type == NAME_TYPE_ANCHORED) {
    const auto a = static_cast<int8_t>(ReadU8(cursor));
    const auto b = static_cast<int8_t>(ReadU8(cursor));
    // A style with a shift does not use the anchor bytes.
    const bool used = (record->style & NAME_STYLE_SHIFT_MASK) == 0;
    record->anchorA = used ? a : 0;
    record->anchorB = used ? b : 0;
  }
  if (cursor->overrun) return;
  const uint32_t count = ReadText(cursor, record, budget);
  if (type == NAME_TYPE_LINE && count > 0 && !cursor->overrun) ReadPlacement(cursor, count, record, budget);
  if (record->attributes & NAME_ATTR_EXTRA1) record->extra1 = static_cast<uint16_t>(ReadU16(cursor));
  if (record->style & NAME_STYLE_EXTRA2) record->extra2 = static_cast<uint16_t>(ReadU16(cursor));
}

// Decodes the records of one group from the name section. A record that
// does not fit in the section keeps only its first three words and ends the
// group; so does a stated length shorter than those three words, which
// would start the next record inside this one or on it again.
void DecodeRecords(const ByteCursor& section, NameGroup* group, DecodeBudget* budget) {
  ByteCursor cursor = section;
  const uint64_t groupStart = uint64_t{group->groupOffset} * 2;
  if (groupStart > cursor.size) return;
  SeekTo(&cursor, static_cast<uint32_t>(groupStart));
  for (uint32_t r = 0; r < group->recordCount; ++r) {
    NameRecord* record = &group->records[r];
    const uint32_t start = cursor.position;
    record->recordHeader = static_cast<uint16_t>(ReadU16(&cursor));
    record->attributes = static_cast<uint16_t>(ReadU16(&cursor));
    record->classCode = static_cast<uint16_t>(ReadU16(&cursor));
    if (cursor.overrun) {
      *record = NameRecord{};
      return;
    }
    const uint32_t type = (record->attributes >> NAME_TYPE_SHIFT) & NAME_TYPE_MASK;
    const bool decoded = !(record->recordHeader & NAME_RECORD_SKIPPED) && type >= NAME_TYPE_POINT &&
                         type <= NAME_TYPE_LINE;
    if (decoded) ReadLabel(&cursor, record, type, budget);
    if (cursor.overrun) {
      ClearRecord(record);
      return;
    }
    // The record's stated length always decides where the next one starts.
    const uint32_t statedBytes = (record->recordHeader & NAME_RECORD_LENGTH_MASK) * 2u;
    const uint64_t next = uint64_t{start} + statedBytes;
    if (statedBytes < NAME_RECORD_LEAD_BYTES || next > cursor.size) return;
    SeekTo(&cursor, static_cast<uint32_t>(next));
  }
}

void DestroyNames(PooledParcel* parcel) { FreeNames(static_cast<NameParcel*>(parcel)); }

PooledParcel* DecodeNameEntry(const ParcelEntry& entry) {
  return DecodeEntry<NameParcel>(
      entry, [](const ParcelHeader& header) { return SectionPresent(header.nameOffset, header.nameSize); },
      DecodeNames);
}

// A new name parcel that finds the pool full stays outside it.
const PoolKind NAME_KIND{DecodeNameEntry, DestroyNames, false};

}  // namespace

NameParcel* DecodeNames(const uint8_t* data, uint32_t size, const ParcelHeader& header) {
  if (!SectionPresent(header.nameOffset, header.nameSize)) return nullptr;
  const ByteCursor parcelData = MakeCursor(data, size);
  const uint64_t directoryStart = uint64_t{header.nameOffset} * 2;
  if (directoryStart >= size) return nullptr;
  ByteCursor directory = parcelData;
  SeekTo(&directory, static_cast<uint32_t>(directoryStart));
  const uint32_t words = ReadU16(&directory);
  const uint32_t announced = words < 3 ? 0 : (words - 1) / 2;
  // Only 16 groups have slots; pairs beyond them are not read.
  const uint32_t groupCount = std::min<uint32_t>(announced, NAME_GROUP_SLOTS);
  if (directory.overrun || Remaining(&directory) < groupCount * NAME_DIRECTORY_PAIR_BYTES) return nullptr;

  DecodeBudget budget(size);
  auto* parcel = static_cast<NameParcel*>(budget.Allocate(1, sizeof(NameParcel)));
  if (parcel == nullptr) return nullptr;
  parcel->directoryBytes = words * 2;
  parcel->groupCount = static_cast<uint16_t>(groupCount);
  for (uint32_t g = 0; g < groupCount; ++g) {
    parcel->groups[g].groupOffset = static_cast<uint16_t>(ReadU16(&directory));
    parcel->groups[g].recordCount = static_cast<uint16_t>(ReadU16(&directory));
  }
  // A name section that does not lie inside the parcel data leaves the
  // parcel without records.
  const ByteCursor section = SectionCursor(&parcelData, header.nameOffset, header.nameSize);
  if (section.overrun) return parcel;
  for (uint32_t g = 0; g < groupCount; ++g) {
    NameGroup& group = parcel->groups[g];
    if (group.groupOffset == EMPTY_NAME_GROUP || group.recordCount == 0) continue;
    group.records = static_cast<NameRecord*>(budget.Allocate(group.recordCount, sizeof(NameRecord)));
    // Running out of memory ends the decoding; what is decoded stays.
    if (group.records == nullptr) break;
    DecodeRecords(section, &group, &budget);
  }
  return parcel;
}

void FreeNames(NameParcel* parcel) {
  if (parcel == nullptr) return;
  for (uint32_t g = 0; g < parcel->groupCount; ++g) {
    NameGroup& group = parcel->groups[g];
    if (group.records == nullptr) continue;
    for (uint32_t r = 0; r < group.recordCount; ++r) ClearRecord(&group.records[r]);
    std::free(group.records);
  }
  std::free(parcel);
}

NameParcel* AcquireNames(const ParcelEntry& entry) {
  MapDatabase* database = MapDatabase::Instance();
  if (database == nullptr) return nullptr;
  return static_cast<NameParcel*>(database->namePool.Acquire(NAME_KIND, entry));
}

int ReleaseNames(NameParcel* parcel) {
  MapDatabase* database = MapDatabase::Instance();
  if (parcel == nullptr || database == nullptr) return -1;
  return database->namePool.Release(parcel);
}
