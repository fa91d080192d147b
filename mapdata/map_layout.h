// The layout of the map file, written down once: every offset, size, bit
// and scale of its records, and the table of scale steps and detail levels
// that the maps are built for.
//
// The decoders in mapdata/, the map writer and the map builder, the dump
// and the renderer all take their numbers from here. Reading and writing
// stay separate code: the decoders read fields in order and never trust a
// value, the writer puts fields at their offsets; both name the same
// numbers. All file values are big-endian (name texts excepted: UTF-16LE).
#pragma once

#include <cstdint>

// ------------------------------------------------------------- Units --

// Map units: 1/128 arc-second, 460800 per degree; x is the longitude, y
// the latitude.
constexpr int32_t MAP_UNITS_PER_DEGREE = 460800;

// An address word counts 2048-byte logical sectors in its upper 24 bits and
// units of the map's block size inside the sector in its low 6 bits; bits 6
// and 7 are ignored.
constexpr uint32_t SECTOR_BYTES = 2048;
constexpr int ADDRESS_SECTOR_SHIFT = 8;
constexpr uint32_t ADDRESS_UNIT_MASK = 0x3F;

// File offset of an address word. The result wraps at 32 bits.
constexpr uint32_t SectorAddressToOffset(uint32_t address, uint32_t blockSize) {
  return (address >> ADDRESS_SECTOR_SHIFT) * SECTOR_BYTES + (address & ADDRESS_UNIT_MASK) * blockSize;
}

// Extent coordinates are stored in 1/8 arc-second as 23-bit values; in
// memory they are map units (× 16). The management header keeps them in the
// upper 24 bits of 32-bit fields, the parcel index in 24-bit fields.
constexpr uint32_t EXTENT_MASK = 0x7FFFFF;
constexpr int32_t EXTENT_SCALE = 16;
constexpr int EXTENT_HEADER_SHIFT = 8;
constexpr int32_t ExtentFrom24(uint32_t field) { return static_cast<int32_t>(field & EXTENT_MASK) * EXTENT_SCALE; }
constexpr int32_t ExtentFrom32(uint32_t field) { return ExtentFrom24(field >> EXTENT_HEADER_SHIFT); }

// Offsets and sizes inside a parcel's data or sections count 16-bit words.
constexpr uint32_t WORD_BYTES = 2;

// ------------------------------------------------ Management header --

// The block the reader loads at offset 0: management header and section
// directory.
constexpr uint32_t MANAGEMENT_BLOCK_BYTES = 4096;
// Eight text fields open the file, kept verbatim.
constexpr int HEADER_TEXT_FIELDS = 8;
constexpr uint32_t HEADER_TEXT_FIELD_BYTES[HEADER_TEXT_FIELDS] = {64, 64, 32, 64, 64, 128, 8, 32};
constexpr uint32_t HEADER_TEXT_BYTES = 456;
// Four extent coordinates, stored south, west, north, east.
constexpr uint32_t HEADER_EXTENT_OFFSET = 456;
constexpr int HEADER_EXTENT_WORDS = 4;
constexpr uint32_t HEADER_BLOCK_SIZE_OFFSET = 472;  // bytes of the unit of every address word and size count
constexpr uint32_t HEADER_RESERVED_OFFSET = 474;
constexpr uint32_t HEADER_FLAGS_OFFSET = 476;
constexpr uint16_t HEADER_FLAG_SEA_BACKGROUND = 1u << 14;  // the background is sea-coloured

// -------------------------------------------------- Section directory --

// Seven entries: an address word, a size in blocks and 12 bytes kept
// verbatim. Entry 0 locates the parcel index area.
constexpr uint32_t SECTION_DIRECTORY_OFFSET = 2048;
constexpr int SECTION_COUNT = 7;
constexpr int SECTION_RAW_BYTES = 12;
constexpr uint32_t SECTION_SIZE_OFFSET = 4;

// ---------------------------------------------- Parcel index area --

// The area's header: two kept words and two skipped words, the extent as
// four 24-bit fields (north, south, west, east), a kept word, the block and
// sub-block record sizes in words, the level count and the extra count.
constexpr uint32_t PARCEL_INDEX_HEADER_BYTES = 30;
constexpr uint32_t INDEX_EXTENT_OFFSET = 8;
constexpr uint32_t INDEX_EXTENT_FIELD_BYTES = 3;
constexpr uint32_t INDEX_BLOCK_RECORD_SIZE_OFFSET = 22;
constexpr uint32_t INDEX_SUB_BLOCK_RECORD_SIZE_OFFSET = 24;
constexpr uint32_t INDEX_LEVEL_COUNT_OFFSET = 26;
constexpr uint32_t INDEX_EXTRA_COUNT_OFFSET = 28;

