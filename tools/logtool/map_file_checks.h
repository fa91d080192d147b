// Checks that the map commands make before they trust what the map reader
// found. The reader reads what lies past the end of a file as zeros and an
// all-zero index as a map without levels, so a truncated or blank file
// would otherwise look like a map of open sea; these checks turn that into
// a message and exit status 1.
#pragma once

#include <cstdint>

#include "mapdata/map_database.h"
#include "mapdata/parcel_list.h"

// The file a map was loaded from, as far as the checks need it.
struct MapFileReach {
  uint64_t fileBytes;  // 0 when the file cannot be read
  uint32_t blockSize;  // the management header's unit of addresses and sizes
};

// 0 when `path` is a readable plain file, opened without waiting (a named
// pipe or a device in its place is refused at once); else prints why and
// returns 1.
int CheckMapFile(const char* path);

// 0 when `database` has a management header and a parcel index with a block
// size and at least one level, and the index lies within the file; else
// prints what is wrong and returns 1.
int CheckMapIndex(const char* path, const MapDatabase& database);

// The reach of the map file at `path` loaded into `database`.
MapFileReach ReachOfMapFile(const char* path, const MapDatabase& database);

// True when the data of `entry` does not lie wholly within the file.
bool LiesBeyondEnd(const ParcelEntry& entry, const MapFileReach& reach);

// A parcel walk's count of the parcels that lie beyond the end of the file.
struct BeyondEndCount {
  MapFileReach reach;
  uint32_t count;
};
// The visit of such a walk; `context` is a BeyondEndCount.
bool CountIfBeyondEnd(void* context, const ParcelEntry& entry);

// Walks the whole index of every level: 0 when every parcel table can be
// read and every parcel's data lies within the file; else prints what is
// wrong and returns 1. The walk of a large map takes milliseconds.
int CheckEveryParcel(const char* path, const MapDatabase& database);

// The messages of a level whose index cannot be walked; each returns 1.
int ReportUnreadableTable(const char* path, int level);
int ReportOverlongIndex(const char* path, int level);

// Prints that `count` parcels lie beyond the end of the file; returns 1.
int ReportParcelsBeyondEnd(const char* path, uint32_t count, const MapFileReach& reach);
