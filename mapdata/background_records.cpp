#include "mapdata/background_records.h"

#include <cstdlib>

#include "mapdata/decode_support.h"
#include "mapdata/map_database.h"

namespace {

// The first point and the deltas after it, into item->points.
void ReadPoints(ByteCursor* cursor, FeatureItem* item) {
  FeaturePoint* points = item->points;
  points[0].x = static_cast<int16_t>(ReadU16(cursor) & COORDINATE_LOW_MASK);
  points[0].y = static_cast<int16_t>(ReadU16(cursor) & COORDINATE_LOW_MASK);
  const int32_t factor = FeatureDeltaFactor(item->itemFlags);
  const bool toggles = (item->itemFlags & FEATURE_FLAG_TOGGLES) != 0;
  int32_t toggle = 0;
  for (uint32_t j = 1; j < item->pointCount; ++j) {
    const auto dx = static_cast<int8_t>(ReadU8(cursor));
    const auto dy = static_cast<int8_t>(ReadU8(cursor));
    if (toggles && dx == 0 && dy == 0) toggle ^= 1;
    points[j].x = static_cast<int16_t>(points[j - 1].x + factor * dx);
    points[j].y = static_cast<int16_t>(points[j - 1].y + factor * dy);
    points[j].toggle = toggle;
  }
}

// Decodes one item at the cursor and leaves the cursor at the next item.
// Returns 0, or -1 when the item does not fit in the section or its points
// cannot be kept.
int DecodeItem(ByteCursor* cursor, bool runTable, FeatureItem* item, DecodeBudget* budget) {
  item->itemHeader = static_cast<uint16_t>(ReadU16(cursor));
  const uint32_t classWord = ReadU16(cursor);
  item->itemClass = static_cast<uint16_t>(classWord >> FEATURE_ITEM_CLASS_SHIFT);
  item->pointCount = static_cast<uint16_t>((classWord & FEATURE_ITEM_POINTS_MASK) + 1);
  const uint32_t statedBytes = (item->itemHeader & FEATURE_ITEM_LENGTH_MASK) * 2u;
  if (cursor->overrun) return -1;
  if ((item->itemHeader & FEATURE_ITEM_NO_SHAPE) || item->itemClass == 0) {
    // A stated length shorter than the two words read would start the next
    // item inside this one (or on it again): the item then ends after them.
    if (statedBytes > FEATURE_ITEM_LEAD_BYTES) Skip(cursor, static_cast<int32_t>(statedBytes - FEATURE_ITEM_LEAD_BYTES));
    return cursor->overrun ? -1 : 0;
  }

  item->typeCode = static_cast<uint16_t>(ReadU16(cursor));
  item->itemFlags = static_cast<uint16_t>(ReadU16(cursor));
  const uint32_t deltaBytes = 2u * (item->pointCount - 1);
  // The first point and every delta pair must lie inside the section.
  if (cursor->overrun || Remaining(cursor) < 4 + deltaBytes) return -1;
  item->points = static_cast<FeaturePoint*>(budget->Allocate(item->pointCount, sizeof(FeaturePoint)));
  if (item->points == nullptr) return -1;
  ReadPoints(cursor, item);
  uint32_t consumed = FEATURE_ITEM_SHAPE_BYTES + deltaBytes;

  if (runTable) {
    // Entries until their runs cover the points; each entry is 4 bytes of
    // the section, so a table of zero runs ends at the section's end.
    uint32_t covered = 0;
    while (covered < item->pointCount && !cursor->overrun) {
      covered += ReadU16(cursor) & FEATURE_RUN_MASK;
      ReadU16(cursor);
      consumed += FEATURE_RUN_ENTRY_BYTES;
    }
  }
  uint32_t optional = 0;
  if (item->itemFlags & FEATURE_FLAG_FIELD_12) optional += FEATURE_FIELD_12_BYTES;
  if (item->itemFlags & FEATURE_FLAG_FIELD_11) optional += FEATURE_FIELD_11_BYTES;
  if (item->itemFlags & FEATURE_FLAG_FIELD_13) optional += FEATURE_FIELD_13_BYTES;
  if (item->itemHeader & FEATURE_ITEM_HEADER_FIELD) optional += FEATURE_HEADER_FIELD_BYTES;
  Skip(cursor, static_cast<int32_t>(optional));
  consumed += optional;
  if (consumed < statedBytes) Skip(cursor, static_cast<int32_t>(statedBytes - consumed));
  return cursor->overrun ? -1 : 0;
}

// Decodes the groups of one class from the background section. Returns 0,
// or -1 when any part does not fit in the section or cannot be kept.
int DecodeClass(const ByteCursor& section, FeatureClass* featureClass, DecodeBudget* budget) {
  ByteCursor cursor = section;
  const uint64_t classStart = uint64_t{featureClass->classOffset} * 2;
  if (classStart > cursor.size) return -1;
  SeekTo(&cursor, static_cast<uint32_t>(classStart));
  const uint32_t groupCount = ReadU16(&cursor);
  // The group pairs must lie inside the section before they are allocated.
  if (cursor.overrun || Remaining(&cursor) < groupCount * FEATURE_GROUP_PAIR_BYTES) return -1;
  if (groupCount == 0) return 0;
  auto* words = static_cast<uint16_t*>(budget->Allocate(2 * groupCount, sizeof(uint16_t)));
  featureClass->groups = static_cast<FeatureGroup*>(budget->Allocate(groupCount, sizeof(FeatureGroup)));
  featureClass->groupOffsets = words;
  featureClass->groupWords = words == nullptr ? nullptr : words + groupCount;
  if (words == nullptr || featureClass->groups == nullptr) return -1;
  featureClass->groupCount = static_cast<uint16_t>(groupCount);
  for (uint32_t g = 0; g < groupCount; ++g) {
    featureClass->groupOffsets[g] = static_cast<uint16_t>(ReadU16(&cursor));
    featureClass->groupWords[g] = static_cast<uint16_t>(ReadU16(&cursor));
  }

  for (uint32_t g = 0; g < groupCount; ++g) {
    FeatureGroup& group = featureClass->groups[g];
    const uint16_t word = featureClass->groupWords[g];
    group.itemCount = word & FEATURE_ITEM_COUNT_MASK;
    if (group.itemCount == 0) continue;
    group.items = static_cast<FeatureItem*>(budget->Allocate(group.itemCount, sizeof(FeatureItem)));
    if (group.items == nullptr) return -1;
    const uint16_t kind = word >> FEATURE_KIND_SHIFT;
    if (kind != FEATURE_KIND_LINE && kind != FEATURE_KIND_AREA) continue;
    ByteCursor items = section;
    const uint64_t groupStart = (uint64_t{featureClass->classOffset} + featureClass->groupOffsets[g]) * 2;
    if (groupStart > items.size) return -1;
    SeekTo(&items, static_cast<uint32_t>(groupStart));
    const bool runTable = (word & FEATURE_RUN_TABLE) != 0;
    for (uint32_t i = 0; i < group.itemCount; ++i) {
      if (DecodeItem(&items, runTable, &group.items[i], budget) != 0) return -1;
    }
  }
  return 0;
}

void DestroyBackground(PooledParcel* parcel) { FreeBackground(static_cast<BackgroundParcel*>(parcel)); }

PooledParcel* DecodeBackgroundEntry(const ParcelEntry& entry) {
  return DecodeEntry<BackgroundParcel>(
      entry,
      [](const ParcelHeader& header) { return SectionPresent(header.backgroundOffset, header.backgroundSize); },
      DecodeBackground);
}

// A new background parcel that finds the pool full stays outside it.
const PoolKind BACKGROUND_KIND{DecodeBackgroundEntry, DestroyBackground, false};

}  // namespace

