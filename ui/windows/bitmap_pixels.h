// 32-bit pixels of GDI bitmaps: premultiplied blue, green, red, alpha, top
// row first — the form Direct2D draws with alpha and GDI's AlphaBlend takes.
#pragma once

#include "ui/windows/windows_headers.h"

#include <cstdint>
#include <vector>

namespace bvlui {

struct BitmapPixels {
  int width = 0;
  int height = 0;
  // width * height pixels, 0xAARRGGBB with the colour premultiplied by alpha.
  std::vector<std::uint32_t> pixels;
};

// A 32-bit top-down DIB section holding `pixels`; null when it cannot be
// made. The caller owns it.
// The header of a 32-bit top-down device-independent bitmap of that size.
BITMAPINFO TopDown32(int width, int height);

HBITMAP CreatePremultipliedBitmap(const BitmapPixels& pixels);

// The pixels of `bitmap`. A 32-bit DIB section gives its alpha as it is
// (premultiplied), unless its alpha is zero everywhere: such a bitmap, and a
// bitmap of any other depth, reads as opaque. False for a null or unreadable
// bitmap.
bool ReadBitmapPixels(HBITMAP bitmap, BitmapPixels* pixels);

}  // namespace bvlui
