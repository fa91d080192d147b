// tevo-logtool dump: prints the decoded content of every parcel of every
// level of a map database, as the viewer's own decoders read it.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mapdata/background_records.h"
#include "mapdata/map_owner.h"
#include "mapdata/name_records.h"
#include "mapdata/parcel_header.h"
#include "mapdata/parcel_index.h"
#include "mapdata/road_records.h"
#include "platform/unicode.h"
#include "tools/logtool/commands.h"

namespace {

constexpr const char* SYNOPSIS = "dump MAP.KWI";
constexpr uint16_t NAME_RECORD_SKIPPED = 0x8000;
constexpr int NAME_TYPE_SHIFT = 8;
constexpr uint16_t NAME_TYPE_MASK = 7;
constexpr int GROUP_KIND_MASK = 3;

void PrintHelp() {
  std::printf(
      "usage: tevo-logtool %s\n"
      "\n"
      "Loads the map database MAP.KWI with the viewer's own reader and prints, for\n"
      "every level in index order and every parcel of it in scan order (south to\n"
      "north, west to east; pieces of a split parcel in scan order), the decoded\n"
      "roads, background features and names, one line per item, two spaces of\n"
      "indent per nesting step. A parcel whose data cannot be read is shown as\n"
      "\"unreadable\"; a section that is absent or cannot be decoded as \"null\".\n"
      "Exit status 0 when the map opened (damaged parcels included), 1 when it\n"
      "cannot be opened.\n",
      SYNOPSIS);
}

// True for the characters a JSON string escapes: the quote, the backslash
// and the control characters (C0, DEL and C1).
bool NeedsEscape(char16_t c) { return c == '"' || c == '\\' || c < 0x20 || (c >= 0x7F && c <= 0x9F); }

void AppendEscape(std::string* out, char16_t c) {
  switch (c) {
    case '"': *out += "\\\""; return;
    case '\\': *out += "\\\\"; return;
    case '\r': *out += "\\r"; return;
    case '\n': *out += "\\n"; return;
    case '\t': *out += "\\t"; return;
    default: break;
  }
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
  *out += escape;
}

// The JSON string of `charCount` UTF-16LE characters at `text`, or "null"
// without text. Runs between escaped characters go out as UTF-8, with
// surrogate pairs joined and lone surrogates as U+FFFD.
std::string NameTextJson(const uint8_t* text, uint32_t charCount) {
  if (text == nullptr) return "null";
  std::string out = "\"";
  std::u16string run;
  for (uint32_t i = 0; i < charCount; ++i) {
    const char16_t c = static_cast<char16_t>(text[2 * i] | (text[2 * i + 1] << 8));
    if (!NeedsEscape(c)) {
      run.push_back(c);
      continue;
    }
    out += Utf16ToUtf8(run);
    run.clear();
    AppendEscape(&out, c);
  }
  return out + Utf16ToUtf8(run) + "\"";
}

std::string Hex(const uint8_t* bytes, uint32_t count) {
  std::string out;
  char pair[3];
  for (uint32_t i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    out += pair;
  }
  return out;
}

// --- Roads ---

void PrintSegment(int k, const ShapeSegment& segment) {
  std::printf("        seg %d n=%u pts=%d,%d", k, segment.deltaCount, segment.x, segment.y);
  int16_t x = segment.x, y = segment.y;
  for (uint32_t d = 0; d < segment.deltaCount; ++d) {
    x = static_cast<int16_t>(x + segment.deltas[2 * d]);
    y = static_cast<int16_t>(y + segment.deltas[2 * d + 1]);
    std::printf(" %d,%d", x, y);
  }
  std::printf("\n");
}

void PrintRoadGroup(int row, const RoadGroup& group) {
  if (group.groupOffset == EMPTY_ROAD_GROUP || group.objectCount == 0) {
    std::printf("    group %d empty\n", row);
    return;
  }
  std::printf("    group %d flags=0x%04X objectCount=%u decodedCount=%d drawClass=%u alternate=%u\n", row,
              group.groupFlags, group.objectCount, group.decodedCount, group.drawClass, group.alternate);
  for (int i = 0; i < group.decodedCount && group.objects != nullptr; ++i) {
    int segments = 0;
    for (const ShapeSegment* s = group.objects[i]; s != nullptr; s = s->next) ++segments;
    const uint16_t attributes = group.objectAttributes != nullptr ? group.objectAttributes[i] : 0;
    std::printf("      object %d attributes=0x%04X segments=%d\n", i, attributes, segments);
    int k = 0;
    for (const ShapeSegment* s = group.objects[i]; s != nullptr; s = s->next) PrintSegment(k++, *s);
  }
}

void PrintRoads(const ParcelEntry& entry) {
  RoadParcel* roads = AcquireRoads(entry);
  if (roads == nullptr) {
    std::printf("  roads null\n");
    return;
  }
  std::printf("  roads groupCount=%u valueA=%u valueB=%u\n", roads->groupCount, roads->valueA, roads->valueB);
  for (int row = 0; row < roads->groupCount && row < ROAD_GROUP_SLOTS; ++row) PrintRoadGroup(row, roads->groups[row]);
  ReleaseRoads(roads);
}

// --- Background ---

void PrintItem(int i, const FeatureItem& item) {
  std::printf("        item %d header=0x%04X class=%u pointCount=%u typeCode=%u flags=0x%04X", i, item.itemHeader,
              item.itemClass, item.pointCount, item.typeCode, item.itemFlags);
  if (item.points == nullptr) {
    std::printf(" points=none\n");
    return;
  }
  std::printf(" pts=");
  for (uint32_t p = 0; p < item.pointCount; ++p) {
    std::printf("%s%d,%d%s", p == 0 ? "" : " ", item.points[p].x, item.points[p].y, item.points[p].toggle ? "*" : "");
  }
  std::printf("\n");
}

void PrintFeatureClass(int slot, const FeatureClass& featureClass) {
  if (featureClass.classPresence == 0 && featureClass.classOffset == 0) return;
  std::printf("    class %d offset=%" PRIu32 " presence=%d groups=%u\n", slot, featureClass.classOffset,
              featureClass.classPresence, featureClass.groupCount);
  if (featureClass.groups == nullptr || featureClass.groupWords == nullptr) return;
  for (int g = 0; g < featureClass.groupCount; ++g) {
    const uint16_t word = featureClass.groupWords[g];
    const FeatureGroup& group = featureClass.groups[g];
    std::printf("      group %d word=0x%04X kind=%d run=%d items=%u\n", g, word, (word >> FEATURE_KIND_SHIFT) & GROUP_KIND_MASK,
                (word & FEATURE_RUN_TABLE) != 0, group.itemCount);
    for (int i = 0; i < group.itemCount && group.items != nullptr; ++i) PrintItem(i, group.items[i]);
  }
}

void PrintBackground(const ParcelEntry& entry) {
  BackgroundParcel* background = AcquireBackground(entry);
  if (background == nullptr) {
    std::printf("  background null\n");
    return;
  }
  std::printf("  background tableWords=%u\n", background->tableWords);
  for (int slot = 0; slot < FEATURE_CLASS_SLOTS; ++slot) PrintFeatureClass(slot, background->classes[slot]);
  ReleaseBackground(background);
}

// --- Names ---

void PrintRecord(int r, const NameRecord& record) {
  std::printf("      record %d header=0x%04X attributes=0x%04X class=%u", r, record.recordHeader, record.attributes,
              record.classCode);
  const int type = (record.attributes >> NAME_TYPE_SHIFT) & NAME_TYPE_MASK;
  if ((record.recordHeader & NAME_RECORD_SKIPPED) != 0 || type < NAME_TYPE_POINT || type > NAME_TYPE_LINE) {
    std::printf(" skipped\n");
    return;
  }
  std::printf(" type=%d style=0x%04X xy=%d,%d anchor=%d,%d charCount=%" PRIu32 " text=%s extra1=%u extra2=%u", type,
              record.style, record.x, record.y, record.anchorA, record.anchorB, record.charCount,
              NameTextJson(record.text, record.charCount).c_str(), record.extra1, record.extra2);
  if (type == NAME_TYPE_LINE && record.placement != nullptr) {
    std::printf(" placement=%s offsets=%s", Hex(record.placement, record.charCount).c_str(),
                Hex(record.placementOffsets, 2u * record.offsetCount).c_str());
  }
  std::printf("\n");
}

void PrintNames(const ParcelEntry& entry) {
  NameParcel* names = AcquireNames(entry);
  if (names == nullptr) {
    std::printf("  names null\n");
    return;
  }
  std::printf("  names directoryBytes=%" PRIu32 " groupCount=%u\n", names->directoryBytes, names->groupCount);
  for (int g = 0; g < names->groupCount && g < NAME_GROUP_SLOTS; ++g) {
    const NameGroup& group = names->groups[g];
    std::printf("    group %d offset=%u recordCount=%u%s\n", g, group.groupOffset, group.recordCount,
                group.records == nullptr || group.recordCount == 0 ? " records=none" : "");
    for (int r = 0; r < group.recordCount && group.records != nullptr; ++r) PrintRecord(r, group.records[r]);
  }
  ReleaseNames(names);
}

// --- Parcels and levels ---

void PrintParcel(const ParcelEntry& entry, uint16_t levelCode) {
  std::printf("parcel L%u x0=%d y0=%d width=%d height=%d xDiv=%u yDiv=%u piece=0x%04X address=0x%08" PRIX32
              " size=%" PRIu32 "\n",
              levelCode, entry.x0, entry.y0, entry.width, entry.height, entry.xDiv, entry.yDiv, entry.piece,
              entry.address, entry.size);
  ParcelHeader header;
  MapBlock* data = ReadParcelHeader(entry, &header);
  if (data == nullptr) {
    std::printf("  unreadable\n");
    return;
  }
  ReleaseBlock(data);
  PrintRoads(entry);
  PrintBackground(entry);
  PrintNames(entry);
}

bool Collect(void* context, const ParcelEntry& entry) {
  static_cast<std::vector<ParcelEntry>*>(context)->push_back(entry);
  return true;
}

// Prints every level; returns the exit status.
int Dump(const char* path, const MapDatabase& database) {
  const ParcelIndex* index = database.GetParcelIndex();
  if (database.GetManagementHeader() == nullptr || index == nullptr) {
    return LogtoolFail("%s: no management header or parcel index (damaged or not a map database)", path);
  }
  const MapRect everything{index->west, index->south, index->east, index->north};
  for (int i = 0; i < index->levelCount; ++i) {
    std::vector<ParcelEntry> entries;
    ParcelWalk walk{Collect, &entries, 0, 0, 0, 0, false};
    if (WalkParcels(*index, i, everything, &walk) != 0) {
      std::fprintf(stderr, "tevo-logtool: %s: a parcel table of level %d cannot be read; its parcels are left out\n",
                   path, i);
    }
    const uint16_t levelCode = index->levels[i].levelCode;
    std::printf("level %d code=%u parcelEntries=%zu\n", i, levelCode, entries.size());
    for (const ParcelEntry& entry : entries) PrintParcel(entry, levelCode);
  }
  return 0;
}

}  // namespace

int RunDump(int argc, char** argv) {
  if (argc >= 1 && IsHelpOption(argv[0])) {
    PrintHelp();
    return 0;
  }
  if (argc != 1) return LogtoolUsage(SYNOPSIS);
  const char* path = argv[0];
  FILE* probe = std::fopen(path, "rb");
  if (probe == nullptr) return LogtoolFail("cannot open map file %s: %s", path, std::strerror(errno));
  std::fclose(probe);
  MapDataOwner owner(path);
  if (owner.Load() != 0 || owner.Database() == nullptr) {
    return LogtoolFail("cannot read map file %s (shorter than its 4096-byte header, or path too long)", path);
  }
  return Dump(path, *owner.Database());
}
