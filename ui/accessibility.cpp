// The accessibility factory of the bvlui label.
#include "ui/accessibility.h"

#include <QAccessibleWidget>

#include "ui/d2d1_label.h"

namespace bvlui {

namespace {

class LabelAccessible : public QAccessibleWidget {
 public:
  explicit LabelAccessible(QWidget* label) : QAccessibleWidget(label, QAccessible::StaticText) {}
  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name) {
      return static_cast<const D2D1Label*>(widget())->text().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }
    return QAccessibleWidget::text(kind);
  }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("bvlui::D2D1Label") && object && object->isWidgetType()) {
    return new LabelAccessible(static_cast<QWidget*>(object));
  }
  return nullptr;
}

}  // namespace

void InstallAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

}  // namespace bvlui
