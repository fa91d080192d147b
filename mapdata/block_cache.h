// Blocks of the map database: byte ranges of the map file read into memory,
// kept in a process-wide cache of 32 entries. Every reader of a block reads
// it through a BlockCursor, bounded by the bytes it asked for.
#pragma once

#include <cstdint>

#include "mapdata/byte_cursor.h"
#include "mapdata/map_layout.h"

constexpr const char* MAP_DATABASE_PATH = "\\NAND\\CMC\\KDH\\ALLDATA.KWI";

constexpr int BLOCK_CACHE_ENTRIES = 32;
// Blocks are read in whole pages: a request of n bytes gets a buffer of
// (n / 4096 + 1) × 4096 bytes.
constexpr uint32_t BLOCK_PAGE_BYTES = 4096;
constexpr int BLOCK_PATH_CAPACITY = 256;  // including the terminating NUL

// One block of the map file in memory: a cache entry, or a private block
// owned by the one caller it was handed to.
struct MapBlock {
  char path[BLOCK_PATH_CAPACITY];  // file as the caller named it; empty for the device file
  uint8_t* data;                   // `length` bytes, owned
  uint32_t byteOrder;              // BYTE_ORDER_LITTLE, else big-endian
  uint32_t offset;                 // byte offset of the block in the file (cache key)
  uint32_t size;                   // byte count the caller asked for (cache key)
  uint32_t length;                 // bytes in `data`: (size / 4096 + 1) × 4096
  uint32_t fileLength;             // length of the file when the block was read
  uint8_t refCount;                // holders of a cache entry (0 or 1)
  uint8_t isPrivate;               // 1: freed by ReleaseBlock; 0: a cache entry
};

// Hands out the block of `size` bytes at `offset` of the file `path` (a host
// path), or of the device file MAP_DATABASE_PATH when path is null, read in
// the byte order `byteOrder`.
// A cached block is shared by no one: while its entry is held, a second
// request gets a private copy. When all 32 entries are held the block is
// read into a private block that is not cached. Bytes past the end of the
// file read as 0. Returns null when the file cannot be opened, `size` is not
// smaller than the file, the path is longer than 255 bytes or memory runs
// out. Release with ReleaseBlock.
MapBlock* OpenBlock(const char* path, uint32_t byteOrder, uint32_t offset, uint32_t size);

// Gives a block back: a private block is freed, a cache entry stays cached
// for the next request. Returns 0, or -1 for null or for an entry that is not
// held.
int ReleaseBlock(MapBlock* block);

// Frees every cached block and the cache; the next OpenBlock starts with an
// empty cache. Blocks still held become invalid. Returns 0.
int DestroyBlockCache();

// Number of entries in the cache (0..32).
int CachedBlockCount();

// A cursor at position 0 over the `size` bytes the block was asked for (not
// the padding of its last page), with its byte order. The block keeps the
// bytes; the cursor is valid until the block is released.
inline ByteCursor BlockCursor(const MapBlock* block) {
  return MakeCursor(block->data, block->size, block->byteOrder);
}
