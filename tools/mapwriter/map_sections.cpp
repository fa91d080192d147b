#include "tools/mapwriter/map_sections.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

// The largest offset word of a present group (EMPTY_*_GROUP marks an
// absent one).
constexpr uint32_t MAX_OFFSET_WORDS = 0xFFFE;

// Big-endian writes at any position of a growing byte vector; writing past
// the end extends it with zeros.
class SectionBytes {
 public:
  explicit SectionBytes(std::vector<uint8_t>* bytes) : bytes(bytes) { bytes->clear(); }
  uint32_t Size() const { return static_cast<uint32_t>(bytes->size()); }
  // Writes `width` bytes of `value` at `pos`; returns the position after them.
  uint32_t Put(uint32_t pos, uint32_t value, int width) {
    if (bytes->size() < pos + width) bytes->resize(pos + width, 0);
    for (int i = 0; i < width; ++i) (*bytes)[pos + i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
    return pos + width;
  }
  uint32_t Put8(uint32_t pos, uint32_t value) { return Put(pos, value, 1); }
  uint32_t Put16(uint32_t pos, uint32_t value) { return Put(pos, value, 2); }
  uint32_t Put32(uint32_t pos, uint32_t value) { return Put(pos, value, 4); }
  // Writes `count` zero bytes at `pos` (over whatever lies there).
  uint32_t Zeros(uint32_t pos, uint32_t count) {
    if (bytes->size() < pos + count) bytes->resize(pos + count, 0);
    std::fill(bytes->begin() + pos, bytes->begin() + pos + count, 0);
    return pos + count;
  }

 private:
  std::vector<uint8_t>* bytes;
};

// Keeps the first reason a description is refused.
class Refusal {
 public:
  explicit Refusal(std::string* error) : error(error) {}
  int Fail(const std::string& what) {
    if (error != nullptr) *error = what;
    return -1;
  }

 private:
  std::string* error;
};

// The stored word of a road or name coordinate (0..SECTION_MAX_ANCHOR):
// the value is (v & 0x1FFF) + (v >> 13) × 4096.
uint32_t AnchorWord(int32_t value) {
  const int32_t high = std::min(value / PARCEL_SPAN, static_cast<int32_t>(COORDINATE_SPAN_MASK));
  return (static_cast<uint32_t>(high) << COORDINATE_SPAN_SHIFT) | static_cast<uint32_t>(value - high * PARCEL_SPAN);
}

bool AnchorOk(const SectionPoint& p) {
  return p.x >= 0 && p.x <= SECTION_MAX_ANCHOR && p.y >= 0 && p.y <= SECTION_MAX_ANCHOR;
}

bool FitsInt8(int32_t value) { return value >= INT8_MIN && value <= INT8_MAX; }
bool FitsInt16(int32_t value) { return value >= INT16_MIN && value <= INT16_MAX; }

// The offset word of a position inside a section, counted from `base`
// (both even byte positions); false when it does not fit the 16-bit field.
bool OffsetWords(uint32_t pos, uint32_t base, uint32_t* words) {
  *words = (pos - base) / 2;
  return *words <= MAX_OFFSET_WORDS;
}

// ------------------------------------------------------------- Roads --

class RoadEncoder {
 public:
  RoadEncoder(std::vector<uint8_t>* bytes, std::string* error) : out(bytes), refusal(error) {}

