// A small map file whose parcel (0, 0) has a road, a background and a name
// section, for the pooled acquire / release tests.
#pragma once

#include "map_records_support.h"
#include "mapdata/parcel_index.h"
#include "mapdata_support.h"

constexpr uint16_t POOL_TEST_VALUE_A = 77;

inline ParcelData SectionsOfEveryKind() {
  ParcelData data;
  data.valueA = POOL_TEST_VALUE_A;
  Bytes roads = RoadHead({{6, 1}});
  roads.U16(0x000F).Append(SimpleRoadObject(0x2000, 10, 20, {1, 1, 2, 2}));
  data.road = roads.data;
  Bytes background = BackgroundDirectory(0);
  background.U16(1).U16(3).U16(0x8001);  // one area group of one item
  background.U16(7).U16((3 << 11) | 1).U16(9).U16(0).U16(1).U16(2).U8(3).U8(4);
  data.background = background.data;
  Bytes names = NameDirectory(3, {{3, 1}});
  names.U16(8).U16(0x0100).U16(5).U16(0).U16(1).U16(2).U16(1).U8('A').U8(0);
  data.names = names.data;
  return data;
}

// Writes the small map with that parcel, loads it and finds its entry.
class PooledSectionsTest : public MapDataTest {
 protected:
  void SetUp() override {
    MapDataTest::SetUp();
    MapDescription map = SmallMap();
    MapParcelDescription parcel;
    parcel.data = SectionsOfEveryKind();
    map.parcels.push_back(parcel);
    const std::string path = scratch.File("sections.kwi");
    ASSERT_EQ(WriteMapFile(map, path.c_str()), 0);
    ASSERT_EQ(Open(path), 0);
    const MapCoord center{800100, 400100};
    ParcelList* list = FindParcels(Map(), &center, 10, 10, 62);
    ASSERT_NE(list, nullptr);
    entry = list->entries[0];
    FreeParcelList(list);
  }
  // Another key for the same data (a shifted corner), as many parcels.
  ParcelEntry Alias(int i) const {
    ParcelEntry alias = entry;
    alias.x0 += i;
    return alias;
  }
  ParcelEntry entry{};
};
