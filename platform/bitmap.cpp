#include "platform/bitmap.h"

#include <cstdlib>
#include <cstring>

struct PlatformBitmap {
  uint16_t* pixels;
};

PlatformBitmap* CreateBitmapSection(int32_t width, int32_t height, uint16_t** pixels, int32_t* bytesPerRow) {
  if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF) return nullptr;
  int32_t rowBytes = (width * 2 + 3) & ~3;
  size_t bytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(height);
  void* memory = std::aligned_alloc(64, (bytes + 63) & ~static_cast<size_t>(63));
  if (memory == nullptr) return nullptr;
  std::memset(memory, 0, bytes);
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
