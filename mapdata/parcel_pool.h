// Pools of decoded parcels, one per kind of parcel section (roads,
// background, names), and the acquire / release protocol they share.
//
// A decoded parcel of any kind starts with a PooledParcel (its key, its
// holder count and its kind). A kind plugs into the protocol with a
// PoolKind: how to decode a parcel entry, how to free a decoded parcel, and
// whether a new parcel takes the slot of an oldest one that was freed to make
// room. Everything else, the lookup, the counting and the eviction of the
// oldest parcel, is written once here.
#pragma once

#include <cstdint>
#include <mutex>

#include "mapdata/parcel_list.h"

struct PoolKind;
struct ParcelSource;

// The head of every pooled decoded parcel (a kind's parcel type derives from
// it). The protocol sets all three fields.
struct PooledParcel {
  ParcelKey key;         // the key of the entry it was decoded from
  int32_t refCount;      // holders; 1 when decoded; a pooled parcel may sit at 0
  const PoolKind* kind;  // how to free it
};

// The operations of one kind of decoded parcel.
struct PoolKind {
  // Decodes the entry's section, read from `source`, into a new parcel, or
  // returns null when the entry has no such section or it cannot be read.
  // The protocol fills in the head (key, refCount 1, kind) afterwards.
  PooledParcel* (*decode)(const ParcelSource& source, const ParcelEntry& entry);
  // Frees a decoded parcel with everything it owns.
  void (*destroy)(PooledParcel* parcel);
  // True: when the pool is full and its oldest parcel is freed, the new
  // parcel takes the freed slot. False: a new parcel that finds the pool
  // full always stays outside it and is freed on its release.
  bool newTakesFreedSlot;
};

constexpr int PARCEL_POOL_SLOTS = 64;

// 64 slots filled from 0 upwards without gaps, first in, first out.
// Acquire, Release, Count and ReleaseAll take the pool's lock, so several
// threads may acquire and release parcels of one pool; a parcel is decoded
// under it. Add, Find and TakeOldest are the unlocked steps they are made
// of, for a caller that is the pool's only user.
class ParcelPool {
 public:
  ParcelPool() = default;
  ParcelPool(const ParcelPool&) = delete;
  ParcelPool& operator=(const ParcelPool&) = delete;

  // Stores a parcel in the first empty slot: 0, or -1 when all 64 are used.
  int Add(PooledParcel* parcel);
  // The pooled parcel with this key, or null. The search stops at the first
  // empty slot.
  PooledParcel* Find(const ParcelKey& key) const;
  // Removes and returns the parcel of slot 0, moving the others down one
  // slot; null when the pool is empty.
  PooledParcel* TakeOldest();
  // Number of pooled parcels (0..64).
  int Count() const;

  // The decoded parcel of an entry, held once more: the pooled one when
  // there is one, else one newly decoded from `source` (added to the pool
  // when there is room, see PoolKind::newTakesFreedSlot). Null when the kind
  // decodes nothing. Every non-null result is given back with Release.
  PooledParcel* Acquire(const PoolKind& kind, const ParcelSource& source, const ParcelEntry& entry);
  // Gives a held parcel back: a pooled parcel stays pooled (also at count
  // 0); a parcel outside the pool is freed by its last holder. Returns 0, or
  // -1 for null and for a parcel that is not held.
  int Release(PooledParcel* parcel);
  // Empties the pool: unheld parcels are freed; held ones leave the pool and
  // are freed when their last holder releases them.
  void ReleaseAll();

 private:
  bool Holds(const PooledParcel* parcel) const;

  PooledParcel* slots[PARCEL_POOL_SLOTS] = {};
  mutable std::mutex lock;
};
