// tevo-logtool mapinfo: describes a map database as the map reader sees it.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "mapdata/block_cache.h"
#include "mapdata/map_layout.h"
#include "mapdata/parcel_index.h"
#include "tools/logtool/commands.h"
#include "tools/logtool/map_file_checks.h"

namespace {

constexpr const char* SYNOPSIS = "mapinfo FILE";

void PrintHelp() {
  std::printf(
      "usage: tevo-logtool %s\n"
      "\n"
      "Loads the map database FILE with the viewer's own reader and prints its\n"
      "management header (block size, flags, extent in degrees), its levels (level\n"
      "code; block, sub-block and parcel grids as rows x columns; piece grids of\n"
      "split kinds 1..3; the five display-scale thresholds) and, found by walking\n"
      "each level's whole index, its parcels with data, split parcels and pieces.\n"
      "A file that is not a readable map, or one whose parcels reach beyond its end,\n"
      "gives a message and exit status 1.\n",
      SYNOPSIS);
}

double Degrees(int32_t units) { return static_cast<double>(units) / MAP_UNITS_PER_DEGREE; }

void PrintLevel(const ParcelIndex& index, int i, const ParcelWalk& walk) {
  const LevelEntry& level = index.levels[i];
  std::printf("level %d code=%u blocks=%ux%u subBlocks=%ux%u parcels=%ux%u pieces=%u,%u,%u", i, level.levelCode,
              level.blockRows, level.blockColumns, level.subBlockRows, level.subBlockColumns, level.parcelRows,
              level.parcelColumns, level.pieceGrid[0], level.pieceGrid[1], level.pieceGrid[2]);
  std::printf(" thresholds=%" PRIu32 ",%" PRIu32 ",%" PRIu32 ",%" PRIu32 ",%" PRIu32, level.thresholds[0],
              level.thresholds[1], level.thresholds[2], level.thresholds[3], level.thresholds[4]);
  std::printf(" parcelCount=%" PRIu32 " splitCount=%" PRIu32 " pieceCount=%" PRIu32 "\n",
              walk.wholeParcels + walk.splitParcels, walk.splitParcels, walk.pieces);
}

// Prints everything; returns the exit status.
int Describe(const char* path) {
  const MapDatabase* database = MapDatabase::Instance();
  const ManagementHeader* header = database->GetManagementHeader();
  const ParcelIndex* index = database->GetParcelIndex();
  if (header == nullptr) return LogtoolFail("%s: the management header cannot be read", path);
  std::printf("map %s\n", path);
  // The text fields at the start of the file (title, description, the
  // program that wrote it, attributions), where a map carries them.
  size_t at = 0;
  for (size_t i = 0; i < HEADER_TEXT_FIELDS; at += HEADER_TEXT_FIELD_BYTES[i++]) {
    const char* text = reinterpret_cast<const char*>(header->text + at);
    const size_t length = strnlen(text, HEADER_TEXT_FIELD_BYTES[i]);
    if (length > 0) std::printf("text%zu %.*s\n", i, static_cast<int>(length), text);
  }
  std::printf("blockSize %u\n", header->blockSize);
  std::printf("flags 0x%04X bit15=%d bit14=%d\n", header->flags, (header->flags >> 15) & 1, (header->flags >> 14) & 1);
  std::printf("headerExtent %.6f %.6f %.6f %.6f\n", Degrees(header->extent[0]), Degrees(header->extent[1]),
              Degrees(header->extent[2]), Degrees(header->extent[3]));
  if (index == nullptr) return LogtoolFail("%s: no parcel index (damaged or not a map database)", path);
  std::printf("extent west=%.6f south=%.6f east=%.6f north=%.6f\n", Degrees(index->west), Degrees(index->south),
              Degrees(index->east), Degrees(index->north));
  std::printf("levels %u\n", index->levelCount);
  if (header->blockSize == 0) return LogtoolFail("%s: block size 0 (damaged or not a map database)", path);
  if (index->levelCount == 0) return LogtoolFail("%s: no levels (damaged or not a map database)", path);
  const InclusiveRect everything{index->west, index->south, index->east, index->north};
  int status = 0;
  BeyondEndCount check{ReachOfMapFile(path, *database), 0};
  for (int i = 0; i < index->levelCount; ++i) {
    ParcelWalk walk{CountIfBeyondEnd, &check, 0, 0, 0, 0, false};
    if (WalkParcels(*index, i, everything, &walk) != 0) {
      status = ReportUnreadableTable(path, i);
    } else if (walk.truncated) {
      status = ReportOverlongIndex(path, i);
    }
    PrintLevel(*index, i, walk);
  }
  // What lies past the end of the file reads as zeros: the counts above
  // then describe what the reader sees, not the map as it was written.
  if (check.count > 0) status = ReportParcelsBeyondEnd(path, check.count, check.reach);
  return status;
}

}  // namespace

int RunMapinfo(int argc, char** argv) {
  if (argc >= 1 && (std::strcmp(argv[0], "-h") == 0 || std::strcmp(argv[0], "--help") == 0)) {
    PrintHelp();
    return 0;
  }
  if (argc != 1) return LogtoolUsage(SYNOPSIS);
  const char* path = argv[0];
  if (CheckMapFile(path) != 0) return 1;
  int status;
  if (LoadMapDatabase(path) != 0) {
    status = LogtoolFail("cannot read map file %s (shorter than its 4096-byte header, or path too long)", path);
  } else {
    status = Describe(path);
  }
  MapDatabase::Destroy();
  DestroyBlockCache();
  return status;
}
