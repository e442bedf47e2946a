// Dragging a borderless window by its green title bar: a press whose y is
// below the bar's height hands the move to the window system, or, where the
// display has no window manager to do it, follows the pointer itself.
#pragma once

#include <QObject>
#include <QPoint>

class QMouseEvent;
class QWidget;

class WindowDrag : public QObject {
  Q_OBJECT

 public:
  // Lets `window` be dragged by its title bar; the drag lives as long as
  // the window.
  static void Install(QWidget* window);

 protected:
  // Watches the window's own mouse events; a press that starts a drag goes
  // no further.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  explicit WindowDrag(QWidget* window);
  bool Press(const QMouseEvent& event);
  void Move(const QMouseEvent& event);

  QWidget* m_window;
  bool m_dragging = false;
  QPoint m_grabOffset;  // pointer minus window position at the press
};
