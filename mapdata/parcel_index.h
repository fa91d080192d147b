// The map file's management data and parcel index: loading them into
// MapDatabase, and finding the parcels of a level that touch a rectangle.
//
// The map divides its extent into levels; each level into a grid of blocks,
// each block into a grid of sub-blocks, each sub-block into a grid of
// parcels, and a parcel may be split into S × S pieces. All file values are
// big-endian. Offsets, counts and grids read from the file are checked
// against the block that holds them: a damaged file yields fewer parcels or
// none, never a read outside a buffer or an endless scan.
#pragma once

#include <cstdint>

#include "geometry/types.h"
#include "mapdata/map_database.h"
#include "mapdata/map_layout.h"
#include "mapdata/parcel_list.h"

class MapDataOwner;

// A position in map units (see MAP_UNITS_PER_DEGREE).
struct MapCoord {
  int32_t x;
  int32_t y;
};

// Reads the management header, the section directory and the parcel index
// of the map file `path` (a host path; null: the device file) through
// `blocks` into `database`, each only when it is not loaded yet, and
// remembers the path for every later read of map data. A part that cannot
// be decoded stays missing (FindParcels then finds nothing) and is tried
// again on the next call. Returns 0, or -1 when the file's first 4096 bytes
// cannot be read or another file is loaded into `database` already.
// MapDataOwner::Load is the call programs make.
int LoadMapDatabase(MapDatabase* database, BlockCache* blocks, const char* path);

// The parcels of the level with `levelCode` of `map` that touch the rectangle
// center ± (halfWidth, halfHeight) (map units), in scan order: blocks,
// sub-blocks, parcels and pieces each row by row from south to north and
// west to east within a row. Every parcel and piece with data is listed,
// however many pieces split parcels bring (the list grows as it fills), up
// to PARCEL_LIST_MAX_ENTRIES; a list cut short there, or by a damaged index,
// is marked incomplete. Returns null when nothing is found, there is no such
// level or no parcel index, a parcel table cannot be read or memory runs
// out. Free the list with FreeParcelList.
ParcelList* FindParcels(const MapDataOwner* map, const MapCoord* center, int32_t halfWidth, int32_t halfHeight,
                        uint16_t levelCode);

// Frees a list from FindParcels; null is accepted. Returns 0.
int FreeParcelList(ParcelList* list);

// 1 when west <= x <= east and south <= y <= north of the map's parcel
// index, else 0 (also without a map or an index).
int IsInsideMap(const MapDataOwner* map, const MapCoord* point);

// Sets *bit15 and *bit14 (0 or 1) from the map's header flags and returns
// 0; returns -1 and leaves both untouched when no header is loaded.
int GetMapFlags(const MapDataOwner* map, int* bit15, int* bit14);

// The parcel index of the map, or null without a map or an index.
const ParcelIndex* LoadedParcelIndex(const MapDataOwner* map);

// Position of the first level entry with this code, or -1.
int FindLevel(const ParcelIndex& index, uint16_t levelCode);

// --- The scan under FindParcels, for tools that walk a whole level. ---

struct ParcelWalk {
  // Called for every parcel or piece with data, in scan order; returns true
  // to go on, false to end the walk.
  bool (*visit)(void* context, const ParcelEntry& entry);
  void* context;
  // Counted during the walk (start them at 0):
  uint32_t wholeParcels;  // whole parcels with data
  uint32_t splitParcels;  // split parcels, with or without pieces
  uint32_t pieces;        // pieces with data
  uint32_t recordsRead;   // index records read
  bool truncated;         // the walk stopped at its record budget
};

// Scans the parcels of level `levelIndex` of the map's parcel index that
// touch `query` (map units, bounds included). A walk reads at most one
// record per 6 bytes of the map file, as many as a file of that size can
// hold, so records shared by damaged tables cannot make it endless. Returns
// 0, or -1 when there is no such level, the parcel index area or a parcel
// table cannot be read.
int WalkParcels(const MapDataOwner* map, int levelIndex, const InclusiveRect& query, ParcelWalk* walk);
