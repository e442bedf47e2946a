// Dragging a borderless window by its green title bar: a press whose y is
// below 40 hands the move to the window system, or, where the display has no
// window manager to do it, follows the pointer itself.
#pragma once

#include <QPoint>

class QMouseEvent;
class QWidget;

class WindowDrag {
 public:
  static constexpr int kTitleBarHeight = 40;

  // A press on the window's own area; true when it started a drag.
  bool Press(QWidget* window, const QMouseEvent& event);
  void Move(QWidget* window, const QMouseEvent& event);
  void Release();
  bool Dragging() const { return m_dragging; }

 private:
  bool m_dragging = false;
  QPoint m_grabOffset;  // pointer minus window position at the press
};
