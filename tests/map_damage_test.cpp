// Damaged maps: every truncation and every single-byte change of a small
// map with roads, background and names must decode without a crash, a
// read outside a buffer (the sanitizer builds run these too) or a hang, and
// what is decoded stays within the limits of the decoded types.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "map_sections_support.h"
#include "mapdata/background_records.h"
#include "mapdata/name_records.h"
#include "mapdata/parcel_index.h"
#include "mapdata/road_records.h"
#include "mapdata_support.h"

namespace {

// Reads every decoded value (so the sanitizers see any bad pointer) and
// checks the limits every holder relies on; returns a sum to keep the reads.
uint64_t TouchRoads(const RoadParcel& roads) {
  uint64_t sum = roads.valueA + roads.valueB;
  EXPECT_LE(roads.groupCount, ROAD_GROUP_SLOTS);
  for (int g = 0; g < roads.groupCount && g < ROAD_GROUP_SLOTS; ++g) {
    const RoadGroup& group = roads.groups[g];
    EXPECT_GE(group.decodedCount, 0);
    EXPECT_LE(group.decodedCount, group.objectCount);
    for (int i = 0; i < group.decodedCount; ++i) {
      sum += group.objectAttributes[i];
      for (const ShapeSegment* s = group.objects[i]; s != nullptr; s = s->next) {
        EXPECT_LE(s->deltaCount, ROAD_MAX_SEGMENT_DELTAS);
        sum += static_cast<uint16_t>(s->x + s->y);
        for (uint32_t d = 0; d < 2u * s->deltaCount; ++d) sum += static_cast<uint8_t>(s->deltas[d]);
      }
    }
  }
  return sum;
}

uint64_t TouchBackground(const BackgroundParcel& background) {
  uint64_t sum = background.tableWords;
  for (const FeatureClass& featureClass : background.classes) {
    for (int g = 0; g < featureClass.groupCount; ++g) {
      sum += featureClass.groupOffsets[g] + featureClass.groupWords[g];
      const FeatureGroup& group = featureClass.groups[g];
      EXPECT_EQ(group.itemCount, featureClass.groupWords[g] & FEATURE_ITEM_COUNT_MASK);
      for (int i = 0; i < group.itemCount; ++i) {
        const FeatureItem& item = group.items[i];
        EXPECT_LE(item.pointCount, BACKGROUND_MAX_POINTS);
        sum += item.itemHeader + item.typeCode + item.itemFlags;
        for (int p = 0; item.points != nullptr && p < item.pointCount; ++p) {
          sum += static_cast<uint16_t>(item.points[p].x + item.points[p].y) + item.points[p].toggle;
        }
      }
    }
  }
  return sum;
}

uint64_t TouchNames(const NameParcel& names) {
  uint64_t sum = names.directoryBytes;
  EXPECT_LE(names.groupCount, NAME_GROUP_SLOTS);
  for (int g = 0; g < names.groupCount && g < NAME_GROUP_SLOTS; ++g) {
    const NameGroup& group = names.groups[g];
    for (int r = 0; group.records != nullptr && r < group.recordCount; ++r) {
      const NameRecord& record = group.records[r];
      EXPECT_LE(record.charCount, NAME_TEXT_MAX_CHARS);
      sum += record.attributes + record.classCode + record.style + record.extra1 + record.extra2;
      if (record.text != nullptr) {
        EXPECT_EQ(record.text[2 * record.charCount] | record.text[2 * record.charCount + 1], 0);
        for (uint32_t b = 0; b < 2 * record.charCount; ++b) sum += record.text[b];
      }
      if (record.placement != nullptr) {
        EXPECT_LE(record.offsetCount, record.charCount);
        for (uint32_t b = 0; b < record.charCount; ++b) sum += record.placement[b];
        for (uint32_t b = 0; b < 2u * record.offsetCount; ++b) sum += record.placementOffsets[b];
      }
    }
  }
  return sum;
}

class MapDamageTest : public MapDataTest {
 protected:
  // A map of one level with the small parcel twice (whole and as a piece)
  // and a piece without data.
  static std::vector<uint8_t> SmallImage() {
    ParcelData data;
    EXPECT_EQ(EncodeParcelSections(SmallSections(), &data), 0);
    MapDescription map = SmallMap();
    map.blockSize = 32;
    MapParcelDescription parcel;
    parcel.row = 1;
    parcel.column = 2;
    parcel.data = data;
    map.parcels.push_back(parcel);
    parcel.row = 6;
    parcel.split = true;
    parcel.splitKind = 2;
    parcel.pieces = {data, std::nullopt, std::nullopt, data};
    map.parcels.push_back(parcel);
    std::vector<uint8_t> image;
    EXPECT_EQ(BuildMapImage(map, &image), 0);
    return image;
  }

  static bool Keep(void* context, const ParcelEntry& entry) {
    static_cast<std::vector<ParcelEntry>*>(context)->push_back(entry);
    return true;
  }

  // Loads the map file and acquires (twice, as two holders would) and
  // releases every kind of every parcel of every level. Returns the number
  // of sections decoded.
  int Exercise() {
    Reset();
    if (LoadMapDatabase(path.c_str()) != 0) return 0;
    const ParcelIndex* index = MapDatabase::Instance()->GetParcelIndex();
    if (index == nullptr) return 0;
    int decoded = 0;
    for (int level = 0; level < index->levelCount; ++level) {
      std::vector<ParcelEntry> entries;
      ParcelWalk walk{Keep, &entries, 0, 0, 0, 0, false};
      WalkParcels(*index, level, {index->west, index->south, index->east, index->north}, &walk);
      for (const ParcelEntry& entry : entries) decoded += AcquireAll(entry);
    }
    return decoded;
  }

