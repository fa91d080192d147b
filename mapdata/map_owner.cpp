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

MapDataOwner::~MapDataOwner() {
  MapDatabase::Destroy();
  DestroyBlockCache();
}

int MapDataOwner::Load() {
  if (!loadTried) {
    loadTried = true;
    loadResult = LoadMapDatabase(hasPath ? path : nullptr);
  }
  return loadResult;
}

MapDatabase* MapDataOwner::Database() const { return MapDatabase::Instance(); }
