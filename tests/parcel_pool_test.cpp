// The pools of decoded parcels and their acquire / release protocol.
#include <gtest/gtest.h>

#include <vector>

#include <memory>

#include "mapdata/map_owner.h"
#include "mapdata/parcel_pool.h"

namespace {

struct TestParcel : PooledParcel {
  int32_t decodedFrom;
};

int decoded = 0;
int destroyed = 0;

PooledParcel* DecodeTest(const ParcelSource&, const ParcelEntry& entry) {
  if (entry.size == 0) return nullptr;  // "no such section"
  ++decoded;
  auto* parcel = new TestParcel{};
  parcel->decodedFrom = entry.x0;
  return parcel;
}

void DestroyTest(PooledParcel* parcel) {
  ++destroyed;
  delete static_cast<TestParcel*>(parcel);
}

const PoolKind INTO_FREED_SLOT{DecodeTest, DestroyTest, true};
const PoolKind STAYS_OUTSIDE{DecodeTest, DestroyTest, false};

// The test kinds decode from nothing but the entry.
const ParcelSource NO_SOURCE{};

ParcelEntry Entry(int32_t x0) {
  ParcelEntry entry{};
  entry.x0 = x0;
  entry.size = 1;
  return entry;
}

class ParcelPoolTest : public ::testing::Test {
 protected:
  void SetUp() override { decoded = destroyed = 0; }
  void TearDown() override { pool.ReleaseAll(); }
  // Fills the pool with parcels 0..63, each released (count 0) unless held.
  std::vector<PooledParcel*> Fill(const PoolKind& kind, bool held) {
    std::vector<PooledParcel*> parcels;
    for (int i = 0; i < PARCEL_POOL_SLOTS; ++i) {
      parcels.push_back(pool.Acquire(kind, NO_SOURCE, Entry(i)));
      if (!held) pool.Release(parcels.back());
    }
    return parcels;
  }
  ParcelPool pool;
};

TEST_F(ParcelPoolTest, AddFindAndTakeOldestAreFirstInFirstOut) {
  TestParcel a{}, b{}, c{};
  a.key = KeyOf(Entry(1));
  b.key = KeyOf(Entry(2));
  c.key = KeyOf(Entry(3));
  EXPECT_EQ(pool.TakeOldest(), nullptr);
  for (TestParcel* parcel : {&a, &b, &c}) EXPECT_EQ(pool.Add(parcel), 0);
  EXPECT_EQ(pool.Find(KeyOf(Entry(2))), &b);
  EXPECT_EQ(pool.Find(KeyOf(Entry(4))), nullptr);
  EXPECT_EQ(pool.TakeOldest(), &a);
  EXPECT_EQ(pool.Find(KeyOf(Entry(1))), nullptr);
  EXPECT_EQ(pool.Find(KeyOf(Entry(3))), &c);  // moved down, still found
  EXPECT_EQ(pool.Count(), 2);
  EXPECT_EQ(pool.TakeOldest(), &b);
  EXPECT_EQ(pool.TakeOldest(), &c);
  EXPECT_EQ(pool.Count(), 0);
}

TEST_F(ParcelPoolTest, AcquiringTwiceSharesOneDecodedParcelThatStaysPooledAtZero) {
  PooledParcel* first = pool.Acquire(INTO_FREED_SLOT, NO_SOURCE, Entry(5));
  PooledParcel* second = pool.Acquire(INTO_FREED_SLOT, NO_SOURCE, Entry(5));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->refCount, 2);
  EXPECT_EQ(decoded, 1);
  EXPECT_EQ(pool.Release(first), 0);
  EXPECT_EQ(pool.Release(second), 0);
  EXPECT_EQ(first->refCount, 0);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(pool.Acquire(INTO_FREED_SLOT, NO_SOURCE, Entry(5)), first);
  EXPECT_EQ(decoded, 1);
  pool.Release(first);
  // One release too many would free a parcel the pool still points at.
  EXPECT_EQ(pool.Release(first), -1);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(pool.Release(nullptr), -1);
  EXPECT_EQ(pool.Acquire(INTO_FREED_SLOT, NO_SOURCE, ParcelEntry{}), nullptr);  // nothing to decode
}