  int Encode(const RoadSectionRecord& section) {
    if (section.groups.size() > ROAD_MAX_GROUPS) return refusal.Fail("more than 255 road groups");
    out.Zeros(0, ROAD_HEAD_BYTES);
    out.Put8(ROAD_GROUP_COUNT_OFFSET, static_cast<uint32_t>(section.groups.size()));
    uint32_t row = ROAD_HEAD_BYTES;
    out.Zeros(row, ROAD_GROUP_ROW_BYTES * static_cast<uint32_t>(section.groups.size()));
    for (const RoadGroupRecord& group : section.groups) {
      if (group.absent) {
        out.Put16(row, EMPTY_ROAD_GROUP);
        out.Put16(row + 2, 0);
      } else {
        uint32_t offset = 0;
        if (!OffsetWords(out.Size(), 0, &offset)) return refusal.Fail("road group beyond the 16-bit offset");
        if (group.objects.size() > 0xFFFF) return refusal.Fail("more than 65535 objects in a road group");
        out.Put16(row, offset);
        out.Put16(row + 2, static_cast<uint32_t>(group.objects.size()));
        if (EncodeGroup(group) != 0) return -1;
      }
      row += ROAD_GROUP_ROW_BYTES;
    }
    return 0;
  }

 private:
  int EncodeGroup(const RoadGroupRecord& group) {
    uint32_t pos = out.Put16(out.Size(), group.flags);
    for (const RoadObjectRecord& object : group.objects) {
      if (EncodeObject(group.flags, object, &pos) != 0) return -1;
    }
    return 0;
  }

  // Writes one object at *pos and moves *pos to where the next starts.
  int EncodeObject(uint16_t flags, const RoadObjectRecord& object, uint32_t* pos) {
    if (object.segments.size() > ROAD_MAX_SEGMENTS) return refusal.Fail("more than 2047 segments in a road object");
    if (object.tailWords && *object.tailWords > ROAD_MAX_TAIL_WORDS) return refusal.Fail("road tail beyond 15 bits");
    if (object.statedWords && *object.statedWords > ROAD_MAX_STATED_WORDS) {
      return refusal.Fail("road object length beyond 12 bits");
    }
    const uint32_t start = *pos;
    uint32_t at = out.Put32(start, 0);  // the header, once the fixed length is known
    at = out.Put16(at, static_cast<uint32_t>(object.segments.size()));
    at = out.Put16(at, 0);
    const bool hasField[3] = {!(flags & ROAD_GROUP_NO_FIELD_A), !(flags & ROAD_GROUP_NO_FIELD_B),
                              !(flags & ROAD_GROUP_NO_FIELD_C)};
    const uint16_t fields[3] = {object.fieldA, object.fieldB, object.fieldC};
    uint32_t skippedFieldBytes = 0;
    for (int f = 0; f < 3; ++f) {
      if (!hasField[f]) continue;
      at = out.Put16(at, fields[f]);
      skippedFieldBytes += 2u * fields[f];
    }
    at = out.Put16(at, object.attributes);
    if (object.attributes & ROAD_ATTR_FIELDS_4_2) at = out.Zeros(at, ROAD_ATTR_FIELDS_4_2_BYTES);
    if (object.attributes & ROAD_ATTR_FIELDS_2_2) at = out.Zeros(at, ROAD_ATTR_FIELDS_2_2_BYTES);
    if (object.attributes & ROAD_ATTR_FIELD_2) at = out.Zeros(at, ROAD_ATTR_FIELD_2_BYTES);
    if (object.tailWords) at = out.Put16(at, *object.tailWords);
    at = out.Zeros(at, 2u * object.fillWords);
    const uint32_t fixedWords = (at - start) / 2;
    if (fixedWords > ROAD_MAX_FIXED_WORDS) return refusal.Fail("road object fixed part beyond 255 words");
    for (const RoadSegmentRecord& segment : object.segments) {
      if (EncodeSegment(segment, &at) != 0) return -1;
    }
    const uint32_t decodedEnd = at;
    if (!(flags & ROAD_GROUP_NO_SEGMENT_BLOCKS)) {
      at = out.Zeros(at, ROAD_SEGMENT_BLOCK_BYTES * static_cast<uint32_t>(object.segments.size()));
    }
    at = out.Zeros(at, skippedFieldBytes + (object.tailWords ? 2u * *object.tailWords : 0u));
    uint32_t header = fixedWords;
    if (object.tailWords) header |= ROAD_OBJECT_HAS_TAIL;
    if (object.statedWords) {
      const uint32_t statedEnd = start + 2u * *object.statedWords;
      if (statedEnd < decodedEnd) return refusal.Fail("road object length ends inside its shape segments");
      // A stated end before `at` lets the next object overlap the skipped
      // bytes of this one; one after it is padded with zeros.
      if (statedEnd > at) out.Zeros(at, statedEnd - at);
      header |= ROAD_OBJECT_HAS_LENGTH | (uint32_t{*object.statedWords} << ROAD_OBJECT_LENGTH_SHIFT);
      at = statedEnd;
    }
    out.Put32(start, header);
    *pos = at;
    return 0;
  }

