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

// Room a new list starts with: a view over a map whose parcels are not
// split never needs more, so such a list is allocated once.
constexpr uint16_t PARCEL_LIST_FIRST_CAPACITY = 64;

// The most entries a list holds. A piece's entry gives its size as 16 / S,
// so the finest piece grid an entry can describe is 16 × 16; the list's
// 16-bit count holds 255 parcels split that finely. A view of a map with
// parcels of its levels' size touches far fewer (a 4096-pixel canvas at the
// coarsest step of a standard level touches at most 156 parcels), so only a
// damaged index fills a list: the query then ends, and the list says so.
constexpr uint16_t PIECE_GRID_MAX_SIDE = WHOLE_PARCEL_DIV;
constexpr uint16_t PARCEL_LIST_MAX_PARCELS = 255;
constexpr uint16_t PARCEL_LIST_MAX_ENTRIES = PARCEL_LIST_MAX_PARCELS * PIECE_GRID_MAX_SIDE * PIECE_GRID_MAX_SIDE;
static_assert(uint32_t{PARCEL_LIST_MAX_PARCELS} * PIECE_GRID_MAX_SIDE * PIECE_GRID_MAX_SIDE <= UINT16_MAX,
              "a full list's count fits its 16-bit field");

// The parcels of one level that touch a rectangle, in scan order: every
// parcel and piece with data, up to PARCEL_LIST_MAX_ENTRIES. Owned by the
// caller of FindParcels and freed with FreeParcelList.
struct ParcelList {
  uint16_t levelCode;
  uint16_t levelIndex;  // position of the level entry in the parcel index
  uint16_t count;       // entries held
  uint16_t capacity;    // entries allocated (64 first, growing as needed)
  // True when parcels touching the rectangle are missing: the list reached
  // its maximum, or the scan stopped at its record budget (a damaged index).
  bool incomplete;
  ParcelEntry* entries;
};
