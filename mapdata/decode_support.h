// Helpers shared by the parcel section decoders: a memory budget per parcel
// and the pooling glue.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "mapdata/block_cache.h"
#include "mapdata/parcel_header.h"
#include "mapdata/parcel_list.h"

// What one decoded parcel may allocate: a fixed allowance plus a multiple of
// its data's size. Sound sections need a few times their own size; counts
// in a damaged section (a group table whose rows all point at the same
// objects, announced counts far beyond the data) could otherwise make one
// parcel take gigabytes. Running out of budget is handled like running out
// of memory.
constexpr uint64_t DECODE_BUDGET_BASE_BYTES = 1u << 20;
constexpr uint64_t DECODE_BUDGET_PER_DATA_BYTE = 32;

class DecodeBudget {
 public:
  explicit DecodeBudget(uint32_t dataBytes)
      : left(DECODE_BUDGET_BASE_BYTES + DECODE_BUDGET_PER_DATA_BYTE * dataBytes) {}

  // Zero-filled memory for `count` elements of `bytes` each, or null when
  // the budget or memory runs out. Free with std::free.
  void* Allocate(uint64_t count, uint64_t bytes) {
    if (count == 0 || bytes == 0) return nullptr;
    if (count > left / bytes) return nullptr;
    void* memory = std::calloc(static_cast<size_t>(count), static_cast<size_t>(bytes));
    if (memory != nullptr) left -= count * bytes;
    return memory;
  }

 private:
  uint64_t left;
};

// Reads the header of `entry` from the source's map and hands the parcel
// data to `decode` (data, size, header) when the section that `present`
// picks is there. Returns decode's result, or null. The parcel data block is
// released before returning.
template <typename Parcel, typename Decode, typename Present>
Parcel* DecodeEntry(const ParcelSource& source, const ParcelEntry& entry, Present present, Decode decode) {
  ParcelHeader header;
  MapBlock* block = ReadParcelHeader(source, entry, &header);
  if (block == nullptr) return nullptr;
  Parcel* parcel = present(header) ? decode(block->data, block->size, header) : nullptr;
  ReleaseBlock(source.blocks, block);
  return parcel;
}

// True when a section (offset, size) of the parcel header is present.
constexpr bool SectionPresent(uint32_t offset, uint16_t size) { return offset != NO_SECTION && size != 0; }