// A level entry: its code word (code in bits 15..10), a kept word, the
// display-scale thresholds, three grid words, the piece grids of the three
// split kinds, the block table's offset in words and a kept word.
constexpr uint32_t LEVEL_ENTRY_BYTES = 40;
constexpr int LEVEL_CODE_SHIFT = 10;
constexpr uint16_t LEVEL_CODE_MAX = 63;
constexpr int LEVEL_THRESHOLDS = 5;
constexpr int SPLIT_KINDS = 3;
constexpr uint32_t LEVEL_THRESHOLDS_OFFSET = 4;
constexpr uint32_t LEVEL_BLOCK_GRID_OFFSET = 24;
constexpr uint32_t LEVEL_SUB_BLOCK_GRID_OFFSET = 26;
constexpr uint32_t LEVEL_PARCEL_GRID_OFFSET = 28;
constexpr uint32_t LEVEL_PIECE_GRIDS_OFFSET = 30;
constexpr uint32_t LEVEL_BLOCK_TABLE_OFFSET = 36;

// A grid word: high byte + 1 rows, low byte + 1 columns; a piece grid uses
// only its low byte. Every grid has 1..256 cells per side.
constexpr int GRID_ROWS_SHIFT = 8;
constexpr uint32_t GRID_CELLS_MASK = 0xFF;
constexpr uint32_t GRID_MAX_CELLS = 256;

// The extra entries after the levels: a word and two 32-bit word offsets.
constexpr uint32_t EXTRA_ENTRY_BYTES = 10;

// A block record: an unused word, the sub-block table's offset in words
// from the area's start, and a presence word.
constexpr uint32_t BLOCK_RECORD_BYTES = 10;
constexpr uint32_t BLOCK_RECORD_TABLE_OFFSET = 2;
constexpr uint32_t BLOCK_RECORD_PRESENCE_OFFSET = 6;
constexpr uint32_t NO_SUB_BLOCK_TABLE = 0xFFFFFFFF;

// A sub-block record, a parcel record and a piece record: an address word
// and a size in blocks.
constexpr uint32_t SUB_BLOCK_RECORD_BYTES = 6;
constexpr uint32_t PARCEL_RECORD_BYTES = 6;
constexpr uint32_t RECORD_SIZE_OFFSET = 4;
// A parcel or piece without data has this address word.
constexpr uint32_t NO_ADDRESS = 0xFFFFFFFF;

// A parcel table (one per sub-block) opens with two unused words. A record
// with a valid address and size 0 is a split parcel: its address is then
// the split record's offset in words from the table's start.
constexpr uint32_t PARCEL_TABLE_HEAD_BYTES = 4;
// A split record: its kind in bits 9..8 of the first word, a spare word,
// then S × S piece records row by row.
constexpr uint32_t SPLIT_HEAD_BYTES = 4;
constexpr int SPLIT_KIND_SHIFT = 8;
constexpr uint32_t SPLIT_KIND_MASK = 3;

// ------------------------------------------------ Parcel data header --

// The header that opens every parcel's data: its length in words, kept
// words, valueA and valueB (15 bits each), the block count word, the count
// of optional 4-byte entries, then an (offset, size) pair per section:
// roads, background, names. Offsets are 32-bit word counts from the start
// of the parcel data, sizes 16-bit word counts.
constexpr uint32_t PARCEL_HEADER_FIXED_BYTES = 36;
constexpr uint32_t PARCEL_HEADER_ENTRY_BYTES = 4;
constexpr uint32_t PARCEL_HEADER_KEPT_OFFSET = 14;  // after the length word and skipped words
constexpr uint32_t PARCEL_HEADER_VALUE_A_OFFSET = 20;
constexpr uint32_t PARCEL_HEADER_VALUE_B_OFFSET = 22;
constexpr uint32_t PARCEL_HEADER_BLOCKS_OFFSET = 32;
constexpr uint32_t PARCEL_HEADER_ENTRY_COUNT_OFFSET = 34;
constexpr uint16_t PARCEL_HEADER_VALUE_MASK = 0x7FFF;
constexpr uint32_t PARCEL_HEADER_SECTION_BYTES = 6;
constexpr int PARCEL_SECTIONS = 3;
// The header as the writer writes it: without optional entries.
constexpr uint32_t PARCEL_HEADER_BYTES = PARCEL_HEADER_FIXED_BYTES + PARCEL_SECTIONS * PARCEL_HEADER_SECTION_BYTES;
// A section offset of this value means the parcel has no such section.
constexpr uint32_t NO_SECTION = 0xFFFFFFFF;
constexpr uint32_t SECTION_MAX_WORDS = 0xFFFF;

