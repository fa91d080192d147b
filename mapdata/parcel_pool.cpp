#include "mapdata/parcel_pool.h"

int ParcelPool::Add(PooledParcel* parcel) {
  for (PooledParcel*& slot : slots) {
    if (slot != nullptr) continue;
    slot = parcel;
    return 0;
  }
  return -1;
}

PooledParcel* ParcelPool::Find(const ParcelKey& key) const {
  for (PooledParcel* slot : slots) {
    if (slot == nullptr) return nullptr;
    if (slot->key == key) return slot;
  }
  return nullptr;
}

PooledParcel* ParcelPool::TakeOldest() {
  PooledParcel* oldest = slots[0];
  if (oldest == nullptr) return nullptr;
  for (int i = 1; i < PARCEL_POOL_SLOTS; ++i) slots[i - 1] = slots[i];
  slots[PARCEL_POOL_SLOTS - 1] = nullptr;
  return oldest;
}

int ParcelPool::Count() const {
  std::lock_guard<std::mutex> guard(lock);
  int count = 0;
  while (count < PARCEL_POOL_SLOTS && slots[count] != nullptr) ++count;
  return count;
}

// A parcel counts as pooled only when the pool's entry for its key is this
// very parcel: a parcel that was kept outside a full pool may share its key
// with one pooled later, and must still be freed on its release.
bool ParcelPool::Holds(const PooledParcel* parcel) const { return Find(parcel->key) == parcel; }

PooledParcel* ParcelPool::Acquire(const PoolKind& kind, const ParcelSource& source, const ParcelEntry& entry) {
  const ParcelKey key = KeyOf(entry);
  // Decoding under the lock keeps one parcel from being decoded twice by
  // two threads; decoders take only the block cache's lock beneath it.
  std::lock_guard<std::mutex> guard(lock);
  if (PooledParcel* pooled = Find(key)) {
    pooled->refCount += 1;
    return pooled;
  }
  PooledParcel* parcel = kind.decode(source, entry);
  if (parcel == nullptr) return nullptr;
  parcel->key = key;
  parcel->refCount = 1;
  parcel->kind = &kind;
  if (Add(parcel) == 0) return parcel;

  // The pool is full: the oldest parcel leaves it. A held one goes back in
  // at the end (and the new parcel stays outside); an unheld one is freed.
  PooledParcel* oldest = TakeOldest();
  if (oldest->refCount > 0) {
    Add(oldest);
  } else {
    oldest->kind->destroy(oldest);
    if (kind.newTakesFreedSlot) Add(parcel);
  }
  return parcel;
}

int ParcelPool::Release(PooledParcel* parcel) {
  if (parcel == nullptr) return -1;
  std::lock_guard<std::mutex> guard(lock);
  if (Holds(parcel)) {
    // A pooled parcel at count 0 stays cached; releasing it once more would
    // leave the pool pointing at freed memory, so it is refused.
    if (parcel->refCount <= 0) return -1;
    parcel->refCount -= 1;
    return 0;
  }
  parcel->refCount -= 1;
  if (parcel->refCount <= 0) parcel->kind->destroy(parcel);
  return 0;
}

void ParcelPool::ReleaseAll() {
  std::lock_guard<std::mutex> guard(lock);
  for (PooledParcel*& slot : slots) {
    if (slot != nullptr && slot->refCount <= 0) slot->kind->destroy(slot);
    slot = nullptr;
  }
}
