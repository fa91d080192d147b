// Name records: the name section of a parcel (place and road names with
// anchors, styles and per-character placement) decoded into up to 16 groups
// of records, and pooled per parcel.
//
// Section layout (big-endian, offsets in 16-bit words from the section's
// start): a directory word a, then (a − 1) / 2 pairs of (groupOffset,
// recordCount); each group's records lie one after another, each record
// starting where the previous one's stated length ends.
#pragma once

#include <cstdint>

#include "mapdata/byte_cursor.h"
#include "mapdata/parcel_header.h"
#include "mapdata/parcel_list.h"
#include "mapdata/parcel_pool.h"

// A NameParcel has this many group slots; directory pairs beyond them are
// not decoded and groupCount never exceeds it.
constexpr int NAME_GROUP_SLOTS = 16;
// Texts keep at most this many characters (two bytes each).
constexpr uint32_t NAME_TEXT_MAX_CHARS = 32;

struct NameRecord {
  uint16_t recordHeader;  // bit 15: not decoded; bits 11..0: length in words
  uint16_t attributes;    // bits 15..11: detail mask; 10..8: type; bit 7: extra1; bit 6: rotated
  uint16_t classCode;
  uint16_t style;         // bits 2..0: offset shift; bit 11: extra2
  int16_t x;              // anchor, parcel-local units
  int16_t y;
  int32_t screenX;        // not set by the reader: the renderer's label position
  int32_t screenY;
  int8_t anchorA;         // type 2 with style bits 2..0 clear: signed offsets; else 0
  int8_t anchorB;
  uint32_t charCount;     // 0..32 characters kept
  // 2 × charCount bytes as the file holds them (UTF-16LE characters, the
  // device's wide characters) followed by two zero bytes; null without text.
  uint8_t* text;
  uint16_t extra1;        // attributes bit 7; 0 otherwise
  uint16_t extra2;        // style bit 11 (rotation in degrees); 0 otherwise
  // Type 3 with text only: `charCount` placement bytes, and 2 × charCount
  // bytes of which the first 2 × offsetCount hold the placement offsets.
  uint8_t* placement;
  uint8_t* placementOffsets;
  uint16_t offsetCount;   // placement bytes below PLACEMENT_NO_OFFSET among the kept ones
};

struct NameGroup {
  uint16_t groupOffset;  // words from the section's start; EMPTY_NAME_GROUP: empty
  uint16_t recordCount;  // records announced by the directory
  NameRecord* records;   // `recordCount` records; null for an empty or undecoded group
};

// A decoded name section. Held parcels are read-only for every holder
// except the records' screenX and screenY, which the renderer that draws
// the parcel writes.
struct NameParcel : PooledParcel {
  uint32_t directoryBytes;  // a × 2
  uint16_t groupCount;      // min((a − 1) / 2, 16); 0 for a < 3
  NameGroup groups[NAME_GROUP_SLOTS];
};

// The name parcel of `entry`, held once more: the pooled one when the name
// pool has it, else decoded from the loaded map file. A newly decoded parcel
// that finds the pool full stays outside it, as background parcels do.
// Null when the parcel has no name section or its data cannot be read; a
// parcel whose records cannot all be read keeps those decoded before.
// Safe to call from several threads. Every non-null result is given back
// with ReleaseNames.
NameParcel* AcquireNames(const ParcelEntry& entry);

// Gives a held name parcel back, as ReleaseRoads does. Returns 0, or -1 for
// null or a parcel that is not held.
int ReleaseNames(NameParcel* parcel);

// Decodes the name section that `header` locates in the parcel data at
// `data` (`size` bytes) into a new parcel with refCount 0 and no key; the
// caller frees it with FreeNames. Null when there is no name section, its
// directory does not fit in the data or memory runs out.
NameParcel* DecodeNames(const uint8_t* data, uint32_t size, const ParcelHeader& header);

// Frees a decoded name parcel and everything it owns; null is accepted.
// Only for parcels that are not pooled.
void FreeNames(NameParcel* parcel);
