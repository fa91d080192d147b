#include "mapdata/block_cache.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/kernel.h"

namespace {

struct BlockCache {
  MapBlock entries[BLOCK_CACHE_ENTRIES];  // filled from 0 upwards, no gaps
  int16_t count;
};

// The process-wide cache, created on first use. Every access to it, the
// entries' reference counts included, happens under cacheLock: two renderer
// threads may read map data at the same time, and an entry that one thread
// has just looked up must not be recycled by the other before it is held.
BlockCache* cache = nullptr;

CriticalSection& CacheLock() {
  static CriticalSection lock;
  return lock;
}

class CacheGuard {
 public:
  CacheGuard() { CacheLock().Enter(); }
  ~CacheGuard() { CacheLock().Leave(); }
  CacheGuard(const CacheGuard&) = delete;
  CacheGuard& operator=(const CacheGuard&) = delete;
};

BlockCache* GetCache() {
  if (cache == nullptr) cache = static_cast<BlockCache*>(std::calloc(1, sizeof(BlockCache)));
  return cache;
}

// A request names the device file with an empty path. It matches only blocks
// of the same file: a request without a path never takes a block that was
// read from a host path, nor the other way round.
bool SameKey(const MapBlock& entry, const char* path, uint32_t offset, uint32_t size) {
  return entry.offset == offset && entry.size == size && std::strcmp(entry.path, path) == 0;
}

void FreeBlock(MapBlock* block) {
  std::free(block->data);
  if (block->isPrivate) std::free(block);
}

// A private copy of a held entry, with its own buffer. Only the fields
// that stay fixed while the entry is cached are read: the holder may set
// the entry's byte order without the lock.
MapBlock* Duplicate(const MapBlock& entry) {
  MapBlock* copy = static_cast<MapBlock*>(std::calloc(1, sizeof(MapBlock)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy->path, entry.path, sizeof(copy->path));
  copy->offset = entry.offset;
  copy->size = entry.size;
  copy->length = entry.length;
  copy->fileLength = entry.fileLength;
  copy->data = static_cast<uint8_t*>(std::malloc(entry.length));
  if (copy->data == nullptr) {
    std::free(copy);
    return nullptr;
  }
  std::memcpy(copy->data, entry.data, entry.length);
  copy->isPrivate = 1;
  return copy;
}

// Looks a block up and takes it (refCount + 1): the cached entry when it is
// free, a private duplicate when another holder is reading it. Null when the
// block is not cached or the duplicate cannot be made. Runs under the lock.
MapBlock* TakeCached(BlockCache* blocks, const char* path, uint32_t offset, uint32_t size) {
  for (int i = 0; i < blocks->count; ++i) {
    MapBlock& entry = blocks->entries[i];
    if (!SameKey(entry, path, offset, size)) continue;
    MapBlock* block = entry.refCount == 0 ? &entry : Duplicate(entry);
    if (block == nullptr) return nullptr;
    block->refCount += 1;
    return block;
  }
  return nullptr;
}

// Stores a freshly read block and takes it: the next free entry, else the
// first unreferenced entry in index order (so low slots are recycled first).
// With every entry held, the block stays private and uncached. Runs under
// the lock; `fresh` is freed or owned by the result.
MapBlock* InsertAndTake(BlockCache* blocks, MapBlock* fresh) {
  MapBlock* slot = nullptr;
  if (blocks->count < BLOCK_CACHE_ENTRIES) {
    slot = &blocks->entries[blocks->count++];
  } else {
    for (MapBlock& entry : blocks->entries) {
      if (entry.refCount != 0) continue;
      std::free(entry.data);
      slot = &entry;
      break;
    }
  }
  if (slot == nullptr) {
    fresh->isPrivate = 1;
    fresh->refCount = 1;
    return fresh;
  }
  *slot = *fresh;
  std::free(fresh);
  slot->isPrivate = 0;
  slot->refCount = 1;
  return slot;
}

// Reads `size` bytes at `offset` of the file into a new private block with
// a zero-filled buffer of whole pages; null on any failure.
MapBlock* ReadBlock(const char* path, uint32_t byteOrder, uint32_t offset, uint32_t size) {
  FILE* file = path[0] == '\0' ? OpenDeviceFile(MAP_DATABASE_PATH, "rb") : OpenReadableFile(path);
  if (file == nullptr) return nullptr;
  MapBlock* block = nullptr;
  long fileLength = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) fileLength = std::ftell(file);
  // The request must be smaller than the file; the end of the range is not
  // compared with the file's length (what lies past the end reads as 0).
  const uint64_t length = (static_cast<uint64_t>(size / BLOCK_PAGE_BYTES) + 1) * BLOCK_PAGE_BYTES;
  if (fileLength >= 0 && size < static_cast<uint64_t>(fileLength) && length <= UINT32_MAX &&
      std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0) {
    block = static_cast<MapBlock*>(std::calloc(1, sizeof(MapBlock)));
    uint8_t* data = static_cast<uint8_t*>(std::calloc(length, 1));
    if (block == nullptr || data == nullptr) {
      std::free(block);
      std::free(data);
      block = nullptr;
    } else {
      std::fread(data, 1, length, file);  // a short read leaves zeros
      std::strcpy(block->path, path);
      block->data = data;
      block->byteOrder = byteOrder;
      block->offset = offset;
      block->size = size;
      block->length = static_cast<uint32_t>(length);
      block->fileLength = fileLength > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(fileLength);
      block->isPrivate = 1;
    }
  }
  std::fclose(file);
  return block;
}

}  // namespace

MapBlock* OpenBlock(const char* path, uint32_t byteOrder, uint32_t offset, uint32_t size) {
  if (path == nullptr) path = "";
  if (std::strlen(path) >= BLOCK_PATH_CAPACITY) return nullptr;
  MapBlock* block = nullptr;
  {
    CacheGuard guard;
    BlockCache* blocks = GetCache();
    if (blocks == nullptr) return nullptr;
    block = TakeCached(blocks, path, offset, size);
  }
  if (block == nullptr) {
    MapBlock* fresh = ReadBlock(path, byteOrder, offset, size);
    if (fresh == nullptr) return nullptr;
    CacheGuard guard;
    BlockCache* blocks = GetCache();
    if (blocks == nullptr) {
      FreeBlock(fresh);
      return nullptr;
    }
    block = InsertAndTake(blocks, fresh);
  }
  // The holder owns the block alone, so its byte order is set for this
  // request.
  block->byteOrder = byteOrder;
  return block;
}

int ReleaseBlock(MapBlock* block) {
  if (block == nullptr) return -1;
  if (block->isPrivate) {
    FreeBlock(block);
    return 0;
  }
  CacheGuard guard;
  if (block->refCount == 0) return -1;
  block->refCount -= 1;
  return 0;
}

int DestroyBlockCache() {
  CacheGuard guard;
  if (cache == nullptr) return 0;
  for (int i = 0; i < cache->count; ++i) FreeBlock(&cache->entries[i]);
  std::free(cache);
  cache = nullptr;
  return 0;
}

int CachedBlockCount() {
  CacheGuard guard;
  return cache == nullptr ? 0 : cache->count;
}
