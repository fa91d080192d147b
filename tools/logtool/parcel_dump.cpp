// The decoded content of one parcel as text: its roads, background
// features and names, as "tevo-logtool dump" prints them. Each parcel is
// acquired and released through the map database's pools.
#include "tools/logtool/parcel_dump.h"

#include <cinttypes>
#include <string>

#include "mapdata/background_records.h"
#include "mapdata/map_layout.h"
#include "mapdata/name_records.h"
#include "mapdata/parcel_header.h"
#include "mapdata/road_records.h"
#include "platform/unicode.h"

namespace {

// True for the characters a JSON string escapes: the quote, the backslash
// and the control characters (C0, DEL and C1).
bool NeedsEscape(char16_t c) { return c == '"' || c == '\\' || c < 0x20 || (c >= 0x7F && c <= 0x9F); }

void AppendEscape(std::string *json, char16_t c) {
  switch (c) {
    case '"':
      *json += "\\\"";
      return;
    case '\\':
      *json += "\\\\";
      return;
    case '\r':
      *json += "\\r";
      return;
    case '\n':
      *json += "\\n";
      return;
    case '\t':
      *json += "\\t";
      return;
    default:
      break;
  }
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
  *json += escape;
}

// The JSON string of `charCount` UTF-16LE characters at `text`, or "null"
// without text. Runs between escaped characters go out as UTF-8, with
// surrogate pairs joined and lone surrogates as U+FFFD.
std::string NameTextJson(const uint8_t *text, uint32_t charCount) {
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

std::string Hex(const uint8_t *bytes, uint32_t count) {
  std::string out;
  char pair[3];
  for (uint32_t i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    out += pair;
  }
  return out;
}

// --- Roads ---

void PrintSegment(FILE *out, int k, const ShapeSegment &segment) {
  std::fprintf(out, "        seg %d n=%u pts=%d,%d", k, segment.deltaCount, segment.x, segment.y);
  int16_t x = segment.x, y = segment.y;
  for (uint32_t d = 0; d < segment.deltaCount; ++d) {
    x = static_cast<int16_t>(x + segment.deltas[2 * d]);
    y = static_cast<int16_t>(y + segment.deltas[2 * d + 1]);
    std::fprintf(out, " %d,%d", x, y);
  }
  std::fprintf(out, "\n");
}

void PrintRoadGroup(FILE *out, int row, const RoadGroup &group) {
  if (group.groupOffset == EMPTY_ROAD_GROUP || group.objectCount == 0) {
    std::fprintf(out, "    group %d empty\n", row);
    return;
  }
  std::fprintf(out,
               "    group %d flags=0x%04X objectCount=%u decodedCount=%d "
               "drawClass=%u alternate=%u\n",
               row, group.groupFlags, group.objectCount, group.decodedCount, group.drawClass, group.alternate);
  for (int i = 0; i < group.decodedCount && group.objects != nullptr; ++i) {
    int segments = 0;
    for (const ShapeSegment *s = group.objects[i]; s != nullptr; s = s->next) ++segments;
    const uint16_t attributes = group.objectAttributes != nullptr ? group.objectAttributes[i] : 0;
    std::fprintf(out, "      object %d attributes=0x%04X segments=%d\n", i, attributes, segments);
    int k = 0;
    for (const ShapeSegment *s = group.objects[i]; s != nullptr; s = s->next) PrintSegment(out, k++, *s);
  }
}

// --- Background ---

void PrintItem(FILE *out, int i, const FeatureItem &item) {
  std::fprintf(out,
               "        item %d header=0x%04X class=%u pointCount=%u "
               "typeCode=%u flags=0x%04X",
               i, item.itemHeader, item.itemClass, item.pointCount, item.typeCode, item.itemFlags);
  if (item.points == nullptr) {
    std::fprintf(out, " points=none\n");
    return;
  }
  std::fprintf(out, " pts=");
  for (uint32_t p = 0; p < item.pointCount; ++p) {
    std::fprintf(out, "%s%d,%d%s", p == 0 ? "" : " ", item.points[p].x, item.points[p].y,
                 item.points[p].toggle ? "*" : "");
  }
  std::fprintf(out, "\n");
}

void PrintFeatureClass(FILE *out, int slot, const FeatureClass &featureClass) {
  if (featureClass.classPresence == 0 && featureClass.classOffset == 0) return;
  std::fprintf(out, "    class %d offset=%" PRIu32 " presence=%d groups=%u\n", slot, featureClass.classOffset,
               featureClass.classPresence, featureClass.groupCount);
  if (featureClass.groups == nullptr || featureClass.groupWords == nullptr) return;
  for (int g = 0; g < featureClass.groupCount; ++g) {
    const uint16_t word = featureClass.groupWords[g];
    const FeatureGroup &group = featureClass.groups[g];
    std::fprintf(out, "      group %d word=0x%04X kind=%d run=%d items=%u\n", g, word,
                 (word >> FEATURE_KIND_SHIFT) & FEATURE_KIND_MAX, (word & FEATURE_RUN_TABLE) != 0, group.itemCount);
    for (int i = 0; i < group.itemCount && group.items != nullptr; ++i) PrintItem(out, i, group.items[i]);
  }
}

// --- Names ---

void PrintRecord(FILE *out, int r, const NameRecord &record) {
  std::fprintf(out, "      record %d header=0x%04X attributes=0x%04X class=%u", r, record.recordHeader,
               record.attributes, record.classCode);
  const int type = (record.attributes >> NAME_TYPE_SHIFT) & NAME_TYPE_MASK;
  if ((record.recordHeader & NAME_RECORD_SKIPPED) != 0 || type < NAME_TYPE_POINT || type > NAME_TYPE_LINE) {
    std::fprintf(out, " skipped\n");
    return;
  }
  std::fprintf(out, " type=%d style=0x%04X xy=%d,%d anchor=%d,%d charCount=%" PRIu32 " text=%s extra1=%u extra2=%u",
               type, record.style, record.x, record.y, record.anchorA, record.anchorB, record.charCount,
               NameTextJson(record.text, record.charCount).c_str(), record.extra1, record.extra2);
  if (type == NAME_TYPE_LINE && record.placement != nullptr) {
    std::fprintf(out, " placement=%s offsets=%s", Hex(record.placement, record.charCount).c_str(),
                 Hex(record.placementOffsets, 2u * record.offsetCount).c_str());
  }
  std::fprintf(out, "\n");
}

// Prints one kind of a parcel: its lines when the kind decodes, else
// "<label> null". The parcel is held while it is printed.
template <typename Parcel>
void PrintKind(FILE *out, const ParcelEntry &entry, const char *label, Parcel *(*acquire)(const ParcelEntry &),
               int (*release)(Parcel *), void (*print)(FILE *, const Parcel &)) {
  Parcel *parcel = acquire(entry);
  if (parcel == nullptr) {
    std::fprintf(out, "  %s null\n", label);
    return;
  }
  print(out, *parcel);
  release(parcel);
}

void PrintParcelLine(FILE *out, const ParcelEntry &entry, uint16_t levelCode) {
  std::fprintf(out,
               "parcel L%u x0=%d y0=%d width=%d height=%d xDiv=%u yDiv=%u "
               "piece=0x%04X address=0x%08" PRIX32 " size=%" PRIu32 "\n",
               levelCode, entry.x0, entry.y0, entry.width, entry.height, entry.xDiv, entry.yDiv, entry.piece,
               entry.address, entry.size);
}

}  // namespace

void PrintRoadParcel(FILE *out, const RoadParcel &roads) {
  std::fprintf(out, "  roads groupCount=%u valueA=%u valueB=%u\n", roads.groupCount, roads.valueA, roads.valueB);
  for (int row = 0; row < roads.groupCount && row < ROAD_GROUP_SLOTS; ++row)
    PrintRoadGroup(out, row, roads.groups[row]);
}

void PrintBackgroundParcel(FILE *out, const BackgroundParcel &background) {
  std::fprintf(out, "  background tableWords=%u\n", background.tableWords);
  for (int slot = 0; slot < FEATURE_CLASS_SLOTS; ++slot) PrintFeatureClass(out, slot, background.classes[slot]);
}

void PrintNameParcel(FILE *out, const NameParcel &names) {
  std::fprintf(out, "  names directoryBytes=%" PRIu32 " groupCount=%u\n", names.directoryBytes, names.groupCount);
  for (int g = 0; g < names.groupCount && g < NAME_GROUP_SLOTS; ++g) {
    const NameGroup &group = names.groups[g];
    std::fprintf(out, "    group %d offset=%u recordCount=%u%s\n", g, group.groupOffset, group.recordCount,
                 group.records == nullptr || group.recordCount == 0 ? " records=none" : "");
    for (int r = 0; r < group.recordCount && group.records != nullptr; ++r) PrintRecord(out, r, group.records[r]);
  }
}

void PrintUnreadableParcel(FILE *out, const ParcelEntry &entry, uint16_t levelCode) {
  PrintParcelLine(out, entry, levelCode);
  std::fprintf(out, "  unreadable\n");
}

void PrintParcelDump(FILE *out, const ParcelEntry &entry, uint16_t levelCode) {
  ParcelHeader header;
  MapBlock *data = ReadParcelHeader(entry, &header);
  if (data == nullptr) {
    PrintUnreadableParcel(out, entry, levelCode);
    return;
  }
  PrintParcelLine(out, entry, levelCode);
  ReleaseBlock(data);
  PrintKind(out, entry, "roads", AcquireRoads, ReleaseRoads, PrintRoadParcel);
  PrintKind(out, entry, "background", AcquireBackground, ReleaseBackground, PrintBackgroundParcel);
  PrintKind(out, entry, "names", AcquireNames, ReleaseNames, PrintNameParcel);
}
