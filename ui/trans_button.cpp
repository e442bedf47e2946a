// The check box's colours: its own text and background colour, in the classic
// drawing that ignores the desktop's theme.
#include "ui/trans_button.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

QColor FromColorRef(win::COLORREF colour) {
  return QColor(win::GetRValue(colour), win::GetGValue(colour), win::GetBValue(colour));
}

// One classic style for every check box of the process: the box looks the
// same on every desktop.
QStyle* ClassicStyle() {
  static QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"));
  return style;
}

}  // namespace

CTransButton::CTransButton(QWidget* parent) : QCheckBox(parent) {
  if (QStyle* style = ClassicStyle()) setStyle(style);
}

void CTransButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  painter.fillRect(rect(), FromColorRef(m_backgroundColor));
  QStyleOptionButton option;
  initStyleOption(&option);
  option.palette.setColor(QPalette::WindowText, FromColorRef(m_textColor));
  option.palette.setColor(QPalette::Base, FromColorRef(m_backgroundColor));
  option.palette.setColor(QPalette::Window, FromColorRef(m_backgroundColor));
  painter.drawControl(QStyle::CE_CheckBox, option);
}
