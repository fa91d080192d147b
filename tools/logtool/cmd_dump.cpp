// tevo-logtool dump: prints the decoded content of every parcel of every
// level of a map database, as the viewer's own decoders read it.
#include <cstdio>
#include <vector>

#include "mapdata/map_owner.h"
#include "mapdata/parcel_index.h"
#include "tools/logtool/commands.h"
#include "tools/logtool/map_file_checks.h"
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
      "A parcel whose data lies beyond the end of the file is shown as\n"
      "\"unreadable\" too. Exit status 0 when every parcel's data lies within the\n"
      "file (damaged sections included), 1 when the map cannot be opened, has no\n"
      "levels, or a parcel lies beyond the end of the file.\n",
      SYNOPSIS);
}

bool Collect(void *context, const ParcelEntry &entry) {
  static_cast<std::vector<ParcelEntry> *>(context)->push_back(entry);
  return true;
}

// Prints every level; returns the exit status. A parcel whose data lies
// beyond the end of the file is shown as unreadable rather than read as the
// zeros that stand in for it, and makes the dump a failure.
int Dump(const char *path, const MapDatabase &database) {
  if (CheckMapIndex(path, database) != 0) return 1;
  const ParcelIndex *index = database.GetParcelIndex();
  const MapFileReach reach = ReachOfMapFile(path, database);
  const InclusiveRect everything{index->west, index->south, index->east, index->north};
  int status = 0;
  uint32_t beyondEnd = 0;
  for (int i = 0; i < index->levelCount; ++i) {
    std::vector<ParcelEntry> entries;
    ParcelWalk walk{Collect, &entries, 0, 0, 0, 0, false};
    if (WalkParcels(*index, i, everything, &walk) != 0) {
      status = ReportUnreadableTable(path, i);
    } else if (walk.truncated) {
      status = ReportOverlongIndex(path, i);
    }
    const uint16_t levelCode = index->levels[i].levelCode;
    std::printf("level %d code=%u parcelEntries=%zu\n", i, levelCode, entries.size());
    for (const ParcelEntry &entry : entries) {
      if (LiesBeyondEnd(entry, reach)) {
        ++beyondEnd;
        PrintUnreadableParcel(stdout, entry, levelCode);
      } else {
        PrintParcelDump(stdout, entry, levelCode);
      }
    }
  }
  std::fflush(stdout);
  if (beyondEnd > 0) status = ReportParcelsBeyondEnd(path, beyondEnd, reach);
  return status;
}

}  // namespace

int RunDump(int argc, char **argv) {
  if (argc >= 1 && IsHelpOption(argv[0])) {
    PrintHelp();
    return 0;
  }
  if (argc != 1) return LogtoolUsage(SYNOPSIS);
  const char *path = argv[0];
  if (CheckMapFile(path) != 0) return 1;
  MapDataOwner owner(path);
  if (owner.Load() != 0 || owner.Database() == nullptr) {
    return LogtoolFail(
        "cannot read map file %s (shorter than its 4096-byte "
        "header, or path too long)",
        path);
  }
  return Dump(path, *owner.Database());
}