// ------------------------------------------ Parcel-local coordinates --

// 4096 units span a parcel's width (x) or height (y) from its south-west
// corner; values above reach into neighbours.
constexpr int32_t PARCEL_SPAN = 4096;

// A road or name coordinate word: bits 12..0 are the position inside a
// parcel span, bits 15..13 count whole spans.
constexpr uint32_t COORDINATE_LOW_MASK = 0x1FFF;
constexpr int COORDINATE_SPAN_SHIFT = 13;
constexpr uint32_t COORDINATE_SPAN_MASK = 7;
// The largest road or name coordinate that reads back unchanged as a
// 16-bit value, and the largest first point of a background item
// (stored as v & 0x1FFF).
constexpr int32_t SECTION_MAX_ANCHOR = 32767;
constexpr int32_t SECTION_MAX_FEATURE_START = COORDINATE_LOW_MASK;

// Shape points after the first are (dx, dy) steps of signed bytes, and
// name placement offsets are signed bytes too: this much fits both signs.
constexpr int32_t BYTE_DELTA_MAX = 127;

// The decoded value of a coordinate word, kept as a 16-bit value as every
// decoded point is (so 0xFFFF gives 8191 + 7 × 4096, which wraps to a
// negative 16-bit value).
constexpr int16_t DecodeRoadCoordinate(uint32_t word) {
  return static_cast<int16_t>(static_cast<uint16_t>(
      (word & COORDINATE_LOW_MASK) + (word >> COORDINATE_SPAN_SHIFT & COORDINATE_SPAN_MASK) * PARCEL_SPAN));
}

// ------------------------------------------------------ Road section --

// Head: two skipped words, the group count byte, a skipped byte and word;
// then the group table of (groupOffset, objectCount) rows. A row with
// offset EMPTY_ROAD_GROUP (or no objects) is empty.
constexpr uint32_t ROAD_HEAD_BYTES = 8;
constexpr uint32_t ROAD_GROUP_COUNT_OFFSET = 4;
constexpr uint32_t ROAD_GROUP_ROW_BYTES = 4;
constexpr uint16_t EMPTY_ROAD_GROUP = 0xFFFF;
constexpr int ROAD_MAX_GROUPS = 255;  // the group count is one byte

// A group opens with its flags word: which of the object fields A, B, C are
// absent, and whether the 8-byte blocks per shape segment are absent.
constexpr uint16_t ROAD_GROUP_NO_FIELD_A = 1 << 2;
constexpr uint16_t ROAD_GROUP_NO_FIELD_B = 1 << 1;
constexpr uint16_t ROAD_GROUP_NO_FIELD_C = 1 << 0;
constexpr uint16_t ROAD_GROUP_NO_SEGMENT_BLOCKS = 1 << 3;
constexpr uint32_t ROAD_SEGMENT_BLOCK_BYTES = 8;

// An object header: the fixed part's length in words (bits 7..0), a tail
// length word (bit 15), and the whole object's stated length in words in
// bits 27..16 when bit 29 is set.
constexpr uint32_t ROAD_MAX_FIXED_WORDS = 0xFF;
constexpr uint32_t ROAD_OBJECT_HAS_TAIL = 1u << 15;
constexpr uint32_t ROAD_OBJECT_HAS_LENGTH = 1u << 29;
constexpr int ROAD_OBJECT_LENGTH_SHIFT = 16;
constexpr int ROAD_MAX_STATED_WORDS = 0xFFF;
constexpr int ROAD_MAX_TAIL_WORDS = 0x7FFF;  // the tail length word's bits 14..0
// The header, the shape word (segment count in bits 10..0) and a spare word.
constexpr uint32_t ROAD_OBJECT_LEAD_BYTES = 8;
constexpr int ROAD_MAX_SEGMENTS = 0x7FF;

