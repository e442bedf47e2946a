// Checks that a Wine desktop prefix can show the installer's wizard: the
// Korean code page and user locale, Direct2D drawing into a memory DC through
// a DC render target, DirectWrite text in the wizard's family "맑은 고딕", and
// GDI text in the same family and in the dialog fonts. Each check prints one line
// "<name> ok|FAIL <details>" to standard output; the exit code is the number
// of failed checks.
//   display_check [locale] [d2d] [dwrite] [gdi] [dialog-fonts]   (all without arguments)
#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 64;
constexpr wchar_t kFamily[] = L"맑은 고딕";
constexpr wchar_t kText[] = L"브림베일 설치하기";
// Eight Hangul syllables at 24 px darken some six hundred pixels; nothing
// drawn darkens none.
constexpr int kInked = 200;

template <typename T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// A top-down 32-bit DIB selected into a memory DC, filled white.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  const DWORD* bits = nullptr;

  Canvas() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* data = nullptr;
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &data, nullptr, 0);
    if (!dc || !bitmap) return;
    bits = static_cast<const DWORD*>(data);
    old = SelectObject(dc, bitmap);
    std::memset(data, 0xff, kWidth * kHeight * 4);
  }
  ~Canvas() {
    if (old) SelectObject(dc, old);
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
  }
  bool ok() const { return bits != nullptr; }
  // Pixels whose every channel is below 0x80 (text drawn in black).
  int Dark() const {
    GdiFlush();
    int n = 0;
    for (int i = 0; i < kWidth * kHeight; ++i) {
      DWORD p = bits[i];
      if ((p & 0xff) < 0x80 && ((p >> 8) & 0xff) < 0x80 && ((p >> 16) & 0xff) < 0x80) ++n;
    }
    return n;
  }
  // Pixels exactly of the colour 0xRRGGBB.
  int Exactly(DWORD rgb) const {
    GdiFlush();
    int n = 0;
    for (int i = 0; i < kWidth * kHeight; ++i)
      if ((bits[i] & 0xffffff) == rgb) ++n;
    return n;
  }
  // Saves the canvas as a 32-bit BMP for a person to look at.
  void Save(const wchar_t* path) const {
    GdiFlush();
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER head = {};
    head.biSize = sizeof(head);
    head.biWidth = kWidth;
    head.biHeight = -kHeight;
    head.biPlanes = 1;
    head.biBitCount = 32;
    file.bfType = 0x4d42;
    file.bfOffBits = sizeof(file) + sizeof(head);
    file.bfSize = file.bfOffBits + kWidth * kHeight * 4;
    FILE* f = _wfopen(path, L"wb");
    if (!f) return;
    fwrite(&file, sizeof(file), 1, f);
    fwrite(&head, sizeof(head), 1, f);
    fwrite(bits, 4, kWidth * kHeight, f);
    fclose(f);
  }
};

D2D1_RENDER_TARGET_PROPERTIES DcTargetProperties() {
  return D2D1::RenderTargetProperties(D2D1_RENDER_TARGET_TYPE_DEFAULT,
                                      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE), 0, 0,
                                      D2D1_RENDER_TARGET_USAGE_NONE, D2D1_FEATURE_LEVEL_DEFAULT);
}

int Report(const char* name, bool ok, const std::string& details) {
  std::printf("%s %s %s\n", name, ok ? "ok" : "FAIL", details.c_str());
  std::fflush(stdout);
  return ok ? 0 : 1;
}

std::string Hr(const char* what, HRESULT hr) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed: 0x%08lx", what, static_cast<unsigned long>(hr));
  return text;
}

int CheckLocale() {
  UINT acp = GetACP();
  LCID user = GetUserDefaultLCID();
  LANGID ui = GetUserDefaultUILanguage();
  char details[96];
  std::snprintf(details, sizeof details, "acp=%u user-lcid=0x%04lx ui-language=0x%04x", acp,
                static_cast<unsigned long>(user), ui);
  return Report("locale", acp == 949 && user == 0x0412, details);
}

