// The parcel data header: the record at the start of every parcel's data
// that locates its road, background and name sections.
#pragma once

#include <cstdint>

#include "mapdata/block_cache.h"
#include "mapdata/byte_cursor.h"
#include "mapdata/map_layout.h"
#include "mapdata/parcel_list.h"

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

// Opens the data of `entry` (entry.size × blockSize bytes at the entry's
// address, of the loaded map file) and reads its header into *header, with
// the entry's key. Returns the parcel data block, to be released with
// ReleaseBlock; null (header zeroed) when no map is loaded, the data cannot
// be read or its header does not fit.
MapBlock* ReadParcelHeader(const ParcelEntry& entry, ParcelHeader* header);

// The byte range [offset × 2, (offset + size) × 2) of a section inside the
// parcel data `data`, as a cursor at its start. An absent section (offset
// NO_SECTION or size 0) or one that does not lie wholly inside the data
// gives an empty, overrun cursor.
ByteCursor SectionCursor(const ByteCursor* data, uint32_t offset, uint16_t size);
