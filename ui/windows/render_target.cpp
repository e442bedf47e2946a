// The shared factories and the DC render target.
#include "ui/windows/render_target.h"

#include <cwchar>

#include "platform/windows/system_library.h"
#include "ui/windows/bitmap_pixels.h"

namespace bvlui {

namespace {

// d2d1.h declares D2D1CreateFactory with C++ overloads beside the exported
// function, so the exported function's type is written out here.
using D2D1CreateFactoryFunction = HRESULT(WINAPI*)(D2D1_FACTORY_TYPE, REFIID, const D2D1_FACTORY_OPTIONS*, void**);
using DWriteCreateFactoryFunction = HRESULT(WINAPI*)(DWRITE_FACTORY_TYPE, REFIID, IUnknown**);

void LogFailure(const wchar_t* what, HRESULT result) {
  wchar_t line[160];
  std::swprintf(line, sizeof line / sizeof line[0], L"[Brimvale] Direct2D : %ls failed (0x%08lX)\r\n", what,
                static_cast<unsigned long>(result));
  ::OutputDebugStringW(line);
}

ComPtr<ID2D1Factory> MakeD2DFactory() {
  ComPtr<ID2D1Factory> factory;
  const auto create = platform_windows::SystemFunction<D2D1CreateFactoryFunction>(L"d2d1.dll", "D2D1CreateFactory");
  if (create == nullptr) {
    LogFailure(L"loading d2d1.dll", HRESULT_FROM_WIN32(::GetLastError()));
    return factory;
  }
  // Multi-threaded: the factory serves every window of the process.
  D2D1_FACTORY_OPTIONS options = {};
  const HRESULT result = create(D2D1_FACTORY_TYPE_MULTI_THREADED, __uuidof(ID2D1Factory), &options,
                                reinterpret_cast<void**>(factory.Put()));
  if (FAILED(result)) LogFailure(L"D2D1CreateFactory", result);
  return factory;
}

ComPtr<IDWriteFactory> MakeDWriteFactory() {
  ComPtr<IDWriteFactory> factory;
  const auto create = platform_windows::SystemFunction<DWriteCreateFactoryFunction>(L"dwrite.dll", "DWriteCreateFactory");
  if (create == nullptr) {
    LogFailure(L"loading dwrite.dll", HRESULT_FROM_WIN32(::GetLastError()));
    return factory;
  }
  const HRESULT result = create(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                reinterpret_cast<IUnknown**>(factory.Put()));
  if (FAILED(result)) LogFailure(L"DWriteCreateFactory", result);
  return factory;
}

}  // namespace

D2D1_COLOR_F ColorF(int r, int g, int b, float a) {
  return D2D1_COLOR_F{static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f, static_cast<float>(b) / 255.0f, a};
}

D2D1_COLOR_F FromColorRef(COLORREF colour) { return ColorF(GetRValue(colour), GetGValue(colour), GetBValue(colour)); }

D2D1_RECT_F ToRectF(const RECT& rect) {
  return D2D1_RECT_F{static_cast<float>(rect.left), static_cast<float>(rect.top), static_cast<float>(rect.right),
                     static_cast<float>(rect.bottom)};
}

ID2D1Factory* SharedD2DFactory() {
  static const ComPtr<ID2D1Factory> factory = MakeD2DFactory();
  return factory.Get();
}

IDWriteFactory* SharedDWriteFactory() {
  static const ComPtr<IDWriteFactory> factory = MakeDWriteFactory();
  return factory.Get();
}

ComPtr<IDWriteTextFormat> CreateTextFormat(const std::wstring& family, float size, DWRITE_FONT_WEIGHT weight,
                                           DWRITE_TEXT_ALIGNMENT textAlignment,
                                           DWRITE_PARAGRAPH_ALIGNMENT paragraphAlignment) {
  ComPtr<IDWriteTextFormat> format;
  IDWriteFactory* factory = SharedDWriteFactory();
  if (factory == nullptr) return format;
  const HRESULT result = factory->CreateTextFormat(family.c_str(), nullptr, weight, DWRITE_FONT_STYLE_NORMAL,
                                                   DWRITE_FONT_STRETCH_NORMAL, size, L"", format.Put());
  if (FAILED(result)) {
    LogFailure(L"CreateTextFormat", result);
    format.Reset();
    return format;
  }
  format->SetTextAlignment(textAlignment);
  format->SetParagraphAlignment(paragraphAlignment);
  return format;
}

DCRenderTarget::DCRenderTarget(float dpi) : m_dpi(dpi) {}

bool DCRenderTarget::Create() {
  ID2D1Factory* factory = SharedD2DFactory();
  if (factory == nullptr) return false;
  D2D1_RENDER_TARGET_PROPERTIES properties = {};
  properties.type = D2D1_RENDER_TARGET_TYPE_DEFAULT;
  properties.pixelFormat.format = DXGI_FORMAT_B8G8R8A8_UNORM;
  properties.pixelFormat.alphaMode = D2D1_ALPHA_MODE_IGNORE;
  properties.dpiX = m_dpi;
  properties.dpiY = m_dpi;
  properties.usage = D2D1_RENDER_TARGET_USAGE_NONE;
  properties.minLevel = D2D1_FEATURE_LEVEL_DEFAULT;
  const HRESULT result = factory->CreateDCRenderTarget(&properties, m_target.Put());
  if (FAILED(result)) {
    // Logged once per target: a display without Direct2D fails every time.
    static bool logged = false;
    if (!logged) LogFailure(L"CreateDCRenderTarget", result);
    logged = true;
    m_target.Reset();
    return false;
  }
  return true;
}

bool DCRenderTarget::BindDC(HDC dc, const RECT& rect) {
  if (!m_target && !Create()) return false;
  return SUCCEEDED(m_target->BindDC(dc, &rect));
}

void DCRenderTarget::BeginDraw() {
  if (!m_target || m_drawing) return;
  m_drawing = true;
  m_begun = false;
}

bool DCRenderTarget::Begin() {
  if (!m_drawing) return false;
  if (!m_begun) {
    m_target->BeginDraw();
    m_begun = true;
  }
  return true;
}

bool DCRenderTarget::EndDraw() {
  if (!m_target || !m_drawing) return false;
  m_drawing = false;
  if (!m_begun) return true;
  m_begun = false;
  const HRESULT result = m_target->EndDraw();
  if (result == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
    // The device went away: the next bind makes a new target (and brush).
    m_brush.Reset();
    m_target.Reset();
  }
  return SUCCEEDED(result);
}

ID2D1SolidColorBrush* DCRenderTarget::Brush(D2D1_COLOR_F colour) {
  if (!m_target) return nullptr;
  if (m_brush) {
    m_brush->SetColor(colour);
  } else if (FAILED(m_target->CreateSolidColorBrush(colour, m_brush.Put()))) {
    m_brush.Reset();
  }
  return m_brush.Get();
}

void DCRenderTarget::Clear(D2D1_COLOR_F colour) {
  if (Begin()) m_target->Clear(colour);
}

void DCRenderTarget::FillRectangle(D2D1_RECT_F rect, D2D1_COLOR_F colour) {
  if (!Begin()) return;
  if (ID2D1SolidColorBrush* brush = Brush(colour)) m_target->FillRectangle(rect, brush);
}

void DCRenderTarget::DrawRectangle(D2D1_RECT_F rect, D2D1_COLOR_F colour, float strokeWidth) {
  if (!Begin()) return;
  if (ID2D1SolidColorBrush* brush = Brush(colour)) m_target->DrawRectangle(rect, brush, strokeWidth);
}

void DCRenderTarget::DrawBitmap(HBITMAP bitmap, D2D1_RECT_F dest, float opacity) {
  BitmapPixels pixels;
  if (!m_drawing || !ReadBitmapPixels(bitmap, &pixels) || !Begin()) return;
  D2D1_BITMAP_PROPERTIES properties = {};
  properties.pixelFormat.format = DXGI_FORMAT_B8G8R8A8_UNORM;
  properties.pixelFormat.alphaMode = D2D1_ALPHA_MODE_PREMULTIPLIED;
  ComPtr<ID2D1Bitmap> image;
  const D2D1_SIZE_U size = {static_cast<UINT32>(pixels.width), static_cast<UINT32>(pixels.height)};
  const HRESULT result = m_target->CreateBitmap(size, pixels.pixels.data(), static_cast<UINT32>(pixels.width) * 4,
                                                &properties, image.Put());
  if (FAILED(result)) return;
  m_target->DrawBitmap(image.Get(), &dest, opacity, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, nullptr);
}

void DCRenderTarget::DrawText(const std::wstring& text, IDWriteTextFormat* format, D2D1_RECT_F rect,
                              D2D1_COLOR_F colour) {
  if (!m_drawing || format == nullptr || text.empty() || !Begin()) return;
  if (ID2D1SolidColorBrush* brush = Brush(colour)) {
    m_target->DrawText(text.c_str(), static_cast<UINT32>(text.size()), format, &rect, brush,
                       D2D1_DRAW_TEXT_OPTIONS_NONE, DWRITE_MEASURING_MODE_NATURAL);
  }
}

}  // namespace bvlui
