// The program's one owner of the map data: the process-wide MapDatabase
// (management header, section directory, parcel index and the three pools of
// decoded parcels) and the block cache. A program creates one owner, hands it
// to every renderer it makes, and destroys it after the last renderer (and
// anything else that holds blocks or parcels) is gone. Renderers load the
// map through it but never create or tear down the map data themselves.
//
// What several threads touch, and how:
// - The management header, section directory and parcel index are written
//   only by the owner's first Load, which runs on the thread that makes the
//   first renderer before that renderer's worker starts; after it they are
//   only read (the worker's FindParcels, the map screen's IsInsideMap) until
//   the owner is destroyed. Confined by that order, without a lock.
// - Each pool of decoded parcels has a lock of its own; AcquireRoads,
//   AcquireBackground, AcquireNames and their releases take it, so several
//   workers may acquire and release the same parcels.
// - The block cache has its own lock (see block_cache.h).
// - Decoded parcels are read-only while held (name records' screenX and
//   screenY aside, which the drawing renderer writes).
#pragma once

#include "mapdata/block_cache.h"
#include "mapdata/map_database.h"

class MapDataOwner {
 public:
  // Remembers the map file `path` (a host path; null: the device file) and
  // loads nothing yet.
  explicit MapDataOwner(const char* path = nullptr);
  // Frees the map database with its pools and the block cache.
  ~MapDataOwner();
  MapDataOwner(const MapDataOwner&) = delete;
  MapDataOwner& operator=(const MapDataOwner&) = delete;

  // Loads the map's management data into the map database on the first
  // call (see LoadMapDatabase); later calls change nothing and return the
  // first call's result: 0, or -1 when the map file could not be read.
  int Load();

  // The process-wide map database; null only when memory ran out.
  MapDatabase* Database() const;

 private:
  char path[BLOCK_PATH_CAPACITY] = {};
  bool hasPath = false;
  bool loadTried = false;
  int loadResult = -1;
};
