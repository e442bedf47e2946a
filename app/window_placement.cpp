// Placing a wizard window from the layout table.
#include "app/window_placement.h"

#include <QWidget>

void PlaceWindow(QWidget* window, const LayoutRect& rect) {
  if (!window) return;
  window->setGeometry(ToQRect(rect));
  window->update();
}