  int EncodeSegment(const RoadSegmentRecord& segment, uint32_t* at) {
    const std::vector<SectionPoint>& points = segment.points;
    if (points.empty()) return refusal.Fail("road segment without points");
    if (points.size() - 1 > ROAD_MAX_SEGMENT_DELTAS) return refusal.Fail("more than 1023 steps in a road segment");
    if (!AnchorOk(points[0])) return refusal.Fail("road segment start outside 0..32767");
    uint32_t pos = out.Put16(*at, static_cast<uint32_t>(points.size() - 1));
    pos = out.Put16(pos, AnchorWord(points[0].x));
    pos = out.Put16(pos, AnchorWord(points[0].y));
    for (size_t j = 1; j < points.size(); ++j) {
      const int32_t dx = points[j].x - points[j - 1].x, dy = points[j].y - points[j - 1].y;
      if (!FitsInt8(dx) || !FitsInt8(dy)) return refusal.Fail("road step beyond a signed byte");
      if (!FitsInt16(points[j].x) || !FitsInt16(points[j].y)) return refusal.Fail("road point beyond 16 bits");
      pos = out.Put8(pos, static_cast<uint8_t>(dx));
      pos = out.Put8(pos, static_cast<uint8_t>(dy));
    }
    *at = pos;
    return 0;
  }

  SectionBytes out;
  Refusal refusal;
};

// -------------------------------------------------------- Background --

class BackgroundEncoder {
 public:
  BackgroundEncoder(std::vector<uint8_t>* bytes, std::string* error) : out(bytes), refusal(error) {}

  int Encode(const BackgroundSectionRecord& section) {
    if (uint32_t{section.surplusWords} + FEATURE_DIRECTORY_PAIR_WORDS > 0xFFFF) {
      return refusal.Fail("background directory beyond 65535 words");
    }
    out.Put16(0, FEATURE_DIRECTORY_PAIR_WORDS + section.surplusWords);
    out.Zeros(2, 2 * (FEATURE_DIRECTORY_PAIR_WORDS + section.surplusWords));
    std::set<uint8_t> slots;
    for (const FeatureClassRecord& featureClass : section.classes) {
      if (featureClass.slot >= FEATURE_CLASS_SLOTS) return refusal.Fail("background class slot above 31");
      if (!slots.insert(featureClass.slot).second) return refusal.Fail("background class slot used twice");
      uint32_t offset = 0;
      if (!OffsetWords(out.Size(), 0, &offset)) return refusal.Fail("background class beyond the 16-bit offset");
      const uint32_t pair = 2 + FEATURE_GROUP_PAIR_BYTES * featureClass.slot;
      out.Put16(pair, offset);
      out.Put16(pair + 2, static_cast<uint16_t>(featureClass.presence));
      if (EncodeClass(featureClass) != 0) return -1;
    }
    return 0;
  }