TEST_F(ParcelPoolTest, AFullPoolFreesItsOldestUnheldParcel) {
  const std::vector<PooledParcel*> parcels = Fill(INTO_FREED_SLOT, false);
  PooledParcel* fresh = pool.Acquire(INTO_FREED_SLOT, NO_SOURCE, Entry(100));
  EXPECT_EQ(destroyed, 1);  // parcel 0
  EXPECT_EQ(pool.Find(KeyOf(Entry(0))), nullptr);
  EXPECT_EQ(pool.Find(KeyOf(Entry(100))), fresh);  // took the freed slot
  EXPECT_EQ(pool.Find(KeyOf(Entry(1))), parcels[1]);
  pool.Release(fresh);
  EXPECT_EQ(destroyed, 1);
}

TEST_F(ParcelPoolTest, KindsThatKeepNewParcelsOutsideFreeThemOnRelease) {
  Fill(STAYS_OUTSIDE, false);
  PooledParcel* fresh = pool.Acquire(STAYS_OUTSIDE, NO_SOURCE, Entry(100));
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(pool.Count(), PARCEL_POOL_SLOTS - 1);
  EXPECT_EQ(pool.Find(KeyOf(Entry(100))), nullptr);
  pool.Release(fresh);
  EXPECT_EQ(destroyed, 2);
}

TEST_F(ParcelPoolTest, AHeldOldestParcelGoesBackAtTheEnd) {
  const std::vector<PooledParcel*> parcels = Fill(INTO_FREED_SLOT, true);
  PooledParcel* fresh = pool.Acquire(INTO_FREED_SLOT, NO_SOURCE, Entry(100));
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(pool.Find(KeyOf(Entry(100))), nullptr);
  std::vector<PooledParcel*> order;
  while (PooledParcel* parcel = pool.TakeOldest()) order.push_back(parcel);
  std::vector<PooledParcel*> expected(parcels.begin() + 1, parcels.end());
  expected.push_back(parcels[0]);
  EXPECT_EQ(order, expected);
  for (PooledParcel* parcel : order) pool.Add(parcel);
  pool.Release(fresh);
  EXPECT_EQ(destroyed, 1);
  for (PooledParcel* parcel : parcels) pool.Release(parcel);
}

// A parcel kept outside a full pool may later share its key with a pooled
// one; releasing it must still free it rather than count down the other.
TEST_F(ParcelPoolTest, AnUnpooledParcelIsFreedEvenWhenItsKeyIsPooledAgain) {
  const std::vector<PooledParcel*> parcels = Fill(INTO_FREED_SLOT, true);
  PooledParcel* outside = pool.Acquire(INTO_FREED_SLOT, NO_SOURCE, Entry(100));
  for (PooledParcel* parcel : parcels) pool.Release(parcel);
  PooledParcel* pooled = pool.Acquire(INTO_FREED_SLOT, NO_SOURCE, Entry(100));  // evicts parcel 0, pooled
  ASSERT_NE(pooled, outside);
  EXPECT_EQ(pool.Find(KeyOf(Entry(100))), pooled);
  EXPECT_EQ(pool.Release(outside), 0);
  EXPECT_EQ(destroyed, 2);  // parcel 0 and the outside one
  EXPECT_EQ(pooled->refCount, 1);
  pool.Release(pooled);
}

TEST_F(ParcelPoolTest, TearingDownLeavesHeldParcelsToTheirHolders) {
  auto owner = std::make_unique<MapDataOwner>();
  PooledParcel* held = owner->RoadPool().Acquire(INTO_FREED_SLOT, NO_SOURCE, Entry(1));
  PooledParcel* twice = owner->NamePool().Acquire(STAYS_OUTSIDE, NO_SOURCE, Entry(2));
  owner->NamePool().Acquire(STAYS_OUTSIDE, NO_SOURCE, Entry(2));
  PooledParcel* unheld = owner->BackgroundPool().Acquire(STAYS_OUTSIDE, NO_SOURCE, Entry(3));
  owner->BackgroundPool().Release(unheld);
  owner.reset();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(held->refCount, 1);
  // The holders give their parcels back to another owner's pools: the last
  // holder frees each one.
  MapDataOwner next;
  ParcelPool& roads = next.RoadPool();
  ParcelPool& names = next.NamePool();
  EXPECT_EQ(roads.Release(held), 0);
  EXPECT_EQ(names.Release(twice), 0);
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(names.Release(twice), 0);
  EXPECT_EQ(destroyed, 3);
}

}  // namespace
