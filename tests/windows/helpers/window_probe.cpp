// window_probe.exe: what the installer's wizard shows, read from another
// process as a test sees it.
//   window_probe wizard   the main window's screen rectangle, then one line
//                         per child window (pages and their controls)
//   window_probe message  the same for the message dialog (the visible
//                         borderless popup of the wizard's process that has
//                         no text)
// A child's line: id, class, visible (0/1), its rectangle in its parent's
// client area (left top right bottom), its style in hex, its text length,
// and for a rich-text box its first visible line; for a check box its state.
// Exit code 1 when the window is not there.
#include <windows.h>

#include <richedit.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// "브림베일 설치 프로그램": the wizard's window text.
const wchar_t kWizardTitle[] = L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58 \ud504\ub85c\uadf8\ub7a8";

struct Search {
  DWORD process = 0;
  HWND found = nullptr;
};

BOOL CALLBACK FindMessageDialog(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != search->process || !::IsWindowVisible(window) || ::GetWindowTextLengthW(window) != 0) return TRUE;
  if ((::GetWindowLongW(window, GWL_STYLE) & WS_POPUP) == 0) return TRUE;
  search->found = window;
  return FALSE;
}

void PrintChild(HWND child) {
  wchar_t className[64] = {};
  ::GetClassNameW(child, className, 64);
  RECT rect = {};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  const LONG style = ::GetWindowLongW(child, GWL_STYLE);
  const LRESULT length = ::SendMessageW(child, WM_GETTEXTLENGTH, 0, 0);
  std::wprintf(L"%d %ls %d %ld %ld %ld %ld %08lx %ld", ::GetDlgCtrlID(child), className,
               ::IsWindowVisible(child) ? 1 : 0, rect.left, rect.top, rect.right, rect.bottom,
               static_cast<unsigned long>(style), static_cast<long>(length));
  if (std::wcscmp(className, L"RichEdit20W") == 0) {
    std::wprintf(L" first-line %ld", static_cast<long>(::SendMessageW(child, EM_GETFIRSTVISIBLELINE, 0, 0)));
  }
  if (std::wcscmp(className, L"Button") == 0 && (style & 0x0F) == BS_AUTOCHECKBOX) {
    std::wprintf(L" checked %ld", static_cast<long>(::SendMessageW(child, BM_GETCHECK, 0, 0)));
  }
  std::wprintf(L"\n");
}

BOOL CALLBACK PrintEach(HWND child, LPARAM) {
  PrintChild(child);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: window_probe wizard|message\n");
    return 2;
  }
  HWND wizard = ::FindWindowW(nullptr, kWizardTitle);
  HWND window = wizard;
  if (std::wcscmp(argv[1], L"message") == 0) {
    Search search;
    if (wizard != nullptr) ::GetWindowThreadProcessId(wizard, &search.process);
    if (search.process != 0) ::EnumWindows(&FindMessageDialog, reinterpret_cast<LPARAM>(&search));
    window = search.found;
  }
  if (window == nullptr) {
    std::fwprintf(stderr, L"window_probe: no %ls window\n", argv[1]);
    return 1;
  }
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  std::wprintf(L"window %ld %ld %ld %ld visible %d\n", rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, ::IsWindowVisible(window) ? 1 : 0);
  ::EnumChildWindows(window, &PrintEach, 0);
  return 0;
}
