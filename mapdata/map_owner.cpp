#include "mapdata/map_owner.h"

#include <cstring>

#include "mapdata/parcel_index.h"

MapDataOwner::MapDataOwner(const char* mapPath) {
  // A path too long for a block cannot be read; Load then fails.
  if (mapPath != nullptr && std::strlen(mapPath) < sizeof(path)) {
    std::strcpy(path, mapPath);
    hasPath = true;
  } else if (mapPath != nullptr) {
    loadTried = true;
  }
}

// Parcels still held by no one are freed; a parcel still held by someone
// would outlive the owner, which the owner's users rule out.
MapDataOwner::~MapDataOwner() {
  roadPool.ReleaseAll();
  backgroundPool.ReleaseAll();
  namePool.ReleaseAll();
}

int MapDataOwner::Load() {
  if (!loadTried) {
    loadTried = true;
    loadResult = LoadMapDatabase(&database, &blocks, hasPath ? path : nullptr);
  }
  return loadResult;
}

ParcelSource MapDataOwner::Source() const {
  const ManagementHeader* header = database.GetManagementHeader();
  return ParcelSource{&blocks, database.MapPath(), header == nullptr ? 0u : header->blockSize};
}