// A filled rectangle drawn by Direct2D into the memory DC lands in its bits.
int CheckD2d() {
  Canvas canvas;
  if (!canvas.ok()) return Report("d2d", false, "no DIB section");
  ID2D1Factory* factory = nullptr;
  ID2D1DCRenderTarget* target = nullptr;
  ID2D1SolidColorBrush* brush = nullptr;
  HRESULT hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                                 reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return Report("d2d", false, Hr("D2D1CreateFactory", hr));
  D2D1_RENDER_TARGET_PROPERTIES props = DcTargetProperties();
  hr = factory->CreateDCRenderTarget(&props, &target);
  std::string details;
  int green = 0;
  if (FAILED(hr)) {
    details = Hr("CreateDCRenderTarget", hr);
  } else {
    RECT rect = {0, 0, kWidth, kHeight};
    hr = target->BindDC(canvas.dc, &rect);
    if (SUCCEEDED(hr)) hr = target->CreateSolidColorBrush(D2D1::ColorF(0.0f, 165 / 255.0f, 81 / 255.0f), &brush);
    if (SUCCEEDED(hr)) {
      target->BeginDraw();
      target->Clear(D2D1::ColorF(D2D1::ColorF::White));
      target->FillRectangle(D2D1::RectF(10, 10, 110, 50), brush);
      hr = target->EndDraw();
    }
    if (FAILED(hr)) details = Hr("drawing", hr);
    green = canvas.Exactly(0x00a551);
    if (details.empty()) details = "green pixels " + std::to_string(green) + " of 4000";
  }
  Release(brush);
  Release(target);
  Release(factory);
  // Anti-aliasing may soften the edges only.
  return Report("d2d", SUCCEEDED(hr) && green >= 3800 && green <= 4000, details);
}

// Text in the wizard's family through DirectWrite and Direct2D: the family is
// in the system collection, its font has every character of the Korean text
// (a missing one would be drawn as an empty box, which has dark pixels too),
// and the drawing reached the DC. The picture goes to the folder given in
// BVL_CHECK_PICTURES, if set, for a person to look at.
int CheckDwrite() {
  Canvas canvas;
  if (!canvas.ok()) return Report("dwrite", false, "no DIB section");
  ID2D1Factory* factory = nullptr;
  ID2D1DCRenderTarget* target = nullptr;
  ID2D1SolidColorBrush* brush = nullptr;
  IDWriteFactory* write = nullptr;
  IDWriteTextFormat* format = nullptr;
  IDWriteFontCollection* fonts = nullptr;
  std::string details;
  bool found = false;
  int missing = -1;
  HRESULT hr = DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                   reinterpret_cast<IUnknown**>(&write));
  if (FAILED(hr)) return Report("dwrite", false, Hr("DWriteCreateFactory", hr));
  if (SUCCEEDED(write->GetSystemFontCollection(&fonts, FALSE))) {
    UINT32 index = 0;
    BOOL exists = FALSE;
    fonts->FindFamilyName(kFamily, &index, &exists);
    found = exists;
    IDWriteFontFamily* family = nullptr;
    IDWriteFont* font = nullptr;
    if (found && SUCCEEDED(fonts->GetFontFamily(index, &family)) &&
        SUCCEEDED(family->GetFirstMatchingFont(DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                               DWRITE_FONT_STYLE_NORMAL, &font))) {
      missing = 0;
      for (const wchar_t* c = kText; *c; ++c) {
        BOOL has = FALSE;
        font->HasCharacter(*c, &has);
        if (!has) ++missing;
      }
    }
    Release(font);
    Release(family);
  }
  hr = write->CreateTextFormat(kFamily, nullptr, DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STYLE_NORMAL,
                               DWRITE_FONT_STRETCH_NORMAL, 24.0f, L"ko-kr", &format);
  if (SUCCEEDED(hr))
    hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                           reinterpret_cast<void**>(&factory));
  D2D1_RENDER_TARGET_PROPERTIES props = DcTargetProperties();
  if (SUCCEEDED(hr)) hr = factory->CreateDCRenderTarget(&props, &target);
  RECT rect = {0, 0, kWidth, kHeight};
  if (SUCCEEDED(hr)) hr = target->BindDC(canvas.dc, &rect);
  if (SUCCEEDED(hr)) hr = target->CreateSolidColorBrush(D2D1::ColorF(D2D1::ColorF::Black), &brush);
  if (SUCCEEDED(hr)) {
    target->BeginDraw();
    target->Clear(D2D1::ColorF(D2D1::ColorF::White));
    target->DrawText(kText, static_cast<UINT32>(std::wcslen(kText)), format,
                     D2D1::RectF(8, 8, kWidth - 8, kHeight - 8), brush);
    hr = target->EndDraw();
  }
  int dark = canvas.Dark();
  if (FAILED(hr))
    details = Hr("DirectWrite drawing", hr);
  else
    details = std::string("family ") + (found ? "found" : "not found") + ", missing characters " +
              std::to_string(missing) + ", dark pixels " + std::to_string(dark);
  wchar_t pictures[MAX_PATH];
  if (GetEnvironmentVariableW(L"BVL_CHECK_PICTURES", pictures, MAX_PATH))
    canvas.Save((std::wstring(pictures) + L"\\dwrite.bmp").c_str());
  Release(brush);
  Release(target);
  Release(factory);
  Release(format);
  Release(fonts);
  Release(write);
  return Report("dwrite", SUCCEEDED(hr) && found && missing == 0 && dark > kInked, details);
}

