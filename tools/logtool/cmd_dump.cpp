// tevo-logtool dump: prints the decoded content of every parcel of every
// level of a map database, as the viewer's own decoders read it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "mapdata/map_owner.h"
#include "mapdata/parcel_index.h"
#include "tools/logtool/commands.h"
#include "tools/logtool/parcel_dump.h"

namespace {

constexpr const char *SYNOPSIS = "dump MAP.KWI";

void PrintHelp() {
  std::printf(
      "usage: tevo-logtool %s\n"
      "\n"
      "Loads the map database MAP.KWI with the viewer's own reader and prints, "
      "for\n"
      "every level in index order and every parcel of it in scan order (south "
      "to\n"
      "north, west to east; pieces of a split parcel in scan order), the "
      "decoded\n"
      "roads, background features and names, one line per item, two spaces of\n"
      "indent per nesting step. A parcel whose data cannot be read is shown "
      "as\n"
      "\"unreadable\"; a section that is absent or cannot be decoded as "
      "\"null\".\n"
      "Exit status 0 when the map opened (damaged parcels included), 1 when "
      "it\n"
      "cannot be opened.\n",
      SYNOPSIS);
}

bool Collect(void *context, const ParcelEntry &entry) {
  static_cast<std::vector<ParcelEntry> *>(context)->push_back(entry);
  return true;
}

// Prints every level; returns the exit status.
int Dump(const char *path, MapDataOwner *map) {
  const ParcelIndex *index = map->Database()->GetParcelIndex();
  if (map->Database()->GetManagementHeader() == nullptr || index == nullptr) {
    return LogtoolFail(
        "%s: no management header or parcel index (damaged or "
        "not a map database)",
        path);
  }
  const MapRect everything{index->west, index->south, index->east, index->north};
  for (int i = 0; i < index->levelCount; ++i) {
    std::vector<ParcelEntry> entries;
    ParcelWalk walk{Collect, &entries, 0, 0, 0, 0, false};
    if (WalkParcels(map, i, everything, &walk) != 0) {
      std::fprintf(stderr,
                   "tevo-logtool: %s: a parcel table of level %d cannot be "
                   "read; its parcels are left out\n",
                   path, i);
    }
    const uint16_t levelCode = index->levels[i].levelCode;
    std::printf("level %d code=%u parcelEntries=%zu\n", i, levelCode, entries.size());
    for (const ParcelEntry &entry : entries) PrintParcelDump(stdout, map, entry, levelCode);
  }
  return 0;
}

}  // namespace

int RunDump(int argc, char **argv) {
  if (argc >= 1 && IsHelpOption(argv[0])) {
    PrintHelp();
    return 0;
  }
  if (argc != 1) return LogtoolUsage(SYNOPSIS);
  const char *path = argv[0];
  FILE *probe = std::fopen(path, "rb");
  if (probe == nullptr) return LogtoolFail("cannot open map file %s: %s", path, std::strerror(errno));
  std::fclose(probe);
  MapDataOwner owner(path);
  if (owner.Load() != 0) {
    return LogtoolFail(
        "cannot read map file %s (shorter than its 4096-byte "
        "header, or path too long)",
        path);
  }
  return Dump(path, &owner);
}