  // Sets one byte of the map file in place (rewriting a whole file each time
  // would make the sweep wait on the disk).
  void SetByte(std::fstream* file, size_t pos, uint8_t value) {
    file->seekp(static_cast<std::streamoff>(pos));
    file->put(static_cast<char>(value));
    file->flush();
  }

  int AcquireAll(const ParcelEntry& entry) {
    int decoded = 0;
    for (int holder = 0; holder < 2; ++holder) {
      if (RoadParcel* roads = AcquireRoads(entry)) {
        touched += TouchRoads(*roads);
        EXPECT_EQ(ReleaseRoads(roads), 0);
        ++decoded;
      }
      if (BackgroundParcel* background = AcquireBackground(entry)) {
        touched += TouchBackground(*background);
        EXPECT_EQ(ReleaseBackground(background), 0);
        ++decoded;
      }
      if (NameParcel* names = AcquireNames(entry)) {
        touched += TouchNames(*names);
        EXPECT_EQ(ReleaseNames(names), 0);
        ++decoded;
      }
    }
    return decoded;
  }

  const std::string path = scratch.File("damaged.kwi");
  uint64_t touched = 0;
};

TEST_F(MapDamageTest, EveryTruncationAndEverySingleByteChangeDecodesSafely) {
  const std::vector<uint8_t> image = SmallImage();
  WriteBytes(path, image);
  // Three parcels with all three kinds, each acquired by two holders.
  ASSERT_EQ(Exercise(), 3 * 3 * 2);
  {
    // Every byte set to 0x00, 0xFF and its complement, and with its lowest
    // and highest bit flipped (the in-memory sweep below tries every value
    // of the parcel data's bytes).
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    ASSERT_TRUE(file.is_open());
    for (size_t pos = 0; pos < image.size(); ++pos) {
      const uint8_t original = image[pos];
      const uint8_t values[] = {0x00, 0xFF, static_cast<uint8_t>(~original), static_cast<uint8_t>(original ^ 0x01),
                                static_cast<uint8_t>(original ^ 0x80)};
      for (uint8_t value : values) {
        if (value == original) continue;
        SCOPED_TRACE("byte " + std::to_string(pos) + " set to " + std::to_string(value));
        SetByte(&file, pos, value);
        Exercise();
        if (HasFailure()) return;
      }
      SetByte(&file, pos, original);
    }
  }
  for (size_t length = image.size(); length-- > 0;) {
    SCOPED_TRACE("truncated to " + std::to_string(length));
    std::filesystem::resize_file(path, length);
    Exercise();
    if (HasFailure()) return;
  }
}

// The parcel data alone, decoded from memory: every truncation, and every
// byte of it set to every other value.
TEST_F(MapDamageTest, EveryValueOfEveryParcelDataByteDecodesSafely) {
  ParcelData data;
  ASSERT_EQ(EncodeParcelSections(SmallSections(), &data), 0);
  MapDescription map = SmallMap();
  map.blockSize = 32;
  MapParcelDescription parcel;
  parcel.data = data;
  map.parcels.push_back(parcel);
  std::vector<uint8_t> image;
  MapLayout layout;
  ASSERT_EQ(BuildMapImage(map, &image, &layout), 0);
  const uint32_t start = SectorAddressToOffset(layout.parcels[0].addresses[0], map.blockSize);
  const std::vector<uint8_t> bytes(image.begin() + start,
                                   image.begin() + start + layout.parcels[0].sizes[0] * map.blockSize);
  auto decode = [this](const std::vector<uint8_t>& parcelData, size_t size) {
    ByteCursor cursor = MakeCursor(parcelData.data(), static_cast<uint32_t>(size));
    ParcelHeader header;
    if (ReadParcelHeader(&cursor, 32, &header) != 0) return 0;
    int decoded = 0;
    if (RoadParcel* roads = DecodeRoads(parcelData.data(), static_cast<uint32_t>(size), header)) {
      touched += TouchRoads(*roads);
      FreeRoads(roads);
      ++decoded;
    }
    if (BackgroundParcel* background = DecodeBackground(parcelData.data(), static_cast<uint32_t>(size), header)) {
      touched += TouchBackground(*background);
      FreeBackground(background);
      ++decoded;
    }
    if (NameParcel* names = DecodeNames(parcelData.data(), static_cast<uint32_t>(size), header)) {
      touched += TouchNames(*names);
      FreeNames(names);
      ++decoded;
    }
    return decoded;
  };
  ASSERT_EQ(decode(bytes, bytes.size()), 3);
  for (size_t length = 0; length < bytes.size(); ++length) {
    // A copy of exactly `length` bytes, so that a read past it is caught.
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
    decode(cut, length);
    if (HasFailure()) return;
  }
  for (size_t pos = 0; pos < bytes.size(); ++pos) {
    std::vector<uint8_t> damaged = bytes;
    for (int value = 0; value < 256; ++value) {
      if (value == bytes[pos]) continue;
      damaged[pos] = static_cast<uint8_t>(value);
      SCOPED_TRACE("byte " + std::to_string(pos) + " set to " + std::to_string(value));
      decode(damaged, damaged.size());
      if (HasFailure()) return;
    }
  }
}

}  // namespace
