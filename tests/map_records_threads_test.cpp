// Two threads acquire and release the same decoded parcels of all three
// kinds while more parcels than a pool holds go through the pools.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "map_records_pool_support.h"
#include "mapdata/background_records.h"
#include "mapdata/name_records.h"
#include "mapdata/road_records.h"

namespace {

constexpr int ALIASES = PARCEL_POOL_SLOTS + 16;
constexpr int ROUNDS = 6;

// Acquires every alias of every kind, checks what it holds while the other
// thread churns the pools, and releases it. Returns the number of wrong reads.
int Churn(const PooledSectionsTest* test, MapDataOwner* map, const std::atomic<bool>* go,
          ParcelEntry (*alias)(const PooledSectionsTest*, int)) {
  while (!go->load()) std::this_thread::yield();
  int wrong = 0;
  for (int round = 0; round < ROUNDS; ++round) {
    for (int i = 0; i < ALIASES; ++i) {
      const ParcelEntry entry = alias(test, (i * 7 + round) % ALIASES);
      RoadParcel* roads = AcquireRoads(map, entry);
      BackgroundParcel* background = AcquireBackground(map, entry);
      NameParcel* names = AcquireNames(map, entry);
      if (roads == nullptr || roads->valueA != POOL_TEST_VALUE_A || roads->groups[0].objects[0]->x != 10) ++wrong;
      if (background == nullptr || background->classes[0].groups[0].items[0].points[0].y != 2) ++wrong;
      if (names == nullptr || names->groups[0].records[0].classCode != 5) ++wrong;
      ReleaseNames(map, names);
      ReleaseBackground(map, background);
      ReleaseRoads(map, roads);
    }
  }
  return wrong;
}

class PooledSectionsThreadsTest : public PooledSectionsTest {
 public:
  static ParcelEntry AliasOf(const PooledSectionsTest* test, int i) {
    return static_cast<const PooledSectionsThreadsTest*>(test)->Alias(i);
  }
};

TEST_F(PooledSectionsThreadsTest, TwoThreadsShareParcelsWhileThePoolsOverflow) {
  std::atomic<bool> go{false};
  int wrong[2] = {0, 0};
  std::thread first([&] { wrong[0] = Churn(this, Map(), &go, AliasOf); });
  std::thread second([&] { wrong[1] = Churn(this, Map(), &go, AliasOf); });
  go = true;
  first.join();
  second.join();
  EXPECT_EQ(wrong[0], 0);
  EXPECT_EQ(wrong[1], 0);
  // Everything was released: every pooled parcel sits at count 0.
  EXPECT_EQ(Map()->RoadPool().Count(), PARCEL_POOL_SLOTS);
  for (const ParcelPool* pool : {&Map()->RoadPool(), &Map()->BackgroundPool(), &Map()->NamePool()}) {
    for (int i = 0; i < ALIASES; ++i) {
      const PooledParcel* parcel = pool->Find(KeyOf(Alias(i)));
      if (parcel != nullptr) {
        EXPECT_EQ(parcel->refCount, 0);
      }
    }
  }
}

}  // namespace
