#include "tools/logtool/map_file_checks.h"

#include <cerrno>
#include <cstdio>

#include <sys/stat.h>

#include "mapdata/block_cache.h"
#include "mapdata/parcel_index.h"
#include "platform/files.h"
#include "tools/logtool/commands.h"

int CheckMapFile(const char* path) {
  FILE* probe = OpenReadableFile(path);
  if (probe == nullptr) return LogtoolFail("cannot open map file %s: %s", path, OpenFailureText(errno));
  std::fclose(probe);
  return 0;
}

int CheckMapIndex(const char* path, const MapDatabase& database) {
  const ManagementHeader* header = database.GetManagementHeader();
  const ParcelIndex* index = database.GetParcelIndex();
  if (header == nullptr || index == nullptr) {
    return LogtoolFail("%s: no management header or parcel index (damaged or not a map database)", path);
  }
  if (header->blockSize == 0) return LogtoolFail("%s: block size 0 (damaged or not a map database)", path);
  if (index->levelCount == 0) return LogtoolFail("%s: no levels (damaged or not a map database)", path);
  // An index cut short reads as empty levels: no parcel would be found.
  const MapFileReach reach = ReachOfMapFile(path, database);
  if (uint64_t{index->areaOffset} + index->areaSize > reach.fileBytes) {
    return LogtoolFail("%s: the parcel index lies beyond the end of the file (%llu bytes; truncated or damaged)", path,
                       static_cast<unsigned long long>(reach.fileBytes));
  }
  return 0;
}

MapFileReach ReachOfMapFile(const char* path, const MapDatabase& database) {
  MapFileReach reach{0, 0};
  const ManagementHeader* header = database.GetManagementHeader();
  if (header != nullptr) reach.blockSize = header->blockSize;
  FILE* file = OpenReadableFile(path);
  if (file == nullptr) return reach;
  struct stat info;
  if (fstat(fileno(file), &info) == 0 && info.st_size > 0) reach.fileBytes = static_cast<uint64_t>(info.st_size);
  std::fclose(file);
  return reach;
}

bool LiesBeyondEnd(const ParcelEntry& entry, const MapFileReach& reach) {
  const uint64_t offset = SectorAddressToOffset(entry.address, reach.blockSize);
  const uint64_t end = offset + static_cast<uint64_t>(entry.size) * reach.blockSize;
  return end > reach.fileBytes;
}

bool CountIfBeyondEnd(void* context, const ParcelEntry& entry) {
  auto* beyond = static_cast<BeyondEndCount*>(context);
  if (LiesBeyondEnd(entry, beyond->reach)) ++beyond->count;
  return true;
}

int CheckEveryParcel(const char* path, const MapDatabase& database) {
  const ParcelIndex* index = database.GetParcelIndex();
  if (index == nullptr) return CheckMapIndex(path, database);
  BeyondEndCount beyond{ReachOfMapFile(path, database), 0};
  const InclusiveRect everything{index->west, index->south, index->east, index->north};
  int status = 0;
  for (int i = 0; i < index->levelCount; ++i) {
    ParcelWalk walk{CountIfBeyondEnd, &beyond, 0, 0, 0, 0, false};
    if (WalkParcels(*index, i, everything, &walk) != 0) {
      status = ReportUnreadableTable(path, i);
    } else if (walk.truncated) {
      status = ReportOverlongIndex(path, i);
    }
  }
  if (beyond.count > 0) status = ReportParcelsBeyondEnd(path, beyond.count, beyond.reach);
  return status;
}

int ReportUnreadableTable(const char* path, int level) {
  return LogtoolFail("%s: a parcel table of level %d cannot be read; its parcels are left out", path, level);
}

int ReportOverlongIndex(const char* path, int level) {
  return LogtoolFail("%s: the index of level %d holds more records than the file (damaged)", path, level);
}

int ReportParcelsBeyondEnd(const char* path, uint32_t count, const MapFileReach& reach) {
  return LogtoolFail("%s: %u parcels cannot be read: their data lies beyond the end of the file (%llu bytes; "
                     "truncated or damaged)",
                     path, count, static_cast<unsigned long long>(reach.fileBytes));
}
