// A stand-in with the wizard's outer behaviour, for trying the display tools
// (tools/display-helpers.sh, tools/drive-wine-wizard.sh) on a Wine desktop
// prefix without the installer: a borderless 580 x 300 popup titled
// "브림베일 설치 프로그램", centred on the screen, with the green title bar
// (0, 165, 81) drawn by Direct2D and its title by DirectWrite in "맑은 고딕",
// the button band (240, 240, 240), Agree at (373, 265)-(463, 290) and the
// second button at (471, 265)-(561, 290). Agree starts a progress page (a
// bar at (19, 94)-(563, 114) that fills in about four seconds and a list view
// of Korean rows); at the end the second button comes back as "확인", which
// closes the window.
// Run under a file name without a bracketed part (bvlInstaller.exe rather
// than bvlInstaller[...].exe) it shows only a message box captioned
// "브림베일", as the installer refuses such a start.
#include <windows.h>
#include <commctrl.h>
#include <d2d1.h>
#include <dwrite.h>

#include <cwchar>

namespace {

constexpr int kWidth = 580;
constexpr int kHeight = 300;
constexpr int kAgree = 1026;
constexpr int kCancel = 1027;
constexpr int kList = 1005;
constexpr UINT_PTR kTimer = 1;
constexpr RECT kAgreeRect = {373, 265, 463, 290};
constexpr RECT kCancelRect = {471, 265, 561, 290};
constexpr RECT kBarRect = {19, 94, 563, 114};  // the progress page at (1, 40), the bar at (18, 54) in it

ID2D1Factory* g_d2d = nullptr;
IDWriteFactory* g_dwrite = nullptr;
IDWriteTextFormat* g_title = nullptr;
HWND g_agree = nullptr;
HWND g_cancel = nullptr;
HWND g_list = nullptr;
int g_progress = -1;  // -1 licence page, 0..100 progress page, 101 completion page

void PaintWindow(HWND window, HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  ID2D1DCRenderTarget* target = nullptr;
  D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties(
      D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE));
  if (FAILED(g_d2d->CreateDCRenderTarget(&props, &target))) return;
  if (SUCCEEDED(target->BindDC(dc, &client))) {
    ID2D1SolidColorBrush* brush = nullptr;
    target->BeginDraw();
    target->Clear(D2D1::ColorF(1.0f, 1.0f, 1.0f));
    target->CreateSolidColorBrush(D2D1::ColorF(0.0f, 165 / 255.0f, 81 / 255.0f), &brush);
    target->FillRectangle(D2D1::RectF(0, 0, kWidth, 40), brush);
    brush->SetColor(D2D1::ColorF(1.0f, 1.0f, 1.0f));
    const wchar_t* title = L"브림베일 설치 프로그램";
    target->DrawText(title, static_cast<UINT32>(std::wcslen(title)), g_title, D2D1::RectF(16, 8, 400, 36), brush);
    brush->SetColor(D2D1::ColorF(240 / 255.0f, 240 / 255.0f, 240 / 255.0f));
    target->FillRectangle(D2D1::RectF(0, 254, kWidth, kHeight), brush);
    if (g_progress >= 0) {
      brush->SetColor(D2D1::ColorF(240 / 255.0f, 240 / 255.0f, 240 / 255.0f));
      target->FillRectangle(D2D1::RectF(kBarRect.left, kBarRect.top, kBarRect.right, kBarRect.bottom), brush);
      float filled = kBarRect.left + (kBarRect.right - kBarRect.left) * (g_progress > 100 ? 100 : g_progress) / 100.0f;
      brush->SetColor(D2D1::ColorF(0.0f, 165 / 255.0f, 81 / 255.0f));
      target->FillRectangle(D2D1::RectF(kBarRect.left, kBarRect.top, filled, kBarRect.bottom), brush);
    }
    target->EndDraw();
    brush->Release();
  }
  target->Release();
}