// Attribute bits that announce optional fields after the attribute word (a
// 4-byte and a 2-byte field, two 2-byte fields, one 2-byte field); bits
// 15..12 are the drawing class.
constexpr uint16_t ROAD_ATTR_FIELDS_4_2 = 1 << 11;
constexpr uint16_t ROAD_ATTR_FIELDS_2_2 = 1 << 9;
constexpr uint16_t ROAD_ATTR_FIELD_2 = 1 << 1;
constexpr uint32_t ROAD_ATTR_FIELDS_4_2_BYTES = 6;
constexpr uint32_t ROAD_ATTR_FIELDS_2_2_BYTES = 4;
constexpr uint32_t ROAD_ATTR_FIELD_2_BYTES = 2;
constexpr int ROAD_ATTR_CLASS_SHIFT = 12;

// A shape segment: a head word (delta count in bits 9..0), the absolute
// start point as two coordinate words, then (dx, dy) signed-byte pairs.
constexpr uint32_t ROAD_SEGMENT_HEAD_BYTES = 6;
constexpr int ROAD_MAX_SEGMENT_DELTAS = 0x3FF;

// ------------------------------------------------ Background section --

// A directory word count, then 32 (classOffset, classPresence) pairs; per
// class a group count and (groupOffset, groupWord) pairs; per group its
// items one after another.
constexpr int FEATURE_CLASS_SLOTS = 32;
constexpr uint32_t FEATURE_DIRECTORY_PAIR_WORDS = 2 * FEATURE_CLASS_SLOTS;
constexpr uint32_t FEATURE_GROUP_PAIR_BYTES = 4;

// A group word: kind in bits 15..14 (lines and areas carry decodable
// items), a run table flag in bit 13, the item count in bits 11..0.
constexpr uint16_t FEATURE_KIND_LINE = 1;
constexpr uint16_t FEATURE_KIND_AREA = 2;
constexpr uint16_t FEATURE_KIND_MAX = 3;
constexpr int FEATURE_KIND_SHIFT = 14;
constexpr uint16_t FEATURE_RUN_TABLE = 1 << 13;
constexpr uint16_t FEATURE_ITEM_COUNT_MASK = 0x0FFF;

// An item header: bit 15 marks an item without a decodable shape, bit 14 a
// 4-byte field at its end, bits 11..0 its length in words. The class word:
// class in bits 15..11, point count − 1 in bits 10..0.
constexpr uint16_t FEATURE_ITEM_NO_SHAPE = 1 << 15;
constexpr uint16_t FEATURE_ITEM_HEADER_FIELD = 1 << 14;
constexpr uint16_t FEATURE_ITEM_LENGTH_MASK = 0x0FFF;
constexpr int FEATURE_ITEM_CLASS_SHIFT = 11;
constexpr uint16_t FEATURE_ITEM_CLASS_MAX = 31;
constexpr uint16_t FEATURE_ITEM_POINTS_MASK = 0x07FF;
constexpr uint32_t FEATURE_MAX_POINTS = FEATURE_ITEM_POINTS_MASK + 1;
// Header and class word; then the type code, the flags and the first point.
constexpr uint32_t FEATURE_ITEM_LEAD_BYTES = 4;
constexpr uint32_t FEATURE_ITEM_SHAPE_BYTES = 12;

// Item flags: the delta scale in bits 1..0 (scale 0 moves by the deltas,
// 1, 2, 3 by 4, 8, 16 times them), toggles in bit 10 (a zero step flips the
// edge toggle), and optional fields after the points and run table.
constexpr uint16_t FEATURE_FLAG_SCALE_MASK = 0x3;
constexpr uint16_t FEATURE_FLAG_TOGGLES = 1 << 10;
constexpr uint16_t FEATURE_FLAG_FIELD_11 = 1 << 11;
constexpr uint16_t FEATURE_FLAG_FIELD_12 = 1 << 12;  // its field comes before field 11's
constexpr uint16_t FEATURE_FLAG_FIELD_13 = 1 << 13;
constexpr uint32_t FEATURE_FIELD_11_BYTES = 2;
constexpr uint32_t FEATURE_FIELD_12_BYTES = 2;
constexpr uint32_t FEATURE_FIELD_13_BYTES = 4;
constexpr uint32_t FEATURE_HEADER_FIELD_BYTES = 4;  // announced by FEATURE_ITEM_HEADER_FIELD, last

