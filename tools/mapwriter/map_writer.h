// Writes map database files in the KIWI layout that the map reader reads:
// the management header, the section directory, the parcel index area with
// its level entries, block and sub-block tables, one parcel table per
// sub-block that has parcels, and one data area per parcel (or piece) that
// starts with a parcel data header locating its road, background and name
// sections. The sections themselves are opaque bytes here.
//
// A map is described in code (MapDescription) and turned into bytes by
// BuildMapImage or into a file by WriteMapFile. Used by the tests, the demo
// device and converters from open map data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "geometry/types.h"
#include "mapdata/map_layout.h"

constexpr int32_t DegreesToUnits(double degrees) {
  return static_cast<int32_t>(degrees * MAP_UNITS_PER_DEGREE + (degrees >= 0 ? 0.5 : -0.5));
}

// The data of one parcel or piece. The writer lays out the parcel data
// header (with valueA and valueB, 15 bits each) and places the three
// sections after it, each padded to whole 16-bit words. An empty section is
// recorded as absent.
struct ParcelData {
  uint16_t valueA = 0;
  uint16_t valueB = 0;
  std::vector<uint8_t> road;
  std::vector<uint8_t> background;
  std::vector<uint8_t> names;
};

// One detail level: a grid of blocks over the map's extent, sub-blocks per
// block, parcels per sub-block; all counts 1..256.
struct MapLevelDescription {
  uint16_t levelCode = 0;  // 0..63
  uint32_t thresholds[LEVEL_THRESHOLDS] = {};
  uint16_t blockRows = 1, blockColumns = 1;
  uint16_t subBlockRows = 1, subBlockColumns = 1;
  uint16_t parcelRows = 1, parcelColumns = 1;
  // Pieces per side of a parcel split with kinds 1, 2, 3 (kind 0 uses
  // parcelColumns).
  uint16_t pieceGrid[SPLIT_KINDS] = {1, 1, 1};

  uint32_t ParcelGridRows() const { return uint32_t{blockRows} * subBlockRows * parcelRows; }
  uint32_t ParcelGridColumns() const { return uint32_t{blockColumns} * subBlockColumns * parcelColumns; }
};

// One parcel, placed by its row (0 = southernmost) and column (0 =
// westernmost) in its level's whole parcel grid.
struct MapParcelDescription {
  uint16_t level = 0;  // index into MapDescription::levels
  uint32_t row = 0;
  uint32_t column = 0;
  ParcelData data;  // a whole parcel
  // A split parcel: kind 0..3 and S × S pieces, index row × S + column;
  // an empty optional is a piece without data.
  bool split = false;
  uint8_t splitKind = 0;
  std::vector<std::optional<ParcelData>> pieces;
};

struct MapDescription {
  // Unit of every address word and size count. 32..2048 dividing 2048 lets
  // data start at any multiple of it; other sizes start data on sectors.
  uint16_t blockSize = 256;
  uint16_t flags = 0;  // bit 14: the sea-coloured background
  // The eight text fields at the start of the file (64, 64, 32, 64, 64,
  // 128, 8, 32 bytes); longer texts are cut.
  std::string headerTexts[HEADER_TEXT_FIELDS];
  // The extent shared by all levels: non-negative multiples of 16 units
  // (1/8 arc-second) below 2^23 × 16.
  InclusiveRect extent;
  std::vector<MapLevelDescription> levels;
  std::vector<MapParcelDescription> parcels;
};

// Where the writer put things, as file offsets (for tests that damage a
// file on purpose, and for checking a reader's results).
struct ParcelPlacement {
  uint32_t recordOffset = 0;  // the parcel's 6-byte record in its parcel table
  uint32_t tableOffset = 0;   // its parcel table
  uint32_t splitOffset = 0;   // its split record (0 for a whole parcel)
  // One per whole parcel, S × S per split parcel (0 / 0xFFFFFFFF for a
  // piece without data): the address word and size in blocks of the data.
  std::vector<uint32_t> addresses;
  std::vector<uint32_t> sizes;
};

struct MapLayout {
  uint32_t areaOffset = 0;  // the parcel index area
  uint32_t areaBytes = 0;
  std::vector<uint32_t> blockTableOffsets;  // per level
  std::vector<ParcelPlacement> parcels;     // per described parcel
  uint32_t fileBytes = 0;
  std::vector<uint32_t> dataOffsets;        // BuildMapHead: per data area (0 for a piece without data)
};

// Lays the map out into `image`. Returns 0, or -1 with the reason in
// *error (when given) for a description the format cannot hold.
int BuildMapImage(const MapDescription& map, std::vector<uint8_t>* image, MapLayout* layout = nullptr,
                  std::string* error = nullptr);

// --- Maps written piece by piece ---
//
// A map too large to hold whole is written in two parts: each parcel's data
// area is encoded on its own (EncodeDataArea; the bytes do not depend on
// where they go), and the head of the file (management header, index area
// and parcel tables) is laid out from the data areas' sizes alone. The
// result is the file BuildMapImage makes of the same map.

