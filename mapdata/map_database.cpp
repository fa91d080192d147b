#include "mapdata/map_database.h"

#include <cstdlib>
#include <cstring>

MapDatabase::~MapDatabase() {
  std::free(managementHeader);
  std::free(sectionDirectory);
  FreeParcelIndex(parcelIndex);
}

void MapDatabase::SetManagementHeader(ManagementHeader* header) {
  if (header != managementHeader) std::free(managementHeader);
  managementHeader = header;
}

void MapDatabase::SetSectionDirectory(SectionDirectory* directory) {
  if (directory != sectionDirectory) std::free(sectionDirectory);
  sectionDirectory = directory;
}

void MapDatabase::SetParcelIndex(ParcelIndex* index) {
  if (index != parcelIndex) FreeParcelIndex(parcelIndex);
  parcelIndex = index;
}

int MapDatabase::SetMapPath(const char* path) {
  if (path == nullptr) path = "";
  if (std::strlen(path) >= sizeof(mapPath)) return -1;
  std::strcpy(mapPath, path);
  return 0;
}

void FreeParcelIndex(ParcelIndex* index) {
  if (index == nullptr) return;
  std::free(index->levels);
  std::free(index->extras);
  std::free(index);
}