// Run table entries: (run, value) words; the run's bits 11..0 count points.
constexpr uint16_t FEATURE_RUN_MASK = 0x0FFF;
constexpr uint32_t FEATURE_RUN_ENTRY_BYTES = 4;

constexpr int32_t FeatureDeltaFactor(uint16_t itemFlags) {
  return (itemFlags & FEATURE_FLAG_SCALE_MASK) == 0 ? 1 : 2 << (itemFlags & FEATURE_FLAG_SCALE_MASK);
}

// ------------------------------------------------------ Name section --

// A directory word a, then (a − 1) / 2 pairs of (groupOffset, recordCount);
// a group with offset EMPTY_NAME_GROUP is absent.
constexpr uint32_t NAME_DIRECTORY_PAIR_BYTES = 4;
constexpr uint16_t EMPTY_NAME_GROUP = 0xFFFF;
constexpr int NAME_MAX_GROUPS = 0x7FFF;

// A record opens with its header (bit 15: not decoded; bits 11..0: length
// in words), its attributes and its class code.
constexpr uint16_t NAME_RECORD_SKIPPED = 1 << 15;
constexpr uint16_t NAME_RECORD_LENGTH_MASK = 0x0FFF;
constexpr uint32_t NAME_RECORD_LEAD_BYTES = 6;

// Attributes: detail mask in bits 15..11, record type in bits 10..8, an
// extra word (extra1) in bit 7, a rotated label in bit 6.
constexpr int NAME_VISIBILITY_SHIFT = 11;
constexpr int NAME_TYPE_SHIFT = 8;
constexpr uint16_t NAME_TYPE_MASK = 0x7;
constexpr uint16_t NAME_ATTR_EXTRA1 = 1 << 7;
constexpr uint16_t NAME_ATTR_ROTATED = 1 << 6;
// Record types that carry a label.
constexpr uint16_t NAME_TYPE_POINT = 1;
constexpr uint16_t NAME_TYPE_ANCHORED = 2;
constexpr uint16_t NAME_TYPE_LINE = 3;  // follows a line, with placement data

// Style: a shift in bits 2..0 (an anchored record with a shift ignores its
// anchor bytes), an extra word (extra2) in bit 11.
constexpr uint16_t NAME_STYLE_SHIFT_MASK = 0x7;
constexpr uint16_t NAME_STYLE_EXTRA2 = 1 << 11;

// A placement byte from this value on marks a character without an offset
// pair of its own.
constexpr uint8_t PLACEMENT_NO_OFFSET = 0x80;
constexpr int NAME_MAX_CHARS = 0xFFFF;  // the 16-bit character count

// ---------------------------------------------- Scale steps and levels --

constexpr uint16_t SCALE_STEP_COUNT = 27;
constexpr uint16_t MAX_SCALE_STEP = 26;
constexpr uint16_t DEFAULT_SCALE_STEP = 6;

// Level codes of the map's detail levels.
constexpr uint16_t LEVEL_CODE_FINEST = 62;    // used only where its parcels cover the whole view
constexpr uint16_t LEVEL_CODE_BASE = 0;       // what the finest level falls back to
constexpr uint16_t LEVEL_CODE_OVERVIEW = 10;  // only background areas and the track are drawn

// A level's display-scale thresholds are this many times the scale value
// (metres) of its steps.
constexpr uint32_t THRESHOLD_PER_METRE = 100;

// The 27 scale steps, from 10 m (step 0, the most detailed) to 200 km
// (step 26).
struct ScaleStep {
  int32_t metres;          // distance shown by the scale label; selects the names' detail class
  int32_t unitsPerPixelX;  // map units (1/128 arc-second) per pixel
  int32_t unitsPerPixelY;
  uint16_t roadLevel;  // level code of roads and names
  uint16_t lineLevel;  // level code of background lines
  uint16_t areaLevel;  // level code of background areas
};

