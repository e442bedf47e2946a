// The wizard's key filter: Enter, Escape, Space, Cancel, F1 and Alt+F4 are
// swallowed in every window of the installer (and plain F4 as well while the
// licence page has the focus), so the wizard cannot be closed or a button
// pressed from the keyboard; only the buttons and the start-up gate end it.
#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

class KeyFilter : public QObject {
  Q_OBJECT

 public:
  // Filters the key events of `window` and all of its children.
  static void Install(QWidget* window);
  // True when the filter swallows this key (pressed inside the licence page
  // when `inLicencePage`).
  static bool Swallows(const QKeyEvent& event, bool inLicencePage);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using QObject::QObject;
};
