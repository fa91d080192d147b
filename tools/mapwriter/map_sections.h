// Encoders of a parcel's three sections — roads, background and names — in
// the record layouts the map reader decodes. Each section is described as
// plain structs that mirror its records and turned into the bytes that
// ParcelData carries (ParcelData::road, ::background, ::names).
//
// The encoders write exactly what the description says and never reshape
// it: a value the format cannot hold (a count beyond its field, a shape step
// beyond a signed byte, an offset beyond 16 bits) makes them return -1 with
// the reason. Splitting long shape steps into several deltas, and long road
// lines into several segments, is the job of the polyline helpers at the
// end of this header, not of the encoders.
//
// All values are big-endian, except name texts, whose 16-bit characters
// are stored as UTF-16LE byte pairs. Offsets inside a section are counted in
// 16-bit words from the section's start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mapdata/map_layout.h"
#include "tools/mapwriter/map_writer.h"

// A point in parcel-local units (PARCEL_SPAN across the parcel; values
// beyond reach into neighbours).
struct SectionPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const SectionPoint& other) const { return x == other.x && y == other.y; }
};

// Road and name anchor points take 0..SECTION_MAX_ANCHOR, background first
// points 0..SECTION_MAX_FEATURE_START.

// ---------------------------------------------------------------- Roads --

// Group flags are the ROAD_GROUP_* bits. The attribute bits ROAD_ATTR_FIELD*
// announce optional fields, which the writer writes as zero bytes.

// One shape segment: points[0] is its absolute start (0..SECTION_MAX_ANCHOR
// each), every later point is one (dx, dy) step from the previous one, each
// of -128..127, with running sums inside signed 16 bits. 1..1024 points.
struct RoadSegmentRecord {
  std::vector<SectionPoint> points;
};

// One road object. The fixed part is the object header, the shape word, a
// spare word, fields A/B/C as the group flags allow, the attribute word
// with its optional fields and, when `tailWords` is given, the tail length
// word; `fillWords` zero words follow it inside the fixed length.
struct RoadObjectRecord {
  uint16_t attributes = 0;  // drawing class in bits 15..12; bits 11, 9, 1 add zeroed fields
  uint16_t fieldA = 0;      // words of skipped bytes after the segments (when the group has A)
  uint16_t fieldB = 0;
  uint16_t fieldC = 0;
  std::optional<uint16_t> tailWords;  // header bit 15: a tail of this many words (0..0x7FFF)
  uint8_t fillWords = 0;              // zero words between the fields and the shape segments
  // Header bit 29: the next object starts this many words after this
  // object's start (0..0xFFF). It may lie before the end of the skipped
  // blocks, fields and tail (the next object then overlaps them: the reader
  // moves backwards), but not inside the fixed part or the segments, and not
  // beyond the bytes written for the object plus `statedWords` padding.
  std::optional<uint16_t> statedWords;
  std::vector<RoadSegmentRecord> segments;  // 0..0x7FF; an object without any takes no slot when decoded
};

// One row of the group table. An absent row is written with offset 0xFFFF
// and object count 0; a present row with no objects gets count 0.
struct RoadGroupRecord {
  bool absent = false;
  uint16_t flags = 0;  // ROAD_GROUP_* bits (others are written as given)
  std::vector<RoadObjectRecord> objects;
};

struct RoadSectionRecord {
  std::vector<RoadGroupRecord> groups;  // 0..255 rows, in table order
};

// Encodes a road section into *bytes (replaced). Returns 0, or -1 with the
// reason in *error (when given) for a record the format cannot hold.
int EncodeRoadSection(const RoadSectionRecord& section, std::vector<uint8_t>* bytes, std::string* error = nullptr);

// ----------------------------------------------------------- Background --

// Group kinds are FEATURE_KIND_*: the reader decodes items of lines and
// areas only; the items of kinds 0 and 3 are counted, not read. Of the item
// flags, the writer sets FEATURE_FLAG_FIELD_11, _12 and _13 itself from the
// optional fields below.

// A point of a background item. With FEATURE_FLAG_TOGGLES, a step of
// exactly (0, 0) flips the toggle and any other step keeps it, so `toggle`
// of every point after the first must follow from its step; without the
// flag every toggle is 0. The first point's toggle is always 0.
struct FeaturePointRecord {
  int32_t x = 0;
  int32_t y = 0;
  uint8_t toggle = 0;
};

// One entry of an item's run table: the low 12 bits of `run` count points.
struct FeatureRunRecord {
  uint16_t run = 0;
  uint16_t value = 0;
};

// One item. Points: 1..2048; the first absolute (0..0x1FFF each), each
// later one the previous plus m × (dx, dy) with dx, dy in -128..127 and
// m = 1 for scale 0, else 2 << scale, with running sums inside signed 16
// bits. A skipped item (header bit 15) or one of class 0 is written whole
// and decoded as its header, class and point count only.
struct FeatureItemRecord {
  bool skipped = false;
  uint8_t itemClass = 1;  // 0..31; 0 = no decodable shape
  uint16_t typeCode = 0;
  uint16_t flags = 0;  // scale, FEATURE_FLAG_TOGGLES and any other bits except 11..13
  std::vector<FeaturePointRecord> points;
  // Only used when the group has a run table: the run (low 12 bits) sums
  // must reach the point count exactly with the last entry. Empty: one
  // entry (point count, 0).
  std::vector<FeatureRunRecord> runs;
  std::optional<uint16_t> field12;      // item flag bit 12
  std::optional<uint16_t> field11;      // item flag bit 11
  std::optional<uint32_t> field13;      // item flag bit 13
  std::optional<uint32_t> headerField;  // item header bit 14
  uint16_t fillWords = 0;               // zero words inside the item's stated length
};

