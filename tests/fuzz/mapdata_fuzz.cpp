// Fuzz target of the map database reader: the input is the whole map file.
// It is loaded and queried at every level for views of several sizes, as
// the renderer would, and the roads, background and names of every parcel
// found are acquired and released; any read outside a buffer, hang or leak
// is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "mapdata/background_records.h"
#include "mapdata/map_owner.h"
#include "mapdata/name_records.h"
#include "mapdata/parcel_index.h"
#include "mapdata/road_records.h"

namespace {

const std::string& ScratchFile() {
  static const std::string path = [] {
    std::random_device seed;
    return (std::filesystem::temp_directory_path() / ("tevo-fuzz-mapdata-" + std::to_string(seed()) + ".kwi"))
        .string();
  }();
  return path;
}

// Decodes every kind of every parcel of a list (twice, so the second comes
// from the pools) and gives them back.
void DecodeAll(MapDataOwner* map, ParcelList* list) {
  if (list == nullptr) return;
  for (int pass = 0; pass < 2; ++pass) {
    for (uint16_t i = 0; i < list->count; ++i) {
      ReleaseRoads(map, AcquireRoads(map, list->entries[i]));
      ReleaseBackground(map, AcquireBackground(map, list->entries[i]));
      ReleaseNames(map, AcquireNames(map, list->entries[i]));
    }
  }
  FreeParcelList(list);
}

void Query(MapDataOwner* map, const ParcelIndex& index) {
  const int64_t width = int64_t{index.east} - index.west;
  const int64_t height = int64_t{index.north} - index.south;
  const MapCoord centers[] = {
      {static_cast<int32_t>(index.west + width / 2), static_cast<int32_t>(index.south + height / 2)},
      {index.west, index.south},
      {index.east, index.north},
  };
  const int32_t halves[][2] = {{1, 1}, {996, 580}, {static_cast<int32_t>(width / 8), static_cast<int32_t>(height / 8)},
                               {static_cast<int32_t>(width), static_cast<int32_t>(height)}};
  for (int level = 0; level < index.levelCount && level < 4; ++level) {
    for (const MapCoord& center : centers) {
      for (const auto& half : halves) {
        DecodeAll(map, FindParcels(map, &center, half[0], half[1], index.levels[level].levelCode));
      }
      IsInsideMap(map, &center);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(ScratchFile().c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  MapDataOwner map(ScratchFile().c_str());
  if (map.Load() == 0) {
    int bit15 = 0, bit14 = 0;
    GetMapFlags(&map, &bit15, &bit14);
    if (const ParcelIndex* index = map.Database()->GetParcelIndex()) Query(&map, *index);
  }
  return 0;
}
