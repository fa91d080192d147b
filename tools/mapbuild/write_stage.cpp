#include "tools/mapbuild/write_stage.h"

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr uint64_t METER_UNIT_BYTES = 1 << 20;
constexpr char METER_UNIT[] = "MB";

// The parcels of every level, in level order, for the map's head; the
// sizes of their data areas in the same order.
std::vector<uint32_t> DescribeParcels(MapDescription* map, LevelResult levels[STANDARD_LEVEL_COUNT]) {
  std::vector<uint32_t> areaBytes;
  size_t parcels = 0;
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) parcels += levels[level].data.parcels.size();
  map->parcels.reserve(parcels);
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    LevelData& data = levels[level].data;
    for (const StoredParcel& stored : data.parcels) {
      MapParcelDescription parcel;
      parcel.level = static_cast<uint16_t>(level);
      parcel.row = stored.row;
      parcel.column = stored.column;
      parcel.split = stored.side != 0;
      parcel.splitKind = stored.splitKind;
      parcel.pieces.resize(stored.side != 0 ? stored.Areas() : 0);
      map->parcels.push_back(std::move(parcel));
    }
    areaBytes.insert(areaBytes.end(), data.areaBytes.begin(), data.areaBytes.end());
    std::vector<uint32_t>().swap(data.areaBytes);
  }
  return areaBytes;
}

// The levels' data files read back to back in level order; each is
// removed once read to its end, the rest when this goes.
class LevelDataFiles {
 public:
  explicit LevelDataFiles(LevelResult* levels) : levels(levels) {}
  ~LevelDataFiles() {
    if (file != nullptr) std::fclose(file);
    for (int next = level; next < STANDARD_LEVEL_COUNT; ++next) {
      if (next >= 0) std::remove(levels[next].data.dataPath.c_str());
    }
  }
  LevelDataFiles(const LevelDataFiles&) = delete;
  LevelDataFiles& operator=(const LevelDataFiles&) = delete;

  int Read(uint8_t* into, size_t bytes, std::string* error) {
    while (left == 0) {
      if (Next(error) != 0) return -1;
    }
    if (bytes > left || std::fread(into, 1, bytes, file) != bytes) {
      *error = "cannot read the temporary file " + levels[level].data.dataPath;
      return -1;
    }
    left -= bytes;
    return 0;
  }

 private:
  // Closes and removes the file read to its end and opens the next level's.
  int Next(std::string* error) {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    if (level >= 0) std::remove(levels[level].data.dataPath.c_str());
    if (++level >= STANDARD_LEVEL_COUNT) {
      *error = "the levels' data files end before the map's last data area";
      return -1;
    }
    const LevelData& data = levels[level].data;
    if ((file = std::fopen(data.dataPath.c_str(), "rb")) == nullptr) {
      *error = "cannot read the temporary file " + data.dataPath + ": " + std::strerror(errno);
      return -1;
    }
    left = data.dataBytes;
    return 0;
  }

  LevelResult* levels;
  int level = -1;
  FILE* file = nullptr;
  uint64_t left = 0;
};

}  // namespace

int WriteMap(const BuildContext& context, MapDescription* map, LevelResult levels[STANDARD_LEVEL_COUNT], FILE* file,
             const std::string& name, std::string* error) {
  const std::vector<uint32_t> areaBytes = DescribeParcels(map, levels);
  LevelDataFiles data(levels);
  const DataAreaReader read = [&data](uint8_t* into, size_t bytes, std::string* why) {
    return data.Read(into, bytes, why);
  };
  ProgressMeter* meter = context.Meter();
  const MapWriteProgress progress = [&](uint64_t written, uint64_t total, std::string* why) {
    if (meter != nullptr && written == 0) meter->Start("writing the map", total / METER_UNIT_BYTES, METER_UNIT);
    if (meter != nullptr) meter->Set(written / METER_UNIT_BYTES);
    if (!context.Stopped()) return 0;
    *why = INTERRUPTED;
    return -1;
  };
  uint64_t bytes = 0;
  if (StreamMapFile(*map, areaBytes, read, progress, file, name, &bytes, error) != 0) return -1;
  if (meter != nullptr) meter->Finish();
  context.summary->bytes = bytes;
  return 0;
}
