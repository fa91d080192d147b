// Decoded parcels through the pools: sharing, the full-pool rule of each
// kind, and parcels without a section.
#include <gtest/gtest.h>

#include "map_records_pool_support.h"
#include "mapdata/background_records.h"
#include "mapdata/name_records.h"
#include "mapdata/road_records.h"

namespace {

// The three kinds behind one face: acquire and release by entry.
struct Kind {
  const char* name;
  PooledParcel* (*acquire)(const ParcelEntry&);
  int (*release)(PooledParcel*);
  bool newTakesFreedSlot;
  ParcelPool MapDatabase::*pool;
};

const Kind KINDS[] = {
    {"roads", [](const ParcelEntry& e) -> PooledParcel* { return AcquireRoads(e); },
     [](PooledParcel* p) { return ReleaseRoads(static_cast<RoadParcel*>(p)); }, true, &MapDatabase::roadPool},
    {"background", [](const ParcelEntry& e) -> PooledParcel* { return AcquireBackground(e); },
     [](PooledParcel* p) { return ReleaseBackground(static_cast<BackgroundParcel*>(p)); }, false,
     &MapDatabase::backgroundPool},
    {"names", [](const ParcelEntry& e) -> PooledParcel* { return AcquireNames(e); },
     [](PooledParcel* p) { return ReleaseNames(static_cast<NameParcel*>(p)); }, false, &MapDatabase::namePool},
};

TEST_F(PooledSectionsTest, AcquiringTwiceSharesOneParcelThatStaysPooled) {
  for (const Kind& kind : KINDS) {
    SCOPED_TRACE(kind.name);
    PooledParcel* first = kind.acquire(entry);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(kind.acquire(entry), first);
    EXPECT_EQ(first->refCount, 2);
    EXPECT_EQ(kind.release(first), 0);
    EXPECT_EQ(kind.release(first), 0);
    EXPECT_EQ(first->refCount, 0);
    EXPECT_EQ(kind.release(first), -1);  // not held any more
    EXPECT_EQ(kind.acquire(entry), first);
    EXPECT_EQ(kind.release(first), 0);
  }
  RoadParcel* roads = AcquireRoads(entry);
  EXPECT_EQ(roads->valueA, POOL_TEST_VALUE_A);
  EXPECT_EQ(roads->groups[0].decodedCount, 1);
  BackgroundParcel* background = AcquireBackground(entry);
  EXPECT_EQ(background->classes[0].groups[0].items[0].points[1].x, 4);
  NameParcel* names = AcquireNames(entry);
  EXPECT_EQ(names->groups[0].records[0].text[0], 'A');
  ReleaseRoads(roads);
  ReleaseBackground(background);
  ReleaseNames(names);
}

TEST_F(PooledSectionsTest, AFullPoolFollowsEachKindsRule) {
  for (const Kind& kind : KINDS) {
    SCOPED_TRACE(kind.name);
    for (int i = 0; i < PARCEL_POOL_SLOTS; ++i) kind.release(kind.acquire(Alias(i)));
    // The oldest is not held: it is freed; roads pool the newcomer.
    PooledParcel* newcomer = kind.acquire(Alias(100));
    ASSERT_NE(newcomer, nullptr);
    PooledParcel* again = kind.acquire(Alias(100));
    EXPECT_EQ(again == newcomer, kind.newTakesFreedSlot);
    kind.release(again);
    kind.release(newcomer);
    // A held oldest goes back in at the end and stays valid; the newcomer
    // stays outside (for every kind), so the next acquire decodes anew.
    (MapDatabase::Instance()->*kind.pool).ReleaseAll();
    PooledParcel* oldest = kind.acquire(Alias(1));
    for (int i = 2; i <= PARCEL_POOL_SLOTS; ++i) kind.release(kind.acquire(Alias(i)));
    PooledParcel* outside = kind.acquire(Alias(200));
    ASSERT_NE(outside, nullptr);
    PooledParcel* decodedAgain = kind.acquire(Alias(200));
    EXPECT_NE(decodedAgain, outside);
    EXPECT_EQ(kind.acquire(Alias(1)), oldest);
    EXPECT_EQ(oldest->refCount, 2);
    EXPECT_EQ(kind.release(outside), 0);
    EXPECT_EQ(kind.release(decodedAgain), 0);
    kind.release(oldest);
    kind.release(oldest);
  }
}

TEST_F(PooledSectionsTest, EntriesWithoutDataOrSectionGiveNull) {
  ParcelEntry missing = entry;
  missing.address = 0x00FFFF00;  // far past the end of the file
  for (const Kind& kind : KINDS) EXPECT_EQ(kind.acquire(missing), nullptr) << kind.name;
  MapDatabase::Destroy();  // no map loaded
  for (const Kind& kind : KINDS) EXPECT_EQ(kind.acquire(entry), nullptr) << kind.name;
}

}  // namespace
