// GDI fonts by point size and by pixel height.
#include "ui/windows/gdi_font.h"

namespace bvlui {

HFONT CreatePointFont(int tenthsOfPoint, const std::wstring& family) {
  HDC screen = ::GetDC(nullptr);
  const int pixelsPerInch = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  // A point is 1/72 inch: tenths of a point over 720 per inch.
  return CreatePixelFont(-::MulDiv(tenthsOfPoint, pixelsPerInch, 720), FW_NORMAL, family);
}

HFONT CreatePixelFont(int height, int weight, const std::wstring& family) {
  LOGFONTW font = {};
  font.lfHeight = height;
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  family.copy(font.lfFaceName, LF_FACESIZE - 1);
  return ::CreateFontIndirectW(&font);
}

}  // namespace bvlui
