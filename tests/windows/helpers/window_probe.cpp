// window_probe.exe: what the installer's wizard shows, read from another
// process as a test sees it.
//   window_probe wizard   the main window's screen rectangle, then one line
//                         per child window (pages and their controls)
//   window_probe message  the same for the message dialog (the visible
//                         borderless popup of the wizard's process that has
//                         no text)
// A child's line: id, class, visible (0/1), its rectangle in its parent's
// client area (left top right bottom), its style in hex, its text length,
// and for a rich-text box its first visible line; for a check box its state;
// last, except for the rich-text box, "text=" and the window text in UTF-8
// (a carriage return written \r, a line feed \n).
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

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::wstring TextOf(HWND window) {
  const LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = ::SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(length + 1), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void PrintChild(HWND child) {
  wchar_t className[64] = {};
  ::GetClassNameW(child, className, 64);
  RECT rect = {};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  const LONG style = ::GetWindowLongW(child, GWL_STYLE);
  const LRESULT length = ::SendMessageW(child, WM_GETTEXTLENGTH, 0, 0);
  std::printf("%d %s %d %ld %ld %ld %ld %08lx %ld", ::GetDlgCtrlID(child), Utf8(className).c_str(),
               ::IsWindowVisible(child) ? 1 : 0, rect.left, rect.top, rect.right, rect.bottom,
               static_cast<unsigned long>(style), static_cast<long>(length));
  if (std::wcscmp(className, L"RichEdit20W") == 0) {
    std::printf(" first-line %ld\n", static_cast<long>(::SendMessageW(child, EM_GETFIRSTVISIBLELINE, 0, 0)));
    return;
  }
  if (std::wcscmp(className, L"Button") == 0 && (style & 0x0F) == BS_AUTOCHECKBOX) {
    std::printf(" checked %ld", static_cast<long>(::SendMessageW(child, BM_GETCHECK, 0, 0)));
  }
  std::printf(" text=%s\n", Escaped(Utf8(TextOf(child))).c_str());
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
  std::printf("window %ld %ld %ld %ld visible %d\n", rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, ::IsWindowVisible(window) ? 1 : 0);
  ::EnumChildWindows(window, &PrintEach, 0);
  return 0;
}