struct FeatureGroupRecord {
  uint8_t kind = FEATURE_KIND_AREA;     // 0..3
  bool runTable = false;                 // group word bit 13
  std::vector<FeatureItemRecord> items;  // 0..0xFFF
};

// One class of the directory: `slot` 0..31 (each at most once), its
// presence value (0 = the reader does not decode it) and its groups.
struct FeatureClassRecord {
  uint8_t slot = 0;
  int16_t presence = 1;
  std::vector<FeatureGroupRecord> groups;
};

struct BackgroundSectionRecord {
  uint16_t surplusWords = 0;  // directory words beyond the 32 pairs (written as zeros)
  std::vector<FeatureClassRecord> classes;
};

// Encodes a background section into *bytes (replaced). Returns 0, or -1
// with the reason in *error (when given).
int EncodeBackgroundSection(const BackgroundSectionRecord& section, std::vector<uint8_t>* bytes,
                            std::string* error = nullptr);

// ---------------------------------------------------------------- Names --

// The writer sets the record type and the extra1 flag of the attributes
// and the extra2 flag of the style itself.

// One name record. A record of type 0 or 4..7 is written as its first
// three words (plus fill); a skipped record (header bit 15) of type 1..3 is
// written whole, and the reader keeps only its first three words.
// Type 3 with text: the placement bytes (exactly one per character) follow
// the text, after one zero byte when the count is odd, then 2 × g offset
// bytes, g = the placement bytes below 0x80.
struct NameRecordRecord {
  bool skipped = false;
  uint8_t type = 1;         // 0..7
  uint16_t attributes = 0;  // visibility mask in bits 15..11, bit 6 rotated; bits 10..7 are the writer's
  uint16_t classCode = 0;
  uint16_t style = 0;                // bits 2..0 (type 2: nonzero = no anchor bytes); bit 11 is the writer's
  SectionPoint anchor;               // 0..SECTION_MAX_ANCHOR each
  uint8_t anchorA = 0, anchorB = 0;  // type 2 only
  std::u16string text;               // UTF-16 code units, 0..0xFFFF of them
  std::vector<uint8_t> placement;    // type 3 only
  std::vector<uint8_t> placementOffsets;
  std::optional<uint16_t> extra1;
  std::optional<uint16_t> extra2;
  uint16_t fillWords = 0;  // zero words inside the record's stated length
};

// A group of the directory; an absent group has offset 0xFFFF and count 0.
struct NameGroupRecord {
  bool absent = false;
  std::vector<NameRecordRecord> records;  // 0..0xFFFF
};

struct NameSectionRecord {
  std::vector<NameGroupRecord> groups;
};

// Encodes a name section into *bytes (replaced). Returns 0, or -1 with the
// reason in *error (when given).
int EncodeNameSection(const NameSectionRecord& section, std::vector<uint8_t>* bytes, std::string* error = nullptr);

// ------------------------------------------------------- Whole parcels --

struct ParcelSectionsRecord {
  uint16_t valueA = 0;  // 15 bits each, kept in the parcel data header
  uint16_t valueB = 0;
  std::optional<RoadSectionRecord> roads;  // absent: no section
  std::optional<BackgroundSectionRecord> background;
  std::optional<NameSectionRecord> names;
};

// Encodes the given sections into *data (replaced). Returns 0, or -1 with
// the failing section and reason in *error.
int EncodeParcelSections(const ParcelSectionsRecord& sections, ParcelData* data, std::string* error = nullptr);

// ------------------------------------------------------------- Helpers --

// Appends the polyline `points` (parcel-local, at least 2) to `object` as
// shape segments: a step beyond a signed byte is split into equal smaller
// steps (the points in between lie on the line, rounded), and a line of more
// than ROAD_MAX_SEGMENT_DELTAS steps continues in a new segment that starts
// at the previous segment's last point. Repeated points are dropped. Returns
// the number of segments added, or -1 (object unchanged) when a point lies
// outside 0..SECTION_MAX_ANCHOR.
int AppendRoadPolyline(const std::vector<SectionPoint>& points, RoadObjectRecord* object, std::string* error = nullptr);

// Fills item->points from `points` (parcel-local, 0..0x1FFF each) for delta
// scale 0: steps beyond a signed byte are split as above and repeated
// points are dropped; every toggle is 0. Returns the point count, or -1
// (item unchanged) when a point lies outside the range or the result has
// more than FEATURE_MAX_POINTS points.
int SetFeatureLine(const std::vector<SectionPoint>& points, FeatureItemRecord* item, std::string* error = nullptr);