// The data area of one parcel or piece (header and sections), as
// BuildMapImage writes it. Returns 0, or -1 with *error (when given).
int EncodeDataArea(const ParcelData& data, uint16_t blockSize, std::vector<uint8_t>* bytes,
                   std::string* error = nullptr);

// Lays out `map`, whose parcels' `data` and `pieces` are not looked at except
// to count pieces: `dataAreaBytes` gives the size of every data area in
// placement order (each whole parcel one, each split parcel its S × S
// pieces; 0 for a piece without data). Writes the file's bytes before the
// first data area into *head; layout->dataOffsets says where each data area
// goes and layout->fileBytes how long the file is (the tail padded with
// zeros). Returns 0, or -1 with *error (when given).
int BuildMapHead(const MapDescription& map, const std::vector<uint32_t>& dataAreaBytes, std::vector<uint8_t>* head,
                 MapLayout* layout, std::string* error = nullptr);

// Reads the next `bytes` bytes of the data areas, which come back to back in
// placement order (pieces without data take none), into `into`. Returns 0,
// or -1 with the reason in *error.
using DataAreaReader = std::function<int(uint8_t* into, size_t bytes, std::string* error)>;
// Told how many of the file's `total` bytes are written, first with none,
// then after each data area. Non-zero stops the writing, with the reason
// in *error.
using MapWriteProgress = std::function<int(uint64_t written, uint64_t total, std::string* error)>;

// Lays out `map` as BuildMapHead does and writes the whole file to `file`:
// the head, each data area (read through `read`) at its offset, the gaps
// and the tail filled with zeros. `name` names the file in messages.
// Returns 0 with the file's size in *fileBytes, or -1 with *error.
int StreamMapFile(const MapDescription& map, const std::vector<uint32_t>& dataAreaBytes, const DataAreaReader& read,
                  const MapWriteProgress& progress, FILE* file, const std::string& name, uint64_t* fileBytes,
                  std::string* error);

// BuildMapImage, then writes the bytes to the host file `path`.
int WriteMapFile(const MapDescription& map, const char* path, MapLayout* layout = nullptr,
                 std::string* error = nullptr);

// --- Regular grids ---

// Adds a level whose parcels are parcelWidth × parcelHeight map units,
// tiling the map's extent from its south-west corner. The extent must hold a
// whole number of parcels on each axis (at most 256³); each count is split
// into block, sub-block and parcel grids as evenly as possible. Returns the
// new level's index, or -1.
int AddRegularLevel(MapDescription* map, uint16_t levelCode, int32_t parcelWidth, int32_t parcelHeight,
                    const uint32_t thresholds[LEVEL_THRESHOLDS]);

// Supplies the data of the parcel at (row, column) of a level.
using ParcelFiller = std::function<ParcelData(int levelIndex, uint32_t row, uint32_t column)>;

// Adds a whole parcel for every cell of level `levelIndex` that touches
// `box` (clipped to the extent) and has no parcel yet, with the data
// `fill` gives. Returns the number of parcels added, or -1.
int CoverBox(MapDescription* map, int levelIndex, const InclusiveRect& box, const ParcelFiller& fill);

// The rectangle of the parcel at (row, column) of a regular level.
InclusiveRect ParcelBox(const MapDescription& map, int levelIndex, uint32_t row, uint32_t column);

// --- The standard map of the viewer's scale steps ---

// The levels are STANDARD_LEVELS. The standard extent: one parcel of the
// coarsest level from 120° E, 20° N.
constexpr InclusiveRect STANDARD_EXTENT = {120 * MAP_UNITS_PER_DEGREE, 20 * MAP_UNITS_PER_DEGREE,
                                    120 * MAP_UNITS_PER_DEGREE + STANDARD_LEVELS[STANDARD_LEVEL_COUNT - 1].parcelWidth,
                                    20 * MAP_UNITS_PER_DEGREE + STANDARD_LEVELS[STANDARD_LEVEL_COUNT - 1].parcelHeight};

// Sets the standard extent and adds the seven standard levels, with display
// thresholds of 100 × the scale value (metres) of each of the level's
// steps. Returns 0, or -1 when the description already has levels.
int AddStandardLevels(MapDescription* map);

// Sets an extent that holds `box` (west, south, east, north in map units)
// and adds the seven standard levels over it, each with parcels close to
// the standard parcel size: every level's grid divides the grid of the next
// finer level, so the extent (a multiple of 16 units and of the finest
// grid) reaches at most one finest grid step per parcel count past the box.
// Returns 0, or -1 when the description already has levels or the box is
// empty or outside what the format holds.
int AddStandardLevelsOver(MapDescription* map, const InclusiveRect& box);

// The demonstration areas: central Tokyo, Nagoya with Anpachi (Gifu), and
// central Osaka.
constexpr int DEMO_AREA_COUNT = 3;
extern const InclusiveRect DEMO_AREAS[DEMO_AREA_COUNT];

// A standard map covering the demonstration areas at every level, each
// parcel with the data `fill` gives. Returns 0, or -1.
int DescribeDemoMap(MapDescription* map, const ParcelFiller& fill);
