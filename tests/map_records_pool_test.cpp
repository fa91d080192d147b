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
  PooledParcel* (*acquireFrom)(MapDataOwner*, const ParcelEntry&);
  int (*releaseTo)(MapDataOwner*, PooledParcel*);
  bool newTakesFreedSlot;
  ParcelPool& (MapDataOwner::*pool)();
};

const Kind KINDS[] = {
    {"roads", [](MapDataOwner* m, const ParcelEntry& e) -> PooledParcel* { return AcquireRoads(m, e); },
     [](MapDataOwner* m, PooledParcel* p) { return ReleaseRoads(m, static_cast<RoadParcel*>(p)); }, true,
     &MapDataOwner::RoadPool},
    {"background", [](MapDataOwner* m, const ParcelEntry& e) -> PooledParcel* { return AcquireBackground(m, e); },
     [](MapDataOwner* m, PooledParcel* p) { return ReleaseBackground(m, static_cast<BackgroundParcel*>(p)); }, false,
     &MapDataOwner::BackgroundPool},
    {"names", [](MapDataOwner* m, const ParcelEntry& e) -> PooledParcel* { return AcquireNames(m, e); },
     [](MapDataOwner* m, PooledParcel* p) { return ReleaseNames(m, static_cast<NameParcel*>(p)); }, false,
     &MapDataOwner::NamePool},
};

// The kinds of the test's map.
class PooledKindsTest : public PooledSectionsTest {
 protected:
  PooledParcel* Acquire(const Kind& kind, const ParcelEntry& e) { return kind.acquireFrom(Map(), e); }
  int Release(const Kind& kind, PooledParcel* p) { return kind.releaseTo(Map(), p); }
};

TEST_F(PooledKindsTest, AcquiringTwiceSharesOneParcelThatStaysPooled) {
  for (const Kind& kind : KINDS) {
    SCOPED_TRACE(kind.name);
    PooledParcel* first = Acquire(kind, entry);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Acquire(kind, entry), first);
    EXPECT_EQ(first->refCount, 2);
    EXPECT_EQ(Release(kind, first), 0);
    EXPECT_EQ(Release(kind, first), 0);
    EXPECT_EQ(first->refCount, 0);
    EXPECT_EQ(Release(kind, first), -1);  // not held any more
    EXPECT_EQ(Acquire(kind, entry), first);
    EXPECT_EQ(Release(kind, first), 0);
  }
  RoadParcel* roads = AcquireRoads(Map(), entry);
  EXPECT_EQ(roads->valueA, POOL_TEST_VALUE_A);
  EXPECT_EQ(roads->groups[0].decodedCount, 1);
  BackgroundParcel* background = AcquireBackground(Map(), entry);
  EXPECT_EQ(background->classes[0].groups[0].items[0].points[1].x, 4);
  NameParcel* names = AcquireNames(Map(), entry);
  EXPECT_EQ(names->groups[0].records[0].text[0], 'A');
  ReleaseRoads(Map(), roads);
  ReleaseBackground(Map(), background);
  ReleaseNames(Map(), names);
}

TEST_F(PooledKindsTest, AFullPoolFollowsEachKindsRule) {
  for (const Kind& kind : KINDS) {
    SCOPED_TRACE(kind.name);
    for (int i = 0; i < PARCEL_POOL_SLOTS; ++i) Release(kind, Acquire(kind, Alias(i)));
    // The oldest is not held: it is freed; roads pool the newcomer.
    PooledParcel* newcomer = Acquire(kind, Alias(100));
    ASSERT_NE(newcomer, nullptr);
    PooledParcel* again = Acquire(kind, Alias(100));
    EXPECT_EQ(again == newcomer, kind.newTakesFreedSlot);
    Release(kind, again);
    Release(kind, newcomer);
    // A held oldest goes back in at the end and stays valid; the newcomer
    // stays outside (for every kind), so the next acquire decodes anew.
    (Map()->*kind.pool)().ReleaseAll();
    PooledParcel* oldest = Acquire(kind, Alias(1));
    for (int i = 2; i <= PARCEL_POOL_SLOTS; ++i) Release(kind, Acquire(kind, Alias(i)));
    PooledParcel* outside = Acquire(kind, Alias(200));
    ASSERT_NE(outside, nullptr);
    PooledParcel* decodedAgain = Acquire(kind, Alias(200));
    EXPECT_NE(decodedAgain, outside);
    EXPECT_EQ(Acquire(kind, Alias(1)), oldest);
    EXPECT_EQ(oldest->refCount, 2);
    EXPECT_EQ(Release(kind, outside), 0);
    EXPECT_EQ(Release(kind, decodedAgain), 0);
    Release(kind, oldest);
    Release(kind, oldest);
  }
}

TEST_F(PooledKindsTest, EntriesWithoutDataOrSectionGiveNull) {
  ParcelEntry missing = entry;
  missing.address = 0x00FFFF00;  // far past the end of the file
  for (const Kind& kind : KINDS) EXPECT_EQ(Acquire(kind, missing), nullptr) << kind.name;
  // No map, and a map whose file could not be read.
  for (const Kind& kind : KINDS) EXPECT_EQ(kind.acquireFrom(nullptr, entry), nullptr) << kind.name;
  MapDataOwner unread(scratch.File("missing.kwi").c_str());
  EXPECT_EQ(unread.Load(), -1);
  for (const Kind& kind : KINDS) EXPECT_EQ(kind.acquireFrom(&unread, entry), nullptr) << kind.name;
}

}  // namespace
