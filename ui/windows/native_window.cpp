// The link between a window and its object: a window property holds the
// object, and the window's procedure is replaced by one that hands every
// message to the object.
#include "ui/windows/native_window.h"

namespace bvlui {
namespace {
constexpr wchar_t kObjectProperty[] = L"bvlui.NativeWindow";
}  // namespace

NativeWindow::~NativeWindow() { UnsubclassWindow(); }

NativeWindow* NativeWindow::FromHandle(HWND window) {
  if (window == nullptr) return nullptr;
  return static_cast<NativeWindow*>(::GetPropW(window, kObjectProperty));
}

bool NativeWindow::SubclassDlgItem(int id, HWND parent) { return SubclassWindow(::GetDlgItem(parent, id)); }

bool NativeWindow::SubclassWindow(HWND window) {
  if (window == nullptr || m_hWnd != nullptr || FromHandle(window) != nullptr) return false;
  if (!::SetPropW(window, kObjectProperty, this)) return false;
  m_hWnd = window;
  PreSubclassWindow();
  m_previousProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NativeWindow::SubclassProc)));
  return true;
}

bool NativeWindow::Attach(HWND window) {
  if (window == nullptr || m_hWnd != nullptr || FromHandle(window) != nullptr) return false;
  if (!::SetPropW(window, kObjectProperty, this)) return false;
  m_hWnd = window;
  return true;
}

void NativeWindow::UnsubclassWindow() {
  if (m_hWnd == nullptr) return;
  if (::IsWindow(m_hWnd)) {
    if (m_previousProc != nullptr) ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
    ::RemovePropW(m_hWnd, kObjectProperty);
  }
  m_hWnd = nullptr;
  m_previousProc = nullptr;
}

bool NativeWindow::PreTranslateMessage(MSG*) { return false; }

bool NativeWindow::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

bool NativeWindow::ReflectChildNotify(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  NativeWindow* control = FromHandle(child);
  return control != nullptr && control->OnChildNotify(message, wParam, lParam, result);
}

void NativeWindow::MoveWindow(int left, int top, int width, int height, bool repaint) const {
  ::MoveWindow(m_hWnd, left, top, width, height, repaint ? TRUE : FALSE);
}

void NativeWindow::ShowWindow(int command) const { ::ShowWindow(m_hWnd, command); }

bool NativeWindow::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }

void NativeWindow::SetWindowText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }

std::wstring NativeWindow::GetWindowText() const {
  const int length = ::GetWindowTextLengthW(m_hWnd);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(m_hWnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void NativeWindow::Invalidate(bool erase) const { ::InvalidateRect(m_hWnd, nullptr, erase ? TRUE : FALSE); }

int NativeWindow::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }

RECT NativeWindow::GetClientRect() const {
  RECT rect = {};
  ::GetClientRect(m_hWnd, &rect);
  return rect;
}

LRESULT NativeWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return Default(message, wParam, lParam);
}

LRESULT NativeWindow::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_previousProc == nullptr) return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
  return ::CallWindowProcW(m_previousProc, m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK NativeWindow::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  NativeWindow* object = FromHandle(window);
  if (object == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window goes away: give it its procedure back before the last
    // message, and forget it.
    const WNDPROC previous = object->m_previousProc;
    object->UnsubclassWindow();
    return previous != nullptr ? ::CallWindowProcW(previous, window, message, wParam, lParam)
                               : ::DefWindowProcW(window, message, wParam, lParam);
  }
  return object->WindowProc(message, wParam, lParam);
}

}  // namespace bvlui
