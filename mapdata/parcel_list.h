// Parcel entries and lists: which parcels of a level touch a rectangle, each
// with its rectangle and the 32-byte key that identifies its decoded data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "mapdata/map_layout.h"

// The normalised size of a whole parcel; a piece of an S × S split has 16 / S.
constexpr uint8_t WHOLE_PARCEL_DIV = 16;

// One parcel (or one piece of a split parcel) of a list. The 32 bytes from
// x0 to height are the parcel's key, compared byte for byte.
struct ParcelEntry {
  int32_t x0;         // south-west corner in map units (a piece: of its parent parcel)
  int32_t y0;
  uint16_t reserved1;  // 0
  uint8_t xDiv;        // 16 for a whole parcel, 16 / S for a piece
  uint8_t yDiv;
  uint16_t piece;      // a piece: column × 256 + row in the S × S split; else 0
  uint16_t reserved2;  // 0
  uint32_t address;    // address word of the parcel's (or piece's) data
  uint32_t size;       // size of that data in blocks
  int32_t width;       // size of the parcel (a piece: of its parent) in map units
  int32_t height;
};

constexpr size_t PARCEL_KEY_BYTES = 32;
static_assert(sizeof(ParcelEntry) == PARCEL_KEY_BYTES, "a parcel entry is exactly its key");
static_assert(offsetof(ParcelEntry, y0) == 4 && offsetof(ParcelEntry, reserved1) == 8 &&
                  offsetof(ParcelEntry, xDiv) == 10 && offsetof(ParcelEntry, yDiv) == 11 &&
                  offsetof(ParcelEntry, piece) == 12 && offsetof(ParcelEntry, reserved2) == 14 &&
                  offsetof(ParcelEntry, address) == 16 && offsetof(ParcelEntry, size) == 20 &&
                  offsetof(ParcelEntry, width) == 24 && offsetof(ParcelEntry, height) == 28,
              "key layout: x0 y0 reserved xDiv yDiv piece reserved address size width height");

// The identity of a parcel's decoded data: the bytes of its ParcelEntry.
struct ParcelKey {
  uint8_t bytes[PARCEL_KEY_BYTES];
};

inline ParcelKey KeyOf(const ParcelEntry& entry) {
  ParcelKey key;
  std::memcpy(key.bytes, &entry, PARCEL_KEY_BYTES);
  return key;
}

inline bool operator==(const ParcelKey& a, const ParcelKey& b) {
  return std::memcmp(a.bytes, b.bytes, PARCEL_KEY_BYTES) == 0;
}

constexpr uint16_t PARCEL_LIST_CAPACITY = 64;
// A query ends as soon as its list holds this many entries.
constexpr uint16_t PARCEL_LIST_LIMIT = 63;

// The parcels of one level that touch a rectangle, in scan order. Owned by
// the caller of FindParcels and freed with FreeParcelList.
struct ParcelList {
  uint16_t levelCode;
  uint16_t levelIndex;  // position of the level entry in the parcel index
  uint16_t count;       // 0..63
  uint16_t capacity;    // 64
  ParcelEntry entries[PARCEL_LIST_CAPACITY];
};
