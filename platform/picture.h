// Picture resources: the program's pictures are PNG files named by their id
// ("129.png") in a picture directory.
#pragma once

#include <cstdint>
#include <string>

// A decoded picture, 8-bit red, green, blue per pixel, rows top-down.
struct RgbImage {
  int32_t width = 0;
  int32_t height = 0;
  uint8_t* rgb = nullptr;  // width * height * 3 bytes, owned; free with ReleaseRgbImage
};

// Decodes picture `pictureId`. 24-bit and 32-bit pictures (and any other PNG
// colour type) are accepted; a fourth channel is dropped. Returns 0 and fills
// `image` on success, -1 when the picture is missing or unreadable.
int DecodePicture(int pictureId, RgbImage* image);

// Decodes any PNG file the same way.
int DecodePngFile(const char* path, RgbImage* image);

// Frees the pixels of an image; safe on an empty one.
void ReleaseRgbImage(RgbImage* image);

// Writes an RGB565 buffer as a 24-bit PNG (each field widened back to 8 bits
// by repeating its top bits), replacing the file `path` whole. Returns 0,
// or -1 with the reason in *error (when not null).
int WriteRgb565Png(const char* path, const uint16_t* pixels, int32_t width, int32_t height, int32_t stride,
                   std::string* error = nullptr);

// The directory pictures are read from: $TEVO_PICTURE_DIR when set, else the
// first of <exe dir>/pictures, <exe dir>/../pictures and the pictures folder
// of ProgramDataDirectory() that holds 129.png.
std::string PictureDirectory();
