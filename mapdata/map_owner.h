// The program's one owner of the map data: the map database (management
// header, section directory, parcel index), the block cache the map file is
// read through and the three pools of decoded parcels, all members of the
// owner. A program creates one owner, hands it to every renderer and tool
// that reads the map, and destroys it after the last of them (and anything
// else that holds blocks or parcels) is gone.
//
// What several threads touch, and how:
// - The map database is written only by the owner's first Load. The
//   program makes that call before any thread that reads the map starts:
//   a renderer calls it when it is constructed, on the thread that makes
//   it, before its worker exists. After it the database is only read, until
//   the owner is destroyed: by the renderers' workers (FindParcels, the
//   level entries of a frame, GetMapFlags) and by the map screen's thread
//   (PanTo asks IsInsideMap). Confined by that order, it has no lock.
// - Each pool of decoded parcels has a lock of its own; AcquireRoads,
//   AcquireBackground, AcquireNames and their releases take it, so several
//   workers may acquire and release the same parcels. A parcel is decoded
//   under its pool's lock, which takes the block cache's lock beneath it.
// - The block cache has a lock of its own (block_cache.h), taken by every
//   OpenBlock and ReleaseBlock; a block handed out is read by its one holder.
// - Decoded parcels are read-only while held: every holder only reads them.
#pragma once

#include "mapdata/block_cache.h"
#include "mapdata/map_database.h"
#include "mapdata/parcel_header.h"
#include "mapdata/parcel_pool.h"

class MapDataOwner {
 public:
  // Remembers the map file `path` (a host path; null: the device file) and
  // loads nothing yet.
  explicit MapDataOwner(const char* path = nullptr);
  // Frees the pools' parcels, the map database and the cached blocks.
  ~MapDataOwner();
  MapDataOwner(const MapDataOwner&) = delete;
  MapDataOwner& operator=(const MapDataOwner&) = delete;

  // Loads the map's management data into the map database on the first
  // call (see LoadMapDatabase); later calls change nothing and return the
  // first call's result: 0, or -1 when the map file could not be read.
  int Load();

  // The map database: empty until Load, read-only after it.
  const MapDatabase* Database() const { return &database; }
  // The block cache the map file is read through (it has its own lock).
  BlockCache* Blocks() const { return &blocks; }
  // Where parcel data is read from: the loaded map file through the cache.
  ParcelSource Source() const;

  ParcelPool& RoadPool() { return roadPool; }
  ParcelPool& BackgroundPool() { return backgroundPool; }
  ParcelPool& NamePool() { return namePool; }

 private:
  // Declared in the order they depend on each other: the pools' parcels go
  // first, the cached blocks last.
  mutable BlockCache blocks;
  MapDatabase database;
  ParcelPool roadPool;
  ParcelPool backgroundPool;
  ParcelPool namePool;
  char path[BLOCK_PATH_CAPACITY] = {};
  bool hasPath = false;
  bool loadTried = false;
  int loadResult = -1;
};
