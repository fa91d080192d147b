#include "platform/picture_cache.h"

#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "canvas/canvas.h"
#include "canvas/pixel_memory.h"
#include "platform/picture.h"

namespace {

struct PictureCache {
  std::mutex lock;
  std::condition_variable decoded;
  std::string directory;  // the picture directory the entries come from
  std::map<int, std::shared_ptr<const DecodedPicture>> pictures;
  std::set<int> decoding;  // pictures being decoded by some thread
};

PictureCache& Cache() {
  static PictureCache cache;
  return cache;
}

// Decodes a picture file and converts it to RGB565; null on failure.
std::shared_ptr<const DecodedPicture> DecodeToRgb565(int pictureId) {
  RgbImage image;
  if (DecodePicture(pictureId, &image) != 0) return nullptr;
  auto picture = std::make_shared<DecodedPicture>();
  picture->width = image.width;
  picture->height = image.height;
  picture->pixels.resize(static_cast<size_t>(image.width) * image.height);
  const uint8_t* in = image.rgb;
  for (uint16_t& out : picture->pixels) {
    out = Rgb565(in[0], in[1], in[2]);
    in += 3;
  }
  ReleaseRgbImage(&image);
  return picture;
}

}  // namespace

std::shared_ptr<const DecodedPicture> FindDecodedPicture(int pictureId) {
  PictureCache& cache = Cache();
  const std::string directory = PictureDirectory();
  std::unique_lock<std::mutex> lock(cache.lock);
  // Pictures of another directory (a test or a tool chose other pictures)
  // are forgotten, once no thread decodes any more.
  cache.decoded.wait(lock, [&] { return cache.directory == directory || cache.decoding.empty(); });
  if (cache.directory != directory) {
    cache.pictures.clear();
    cache.directory = directory;
  }
  cache.decoded.wait(lock, [&] { return cache.decoding.count(pictureId) == 0; });
  if (auto found = cache.pictures.find(pictureId); found != cache.pictures.end()) return found->second;
  cache.decoding.insert(pictureId);
  lock.unlock();
  std::shared_ptr<const DecodedPicture> picture = DecodeToRgb565(pictureId);
  lock.lock();
  cache.decoding.erase(pictureId);
  if (picture != nullptr) cache.pictures[pictureId] = picture;
  cache.decoded.notify_all();
  return picture;
}

struct ScreenPreload {
  std::vector<int> pictureIds;
  PreloadList list;
  std::thread worker;
};

ScreenPreload* StartScreenPreload(const PreloadList& list) {
  auto* preload = new ScreenPreload;
  preload->pictureIds.assign(list.pictureIds, list.pictureIds + list.pictureCount);
  preload->list = list;
  try {
    preload->worker = std::thread([preload] {
      for (int id : preload->pictureIds) FindDecodedPicture(id);
      const PreloadList& canvases = preload->list;
      ReserveBitmapSections(canvases.canvasWidth, canvases.canvasHeight, canvases.canvasCount);
    });
  } catch (...) {
    delete preload;
    return nullptr;
  }
  return preload;
}

void FinishScreenPreload(ScreenPreload* preload) {
  if (preload == nullptr) return;
  if (preload->worker.joinable()) preload->worker.join();
  ReleaseReservedBitmapSections();
  delete preload;
}

// The picture is decoded once per process (FindDecodedPicture): 8-bit
// channels reduced to 5, 6 and 5 bits by dropping the low bits, which maps
// pure magenta (255, 0, 255) to exactly KEY_COLOUR.
int LoadPicture(Canvas* canvas, int pictureId) {
  std::shared_ptr<const DecodedPicture> picture = FindDecodedPicture(pictureId);
  if (picture == nullptr) return 0;
  CreateCanvas(canvas, picture->width, picture->height);
  if (canvas->pixels == nullptr) return 0;
  for (int32_t y = 0; y < picture->height; ++y) {
    std::memcpy(canvas->pixels + static_cast<size_t>(y) * canvas->stride,
                picture->pixels.data() + static_cast<size_t>(y) * picture->width,
                static_cast<size_t>(picture->width) * sizeof(uint16_t));
  }
  return 1;
}

