// Writes the seed corpus of fuzz_mapdata: small valid maps from the map
// writer and damaged copies of them.
//   make_mapdata_seeds DIR
#include <cstdio>
#include <string>
#include <vector>

#include "tools/mapwriter/map_writer.h"

namespace {

void Save(const std::string& path, const std::vector<uint8_t>& image) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(image.data(), 1, image.size(), file);
  std::fclose(file);
}

void Put16(std::vector<uint8_t>* image, uint32_t pos, uint32_t value) {
  (*image)[pos] = static_cast<uint8_t>(value >> 8);
  (*image)[pos + 1] = static_cast<uint8_t>(value);
}

// Two levels over 2 × 2 × 2 grids, whole parcels with small sections and
// three split parcels (kinds 0, 1 and 2, one piece missing).
MapDescription SeedMap() {
  MapDescription map;
  map.blockSize = 32;
  map.flags = 0x4000;
  map.extent = {800000, 400000, 808000, 406400};
  for (uint16_t code : {62, 0}) {
    MapLevelDescription level;
    level.levelCode = code;
    level.blockRows = level.blockColumns = 2;
    level.subBlockRows = level.subBlockColumns = 2;
    level.parcelRows = level.parcelColumns = code == 62 ? 2 : 1;
    level.pieceGrid[0] = 4;
    level.pieceGrid[1] = 3;
    for (int t = 0; t < 5; ++t) level.thresholds[t] = 1000u * (t + 1);
    map.levels.push_back(level);
  }
  for (uint16_t l = 0; l < 2; ++l) {
    const uint32_t side = map.levels[l].ParcelGridColumns();
    for (uint32_t row = 0; row < side; ++row) {
      for (uint32_t column = 0; column < side; ++column) {
        MapParcelDescription parcel;
        parcel.level = l;
        parcel.row = row;
        parcel.column = column;
        parcel.data.road = {1, 2, 3, static_cast<uint8_t>(row)};
        parcel.data.names = {static_cast<uint8_t>(column)};
        const uint32_t kind = (row * side + column) % 11;
        if (l == 0 && kind < 3) {
          parcel.split = true;
          parcel.splitKind = static_cast<uint8_t>(kind);
          const uint32_t s = kind == 0 ? map.levels[0].parcelColumns : map.levels[0].pieceGrid[kind - 1];
          parcel.pieces.assign(s * s, ParcelData{});
          parcel.pieces[1] = std::nullopt;
        }
        map.parcels.push_back(parcel);
      }
    }
  }
  return map;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_mapdata_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<uint8_t> valid;
  MapLayout layout;
  if (BuildMapImage(SeedMap(), &valid, &layout) != 0) return 1;
  Save(dir + "/valid.kwi", valid);
  const uint32_t area = layout.areaOffset, level = area + 30;
  std::vector<uint8_t> image = valid;
  Put16(&image, area + 22, 0);  // block records of size 0
  Save(dir + "/shared-block-records.kwi", image);
  image = valid;
  Put16(&image, level + 24, 0xFFFF);  // 256 x 256 blocks
  Put16(&image, level + 28, 0x0303);  // 4 x 4 parcels
  Save(dir + "/large-grids.kwi", image);
  image = valid;
  Put16(&image, area + 26, 0x00FF);  // 255 levels
  Save(dir + "/many-levels.kwi", image);
  image.assign(valid.begin(), valid.begin() + (valid.size() * 2) / 3);
  Save(dir + "/truncated.kwi", image);
  return 0;
}
