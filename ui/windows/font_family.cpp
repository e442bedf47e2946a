// A window's font through DirectWrite's GDI interoperation.
#include "ui/windows/font_family.h"

#include <dwrite.h>

#include "ui/windows/com_ptr.h"
#include "ui/windows/render_target.h"

namespace bvlui {
namespace {

std::wstring MessageFontFace() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof(metrics);
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return std::wstring();
  return metrics.lfMessageFont.lfFaceName;
}

std::wstring ResolvedFamily(const LOGFONTW& logFont) {
  IDWriteFactory* factory = SharedDWriteFactory();
  if (factory == nullptr) return std::wstring();
  ComPtr<IDWriteGdiInterop> interop;
  ComPtr<IDWriteFont> font;
  ComPtr<IDWriteFontFamily> family;
  ComPtr<IDWriteLocalizedStrings> names;
  if (FAILED(factory->GetGdiInterop(interop.Put())) || FAILED(interop->CreateFontFromLOGFONT(&logFont, font.Put())) ||
      FAILED(font->GetFontFamily(family.Put())) || FAILED(family->GetFamilyNames(names.Put()))) {
    return std::wstring();
  }
  UINT32 length = 0;
  if (names->GetCount() == 0 || FAILED(names->GetStringLength(0, &length))) return std::wstring();
  std::wstring name(length + 1, L'\0');
  if (FAILED(names->GetString(0, name.data(), length + 1))) return std::wstring();
  name.resize(length);
  return name;
}

}  // namespace

std::wstring FamilyOfWindowFont(HWND window) {
  HFONT font = window != nullptr ? reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)) : nullptr;
  if (font == nullptr) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTW logFont = {};
  if (font != nullptr && ::GetObjectW(font, sizeof(logFont), &logFont) == sizeof(logFont)) {
    const std::wstring family = ResolvedFamily(logFont);
    if (!family.empty()) return family;
  }
  return MessageFontFace();
}

}  // namespace bvlui
