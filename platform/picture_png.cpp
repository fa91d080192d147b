#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file_replacement.h"
#include "platform/picture.h"
#include "platform/program_files.h"

namespace {

bool HasPictures(const std::string& dir) { return access((dir + "/129.png").c_str(), R_OK) == 0; }

}  // namespace

std::string PictureDirectory() {
  static const std::string directory = [] {
    if (const char* env = std::getenv("TEVO_PICTURE_DIR"); env != nullptr && env[0] != '\0') return std::string(env);
    // Beside the program or one folder up in the build tree, else in the
    // install's data directory found from the program's own location.
    const std::string exe = ExecutableDirectory();
    for (const std::string& candidate : {exe + "/pictures", exe + "/../pictures", ProgramDataDirectory() + "/pictures"}) {
      if (HasPictures(candidate)) return candidate;
    }
    return exe + "/pictures";
  }();
  return directory;
}

int DecodePngFile(const char* path, RgbImage* image) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path)) return -1;
  if (png.width == 0 || png.height == 0 || png.width > 0x7FFF || png.height > 0x7FFF) {
    png_image_free(&png);
    return -1;
  }
  // Read as RGBA so that libpng never composites an alpha channel; the
  // fourth byte is then dropped, as a 32-bit picture's is.
  png.format = PNG_FORMAT_RGBA;
  size_t pixelCount = static_cast<size_t>(png.width) * png.height;
  auto* rgba = static_cast<uint8_t*>(std::malloc(pixelCount * 4));
  if (rgba == nullptr || !png_image_finish_read(&png, nullptr, rgba, 0, nullptr)) {
    std::free(rgba);
    png_image_free(&png);
    return -1;
  }
  for (size_t i = 0; i < pixelCount; ++i) std::memmove(rgba + i * 3, rgba + i * 4, 3);
  image->width = static_cast<int32_t>(png.width);
  image->height = static_cast<int32_t>(png.height);
  image->rgb = rgba;  // the first 3 bytes of every 4 now hold the RGB pixels
  return 0;
}

int DecodePicture(int pictureId, RgbImage* image) {
  std::string path = PictureDirectory() + "/" + std::to_string(pictureId) + ".png";
  return DecodePngFile(path.c_str(), image);
}

void ReleaseRgbImage(RgbImage* image) {
  std::free(image->rgb);
  image->rgb = nullptr;
  image->width = image->height = 0;
}

int WriteRgb565Png(const char* path, const uint16_t* pixels, int32_t width, int32_t height, int32_t stride,
                   std::string* error) {
  if (pixels == nullptr || width <= 0 || height <= 0) {
    if (error != nullptr) *error = "no picture to write";
    return -1;
  }
  size_t bytes = static_cast<size_t>(width) * height * 3;
  auto* rgb = static_cast<uint8_t*>(std::malloc(bytes));
  if (rgb == nullptr) {
    if (error != nullptr) *error = "no memory for the picture";
    return -1;
  }
  uint8_t* out = rgb;
  for (int32_t y = 0; y < height; ++y) {
    const uint16_t* row = pixels + static_cast<size_t>(y) * stride;
    for (int32_t x = 0; x < width; ++x) {
      uint32_t p = row[x];
      uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
      *out++ = static_cast<uint8_t>((r << 3) | (r >> 2));
      *out++ = static_cast<uint8_t>((g << 2) | (g >> 4));
      *out++ = static_cast<uint8_t>((b << 3) | (b >> 2));
    }
  }
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(width);
  png.height = static_cast<png_uint_32>(height);
  png.format = PNG_FORMAT_RGB;
  // Encoded in memory first: the file is then replaced whole, so that a
  // failed write never leaves a part of a picture under its name.
  png_alloc_size_t encodedBytes = 0;
  std::string encoded;
  bool ok = png_image_write_get_memory_size(png, encodedBytes, 0, rgb, 0, nullptr) != 0;
  if (ok) {
    encoded.resize(encodedBytes);
    ok = png_image_write_to_memory(&png, encoded.data(), &encodedBytes, 0, rgb, 0, nullptr) != 0;
    encoded.resize(encodedBytes);
  }
  std::free(rgb);
  std::string failure;
  if (!ok) failure = std::string("cannot encode the picture: ") + png.message;
  if (ok && ReplaceFileWhole(path, encoded.data(), encoded.size(), &failure) != 0) ok = false;
  if (!ok && error != nullptr) *error = failure;
  return ok ? 0 : -1;
}
