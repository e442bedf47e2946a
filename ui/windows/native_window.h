// NativeWindow: the C++ object behind one window of the native wizard — a
// dialog, a page or a control subclassed onto a dialog's control. Messages
// reach its WindowProc; what a dialog receives about its controls
// (WM_DRAWITEM, WM_CTLCOLOR*) is handed back to the control's object, so
// that each owner-drawn control paints itself.
#pragma once

#include "ui/windows/windows_headers.h"

#include <string>

namespace bvlui {

class NativeWindow {
 public:
  NativeWindow() = default;
  virtual ~NativeWindow();
  NativeWindow(const NativeWindow&) = delete;
  NativeWindow& operator=(const NativeWindow&) = delete;

  // The object attached to `window`, or null.
  static NativeWindow* FromHandle(HWND window);

  // Attaches this object to the control `id` of `parent` and routes the
  // control's messages through WindowProc; false when there is no such
  // control or the object is already attached.
  bool SubclassDlgItem(int id, HWND parent);
  // Routes the messages of `window` through WindowProc.
  bool SubclassWindow(HWND window);
  // Attaches this object to `window` without taking its messages: a dialog,
  // whose messages come through its dialog procedure.
  bool Attach(HWND window);
  // Gives the window its own procedure back and forgets it.
  void UnsubclassWindow();

  // Offers a message on its way to `message->hwnd` to this window's filter;
  // true swallows it.
  virtual bool PreTranslateMessage(MSG* message);
  // A notification that the parent received about this control
  // (WM_DRAWITEM, WM_CTLCOLORBTN, WM_CTLCOLORSTATIC, ...); true when the
  // control handled it, with the parent's answer in `result`.
  virtual bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // Hands a parent's notification about the control `child` to the
  // control's object, when it has one.
  static bool ReflectChildNotify(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // Window calls; each is a plain call on the window, so that from another
  // thread it is carried out by the window's own thread before it returns.
  void MoveWindow(int left, int top, int width, int height, bool repaint = true) const;
  void ShowWindow(int command) const;
  bool IsWindowVisible() const;
  void SetWindowText(const std::wstring& text) const;
  std::wstring GetWindowText() const;
  void Invalidate(bool erase = true) const;
  int GetDlgCtrlID() const;
  RECT GetClientRect() const;

  HWND m_hWnd = nullptr;

 protected:
  // The control's messages; the base passes each to the window's own
  // procedure (Default).
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Called once the object is attached to its window, before the window's
  // messages come through WindowProc (an owner-drawn control sets its
  // style here).
  virtual void PreSubclassWindow() {}
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  WNDPROC m_previousProc = nullptr;
};

// WM_PAINT and WM_PRINTCLIENT of a control that paints itself: `paint`
// draws into the paint's (or the print's) device context. False for any
// other message.
template <typename Paint>
bool HandlePaintMessage(HWND window, UINT message, WPARAM wParam, Paint paint) {
  if (message == WM_PRINTCLIENT) {
    paint(reinterpret_cast<HDC>(wParam));
    return true;
  }
  if (message != WM_PAINT) return false;
  PAINTSTRUCT paintStruct;
  HDC dc = ::BeginPaint(window, &paintStruct);
  if (dc != nullptr) paint(dc);
  ::EndPaint(window, &paintStruct);
  return true;
}

}  // namespace bvlui
