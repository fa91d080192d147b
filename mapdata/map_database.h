// The process-wide map database: the decoded management header, section
// directory and parcel index of the map file, and the three pools of decoded
// parcels.
#pragma once

#include <cstdint>

#include "mapdata/block_cache.h"
#include "mapdata/map_layout.h"
#include "mapdata/parcel_pool.h"

// Management header: the record at offset 0 of the map file.

struct ManagementHeader {
  uint8_t text[HEADER_TEXT_BYTES];      // kept verbatim, not interpreted
  int32_t extent[HEADER_EXTENT_WORDS];  // map units; the file's 2nd, 1st, 4th and 3rd coordinate
  uint16_t blockSize;                   // bytes of the unit of every address word and size count
  uint16_t reserved;                    // the word at 474, not used
  uint16_t flags;                       // bits 15 and 14 are reported by GetMapFlags
};

// Section directory: seven entries at offset 2048. Entry 0 locates the
// parcel index area.
struct SectionEntry {
  uint32_t address;  // address word of the section
  uint16_t size;     // size in blocks
  uint8_t raw[SECTION_RAW_BYTES];
};

struct SectionDirectory {
  SectionEntry entries[SECTION_COUNT];
};

// One detail level of the parcel index. Grid sizes are cell counts (1..256).
struct LevelEntry {
  uint16_t levelCode;                    // bits 15..10 of the level's first word
  uint16_t codeWord;                     // the whole first word
  uint16_t word2;                        // kept
  uint32_t thresholds[LEVEL_THRESHOLDS]; // display-scale thresholds
  uint16_t blockRows, blockColumns;      // blocks over the map's extent
  uint16_t subBlockRows, subBlockColumns;
  uint16_t parcelRows, parcelColumns;    // parcels of each sub-block
  uint16_t pieceGrid[SPLIT_KINDS];       // S of split kinds 1..3: S × S pieces
  uint32_t blockTableOffset;             // bytes from the start of the parcel index area
  uint32_t word38;                       // kept, in bytes
};

// The extra entries that follow the levels: kept, not used.
struct ExtraEntry {
  uint16_t value;
  uint32_t first, second;  // in bytes
};

// The parcel index header with its two arrays.
struct ParcelIndex {
  uint32_t areaOffset;        // where the parcel index area lies in the file
  uint32_t areaSize;          // its size in bytes
  uint16_t blockSize;         // the management header's block size
  uint16_t word0, word4;      // kept
  int32_t north, south, west, east;  // the map's extent in map units
  uint32_t word20;            // kept, in bytes
  uint32_t blockRecordSize;   // bytes between block records
  uint32_t subBlockRecordSize;
  uint16_t levelCount;        // level entries that lie inside the area
  uint16_t extraCount;        // extra entries that lie inside the area
  LevelEntry* levels;
  ExtraEntry* extras;
};

// The process-wide singleton. It has no lock: the map drawing thread is its
// only user once the renderer has loaded it.
class MapDatabase {
 public:
  // The singleton, created on first call with nothing loaded; null only when
  // memory runs out.
  static MapDatabase* Instance();
  // Destroys the singleton (if any): frees the three headers and empties
  // the pools. The next Instance starts empty.
  static void Destroy();

  virtual ~MapDatabase();

  ManagementHeader* GetManagementHeader() const { return managementHeader; }
  SectionDirectory* GetSectionDirectory() const { return sectionDirectory; }
  ParcelIndex* GetParcelIndex() const { return parcelIndex; }
  // The setters take ownership (free with std::free; the parcel index with
  // FreeParcelIndex) and free what they replace.
  void SetManagementHeader(ManagementHeader* header);
  void SetSectionDirectory(SectionDirectory* directory);
  void SetParcelIndex(ParcelIndex* index);

  // The host path of the map file that blocks are read from, or null for
  // the device file. Set by LoadMapDatabase.
  const char* MapPath() const { return mapPath[0] == '\0' ? nullptr : mapPath; }
  // Returns 0, or -1 (nothing changed) when the path is too long for a block.
  int SetMapPath(const char* path);

  ParcelPool roadPool;
  ParcelPool backgroundPool;
  ParcelPool namePool;

 private:
  MapDatabase() = default;

  ManagementHeader* managementHeader = nullptr;
  SectionDirectory* sectionDirectory = nullptr;
  ParcelIndex* parcelIndex = nullptr;
  char mapPath[BLOCK_PATH_CAPACITY] = {};
};

// Frees a parcel index with its two arrays; null is accepted.
void FreeParcelIndex(ParcelIndex* index);