void DrawButton(const DRAWITEMSTRUCT& item) {
  HBRUSH face = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(item.hDC, &item.rcItem, face);
  DeleteObject(face);
  HBRUSH border = CreateSolidBrush(RGB(0xaa, 0xaa, 0xaa));
  FrameRect(item.hDC, &item.rcItem, border);
  DeleteObject(border);
  wchar_t text[32];
  GetWindowTextW(item.hwndItem, text, 32);
  SetBkMode(item.hDC, TRANSPARENT);
  RECT r = item.rcItem;
  DrawTextW(item.hDC, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void AddRow(const wchar_t* text) {
  LVITEMW row = {};
  row.mask = LVIF_TEXT;
  row.iItem = ListView_GetItemCount(g_list);
  row.pszText = const_cast<wchar_t*>(text);
  SendMessageW(g_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  switch (message) {
    case WM_ERASEBKGND:
      PaintWindow(window, reinterpret_cast<HDC>(wp));
      return 1;
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == kAgree && g_progress < 0) {
        g_progress = 0;
        ShowWindow(g_agree, SW_HIDE);
        ShowWindow(g_cancel, SW_HIDE);
        ShowWindow(g_list, SW_SHOW);
        AddRow(L"설치 파일을 내려받는 중");
        SetTimer(window, kTimer, 100, nullptr);
        InvalidateRect(window, nullptr, TRUE);
      } else if (LOWORD(wp) == kCancel) {
        DestroyWindow(window);
      }
      return 0;
    case WM_TIMER:
      g_progress += 2;
      if (g_progress == 50) AddRow(L"서비스를 등록하는 중");
      if (g_progress > 100) {
        KillTimer(window, kTimer);
        AddRow(L"설치를 마쳤습니다");
        SetWindowTextW(g_cancel, L"확인");
        ShowWindow(g_cancel, SW_SHOW);
      }
      InvalidateRect(window, &kBarRect, TRUE);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wp, lp);
}

HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, const RECT& r, HWND parent, int id) {
  HWND child = CreateWindowExW(0, cls, text, WS_CHILD | style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                               parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  return child;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const wchar_t* name = std::wcsrchr(self, L'\\');
  if (!std::wcschr(name ? name : self, L'[')) {
    MessageBoxW(nullptr, L"설치 파일의 이름이 올바르지 않습니다.\n내려받은 파일을 그대로 실행해 주세요.", L"브림베일",
                MB_OK | MB_ICONWARNING);
    return 0;
  }
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                               reinterpret_cast<void**>(&g_d2d))) ||
      FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                 reinterpret_cast<IUnknown**>(&g_dwrite))) ||
      FAILED(g_dwrite->CreateTextFormat(L"맑은 고딕", nullptr, DWRITE_FONT_WEIGHT_BOLD, DWRITE_FONT_STYLE_NORMAL,
                                        DWRITE_FONT_STRETCH_NORMAL, 16.0f, L"ko-kr", &g_title))) {
    OutputDebugStringW(L"[Brimvale] stand-in : Direct2D or DirectWrite is not available");
    return 1;
  }
  WNDCLASSW cls = {};
  cls.lpfnWndProc = WindowProc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  cls.lpszClassName = L"BvlWizardStandIn";
  RegisterClassW(&cls);
  int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  HWND window = CreateWindowExW(0, cls.lpszClassName, L"브림베일 설치 프로그램", WS_POPUP | WS_CLIPCHILDREN, x, y,
                                kWidth, kHeight, nullptr, nullptr, instance, nullptr);
  g_agree = Child(L"BUTTON", L"동의", WS_VISIBLE | BS_OWNERDRAW, kAgreeRect, window, kAgree);
  g_cancel = Child(L"BUTTON", L"취소", WS_VISIBLE | BS_OWNERDRAW, kCancelRect, window, kCancel);
  g_list = Child(WC_LISTVIEWW, L"", LVS_REPORT | LVS_NOCOLUMNHEADER | WS_BORDER, RECT{19, 124, 563, 244}, window, kList);
  LVCOLUMNW column = {};
  column.mask = LVCF_WIDTH;
  column.cx = 520;
  SendMessageW(g_list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  ShowWindow(window, SW_SHOW);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
