// Blocks of the map database: byte ranges of the map file read into memory,
// kept in a cache of 32 entries (one per owner of the map data), and read
// through a bounded cursor.
//
// Every reader of map data works on one MapBlock at a time. The cursor never
// leaves the block's buffer: a read that does not fit yields 0, parks the
// cursor at the end of the buffer and sets the block's sticky `overrun` flag,
// which a decoder looks at once at the end of a record or loop. Offsets and
// counts read from the file therefore never make a reader touch memory
// outside the buffer, whatever the file holds.
#pragma once

#include <cstdint>
#include <mutex>

#include "mapdata/byte_cursor.h"

constexpr const char* MAP_DATABASE_PATH = "\\NAND\\CMC\\KDH\\ALLDATA.KWI";

constexpr int BLOCK_CACHE_ENTRIES = 32;
// Blocks are read in whole pages: a request of n bytes gets a buffer of
// (n / 4096 + 1) × 4096 bytes.
constexpr uint32_t BLOCK_PAGE_BYTES = 4096;
constexpr int BLOCK_PATH_CAPACITY = 256;  // including the terminating NUL
// An address word counts 2048-byte logical sectors in its upper 24 bits.
constexpr uint32_t SECTOR_BYTES = 2048;

// One block of the map file in memory: a cache entry, or a private block
// owned by the one caller it was handed to.
struct MapBlock {
  char path[BLOCK_PATH_CAPACITY];  // file as the caller named it; empty for the device file
  uint8_t* data;                   // `length` bytes, owned
  uint32_t byteOrder;              // BYTE_ORDER_LITTLE, else big-endian
  uint32_t offset;                 // byte offset of the block in the file (cache key)
  uint32_t size;                   // byte count the caller asked for (cache key)
  uint32_t cursor;                 // read position in `data`, always <= length
  uint32_t length;                 // bytes in `data`: (size / 4096 + 1) × 4096
  uint32_t fileLength;             // length of the file when the block was read
  uint8_t refCount;                // holders of a cache entry (0 or 1)
  uint8_t isPrivate;               // 1: freed by ReleaseBlock; 0: a cache entry
  uint8_t overrun;                 // sticky: a read or seek went past the buffer
};

// A cache of up to 32 blocks, filled from entry 0 upwards without gaps.
// Every access to it, the entries' reference counts included, happens under
// its lock: several threads may read map data through one cache, and an
// entry that one thread has just looked up must not be recycled by another
// before it is held. Destroying the cache frees every cached block; blocks
// still held become invalid.
struct BlockCache {
  BlockCache() = default;
  ~BlockCache();
  BlockCache(const BlockCache&) = delete;
  BlockCache& operator=(const BlockCache&) = delete;

  // Read and written only by the operations below, under `lock`.
  MapBlock entries[BLOCK_CACHE_ENTRIES] = {};
  int16_t count = 0;
  std::mutex lock;
};

// Hands out the block of `size` bytes at `offset` of the file `path` (a host
// path), or of the device file MAP_DATABASE_PATH when path is null, through
// `cache`. The block's cursor is 0, its overrun flag clear and its byte
// order `byteOrder`. A cached block is shared by no one: while its entry is
// held, a second request gets a private copy. When all 32 entries are held
// the block is read into a private block that is not cached. Bytes past the
// end of the file read as 0. Returns null when the file cannot be opened,
// `size` is not smaller than the file, the path is longer than 255 bytes or
// memory runs out. Release with ReleaseBlock on the same cache.
MapBlock* OpenBlock(BlockCache* cache, const char* path, uint32_t byteOrder, uint32_t offset, uint32_t size);

// Gives a block of `cache` back: a private block is freed, a cache entry
// stays cached for the next request. Returns 0, or -1 for null or for an
// entry that is not held.
int ReleaseBlock(BlockCache* cache, MapBlock* block);

// Frees every cached block; the next OpenBlock starts with an empty cache.
// Blocks still held become invalid. Returns 0.
int EmptyBlockCache(BlockCache* cache);

// Number of entries in the cache (0..32).
int CachedBlockCount(BlockCache* cache);

// Moves the cursor to `pos`: returns pos, or SEEK_FAILED when pos is not
// inside the buffer (pos >= length); a failed seek marks the block as
// overrun and parks the cursor at the end, so the reads that follow yield 0.
uint32_t SeekTo(MapBlock* block, uint32_t pos);

// Moves the cursor by n bytes (negative n moves back, with 32-bit
// wrap-around): returns the new position, or SEEK_FAILED as SeekTo does.
uint32_t Skip(MapBlock* block, int32_t n);

namespace block_detail {
// The block's own cursor as a ByteCursor over its whole buffer, and back:
// the block's readers are the cursor's readers.
inline ByteCursor View(const MapBlock* block) {
  return ByteCursor{block->data, block->length, block->cursor, block->byteOrder, block->overrun};
}
inline void Store(MapBlock* block, const ByteCursor& cursor) {
  block->cursor = cursor.position;
  block->overrun = cursor.overrun;
}
template <typename Read>
inline uint32_t ReadThrough(MapBlock* block, Read read) {
  ByteCursor cursor = View(block);
  const uint32_t value = read(&cursor);
  Store(block, cursor);
  return value;
}
}  // namespace block_detail

// Bytes left between the cursor and the end of the buffer.
inline uint32_t Remaining(const MapBlock* block) {
  return block->cursor < block->length ? block->length - block->cursor : 0;
}

// The buffer at the cursor, for copying raw runs; check Remaining first.
inline const uint8_t* CurrentPointer(const MapBlock* block) { return block->data + block->cursor; }

// Unsigned integers of 1, 2, 3 and 4 bytes at the cursor, in the block's
// byte order; the cursor moves past them. A value that does not fit in the
// buffer reads as 0 and marks the block as overrun.
inline uint32_t ReadU8(MapBlock* block) { return block_detail::ReadThrough(block, [](ByteCursor* c) { return ReadU8(c); }); }
inline uint32_t ReadU16(MapBlock* block) { return block_detail::ReadThrough(block, [](ByteCursor* c) { return ReadU16(c); }); }
inline uint32_t ReadU24(MapBlock* block) { return block_detail::ReadThrough(block, [](ByteCursor* c) { return ReadU24(c); }); }
inline uint32_t ReadU32(MapBlock* block) { return block_detail::ReadThrough(block, [](ByteCursor* c) { return ReadU32(c); }); }

// Copies n bytes from the cursor to `out` and moves past them. When fewer
// than n remain, `out` is zero-filled, the block is marked overrun and the
// result is -1; otherwise 0.
int ReadBytes(MapBlock* block, void* out, uint32_t n);

// A cursor over the `size` bytes the block was asked for (not the padding
// of its last page), at the block's cursor position, with its byte order.
// The block keeps the bytes; the cursor is valid until the block is
// released, and moving it does not move the block's own cursor.
inline ByteCursor BlockCursor(const MapBlock* block) {
  ByteCursor cursor = MakeCursor(block->data, block->size, block->byteOrder);
  cursor.position = block->cursor < block->size ? block->cursor : block->size;
  return cursor;
}

// File offset of a KIWI address word: the upper 24 bits count 2048-byte
// sectors, the low 6 bits count `blockSize`-byte units inside the sector;
// bits 6 and 7 are ignored. The result wraps at 32 bits.
constexpr uint32_t SectorAddressToOffset(uint32_t address, uint32_t blockSize) {
  return (address >> 8) * SECTOR_BYTES + (address & 0x3F) * blockSize;
}
