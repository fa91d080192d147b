// The parcel data header: the record at the start of every parcel's data
// that locates its road, background and name sections.
#pragma once

#include <cstdint>

#include "mapdata/block_cache.h"
#include "mapdata/byte_cursor.h"
#include "mapdata/parcel_list.h"

// A section offset of this value means the parcel has no such section.
constexpr uint32_t NO_SECTION = 0xFFFFFFFF;
// The header's fixed part before its optional 4-byte entries.
constexpr uint32_t PARCEL_HEADER_FIXED_BYTES = 36;
constexpr uint32_t PARCEL_HEADER_ENTRY_BYTES = 4;

// Parcel-local coordinates: 4096 units span a parcel's width (x) or height
// (y) from its south-west corner; values above reach into neighbours.
constexpr int32_t PARCEL_LOCAL_SPAN = 4096;

// A road or name coordinate word: bits 12..0 are the position inside a
// parcel span, bits 15..13 count whole spans. The result is kept as a
// 16-bit value, as every decoded point is (so 0xFFFF gives 8191 + 7 × 4096,
// which wraps to a negative 16-bit value).
constexpr int16_t DecodeRoadCoordinate(uint32_t word) {
  return static_cast<int16_t>(static_cast<uint16_t>((word & 0x1FFF) + (word >> 13 & 7) * PARCEL_LOCAL_SPAN));
}

// The decoded header. Offsets and sizes of the sections are in 16-bit words
// from the start of the parcel data.
struct ParcelHeader {
  ParcelKey key;             // the key of the entry the data belongs to
  uint16_t headerBytes;      // the header's stated length in bytes
  uint32_t word14;           // kept
  uint16_t word18;           // kept
  uint16_t valueA;           // 15 bits, kept for the renderer
  uint16_t valueB;           // 15 bits, kept for the renderer
  uint16_t word24, word26;   // kept
  uint32_t word28;           // kept
  uint16_t blockBytes;       // the word at 32 × the map's block size, truncated to 16 bits
  uint16_t entryCount;       // optional 4-byte entries before the section table (skipped)
  uint32_t roadOffset;       // NO_SECTION: no roads
  uint16_t roadSize;         // 0: no roads
  uint32_t backgroundOffset;
  uint16_t backgroundSize;
  uint32_t nameOffset;
  uint16_t nameSize;
};

// Reads the header at the cursor into *header (zeroed first; the key stays
// zero). `blockSize` is the map's block size. The cursor ends after the
// name section's size. Returns 0, or -1 when the header does not fit in the
// buffer.
int ReadParcelHeader(ByteCursor* cursor, uint32_t blockSize, ParcelHeader* header);

// Where parcel data is read from: the loaded map file, through its owner's
// block cache.
struct ParcelSource {
  BlockCache* blocks = nullptr;
  const char* path = nullptr;  // host path of the map file; null: the device file
  uint32_t blockSize = 0;      // the management header's block size; 0: no map loaded
};

// Opens the data of `entry` (entry.size × blockSize bytes at the entry's
// address, of the source's map file) and reads its header into *header, with
// the entry's key. Returns the parcel data block with its cursor after the
// header, to be released with ReleaseBlock on the source's cache; null
// (header zeroed) when no map is loaded, the data cannot be read or its
// header does not fit.
MapBlock* ReadParcelHeader(const ParcelSource& source, const ParcelEntry& entry, ParcelHeader* header);

// The byte range [offset × 2, (offset + size) × 2) of a section inside the
// parcel data `data`, as a cursor at its start. An absent section (offset
// NO_SECTION or size 0) or one that does not lie wholly inside the data
// gives an empty, overrun cursor.
ByteCursor SectionCursor(const ByteCursor* data, uint32_t offset, uint16_t size);
