// Background records: the background section of a parcel (water, land use,
// railways, boundaries) decoded into 32 feature classes of groups of items,
// each item a polyline or polygon, and pooled per parcel.
//
// Section layout (big-endian, offsets in 16-bit words from the section's
// start): a directory of `tableWords` words holding 32 (classOffset,
// classPresence) pairs; per class a group count and (groupOffset,
// groupWord) pairs; per group its items one after another.
#pragma once

#include <cstdint>

#include "mapdata/byte_cursor.h"
#include "mapdata/parcel_header.h"
#include "mapdata/parcel_list.h"
#include "mapdata/parcel_pool.h"

// Group kinds (FEATURE_KIND_*): lines and areas carry items that are
// decoded; kinds 0 and 3 give zero-filled items.

// One point of an item, in parcel-local units (4096 span the parcel).
struct FeaturePoint {
  int16_t x;
  int16_t y;
  // 1 when the edge from this point to the next one is not drawn: the item
  // flips this flag at every (0, 0) delta when its flags' bit 10 is set.
  int32_t toggle;
};

struct FeatureItem {
  uint16_t itemHeader;  // bit 15: no shape; bit 14: a 4-byte field; bits 11..0: length in words
  uint16_t itemClass;   // classWord bits 15..11 (0: no shape)
  uint16_t pointCount;  // 1..2048 (0 in a zero-filled item)
  uint16_t typeCode;    // chooses the renderer's colour and line type
  uint16_t itemFlags;   // bits 1..0: delta scale; bit 10: toggles; bits 11..13: optional fields
  FeaturePoint* points; // `pointCount` points; null for a skipped or zero-filled item
};

struct FeatureGroup {
  uint16_t itemCount;  // groupWord & 0xFFF
  FeatureItem* items;  // `itemCount` items
};

struct FeatureClass {
  uint32_t classOffset;    // words from the section's start
  int16_t classPresence;   // 0: the class has no data
  uint16_t* groupOffsets;  // `groupCount` words from classOffset; one allocation with groupWords
  uint16_t* groupWords;    // `groupCount` group words (kind, run table bit, item count)
  uint16_t groupCount;
  FeatureGroup* groups;    // `groupCount` groups
};

// A decoded background section. Held parcels are read-only for every holder.
struct BackgroundParcel : PooledParcel {
  FeatureClass classes[FEATURE_CLASS_SLOTS];  // by directory position
  uint16_t tableWords;                        // the directory's stated length in words
};

// The background parcel of `entry`, held once more: the pooled one when the
// background pool has it, else decoded from the loaded map file. A newly
// decoded parcel that finds the pool full stays outside it (it is freed by
// its last release); the pool's oldest parcel is freed to make room for
// later ones when no one holds it. Null when the parcel has no background
// section or any part of it cannot be decoded. Safe to call from several
// threads. Every non-null result is given back with ReleaseBackground.
BackgroundParcel* AcquireBackground(const ParcelEntry& entry);

// Gives a held background parcel back, as ReleaseRoads does. Returns 0, or
// -1 for null or a parcel that is not held.
int ReleaseBackground(BackgroundParcel* parcel);

// Decodes the background section that `header` locates in the parcel data
// at `data` (`size` bytes) into a new parcel with refCount 0 and no key;
// the caller frees it with FreeBackground. Null when there is no background
// section, it does not lie inside the data, a class does not fit in it or
// memory runs out.
BackgroundParcel* DecodeBackground(const uint8_t* data, uint32_t size, const ParcelHeader& header);

// Frees a decoded background parcel and everything it owns; null is
// accepted. Only for parcels that are not pooled.
void FreeBackground(BackgroundParcel* parcel);
