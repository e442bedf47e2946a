// Painting of the label: background, then the text in the client rectangle.
#include "ui/d2d1_label.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

#include "ui/accessibility.h"

namespace bvlui {

QFont MakeFont(const QString& family, float sizeDips, int weight) {
  QFont font(family);
  font.setPixelSize(std::max(1, qRound(sizeDips)));
  font.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 1, 1000)));
  font.setStyle(QFont::StyleNormal);
  font.setStretch(QFont::Unstretched);
  return font;
}

D2D1Label::D2D1Label(QWidget* parent) : QWidget(parent) {
  InstallAccessibility();
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void D2D1Label::setText(const QString& text) {
  if (text == m_text) return;
  m_text = text;
  setAccessibleName(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  update();
}

void D2D1Label::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), m_backgroundColor.ToQColor());
  if (m_text.isEmpty()) return;

  int flags = 0;
  switch (m_textAlignment) {
    case kTextAlignmentTrailing: flags |= Qt::AlignRight; break;
    case kTextAlignmentCenter: flags |= Qt::AlignHCenter; break;
    case kTextAlignmentJustified: flags |= Qt::AlignJustify; break;
    default: flags |= Qt::AlignLeft; break;
  }
  switch (m_paragraphAlignment) {
    case kParagraphAlignmentFar: flags |= Qt::AlignBottom; break;
    case kParagraphAlignmentCenter: flags |= Qt::AlignVCenter; break;
    default: flags |= Qt::AlignTop; break;
  }
  const QFont font = MakeFont(m_fontFamily, m_fontSize, m_fontWeight);
  painter.setFont(font);
  painter.setPen(m_textColor.ToQColor());
  QString text = m_text;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (m_trimWithEllipsis) {
    text = QFontMetrics(font).elidedText(text.section(QLatin1Char('\n'), 0, 0), Qt::ElideRight, width());
  } else {
    flags |= Qt::TextWordWrap;
  }
  painter.drawText(rect(), flags, text);
}

}  // namespace bvlui
