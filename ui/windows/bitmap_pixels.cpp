// Reading and making 32-bit bitmaps.
#include "ui/windows/bitmap_pixels.h"

#include <cstring>

namespace bvlui {

BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

HBITMAP CreatePremultipliedBitmap(const BitmapPixels& pixels) {
  if (pixels.width <= 0 || pixels.height <= 0 ||
      pixels.pixels.size() != static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height)) {
    return nullptr;
  }
  BITMAPINFO info = TopDown32(pixels.width, pixels.height);
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) return nullptr;
  std::memcpy(bits, pixels.pixels.data(), pixels.pixels.size() * sizeof(std::uint32_t));
  ::GdiFlush();
  return bitmap;
}

bool ReadBitmapPixels(HBITMAP bitmap, BitmapPixels* pixels) {
  if (bitmap == nullptr) return false;
  DIBSECTION section = {};
  const int described = ::GetObjectW(bitmap, sizeof section, &section);
  if (described == 0) return false;
  const int width = section.dsBm.bmWidth;
  const int height = section.dsBm.bmHeight;
  if (width <= 0 || height <= 0) return false;
  pixels->width = width;
  pixels->height = height;
  pixels->pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  const bool withAlpha = described == static_cast<int>(sizeof section) && section.dsBm.bmBitsPixel == 32;
  // GetDIBits converts any bitmap to 32-bit rows, top row first, and keeps
  // a 32-bit bitmap's fourth byte.
  BITMAPINFO info = TopDown32(width, height);
  HDC screen = ::GetDC(nullptr);
  const int rows = ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels->pixels.data(), &info, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  if (rows != height) return false;
  bool anyAlpha = false;
  if (withAlpha) {
    for (std::uint32_t pixel : pixels->pixels) {
      if ((pixel >> 24) != 0) {
        anyAlpha = true;
        break;
      }
    }
  }
  if (!anyAlpha) {
    for (std::uint32_t& pixel : pixels->pixels) pixel |= 0xFF000000u;
  }
  return true;
}

}  // namespace bvlui
