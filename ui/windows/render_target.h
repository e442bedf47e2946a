// Direct2D drawing into a window's device context, and the DirectWrite text
// formats of the wizard. The Direct2D and DirectWrite factories are shared by
// the whole process and made on first use, from d2d1.dll and dwrite.dll of
// the system folder (the program does not import them, so that a library of
// that name beside the installer is never loaded).
#pragma once

#include "ui/windows/windows_headers.h"

#include <d2d1.h>
#include <dwrite.h>

#include <string>

#include "ui/windows/com_ptr.h"

namespace bvlui {

// An opaque-by-default Direct2D colour from 8-bit channels.
D2D1_COLOR_F ColorF(int r, int g, int b, float a = 1.0f);
// The opaque Direct2D colour of a GDI colour reference (0x00BBGGRR).
D2D1_COLOR_F FromColorRef(COLORREF colour);

// The process's factories; null (logged once) when the system cannot give them.
ID2D1Factory* SharedD2DFactory();
IDWriteFactory* SharedDWriteFactory();

// A text format of `family` at `size` DIPs, normal style and stretch, empty
// locale, the system's font collection, with the given alignments; empty
// when DirectWrite cannot make it.
ComPtr<IDWriteTextFormat> CreateTextFormat(const std::wstring& family, float size,
                                           DWRITE_FONT_WEIGHT weight = DWRITE_FONT_WEIGHT_NORMAL,
                                           DWRITE_TEXT_ALIGNMENT textAlignment = DWRITE_TEXT_ALIGNMENT_LEADING,
                                           DWRITE_PARAGRAPH_ALIGNMENT paragraphAlignment = DWRITE_PARAGRAPH_ALIGNMENT_NEAR);

// A Direct2D render target that draws into a device context: type default,
// B8G8R8A8 with the alpha ignored, at `dpi` (0: the system's; the labels and
// buttons use 96). The target is made on the first BindDC; every drawing call
// between BeginDraw and EndDraw does nothing when it could not be made.
class DCRenderTarget {
 public:
  explicit DCRenderTarget(float dpi = 0.0f);
  DCRenderTarget(const DCRenderTarget&) = delete;
  DCRenderTarget& operator=(const DCRenderTarget&) = delete;

  // Binds the target to `dc` over `rect` (device pixels); false when
  // Direct2D has no target to bind.
  bool BindDC(HDC dc, const RECT& rect);
  // Starts a drawing. Direct2D's own drawing begins with the first drawing
  // call: a drawing without any leaves the device context as it was
  // (Direct2D would otherwise copy its whole, undefined surface to it).
  void BeginDraw();
  // Ends the drawing and shows it on the device context; false when the
  // drawing failed. A target the device lost is made anew on the next bind.
  bool EndDraw();

  void Clear(D2D1_COLOR_F colour);
  void FillRectangle(D2D1_RECT_F rect, D2D1_COLOR_F colour);
  void DrawRectangle(D2D1_RECT_F rect, D2D1_COLOR_F colour, float strokeWidth);
  // Draws the whole of `bitmap` into `dest` with linear filtering. A 32-bit
  // bitmap keeps its (premultiplied) alpha: its transparent pixels leave
  // what is below; a 32-bit bitmap whose alpha is zero everywhere, and any
  // other depth, is drawn opaque.
  void DrawBitmap(HBITMAP bitmap, D2D1_RECT_F dest, float opacity);
  // Draws `text` into `rect` with `format` (its alignments place it), no
  // options, natural measuring.
  void DrawText(const std::wstring& text, IDWriteTextFormat* format, D2D1_RECT_F rect, D2D1_COLOR_F colour);

  // The target itself, null before the first successful bind.
  ID2D1DCRenderTarget* Get() const { return m_target.Get(); }

 private:
  bool Create();
  // Begins Direct2D's drawing on the first drawing call; false outside a
  // drawing.
  bool Begin();
  ID2D1SolidColorBrush* Brush(D2D1_COLOR_F colour);

  float m_dpi;
  bool m_drawing = false;  // between BeginDraw and EndDraw
  bool m_begun = false;    // Direct2D's BeginDraw was called
  ComPtr<ID2D1DCRenderTarget> m_target;
  ComPtr<ID2D1SolidColorBrush> m_brush;
};

// The rectangle of a window rectangle in Direct2D terms.
D2D1_RECT_F ToRectF(const RECT& rect);

}  // namespace bvlui