 private:
  int EncodeClass(const FeatureClassRecord& featureClass) {
    if (featureClass.groups.size() > 0xFFFF) return refusal.Fail("more than 65535 background groups");
    const uint32_t classStart = out.Size();
    const uint32_t groupCount = static_cast<uint32_t>(featureClass.groups.size());
    out.Put16(classStart, groupCount);
    out.Zeros(classStart + 2, FEATURE_GROUP_PAIR_BYTES * groupCount);
    for (uint32_t g = 0; g < groupCount; ++g) {
      const FeatureGroupRecord& group = featureClass.groups[g];
      if (group.kind > FEATURE_KIND_MAX) return refusal.Fail("background group kind above 3");
      if (group.items.size() > FEATURE_ITEM_COUNT_MASK) return refusal.Fail("more than 4095 items in a group");
      uint32_t offset = 0;
      if (!OffsetWords(out.Size(), classStart, &offset)) return refusal.Fail("background group beyond 16 bits");
      const uint32_t word = (uint32_t{group.kind} << FEATURE_KIND_SHIFT) | (group.runTable ? FEATURE_RUN_TABLE : 0) |
                            static_cast<uint32_t>(group.items.size());
      out.Put16(classStart + 2 + FEATURE_GROUP_PAIR_BYTES * g, offset);
      out.Put16(classStart + 4 + FEATURE_GROUP_PAIR_BYTES * g, word);
      for (const FeatureItemRecord& item : group.items) {
        if (EncodeItem(item, group.runTable) != 0) return -1;
      }
    }
    return 0;
  }

  int EncodeItem(const FeatureItemRecord& item, bool runTable) {
    const size_t count = item.points.size();
    if (count < 1 || count > FEATURE_MAX_POINTS) return refusal.Fail("background item needs 1..2048 points");
    if (item.itemClass > FEATURE_ITEM_CLASS_MAX) return refusal.Fail("background item class above 31");
    const uint32_t start = out.Size();
    uint16_t flags = item.flags & ~(FEATURE_FLAG_FIELD_11 | FEATURE_FLAG_FIELD_12 | FEATURE_FLAG_FIELD_13);
    if (item.field11) flags |= FEATURE_FLAG_FIELD_11;
    if (item.field12) flags |= FEATURE_FLAG_FIELD_12;
    if (item.field13) flags |= FEATURE_FLAG_FIELD_13;
    uint32_t at = out.Put16(start, 0);  // the header, once the length is known
    at = out.Put16(at, (uint32_t{item.itemClass} << FEATURE_ITEM_CLASS_SHIFT) | static_cast<uint32_t>(count - 1));
    at = out.Put16(at, item.typeCode);
    at = out.Put16(at, flags);
    if (EncodePoints(item, &at) != 0) return -1;
    if (runTable && EncodeRuns(item, &at) != 0) return -1;
    if (item.field12) at = out.Put16(at, *item.field12);
    if (item.field11) at = out.Put16(at, *item.field11);
    if (item.field13) at = out.Put32(at, *item.field13);
    if (item.headerField) at = out.Put32(at, *item.headerField);
    at = out.Zeros(at, 2u * item.fillWords);
    const uint32_t words = (at - start) / 2;
    if (words > FEATURE_ITEM_LENGTH_MASK) return refusal.Fail("background item longer than 4095 words");
    out.Put16(start, (item.skipped ? FEATURE_ITEM_NO_SHAPE : 0) | (item.headerField ? FEATURE_ITEM_HEADER_FIELD : 0) | words);
    return 0;
  }

