// Damaged maps: every truncation and every single-byte change of a small
// map with roads, background and names must decode without a crash, a
// read outside a buffer or a hang. Every decoded value is read by printing
// it (to nowhere), so the sanitizer builds catch a count that exceeds what
// its decoder allocated.
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
#include "tools/logtool/parcel_dump.h"

namespace {

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
    if (Open(path) != 0) return 0;
    const ParcelIndex* index = Database().GetParcelIndex();
    if (index == nullptr) return 0;
    int decoded = 0;
    for (int level = 0; level < index->levelCount; ++level) {
      std::vector<ParcelEntry> entries;
      ParcelWalk walk{Keep, &entries, 0, 0, 0, 0, false};
      WalkParcels(Map(), level, {index->west, index->south, index->east, index->north}, &walk);
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
      if (RoadParcel* roads = AcquireRoads(Map(), entry)) {
        PrintRoadParcel(sink, *roads);
        EXPECT_EQ(ReleaseRoads(Map(), roads), 0);
        ++decoded;
      }
      if (BackgroundParcel* background = AcquireBackground(Map(), entry)) {
        PrintBackgroundParcel(sink, *background);
        EXPECT_EQ(ReleaseBackground(Map(), background), 0);
        ++decoded;
      }
      if (NameParcel* names = AcquireNames(Map(), entry)) {
        PrintNameParcel(sink, *names);
        EXPECT_EQ(ReleaseNames(Map(), names), 0);
        ++decoded;
      }
    }
    return decoded;
  }

  const std::string path = scratch.File("damaged.kwi");
  void SetUp() override {
    MapDataTest::SetUp();
    sink = std::fopen("/dev/null", "w");
    ASSERT_NE(sink, nullptr);
  }
  void TearDown() override {
    if (sink != nullptr) std::fclose(sink);
    MapDataTest::TearDown();
  }

  FILE* sink = nullptr;
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
      PrintRoadParcel(sink, *roads);
      FreeRoads(roads);
      ++decoded;
    }
    if (BackgroundParcel* background = DecodeBackground(parcelData.data(), static_cast<uint32_t>(size), header)) {
      PrintBackgroundParcel(sink, *background);
      FreeBackground(background);
      ++decoded;
    }
    if (NameParcel* names = DecodeNames(parcelData.data(), static_cast<uint32_t>(size), header)) {
      PrintNameParcel(sink, *names);
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
