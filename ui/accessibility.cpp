// The accessibility factory of the bvlui label and of list widgets.
#include "ui/accessibility.h"

#include <QAccessibleWidget>
#include <QListWidget>
#include <QPointer>
#include <QWindow>

#include <vector>

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

// One row of a list widget. It is invisible whenever its list is (a hidden
// list, or one on a hidden page), and off screen while scrolled out of view.
class ListRowAccessible : public QAccessibleInterface {
 public:
  ListRowAccessible(QListWidget* list, int row) : m_list(list), m_row(row) {}

  bool isValid() const override { return m_list && m_row < m_list->count(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_list.data()); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessible::Role role() const override { return QAccessible::ListItem; }

  QString text(QAccessible::Text kind) const override {
    const QListWidgetItem* item = Item();
    return kind == QAccessible::Name && item ? item->text() : QString();
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    const QListWidgetItem* item = Item();
    if (!item) return QRect();
    const QRect inViewport = m_list->visualItemRect(item);
    return QRect(m_list->viewport()->mapToGlobal(inViewport.topLeft()), inViewport.size());
  }

  QAccessible::State state() const override {
    QAccessible::State state;
    const QListWidgetItem* item = Item();
    if (!item || !m_list->isVisible()) {
      state.invisible = true;
      return state;
    }
    if (!m_list->viewport()->rect().intersects(m_list->visualItemRect(item))) state.offscreen = true;
    if (item->flags() & Qt::ItemIsSelectable) state.selectable = true;
    if (item->isSelected()) state.selected = true;
    return state;
  }

  int Row() const { return m_row; }
  const QListWidget* List() const { return m_list.data(); }

 private:
  QListWidgetItem* Item() const { return isValid() ? m_list->item(m_row) : nullptr; }

  QPointer<QListWidget> m_list;
  int m_row;
};

// A list widget whose children are its rows.
class ListAccessible : public QAccessibleWidget {
 public:
  explicit ListAccessible(QListWidget* list) : QAccessibleWidget(list, QAccessible::List) {}
  ~ListAccessible() override {
    for (QAccessible::Id id : m_rows) QAccessible::deleteAccessibleInterface(id);
  }

  int childCount() const override { return List()->count(); }

  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= List()->count()) return nullptr;
    // A row's interface is made once and kept, so that it keeps its id.
    while (static_cast<int>(m_rows.size()) <= index) {
      m_rows.push_back(QAccessible::registerAccessibleInterface(
          new ListRowAccessible(List(), static_cast<int>(m_rows.size()))));
    }
    return QAccessible::accessibleInterface(m_rows[index]);
  }

  int indexOfChild(const QAccessibleInterface* child) const override {
    const auto* row = dynamic_cast<const ListRowAccessible*>(child);
    return row && row->List() == List() && row->Row() < List()->count() ? row->Row() : -1;
  }

  QAccessibleInterface* childAt(int x, int y) const override {
    const QListWidgetItem* item = List()->itemAt(List()->viewport()->mapFromGlobal(QPoint(x, y)));
    return item ? child(List()->row(item)) : nullptr;
  }

 private:
  QListWidget* List() const { return static_cast<QListWidget*>(widget()); }

  mutable std::vector<QAccessible::Id> m_rows;
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  if (className == QLatin1String("bvlui::D2D1Label")) return new LabelAccessible(static_cast<QWidget*>(object));
  if (className == QLatin1String("QListWidget")) return new ListAccessible(static_cast<QListWidget*>(object));
  return nullptr;
}

}  // namespace

void InstallAccessibility() { QAccessible::installFactory(Factory); }

}  // namespace bvlui