  // The first point, then one signed-byte pair per later point, each the
  // step divided by the scale's multiplier; toggles must be what the
  // reader derives from the zero steps.
  int EncodePoints(const FeatureItemRecord& item, uint32_t* at) {
    const std::vector<FeaturePointRecord>& points = item.points;
    const int32_t multiplier = FeatureDeltaFactor(item.flags);
    const bool toggles = (item.flags & FEATURE_FLAG_TOGGLES) != 0;
    if (points[0].x < 0 || points[0].x > SECTION_MAX_FEATURE_START || points[0].y < 0 ||
        points[0].y > SECTION_MAX_FEATURE_START) {
      return refusal.Fail("background first point outside 0..8191");
    }
    if (points[0].toggle != 0) return refusal.Fail("background first point with a toggle");
    uint32_t pos = out.Put16(*at, static_cast<uint32_t>(points[0].x));
    pos = out.Put16(pos, static_cast<uint32_t>(points[0].y));
    uint8_t toggle = 0;
    for (size_t j = 1; j < points.size(); ++j) {
      const int32_t stepX = points[j].x - points[j - 1].x, stepY = points[j].y - points[j - 1].y;
      if (stepX % multiplier != 0 || stepY % multiplier != 0) {
        return refusal.Fail("background step not a multiple of its delta scale");
      }
      const int32_t dx = stepX / multiplier, dy = stepY / multiplier;
      if (!FitsInt8(dx) || !FitsInt8(dy)) return refusal.Fail("background step beyond a signed byte");
      if (!FitsInt16(points[j].x) || !FitsInt16(points[j].y)) return refusal.Fail("background point beyond 16 bits");
      if (toggles && dx == 0 && dy == 0) toggle ^= 1;
      if (points[j].toggle != toggle) return refusal.Fail("background toggle that its steps do not give");
      pos = out.Put8(pos, static_cast<uint8_t>(dx));
      pos = out.Put8(pos, static_cast<uint8_t>(dy));
    }
    *at = pos;
    return 0;
  }

  // The reader reads entries until the run sum reaches the point count, so
  // the sum must reach it exactly with the last entry.
  int EncodeRuns(const FeatureItemRecord& item, uint32_t* at) {
    const uint32_t count = static_cast<uint32_t>(item.points.size());
    if (item.runs.empty()) {
      *at = out.Put16(*at, count);
      *at = out.Put16(*at, 0);
      return 0;
    }
    uint32_t sum = 0;
    for (const FeatureRunRecord& run : item.runs) {
      if (sum >= count) return refusal.Fail("background run table longer than its points");
      sum += run.run & FEATURE_RUN_MASK;
      *at = out.Put16(*at, run.run);
      *at = out.Put16(*at, run.value);
    }
    if (sum < count) return refusal.Fail("background run table shorter than its points");
    return 0;
  }

  SectionBytes out;
  Refusal refusal;
};

// ------------------------------------------------------------- Names --

class NameEncoder {
 public:
  NameEncoder(std::vector<uint8_t>* bytes, std::string* error) : out(bytes), refusal(error) {}

  int Encode(const NameSectionRecord& section) {
    if (section.groups.size() > NAME_MAX_GROUPS) return refusal.Fail("more than 32767 name groups");
    const uint32_t groupCount = static_cast<uint32_t>(section.groups.size());
    out.Put16(0, 2 * groupCount + 1);
    out.Zeros(2, NAME_DIRECTORY_PAIR_BYTES * groupCount);
    for (uint32_t g = 0; g < groupCount; ++g) {
      const NameGroupRecord& group = section.groups[g];
      const uint32_t pair = 2 + NAME_DIRECTORY_PAIR_BYTES * g;
      if (group.absent) {
        out.Put16(pair, EMPTY_NAME_GROUP);
        continue;
      }
      if (group.records.size() > 0xFFFF) return refusal.Fail("more than 65535 records in a name group");
      uint32_t offset = 0;
      if (!OffsetWords(out.Size(), 0, &offset)) return refusal.Fail("name group beyond the 16-bit offset");
      out.Put16(pair, offset);
      out.Put16(pair + 2, static_cast<uint32_t>(group.records.size()));
      for (const NameRecordRecord& record : group.records) {
        if (EncodeRecord(record) != 0) return -1;
      }
    }
    return 0;
  }

 private:
  static bool HasBody(const NameRecordRecord& record) { return record.type >= 1 && record.type <= 3; }

