// Dialog: the native wizard's dialog windows, made from the program's dialog
// templates — the main window and the message dialog run modally with their
// own message loop, the pages live as child dialogs of the main window.
// What a dialog receives about its controls is first handed to the
// control's object (owner drawing, control colours), and every message of
// the loop is offered to the filters of the windows it passes on its way.
#pragma once

#include "ui/windows/windows_headers.h"

#include "app/layout_table.h"
#include "ui/windows/native_window.h"

class Dialog : public bvlui::NativeWindow {
 public:
  explicit Dialog(UINT templateId) : m_templateId(templateId) {}
  ~Dialog() override;

  // A page: a child dialog of `parent`, created hidden unless its template
  // says otherwise; false when the window could not be made.
  bool Create(HWND parent);
  // Runs the dialog modally over `owner` (disabled meanwhile) until EndDialog
  // or a posted WM_QUIT; returns the result given to EndDialog (0 after
  // WM_QUIT, which is posted again for the loop around).
  INT_PTR DoModal(HWND owner);
  void EndDialog(INT_PTR result);
  void DestroyWindow();

 protected:
  virtual bool OnInitDialog() { return true; }
  // WM_ERASEBKGND: true when the background counts as erased.
  virtual bool OnEraseBkgnd(HDC) { return false; }
  // BN_CLICKED of a control.
  virtual void OnButtonClicked(int /*id*/) {}
  // WM_CTLCOLOR* after the control's own answer (`brush`, null when it has
  // none); returns the brush to paint the control with.
  virtual HBRUSH OnCtlColor(HDC, HWND /*control*/, HBRUSH brush) { return brush; }
  // Any other message; true when handled, with the answer in `result`.
  virtual bool OnMessage(UINT /*message*/, WPARAM, LPARAM, LRESULT* /*result*/) { return false; }

  // A click in the green title bar moves the window as a drag of its
  // caption would (the main window and the message dialog).
  void DragFromTitleBar(LPARAM clickPoint) const;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Offers the message to the filters from its window up to this dialog.
  bool WalkPreTranslateTree(MSG* message);

  UINT m_templateId;
  bool m_ended = false;
  INT_PTR m_result = 0;
};

// Places a window from a layout table entry: moved to (left, top), sized
// right - left by bottom - top, repainted.
void Place(const bvlui::NativeWindow& window, const LayoutRect& rect);

// The key filter of the installer's windows: swallows the system menu's
// Close, Alt+F4 and Escape, Enter, Space, Cancel and F1 pressed down, so
// that the wizard can be left only through its buttons. With
// `anyF4` (the licence page) every message carrying F4 is swallowed too.
bool SwallowedByKeyFilter(const MSG& message, bool anyF4 = false);
