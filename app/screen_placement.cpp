// Centring on the machine's screen.
#include "app/screen_placement.h"

#include <QScreen>
#include <QWidget>

#include "platform/version.h"

QRect CentredOnScreen(const QWidget* window, int width, int height) {
  const QScreen* screen = window->screen();
  const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
  const int screenWidth = static_cast<int>(win::GetSystemMetrics(win::SM_CXSCREEN) / ratio);
  const int screenHeight = static_cast<int>(win::GetSystemMetrics(win::SM_CYSCREEN) / ratio);
  return QRect((screenWidth - width) / 2, (screenHeight - height) / 2, width, height);
}
