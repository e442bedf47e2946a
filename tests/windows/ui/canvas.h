// What the native controls' tests paint into and read back: a 32-bit
// top-down DIB in a memory DC, and a visible top-level window that hands its
// controls' notifications (WM_DRAWITEM, WM_CTLCOLOR*) back to them as the
// wizard's dialogs do.
#pragma once

#include "ui/windows/windows_headers.h"

#include <cstdint>

namespace ui_test {

// An RGB triple read from a canvas.
struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
  bool operator!=(const Rgb& other) const { return !(*this == other); }
};
Rgb FromColorRef(COLORREF colour);
// Whether each channel is within `tolerance` of the other's.
bool Near(const Rgb& a, const Rgb& b, int tolerance);

class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return m_dc; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  void Fill(Rgb colour);
  Rgb Pixel(int x, int y) const;
  // How many pixels of the rectangle differ from `colour` by more than
  // `tolerance` in some channel.
  int CountUnlike(const RECT& area, Rgb colour, int tolerance) const;

 private:
  int m_width, m_height;
  HDC m_dc = nullptr;
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_previous = nullptr;
  std::uint32_t* m_bits = nullptr;
};

// A shown popup window at (0, 0) that reflects its children's
// notifications to their objects.
HWND CreateHostWindow(int width, int height);
// A child control of `host`: `className` with `style` at the rectangle.
HWND CreateChild(HWND host, const wchar_t* className, DWORD style, int id, const RECT& rect);
// Paints `window`'s client area into `canvas` (WM_PRINTCLIENT).
void PrintClient(HWND window, Canvas& canvas);

}  // namespace ui_test
