// The title-bar drag.
#include "app/window_drag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

bool WindowDrag::Press(QWidget* window, const QMouseEvent& event) {
  if (event.button() != Qt::LeftButton || event.position().y() >= kTitleBarHeight) return false;
  QWindow* handle = window->windowHandle();
  if (handle && handle->startSystemMove()) return true;
  m_dragging = true;
  m_grabOffset = event.globalPosition().toPoint() - window->pos();
  return true;
}

void WindowDrag::Move(QWidget* window, const QMouseEvent& event) {
  if (m_dragging && (event.buttons() & Qt::LeftButton)) window->move(event.globalPosition().toPoint() - m_grabOffset);
}

void WindowDrag::Release() { m_dragging = false; }
