#include "canvas/pixel_memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

struct PlatformBitmap {
  uint16_t* pixels;
};

namespace {

constexpr int32_t MAX_SIDE = 0x7FFF;
constexpr size_t ALIGNMENT = 64;

// Cleared memory of bitmaps prepared ahead, with its size in bytes.
std::mutex reservedLock;
std::vector<std::pair<size_t, void*>> reserved;

size_t RowBytes(int32_t width) { return static_cast<size_t>((width * 2 + 3) & ~3); }

// Cleared memory of `bytes`, aligned to 64 bytes; null when none is left.
void* AllocateCleared(size_t bytes) {
  void* memory = std::aligned_alloc(ALIGNMENT, (bytes + ALIGNMENT - 1) & ~(ALIGNMENT - 1));
  if (memory != nullptr) std::memset(memory, 0, bytes);
  return memory;
}

// Memory of `bytes` prepared ahead, or null.
void* TakeReserved(size_t bytes) {
  std::lock_guard<std::mutex> lock(reservedLock);
  for (auto it = reserved.begin(); it != reserved.end(); ++it) {
    if (it->first == bytes) {
      void* memory = it->second;
      reserved.erase(it);
      return memory;
    }
  }
  return nullptr;
}

}  // namespace

int ReserveBitmapSections(int32_t width, int32_t height, int count) {
  if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE) return 0;
  const size_t bytes = RowBytes(width) * static_cast<size_t>(height);
  int prepared = 0;
  for (; prepared < count; ++prepared) {
    void* memory = AllocateCleared(bytes);
    if (memory == nullptr) break;
    std::lock_guard<std::mutex> lock(reservedLock);
    reserved.emplace_back(bytes, memory);
  }
  return prepared;
}

void ReleaseReservedBitmapSections() {
  std::vector<std::pair<size_t, void*>> unused;
  {
    std::lock_guard<std::mutex> lock(reservedLock);
    unused.swap(reserved);
  }
  for (const auto& [bytes, memory] : unused) std::free(memory);
}

PlatformBitmap* CreateBitmapSection(int32_t width, int32_t height, uint16_t** pixels, int32_t* bytesPerRow) {
  if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE) return nullptr;
  const int32_t rowBytes = static_cast<int32_t>(RowBytes(width));
  size_t bytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(height);
  void* memory = TakeReserved(bytes);
  if (memory == nullptr) memory = AllocateCleared(bytes);
  if (memory == nullptr) return nullptr;
  auto* bitmap = new PlatformBitmap{static_cast<uint16_t*>(memory)};
  *pixels = bitmap->pixels;
  *bytesPerRow = rowBytes;
  return bitmap;
}

void DeleteBitmapSection(PlatformBitmap* bitmap) {
  if (bitmap == nullptr) return;
  std::free(bitmap->pixels);
  delete bitmap;
}
