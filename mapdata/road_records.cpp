#include "mapdata/road_records.h"

#include <cstdlib>

#include "mapdata/decode_support.h"
#include "mapdata/map_database.h"

namespace {

// A field word counted in 16-bit words, as bytes; 0 when the group says it
// is absent.
uint32_t ReadFieldBytes(ByteCursor* cursor, uint16_t groupFlags, uint16_t absentFlag, uint32_t* consumed) {
  if (groupFlags & absentFlag) return 0;
  *consumed += 2;
  return ReadU16(cursor) * 2;
}

void FreeSegments(ShapeSegment* segment) {
  while (segment != nullptr) {
    ShapeSegment* next = segment->next;
    std::free(segment);
    segment = next;
  }
}

// Reads `count` shape segments at the cursor into a chain: each segment and
// its delta pairs in one allocation. Null when a segment does not fit in
// the data or the budget runs out (nothing is kept then).
ShapeSegment* ReadSegments(ByteCursor* cursor, uint32_t count, DecodeBudget* budget) {
  ShapeSegment* first = nullptr;
  ShapeSegment** link = &first;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t head = ReadU16(cursor);
    const uint32_t x = ReadU16(cursor);
    const uint32_t y = ReadU16(cursor);
    const uint32_t deltaCount = head & ROAD_MAX_SEGMENT_DELTAS;
    const uint32_t deltaBytes = deltaCount * 2;
    // The delta pairs must lie inside the data before they are copied.
    auto* segment = cursor->overrun || Remaining(cursor) < deltaBytes
                        ? nullptr
                        : static_cast<ShapeSegment*>(budget->Allocate(1, sizeof(ShapeSegment) + deltaBytes));
    if (segment == nullptr) {
      FreeSegments(first);
      return nullptr;
    }
    auto* deltas = reinterpret_cast<int8_t*>(segment + 1);
    ReadBytes(cursor, deltas, deltaBytes);
    segment->x = DecodeRoadCoordinate(x);
    segment->y = DecodeRoadCoordinate(y);
    segment->deltas = deltas;
    segment->deltaCount = static_cast<uint16_t>(deltaCount);
    *link = segment;
    link = &segment->next;
  }
  return first;
}

// Decodes the objects of one group, starting at the cursor (after the
// group's flags word). Stops at the first object that does not fit in the
// data, whose segments cannot be kept, or whose stated length is 0 (it
// would start the next object where it started itself); the objects before
// it stay decoded.
void DecodeObjects(ByteCursor* cursor, int row, RoadGroup* group, DecodeBudget* budget) {
  for (uint32_t i = 0; i < group->objectCount; ++i) {
    const uint32_t start = cursor->position;
    const uint32_t header = ReadU32(cursor);
    const uint32_t shapeWord = ReadU16(cursor);
    ReadU16(cursor);
    uint32_t consumed = ROAD_OBJECT_LEAD_BYTES;
    const uint32_t fieldA = ReadFieldBytes(cursor, group->groupFlags, ROAD_GROUP_NO_FIELD_A, &consumed);
    const uint32_t fieldB = ReadFieldBytes(cursor, group->groupFlags, ROAD_GROUP_NO_FIELD_B, &consumed);
    const uint32_t fieldC = ReadFieldBytes(cursor, group->groupFlags, ROAD_GROUP_NO_FIELD_C, &consumed);
    const auto attributes = static_cast<uint16_t>(ReadU16(cursor));
    consumed += 2;
    uint32_t optional = 0;
    if (attributes & ROAD_ATTR_FIELDS_4_2) optional += ROAD_ATTR_FIELDS_4_2_BYTES;
    if (attributes & ROAD_ATTR_FIELDS_2_2) optional += ROAD_ATTR_FIELDS_2_2_BYTES;
    if (attributes & ROAD_ATTR_FIELD_2) optional += ROAD_ATTR_FIELD_2_BYTES;
    Skip(cursor, static_cast<int32_t>(optional));
    consumed += optional;
    uint32_t tail = 0;
    if (header & ROAD_OBJECT_HAS_TAIL) {
      tail = (ReadU16(cursor) & ROAD_MAX_TAIL_WORDS) * 2;
      consumed += 2;
    }
    const uint32_t fixedBytes = (header & ROAD_MAX_FIXED_WORDS) * 2;
    if (consumed < fixedBytes) Skip(cursor, static_cast<int32_t>(fixedBytes - consumed));
    if (cursor->overrun) return;

    const uint32_t segmentCount = shapeWord & ROAD_MAX_SEGMENTS;
    if (segmentCount > 0) {
      ShapeSegment* first = ReadSegments(cursor, segmentCount, budget);
      if (first == nullptr) return;
      group->objects[group->decodedCount] = first;
      group->objectAttributes[group->decodedCount] = attributes;
      group->drawClass = static_cast<uint8_t>(attributes >> ROAD_ATTR_CLASS_SHIFT);
      group->alternate = row >= ROAD_ALTERNATE_FROM_ROW ? 1 : 0;
      group->decodedCount += 1;
    }

    // Where the next object starts: after the skipped trailing data, or at
    // the object's stated length, which may lie before or after that.
    uint64_t next = cursor->position;
    if (!(group->groupFlags & ROAD_GROUP_NO_SEGMENT_BLOCKS)) next += uint64_t{ROAD_SEGMENT_BLOCK_BYTES} * segmentCount;
    next += uint64_t{fieldA} + fieldB + fieldC + tail;
    if (header & ROAD_OBJECT_HAS_LENGTH) {
      const uint32_t statedWords = (header >> ROAD_OBJECT_LENGTH_SHIFT) & ROAD_MAX_STATED_WORDS;
      if (statedWords == 0) return;
      next = uint64_t{start} + statedWords * 2;
    }
    if (next > cursor->size) return;
    SeekTo(cursor, static_cast<uint32_t>(next));
  }
}