BackgroundParcel* DecodeBackground(const uint8_t* data, uint32_t size, const ParcelHeader& header) {
  const ByteCursor parcelData = MakeCursor(data, size);
  // The directory opens the section; the classes lie in it.
  ByteCursor section = SectionCursor(&parcelData, header.backgroundOffset, header.backgroundSize);
  if (section.overrun) return nullptr;
  DecodeBudget budget(size);
  auto* parcel = static_cast<BackgroundParcel*>(budget.Allocate(1, sizeof(BackgroundParcel)));
  if (parcel == nullptr) return nullptr;
  ByteCursor directory = section;
  parcel->tableWords = static_cast<uint16_t>(ReadU16(&directory));
  for (FeatureClass& featureClass : parcel->classes) {
    featureClass.classOffset = ReadU16(&directory);
    featureClass.classPresence = static_cast<int16_t>(ReadU16(&directory));
  }
  bool decoded = !directory.overrun;
  for (FeatureClass& featureClass : parcel->classes) {
    if (!decoded) break;
    if (featureClass.classPresence != 0) decoded = DecodeClass(section, &featureClass, &budget) == 0;
  }
  if (!decoded) {
    FreeBackground(parcel);
    return nullptr;
  }
  return parcel;
}

void FreeBackground(BackgroundParcel* parcel) {
  if (parcel == nullptr) return;
  for (FeatureClass& featureClass : parcel->classes) {
    if (featureClass.groups != nullptr) {
      for (uint32_t g = 0; g < featureClass.groupCount; ++g) {
        FeatureGroup& group = featureClass.groups[g];
        if (group.items == nullptr) continue;
        for (uint32_t i = 0; i < group.itemCount; ++i) std::free(group.items[i].points);
        std::free(group.items);
      }
    }
    std::free(featureClass.groupOffsets);  // one allocation with groupWords
    std::free(featureClass.groups);
  }
  std::free(parcel);
}

BackgroundParcel* AcquireBackground(const ParcelEntry& entry) {
  MapDatabase* database = MapDatabase::Instance();
  if (database == nullptr) return nullptr;
  return static_cast<BackgroundParcel*>(database->backgroundPool.Acquire(BACKGROUND_KIND, entry));
}

int ReleaseBackground(BackgroundParcel* parcel) {
  MapDatabase* database = MapDatabase::Instance();
  if (parcel == nullptr || database == nullptr) return -1;
  return database->backgroundPool.Release(parcel);
}
