// Pixel storage behind a Canvas: the stand-in for a device-independent
// bitmap section of 16 bits per pixel with RGB565 bit fields, rows top-down.
#pragma once

#include <cstdint>

struct PlatformBitmap;

// Allocates a cleared width x height bitmap. Rows are padded to a multiple of
// 4 bytes, as device bitmaps are. Returns null (and leaves the outputs
// untouched) when a size is not positive or memory runs out. Release with
// DeleteBitmapSection.
PlatformBitmap* CreateBitmapSection(int32_t width, int32_t height, uint16_t** pixels, int32_t* bytesPerRow);

// Frees a bitmap from CreateBitmapSection; null is accepted.
void DeleteBitmapSection(PlatformBitmap* bitmap);

// Prepares `count` cleared width x height bitmaps ahead, on the calling
// thread, for later CreateBitmapSection calls of that size: their memory is
// then already taken from the system and written, so creating them costs
// nothing. Any thread. Returns the number prepared.
int ReserveBitmapSections(int32_t width, int32_t height, int count);
// Frees every bitmap prepared ahead that was not taken. Any thread.
void ReleaseReservedBitmapSections();
