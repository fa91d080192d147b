// Road records: the road section of a parcel decoded into polylines, grouped
// by the rows of the section's group table, and pooled per parcel.
//
// Section layout (big-endian, offsets in 16-bit words from the section's
// start): two skipped words, a group count byte, a skipped byte and word,
// then the group table of (groupOffset, objectCount) rows. A group is a
// flags word followed by its objects; an object is a fixed part (header,
// shape word, the optional fields A, B and C, an attribute word with its
// optional fields, an optional tail length) followed by its shape segments
// and skipped trailing data.
#pragma once

#include <cstdint>

#include "mapdata/byte_cursor.h"
#include "mapdata/parcel_header.h"
#include "mapdata/parcel_list.h"
#include "mapdata/parcel_pool.h"

// A RoadParcel has this many group slots; group table rows beyond it are
// read past but not decoded.
constexpr int ROAD_GROUP_SLOTS = 32;
// Groups from this table row on are drawn in the alternate style.
constexpr int ROAD_ALTERNATE_FROM_ROW = 10;

// One shape segment of a road object: an absolute start point followed by
// `deltaCount` (dx, dy) pairs of signed bytes, stored in the same allocation
// right after the segment.
struct ShapeSegment {
  int16_t x;             // start point, parcel-local units
  int16_t y;
  const int8_t* deltas;  // 2 × deltaCount bytes: dx0, dy0, dx1, dy1, ...
  ShapeSegment* next;    // the object's next segment, null after the last
  uint16_t deltaCount;   // 0..1023
};

// One row of the group table.
struct RoadGroup {
  uint16_t groupOffset;   // as in the table (EMPTY_ROAD_GROUP: empty row)
  uint16_t objectCount;   // objects announced by the table
  uint16_t groupFlags;    // the group's flags word (0 for an empty row)
  // `objectCount` pointers; the first `decodedCount` point to the first
  // segment of one decoded object each, in file order; the rest are null.
  ShapeSegment** objects;
  // Parallel to `objects`: the attribute word of each decoded object.
  uint16_t* objectAttributes;
  int16_t decodedCount;   // objects that had shape segments
  uint8_t drawClass;      // attributes bits 15..12 of the last decoded object
  uint8_t alternate;      // 1 for table rows from ROAD_ALTERNATE_FROM_ROW on
};

// A decoded road section. Held parcels are read-only for every holder.
struct RoadParcel : PooledParcel {
  RoadGroup groups[ROAD_GROUP_SLOTS];
  uint16_t groupCount;  // slots filled: one per table row (empty rows included), at most 32
  uint16_t valueA;      // from the parcel data header
  uint16_t valueB;
};

// The road parcel of `entry`, held once more: the pooled one when the road
// pool has it, else decoded from the loaded map file and pooled (when the
// pool is full and its oldest parcel is not held, that parcel is freed and
// the new one takes its place; when the oldest is held the new parcel stays
// outside the pool and is freed by its last release). Null when the parcel
// has no road section or its data cannot be read. Safe to call from several
// threads. Every non-null result is given back with ReleaseRoads.
RoadParcel* AcquireRoads(const ParcelEntry& entry);

// Gives a held road parcel back; a pooled one stays pooled (also at count
// 0). Returns 0, or -1 for null or a parcel that is not held.
int ReleaseRoads(RoadParcel* parcel);

// Decodes the road section that `header` locates in the parcel data at
// `data` (the whole parcel data, `size` bytes) into a new parcel with
// refCount 0 and no key; the caller owns it and frees it with FreeRoads.
// Null when there is no road section, its group table does not fit in the
// data or memory runs out. A damaged group keeps the objects decoded before
// the damage.
RoadParcel* DecodeRoads(const uint8_t* data, uint32_t size, const ParcelHeader& header);

// Frees a decoded road parcel with all its groups and segments; null is
// accepted. Only for parcels that are not pooled.
void FreeRoads(RoadParcel* parcel);
