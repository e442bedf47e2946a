// The title-bar drag.
#include "app/window_drag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include "app/dialog_chrome.h"

void WindowDrag::Install(QWidget* window) { window->installEventFilter(new WindowDrag(window)); }

WindowDrag::WindowDrag(QWidget* window) : QObject(window), m_window(window) {}

bool WindowDrag::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_window) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      return Press(*static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
      Move(*static_cast<QMouseEvent*>(event));
      return false;
    case QEvent::MouseButtonRelease:
      m_dragging = false;
      return false;
    default:
      return false;
  }
}

bool WindowDrag::Press(const QMouseEvent& event) {
  if (event.button() != Qt::LeftButton || event.position().y() >= kTitleBarHeight) return false;
  QWindow* handle = m_window->windowHandle();
  if (handle && handle->startSystemMove()) return true;
  m_dragging = true;
  m_grabOffset = event.globalPosition().toPoint() - m_window->pos();
  return true;
}

void WindowDrag::Move(const QMouseEvent& event) {
  if (m_dragging && (event.buttons() & Qt::LeftButton)) m_window->move(event.globalPosition().toPoint() - m_grabOffset);
}