// Decodes the group of table row `row` from the parcel data. The group
// reads through a cursor of its own over the same bytes, so the table
// cursor stays where it is.
void DecodeGroup(const ByteCursor& data, uint32_t sectionStart, int row, RoadGroup* group, DecodeBudget* budget) {
  ByteCursor cursor = data;
  const uint64_t at = uint64_t{sectionStart} + uint64_t{group->groupOffset} * 2;
  if (at > cursor.size || SeekTo(&cursor, static_cast<uint32_t>(at)) == SEEK_FAILED) return;
  group->groupFlags = static_cast<uint16_t>(ReadU16(&cursor));
  if (cursor.overrun) return;
  const uint64_t slotBytes = sizeof(ShapeSegment*) + sizeof(uint16_t);
  auto* slots = static_cast<uint8_t*>(budget->Allocate(group->objectCount, slotBytes));
  if (slots == nullptr) return;
  group->objects = reinterpret_cast<ShapeSegment**>(slots);
  group->objectAttributes = reinterpret_cast<uint16_t*>(slots + sizeof(ShapeSegment*) * group->objectCount);
  DecodeObjects(&cursor, row, group, budget);
}

void DestroyRoads(PooledParcel* parcel) { FreeRoads(static_cast<RoadParcel*>(parcel)); }

PooledParcel* DecodeRoadEntry(const ParcelEntry& entry) {
  return DecodeEntry<RoadParcel>(
      entry, [](const ParcelHeader& header) { return SectionPresent(header.roadOffset, header.roadSize); },
      DecodeRoads);
}

// When the pool is full and its oldest parcel is not held, a new road parcel
// takes the freed slot.
const PoolKind ROAD_KIND{DecodeRoadEntry, DestroyRoads, true};

}  // namespace

RoadParcel* DecodeRoads(const uint8_t* data, uint32_t size, const ParcelHeader& header) {
  if (!SectionPresent(header.roadOffset, header.roadSize)) return nullptr;
  ByteCursor cursor = MakeCursor(data, size);
  const uint64_t sectionStart = uint64_t{header.roadOffset} * 2;
  if (sectionStart >= size) return nullptr;
  SeekTo(&cursor, static_cast<uint32_t>(sectionStart));
  Skip(&cursor, ROAD_GROUP_COUNT_OFFSET);
  const uint32_t rows = ReadU8(&cursor);
  Skip(&cursor, ROAD_HEAD_BYTES - ROAD_GROUP_COUNT_OFFSET - 1);
  // The whole group table must lie inside the data.
  if (cursor.overrun || Remaining(&cursor) < rows * ROAD_GROUP_ROW_BYTES) return nullptr;

  DecodeBudget budget(size);
  auto* parcel = static_cast<RoadParcel*>(budget.Allocate(1, sizeof(RoadParcel)));
  if (parcel == nullptr) return nullptr;
  parcel->valueA = header.valueA;
  parcel->valueB = header.valueB;
  // Rows beyond the 32 slots are read past and not decoded: group indices
  // stay equal to table rows, and the renderer's styles end there anyway.
  for (uint32_t row = 0; row < rows; ++row) {
    const auto groupOffset = static_cast<uint16_t>(ReadU16(&cursor));
    const auto objectCount = static_cast<uint16_t>(ReadU16(&cursor));
    if (row >= ROAD_GROUP_SLOTS) continue;
    RoadGroup& group = parcel->groups[parcel->groupCount];
    group.groupOffset = groupOffset;
    group.objectCount = objectCount;
    if (groupOffset != EMPTY_ROAD_GROUP && objectCount != 0) {
      DecodeGroup(cursor, static_cast<uint32_t>(sectionStart), static_cast<int>(row), &group, &budget);
    }
    parcel->groupCount += 1;
  }
  return parcel;
}

void FreeRoads(RoadParcel* parcel) {
  if (parcel == nullptr) return;
  for (int i = 0; i < parcel->groupCount; ++i) {
    RoadGroup& group = parcel->groups[i];
    for (int k = 0; k < group.decodedCount; ++k) FreeSegments(group.objects[k]);
    std::free(group.objects);  // one allocation with objectAttributes
  }
  std::free(parcel);
}

RoadParcel* AcquireRoads(const ParcelEntry& entry) {
  MapDatabase* database = MapDatabase::Instance();
  if (database == nullptr) return nullptr;
  return static_cast<RoadParcel*>(database->roadPool.Acquire(ROAD_KIND, entry));
}

int ReleaseRoads(RoadParcel* parcel) {
  MapDatabase* database = MapDatabase::Instance();
  if (parcel == nullptr || database == nullptr) return -1;
  return database->roadPool.Release(parcel);
}
