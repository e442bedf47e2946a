// The dialog windows: creation from the templates, the modal loop, and the
// routing of their messages.
#include "app/windows/dialog.h"

#include "app/wizard_look.h"

Dialog::~Dialog() { DestroyWindow(); }

bool Dialog::Create(HWND parent) {
  return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), parent, &Dialog::DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

INT_PTR Dialog::DoModal(HWND owner) {
  m_ended = false;
  m_result = 0;
  if (!Create(owner)) return -1;
  const bool ownerWasEnabled = owner != nullptr && ::IsWindowEnabled(owner);
  if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
  MSG message;
  // A modal dialog shows once initialised, unless its initialisation already
  // ended it or asked the program to quit (a refused start).
  if (!m_ended && !::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) && !IsWindowVisible()) {
    ShowWindow(SW_SHOWNORMAL);
  }
  while (!m_ended) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // A quit ends this loop and, posted again, the one around it.
      if (owner != nullptr) ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (WalkPreTranslateTree(&message)) continue;
    if (m_hWnd != nullptr && ::IsDialogMessageW(m_hWnd, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (ownerWasEnabled) {
    ::EnableWindow(owner, TRUE);
    ::SetActiveWindow(owner);
  }
  if (m_hWnd != nullptr) ::ShowWindow(m_hWnd, SW_HIDE);
  DestroyWindow();
  return m_result;
}

void Dialog::EndDialog(INT_PTR result) {
  m_result = result;
  m_ended = true;
  // Wakes the loop, which looks at the flag after each message.
  if (m_hWnd != nullptr) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

void Dialog::DestroyWindow() {
  HWND window = m_hWnd;
  if (window == nullptr) return;
  UnsubclassWindow();
  ::DestroyWindow(window);
}

void Place(const bvlui::NativeWindow& window, const LayoutRect& rect) {
  window.MoveWindow(rect.left, rect.top, rect.Width(), rect.Height(), true);
}

void Dialog::DragFromTitleBar(LPARAM clickPoint) const {
  const int y = static_cast<short>(HIWORD(clickPoint));
  if (y < kTitleBarHeight) ::SendMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, clickPoint);
}

bool Dialog::WalkPreTranslateTree(MSG* message) {
  for (HWND window = message->hwnd; window != nullptr; window = ::GetParent(window)) {
    bvlui::NativeWindow* object = FromHandle(window);
    if (object != nullptr && object->PreTranslateMessage(message)) return true;
    if (window == m_hWnd) break;
  }
  return false;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<Dialog*>(lParam);
    dialog->Attach(window);
  } else {
    dialog = static_cast<Dialog*>(FromHandle(window));
  }
  if (dialog == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    dialog->UnsubclassWindow();
    return FALSE;
  }
  return dialog->HandleMessage(message, wParam, lParam);
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog() ? TRUE : FALSE;
    case WM_ERASEBKGND:
      if (!OnEraseBkgnd(reinterpret_cast<HDC>(wParam))) return FALSE;
      ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item != nullptr && ReflectChildNotify(item->hwndItem, message, wParam, lParam, &result)) {
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
      }
      return FALSE;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORDLG: {
      HWND control = reinterpret_cast<HWND>(lParam);
      HBRUSH brush = nullptr;
      if (ReflectChildNotify(control, message, wParam, lParam, &result)) brush = reinterpret_cast<HBRUSH>(result);
      brush = OnCtlColor(reinterpret_cast<HDC>(wParam), control, brush);
      // A dialog procedure answers a control-colour message with the brush.
      return reinterpret_cast<INT_PTR>(brush);
    }
    case WM_SYSCOMMAND:
      // The system menu's Close (and the window system's close request)
      // does nothing: only the buttons end a dialog.
      if ((wParam & 0xFFF0) != SC_CLOSE) return FALSE;
      ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_CLOSE:
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
        OnButtonClicked(LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      if (OnMessage(message, wParam, lParam, &result)) {
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
      }
      return FALSE;
  }
}

bool SwallowedByKeyFilter(const MSG& message, bool anyF4) {
  if (message.message == WM_SYSCOMMAND && (message.wParam & 0xFFF0) == SC_CLOSE) return true;
  if (anyF4 && message.wParam == VK_F4) return true;
  if (message.message == WM_SYSKEYDOWN && message.wParam == VK_F4) return true;
  if (message.message == WM_KEYDOWN) {
    switch (message.wParam) {
      case VK_ESCAPE:
      case VK_RETURN:
      case VK_SPACE:
      case VK_CANCEL:
      case VK_F1:
        return true;
      default:
        break;
    }
  }
  return false;
}
