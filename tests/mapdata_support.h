// Helpers of the map data tests: scratch files and small maps.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <memory>

#include "mapdata/map_owner.h"
#include "temporary_directory.h"
#include "tools/mapwriter/map_writer.h"

// A directory of its own under the system's temporary directory, removed
// with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() : path(MakeTemporaryDirectory("tevo-mapdata")) {}
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string File(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

inline void WriteBytes(const std::string& file, const std::vector<uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Big-endian patches of a map image, for damaging it on purpose.
inline void Patch16(std::vector<uint8_t>* image, uint32_t pos, uint32_t value) {
  (*image)[pos] = static_cast<uint8_t>(value >> 8);
  (*image)[pos + 1] = static_cast<uint8_t>(value);
}
inline void Patch24(std::vector<uint8_t>* image, uint32_t pos, uint32_t value) {
  (*image)[pos] = static_cast<uint8_t>(value >> 16);
  Patch16(image, pos + 1, value & 0xFFFF);
}
inline void Patch32(std::vector<uint8_t>* image, uint32_t pos, uint32_t value) {
  Patch16(image, pos, value >> 16);
  Patch16(image, pos + 2, value & 0xFFFF);
}

// Every test starts and ends without map data: each map a test opens gets
// an owner of its own, with an empty block cache and empty pools.
class MapDataTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  // Frees the owner of the last map opened.
  void Reset() { map.reset(); }
  // Opens the map file `path` with a new owner: the owner's Load result.
  int Open(const std::string& path) {
    map = std::make_unique<MapDataOwner>(path.c_str());
    return map->Load();
  }
  // The owner of the map last opened; null before the first Open.
  MapDataOwner* Map() const { return map.get(); }
  const MapDatabase& Database() const { return *map->Database(); }

  ScratchDir scratch;
  std::unique_ptr<MapDataOwner> map;
};

// A one-level map over a 2 × 2 block, 2 × 2 sub-block, 2 × 2 parcel grid
// (8 × 8 parcels of 1000 × 800 units from (800000, 400000)), level code 62.
inline MapDescription SmallMap() {
  MapDescription map;
  map.blockSize = 256;
  map.extent = {800000, 400000, 808000, 406400};
  MapLevelDescription level;
  level.levelCode = 62;
  level.blockRows = level.blockColumns = 2;
  level.subBlockRows = level.subBlockColumns = 2;
  level.parcelRows = level.parcelColumns = 2;
  level.pieceGrid[0] = 4;
  level.pieceGrid[1] = 2;
  level.pieceGrid[2] = 1;
  map.levels.push_back(level);
  return map;
}

constexpr int32_t SMALL_PARCEL_WIDTH = 1000;
constexpr int32_t SMALL_PARCEL_HEIGHT = 800;

// Adds whole parcels at every cell of level 0 of the map, with a road
// section naming the cell.
inline void FillAllParcels(MapDescription* map) {
  const MapLevelDescription& level = map->levels[0];
  for (uint32_t row = 0; row < level.ParcelGridRows(); ++row) {
    for (uint32_t column = 0; column < level.ParcelGridColumns(); ++column) {
      MapParcelDescription parcel;
      parcel.row = row;
      parcel.column = column;
      parcel.data.road = {static_cast<uint8_t>(row), static_cast<uint8_t>(column)};
      map->parcels.push_back(parcel);
    }
  }
}
