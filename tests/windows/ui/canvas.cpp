// The tests' canvas and host window.
#include "canvas.h"

#include <commctrl.h>

#include <cstdlib>

#include "ui/windows/bitmap_pixels.h"
#include "ui/windows/native_window.h"

namespace ui_test {

Rgb FromColorRef(COLORREF colour) { return Rgb{GetRValue(colour), GetGValue(colour), GetBValue(colour)}; }

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

Canvas::Canvas(int width, int height) : m_width(width), m_height(height) {
  BITMAPINFO info = bvlui::TopDown32(width, height);
  m_dc = ::CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  m_bitmap = ::CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  m_bits = static_cast<std::uint32_t*>(bits);
  m_previous = ::SelectObject(m_dc, m_bitmap);
}

Canvas::~Canvas() {
  ::SelectObject(m_dc, m_previous);
  ::DeleteObject(m_bitmap);
  ::DeleteDC(m_dc);
}

void Canvas::Fill(Rgb colour) {
  ::GdiFlush();
  const std::uint32_t pixel = (static_cast<std::uint32_t>(colour.r) << 16) | (colour.g << 8) | colour.b;
  for (int i = 0; i < m_width * m_height; ++i) m_bits[i] = pixel;
}

Rgb Canvas::Pixel(int x, int y) const {
  ::GdiFlush();
  const std::uint32_t pixel = m_bits[y * m_width + x];
  return Rgb{static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF), static_cast<int>(pixel & 0xFF)};
}

int Canvas::CountUnlike(const RECT& area, Rgb colour, int tolerance) const {
  int count = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (!Near(Pixel(x, y), colour, tolerance)) ++count;
    }
  }
  return count;
}

namespace {

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  switch (message) {
    case WM_DRAWITEM:
      if (bvlui::NativeWindow::ReflectChildNotify(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem, message,
                                                  wParam, lParam, &result)) {
        return result;
      }
      break;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      if (bvlui::NativeWindow::ReflectChildNotify(reinterpret_cast<HWND>(lParam), message, wParam, lParam, &result)) {
        return result;
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND CreateHostWindow(int width, int height) {
  static const ATOM kClass = [] {
    // The progress bar's window class.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"BvlControlsTestHost";
    return ::RegisterClassW(&windowClass);
  }();
  HWND window = ::CreateWindowExW(0, MAKEINTATOM(kClass), L"controls", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                  nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  return window;
}

HWND CreateChild(HWND host, const wchar_t* className, DWORD style, int id, const RECT& rect) {
  return ::CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, host,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
}

void PrintClient(HWND window, Canvas& canvas) {
  ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
  ::GdiFlush();
}

}  // namespace ui_test