// The same text through GDI in the family: the font the mapper chose has the
// family's name (a replacement keeps the asked name) and draws glyphs.
int CheckGdi() {
  Canvas canvas;
  if (!canvas.ok()) return Report("gdi", false, "no DIB section");
  LOGFONTW lf = {};
  lf.lfHeight = -24;
  lf.lfCharSet = DEFAULT_CHARSET;
  std::wcscpy(lf.lfFaceName, kFamily);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(canvas.dc, font);
  SetTextColor(canvas.dc, RGB(0, 0, 0));
  SetBkMode(canvas.dc, TRANSPARENT);
  TextOutW(canvas.dc, 8, 8, kText, static_cast<int>(std::wcslen(kText)));
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(canvas.dc, LF_FACESIZE, face);
  // Glyph indices: 0xffff is a character the font lacks.
  WORD glyphs[16] = {};
  GetGlyphIndicesW(canvas.dc, kText, static_cast<int>(std::wcslen(kText)), glyphs, GGI_MARK_NONEXISTING_GLYPHS);
  int missing = 0;
  for (size_t i = 0; i < std::wcslen(kText); ++i)
    if (kText[i] != L' ' && glyphs[i] == 0xffff) ++missing;
  int dark = canvas.Dark();
  wchar_t pictures[MAX_PATH];
  if (GetEnvironmentVariableW(L"BVL_CHECK_PICTURES", pictures, MAX_PATH))
    canvas.Save((std::wstring(pictures) + L"\\gdi.bmp").c_str());
  SelectObject(canvas.dc, old);
  DeleteObject(font);
  char utf8[LF_FACESIZE * 4] = {};
  WideCharToMultiByte(CP_UTF8, 0, face, -1, utf8, sizeof utf8, nullptr, nullptr);
  std::string details = std::string("face \"") + utf8 + "\", missing glyphs " + std::to_string(missing) +
                        ", dark pixels " + std::to_string(dark);
  return Report("gdi", missing == 0 && dark > kInked, details);
}

// The dialog fonts (what "MS Shell Dlg" stands for, and Tahoma, the list
// view's and message box's) through GDI: their base fonts may lack Hangul
// and take it from a linked font, so the glyph indices say nothing; the
// Korean text must differ from the same number of characters no font has
// (drawn as the default glyph, a box).
int CheckDialogFonts() {
  const wchar_t* faces[] = {L"MS Shell Dlg", L"MS Shell Dlg 2", L"Tahoma"};
  std::wstring boxes(kText);
  for (wchar_t& c : boxes)
    if (c != L' ') c = 0xE000;  // private use: in none of the fonts
  std::string details;
  int failed = 0;
  for (const wchar_t* face : faces) {
    std::vector<DWORD> drawn[2];
    int dark[2] = {};
    const wchar_t* texts[2] = {kText, boxes.c_str()};
    for (int t = 0; t < 2; ++t) {
      Canvas canvas;
      if (!canvas.ok()) return Report("dialog-fonts", false, "no DIB section");
      LOGFONTW lf = {};
      lf.lfHeight = -12;
      lf.lfCharSet = DEFAULT_CHARSET;
      std::wcscpy(lf.lfFaceName, face);
      HFONT font = CreateFontIndirectW(&lf);
      HGDIOBJ old = SelectObject(canvas.dc, font);
      SetBkMode(canvas.dc, TRANSPARENT);
      TextOutW(canvas.dc, 4, 4, texts[t], static_cast<int>(std::wcslen(texts[t])));
      dark[t] = canvas.Dark();
      drawn[t].assign(canvas.bits, canvas.bits + kWidth * kHeight);
      SelectObject(canvas.dc, old);
      DeleteObject(font);
    }
    bool ok = dark[0] > kInked / 4 && drawn[0] != drawn[1];
    if (!ok) ++failed;
    char utf8[64] = {};
    WideCharToMultiByte(CP_UTF8, 0, face, -1, utf8, sizeof utf8, nullptr, nullptr);
    details += std::string(details.empty() ? "" : ", ") + utf8 + (ok ? " glyphs" : " boxes") + " (" +
               std::to_string(dark[0]) + " dark pixels)";
  }
  return Report("dialog-fonts", failed == 0, details);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool all = argc < 2;
  auto wanted = [&](const wchar_t* name) {
    if (all) return true;
    for (int i = 1; i < argc; ++i)
      if (std::wcscmp(argv[i], name) == 0) return true;
    return false;
  };
  int failed = 0;
  if (wanted(L"locale")) failed += CheckLocale();
  if (wanted(L"d2d")) failed += CheckD2d();
  if (wanted(L"dwrite")) failed += CheckDwrite();
  if (wanted(L"gdi")) failed += CheckGdi();
  if (wanted(L"dialog-fonts")) failed += CheckDialogFonts();
  return failed;
}
