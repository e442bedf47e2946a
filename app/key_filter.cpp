// The key filter: one filter object on the application, which looks at key
// events addressed to the installer's windows.
#include "app/key_filter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {
const char* const kFilteredWindow = "bvlKeyFilter";
const char* const kLicencePage = "bvlLicencePage";
}  // namespace

void KeyFilter::Install(QWidget* window) {
  static KeyFilter* filter = nullptr;
  if (!filter) {
    filter = new KeyFilter(qApp);
    qApp->installEventFilter(filter);
  }
  window->setProperty(kFilteredWindow, true);
}

bool KeyFilter::Swallows(const QKeyEvent& event, bool inLicencePage) {
  switch (event.key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Cancel:
    case Qt::Key_F1:
      return true;
    case Qt::Key_F4:
      return inLicencePage || (event.modifiers() & Qt::AltModifier);
    default:
      return false;
  }
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) ||
      !watched->isWidgetType()) {
    return false;
  }
  // Only the installer's own windows filter their keys; a message box of the
  // system (the gate's, the worker's) keeps its Enter and Escape.
  QWidget* widget = static_cast<QWidget*>(watched);
  if (!widget->window()->property(kFilteredWindow).toBool()) return false;
  bool inLicencePage = false;
  for (QWidget* w = widget; w && !w->isWindow(); w = w->parentWidget()) {
    if (w->property(kLicencePage).toBool()) inLicencePage = true;
  }
  return Swallows(*static_cast<QKeyEvent*>(event), inLicencePage);
}
