// tevo-logtool parcels: lists the parcels that the map reader finds for a
// view, exactly as the renderer would get them.
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mapdata/map_owner.h"
#include "mapdata/parcel_index.h"
#include "tools/logtool/commands.h"
#include "tools/logtool/map_file_checks.h"

namespace {

constexpr const char* SYNOPSIS = "parcels FILE X Y HALFWIDTH HALFHEIGHT LEVELCODE";

void PrintHelp() {
  std::printf(
      "usage: tevo-logtool %s\n"
      "\n"
      "Loads the map database FILE and lists the parcels of level LEVELCODE that\n"
      "touch the rectangle (X +- HALFWIDTH, Y +- HALFHEIGHT), all in map units\n"
      "(1/128 arc-second, 460800 per degree; X longitude, Y latitude):\n"
      "  list levelCode=62 levelIndex=0 count=3\n"
      "  entry 0 x0=... y0=... width=... height=... xDiv=16 yDiv=16 piece=0x0000 address=0x00000602 size=2\n"
      "or the single line \"null\" when no parcel is found. Every parcel and piece\n"
      "with data is listed, up to %u entries; a list cut short there (or by a\n"
      "damaged index) is printed as far as it goes and the status is 1.\n",
      SYNOPSIS, PARCEL_LIST_MAX_ENTRIES);
}

// A whole decimal number within [low, high].
bool ParseInteger(const char* text, long long low, long long high, long long* value) {
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

void PrintList(const ParcelList* list) {
  if (list == nullptr) {
    std::printf("null\n");
    return;
  }
  std::printf("list levelCode=%u levelIndex=%u count=%u\n", list->levelCode, list->levelIndex, list->count);
  for (uint16_t i = 0; i < list->count; ++i) {
    const ParcelEntry& e = list->entries[i];
    std::printf("entry %u x0=%" PRId32 " y0=%" PRId32 " width=%" PRId32 " height=%" PRId32
                " xDiv=%u yDiv=%u piece=0x%04X address=0x%08" PRIX32 " size=%" PRIu32 "\n",
                i, e.x0, e.y0, e.width, e.height, e.xDiv, e.yDiv, e.piece, e.address, e.size);
  }
}

}  // namespace

int RunParcels(int argc, char** argv) {
  if (argc >= 1 && (std::strcmp(argv[0], "-h") == 0 || std::strcmp(argv[0], "--help") == 0)) {
    PrintHelp();
    return 0;
  }
  if (argc != 6) return LogtoolUsage(SYNOPSIS);
  long long numbers[5];
  const long long highs[5] = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, UINT16_MAX};
  const long long lows[5] = {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, 0};
  for (int i = 0; i < 5; ++i) {
    if (!ParseInteger(argv[i + 1], lows[i], highs[i], &numbers[i])) {
      LogtoolFail("'%s' is not a valid number here", argv[i + 1]);
      return LogtoolUsage(SYNOPSIS);
    }
  }
  const char* path = argv[0];
  if (CheckMapFile(path) != 0) return 1;
  MapDataOwner map(path);
  if (map.Load() != 0) {
    return LogtoolFail("cannot read map file %s (shorter than its 4096-byte header, or path too long)", path);
  }
  const MapDatabase& database = *map.Database();
  // A damaged index or parcels beyond the end of the file make the list
  // describe what the reader sees, not the map as it was written.
  int status = CheckMapIndex(path, database);
  if (status == 0) status = CheckEveryParcel(path, map);
  if (status == 0) {
    const MapCoord center{static_cast<int32_t>(numbers[0]), static_cast<int32_t>(numbers[1])};
    ParcelList* list = FindParcels(&map, &center, static_cast<int32_t>(numbers[2]), static_cast<int32_t>(numbers[3]),
                                   static_cast<uint16_t>(numbers[4]));
    PrintList(list);
    if (list != nullptr && list->incomplete) {
      status = LogtoolFail("the list of %s stops at %u entries: more parcels touch the rectangle", path, list->count);
    }
    FreeParcelList(list);
  }
  return status;
}