  int EncodeRecord(const NameRecordRecord& record) {
    if (record.type > 7) return refusal.Fail("name record type above 7");
    const uint32_t start = out.Size();
    uint16_t attributes = record.attributes & ~((NAME_TYPE_MASK << NAME_TYPE_SHIFT) | NAME_ATTR_EXTRA1);
    attributes |= static_cast<uint16_t>(record.type << NAME_TYPE_SHIFT);
    if (record.extra1) attributes |= NAME_ATTR_EXTRA1;
    uint32_t at = out.Put16(start, 0);  // the header, once the length is known
    at = out.Put16(at, attributes);
    at = out.Put16(at, record.classCode);
    if (HasBody(record) && EncodeBody(record, &at) != 0) return -1;
    at = out.Zeros(at, 2u * record.fillWords);
    const uint32_t words = (at - start) / 2;
    if (words > NAME_RECORD_LENGTH_MASK) return refusal.Fail("name record longer than 4095 words");
    out.Put16(start, (record.skipped ? NAME_RECORD_SKIPPED : 0) | words);
    return 0;
  }

  int EncodeBody(const NameRecordRecord& record, uint32_t* at) {
    if (!AnchorOk(record.anchor)) return refusal.Fail("name anchor outside 0..32767");
    if (record.text.size() > NAME_MAX_CHARS) return refusal.Fail("name text longer than 65535 characters");
    uint16_t style = record.style & ~NAME_STYLE_EXTRA2;
    if (record.extra2) style |= NAME_STYLE_EXTRA2;
    uint32_t pos = out.Put16(*at, style);
    pos = out.Put16(pos, AnchorWord(record.anchor.x));
    pos = out.Put16(pos, AnchorWord(record.anchor.y));
    if (record.type == NAME_TYPE_ANCHORED) {
      pos = out.Put8(pos, record.anchorA);
      pos = out.Put8(pos, record.anchorB);
    }
    pos = out.Put16(pos, static_cast<uint32_t>(record.text.size()));
    for (char16_t unit : record.text) {  // UTF-16LE: low byte first
      pos = out.Put8(pos, unit & 0xFF);
      pos = out.Put8(pos, unit >> 8);
    }
    if (record.type == NAME_TYPE_LINE && !record.text.empty() && EncodePlacement(record, &pos) != 0) return -1;
    if (record.extra1) pos = out.Put16(pos, *record.extra1);
    if (record.extra2) pos = out.Put16(pos, *record.extra2);
    *at = pos;
    return 0;
  }

  int EncodePlacement(const NameRecordRecord& record, uint32_t* at) {
    if (record.placement.size() != record.text.size()) {
      return refusal.Fail("type-3 name needs one placement byte per character");
    }
    const size_t withOffset = static_cast<size_t>(std::count_if(
        record.placement.begin(), record.placement.end(), [](uint8_t b) { return b < PLACEMENT_NO_OFFSET; }));
    if (record.placementOffsets.size() != 2 * withOffset) {
      return refusal.Fail("type-3 name needs two offset bytes per placement byte below 0x80");
    }
    uint32_t pos = *at;
    if (record.text.size() % 2 != 0) pos = out.Put8(pos, 0);  // keeps what follows on a word
    for (uint8_t b : record.placement) pos = out.Put8(pos, b);
    for (uint8_t b : record.placementOffsets) pos = out.Put8(pos, b);
    *at = pos;
    return 0;
  }

  SectionBytes out;
  Refusal refusal;
};

// --------------------------------------------------------- Polylines --

// Drops repeated points and splits every step whose dx or dy exceeds
// BYTE_DELTA_MAX into equal parts, rounding the points in between.
std::vector<SectionPoint> SplitLongSteps(const std::vector<SectionPoint>& points) {
  std::vector<SectionPoint> result;
  for (const SectionPoint& p : points) {
    if (result.empty()) {
      result.push_back(p);
      continue;
    }
    const SectionPoint from = result.back();
    const int64_t dx = int64_t{p.x} - from.x, dy = int64_t{p.y} - from.y;
    if (dx == 0 && dy == 0) continue;
    const int64_t longest = std::max(std::llabs(dx), std::llabs(dy));
    const int64_t parts = (longest + BYTE_DELTA_MAX - 1) / BYTE_DELTA_MAX;
    for (int64_t i = 1; i < parts; ++i) {
      // Round half away from zero so that both signs split alike.
      auto along = [&](int64_t d) {
        const int64_t scaled = 2 * d * i;
        return static_cast<int32_t>(scaled >= 0 ? (scaled + parts) / (2 * parts) : -((-scaled + parts) / (2 * parts)));
      };
      result.push_back({from.x + along(dx), from.y + along(dy)});
    }
    result.push_back(p);
  }
  return result;
}

bool InRange(const std::vector<SectionPoint>& points, int32_t high) {
  return std::all_of(points.begin(), points.end(),
                     [high](const SectionPoint& p) { return p.x >= 0 && p.x <= high && p.y >= 0 && p.y <= high; });
}

}  // namespace

