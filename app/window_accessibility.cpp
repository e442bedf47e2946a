// The accessibility factory of the main wizard window. Without it the
// borderless window would be a plain client area, which screen readers on
// the desktop announce as a "filler" rather than as the installer's window.
#include "app/window_accessibility.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("CbvlInstallerDlg") && object && object->isWidgetType()) {
    // The name of a window is its window text ("브림베일 설치 프로그램").
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
  }
  return nullptr;
}

}  // namespace

void InstallWindowAccessibility() { QAccessible::installFactory(Factory); }