// From step 19 on the units per pixel differ between the axes (3120 against
// 2400 at step 19). All three level columns agree at every step.
inline constexpr ScaleStep SCALE_STEPS[SCALE_STEP_COUNT] = {
    {10, 2, 2, 62, 62, 62},
    {17, 3, 3, 62, 62, 62},
    {25, 4, 4, 62, 62, 62},
    {37, 6, 6, 62, 62, 62},
    {50, 8, 8, 0, 0, 0},
    {75, 12, 12, 0, 0, 0},
    {100, 16, 16, 0, 0, 0},
    {150, 24, 24, 0, 0, 0},
    {200, 32, 32, 2, 2, 2},
    {350, 56, 56, 2, 2, 2},
    {500, 80, 80, 2, 2, 2},
    {750, 120, 120, 2, 2, 2},
    {1000, 160, 160, 4, 4, 4},
    {1750, 280, 280, 4, 4, 4},
    {2500, 400, 400, 4, 4, 4},
    {3750, 600, 600, 4, 4, 4},
    {5000, 800, 800, 6, 6, 6},
    {7500, 1200, 1200, 6, 6, 6},
    {10000, 1600, 1600, 6, 6, 6},
    {15000, 3120, 2400, 6, 6, 6},
    {20000, 4160, 3200, 8, 8, 8},
    {35000, 6240, 4800, 8, 8, 8},
    {50000, 8320, 6400, 8, 8, 8},
    {75000, 14560, 11200, 8, 8, 8},
    {100000, 20800, 16000, 10, 10, 10},
    {150000, 31200, 24000, 10, 10, 10},
    {200000, 41600, 32000, 10, 10, 10},
};

// The levels of the maps the viewer is drawn from, finest first: the code,
// the parcel size in map units and the scale steps the level serves.
// Parcels grow fourfold per side from level to level, from 45" × 30" at
// level 62 (5760 × 3840 units) to 51.2° × 34.13° at level 10, so that a
// 996 × 580 view at any of the level's steps touches one to nine parcels.
struct StandardLevel {
  uint16_t levelCode;
  int32_t parcelWidth;
  int32_t parcelHeight;
  int firstStep;
  int lastStep;
};

constexpr int STANDARD_LEVEL_COUNT = 7;
inline constexpr StandardLevel STANDARD_LEVELS[STANDARD_LEVEL_COUNT] = {
    {62, 5760, 3840, 0, 3},         {0, 23040, 15360, 4, 7},        {2, 92160, 61440, 8, 11},
    {4, 368640, 245760, 12, 15},    {6, 1474560, 983040, 16, 19},   {8, 5898240, 3932160, 20, 23},
    {10, 23592960, 15728640, 24, 26},
};

namespace map_layout_detail {
// Every step's three levels are the level whose steps include it, and the
// levels' steps follow one another from 0 to the last step.
constexpr bool LevelsMatchSteps() {
  int next = 0;
  for (const StandardLevel& level : STANDARD_LEVELS) {
    if (level.firstStep != next || level.lastStep < level.firstStep) return false;
    for (int s = level.firstStep; s <= level.lastStep; ++s) {
      const ScaleStep& step = SCALE_STEPS[s];
      if (step.roadLevel != level.levelCode || step.lineLevel != level.levelCode ||
          step.areaLevel != level.levelCode) {
        return false;
      }
    }
    next = level.lastStep + 1;
  }
  return next == SCALE_STEP_COUNT;
}

constexpr bool TextFieldsFill(uint32_t total) {
  uint32_t sum = 0;
  for (uint32_t bytes : HEADER_TEXT_FIELD_BYTES) sum += bytes;
  return sum == total;
}
}  // namespace map_layout_detail

static_assert(map_layout_detail::LevelsMatchSteps(), "the standard levels and the scale steps disagree");
static_assert(map_layout_detail::TextFieldsFill(HEADER_TEXT_BYTES) && HEADER_EXTENT_OFFSET == HEADER_TEXT_BYTES,
              "the text fields end where the extent starts");
static_assert(HEADER_BLOCK_SIZE_OFFSET == HEADER_EXTENT_OFFSET + 4 * HEADER_EXTENT_WORDS,
              "the block size follows the extent");
static_assert(PARCEL_HEADER_ENTRY_COUNT_OFFSET + 2 == PARCEL_HEADER_FIXED_BYTES,
              "the entry count ends the header's fixed part");
static_assert(LEVEL_BLOCK_TABLE_OFFSET + 4 == LEVEL_ENTRY_BYTES &&
                  LEVEL_PIECE_GRIDS_OFFSET + 2 * SPLIT_KINDS == LEVEL_BLOCK_TABLE_OFFSET &&
                  LEVEL_THRESHOLDS_OFFSET + 4 * LEVEL_THRESHOLDS == LEVEL_BLOCK_GRID_OFFSET,
              "level entry fields follow one another");