int EncodeRoadSection(const RoadSectionRecord& section, std::vector<uint8_t>* bytes, std::string* error) {
  return RoadEncoder(bytes, error).Encode(section);
}

int EncodeBackgroundSection(const BackgroundSectionRecord& section, std::vector<uint8_t>* bytes, std::string* error) {
  return BackgroundEncoder(bytes, error).Encode(section);
}

int EncodeNameSection(const NameSectionRecord& section, std::vector<uint8_t>* bytes, std::string* error) {
  return NameEncoder(bytes, error).Encode(section);
}

int EncodeParcelSections(const ParcelSectionsRecord& sections, ParcelData* data, std::string* error) {
  ParcelData result;
  result.valueA = sections.valueA;
  result.valueB = sections.valueB;
  std::string reason;
  if (sections.roads && EncodeRoadSection(*sections.roads, &result.road, &reason) != 0) {
    return Refusal(error).Fail("roads: " + reason);
  }
  if (sections.background && EncodeBackgroundSection(*sections.background, &result.background, &reason) != 0) {
    return Refusal(error).Fail("background: " + reason);
  }
  if (sections.names && EncodeNameSection(*sections.names, &result.names, &reason) != 0) {
    return Refusal(error).Fail("names: " + reason);
  }
  *data = std::move(result);
  return 0;
}

int AppendRoadPolyline(const std::vector<SectionPoint>& points, RoadObjectRecord* object, std::string* error) {
  if (points.size() < 2) return Refusal(error).Fail("a road line needs two points");
  if (!InRange(points, SECTION_MAX_ANCHOR)) return Refusal(error).Fail("road point outside 0..32767");
  const std::vector<SectionPoint> line = SplitLongSteps(points);
  size_t added = 0;
  for (size_t first = 0; first + 1 < line.size(); first += ROAD_MAX_SEGMENT_DELTAS) {
    const size_t last = std::min(line.size() - 1, first + ROAD_MAX_SEGMENT_DELTAS);
    if (object->segments.size() + added >= ROAD_MAX_SEGMENTS) {
      object->segments.resize(object->segments.size() - added);
      return Refusal(error).Fail("road line needs more than 2047 segments");
    }
    object->segments.push_back({std::vector<SectionPoint>(line.begin() + first, line.begin() + last + 1)});
    ++added;
  }
  return static_cast<int>(added);
}

int SetFeatureLine(const std::vector<SectionPoint>& points, FeatureItemRecord* item, std::string* error) {
  if (points.empty()) return Refusal(error).Fail("a background line needs a point");
  if (!InRange(points, SECTION_MAX_FEATURE_START)) return Refusal(error).Fail("background point outside 0..8191");
  const std::vector<SectionPoint> line = SplitLongSteps(points);
  if (line.size() > FEATURE_MAX_POINTS) return Refusal(error).Fail("background line of more than 2048 points");
  item->points.clear();
  for (const SectionPoint& p : line) item->points.push_back({p.x, p.y, 0});
  item->flags &= ~(FEATURE_FLAG_SCALE_MASK | FEATURE_FLAG_TOGGLES);
  return static_cast<int>(item->points.size());
}
