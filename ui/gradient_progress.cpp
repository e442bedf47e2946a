// Painting of the gradient progress bar.
#include "ui/gradient_progress.h"

#include <QPainter>

#include <string>

#include "ui/gradient_bands.h"

namespace {

QColor FromColorRef(win::COLORREF colour) {
  return QColor(win::GetRValue(colour), win::GetGValue(colour), win::GetBValue(colour));
}

}  // namespace

void PaintGradient(QPainter& painter, int width, int height, bool vertical, int filled, win::COLORREF start,
                   win::COLORREF end, win::COLORREF background) {
  const int length = vertical ? height : width;
  const bvlui::GradientPlan plan = bvlui::PlanGradient(length, filled, start, end);
  // Along the bar a band is a run of pixels; across it one pixel more than
  // the bar's size, which the bar's own edge cuts off.
  for (const bvlui::GradientBand& band : plan.bands) {
    const QRect area = vertical ? QRect(0, band.from, width + 1, band.to - band.from)
                                : QRect(band.from, 0, band.to - band.from, height + 1);
    painter.fillRect(area, FromColorRef(band.colour));
  }
  if (plan.backgroundFrom < length) {
    const QRect rest = vertical ? QRect(0, plan.backgroundFrom, width, height - plan.backgroundFrom)
                                : QRect(plan.backgroundFrom, 0, width - plan.backgroundFrom, height);
    painter.fillRect(rest, FromColorRef(background));
  }
}

GradientProgress::GradientProgress(QWidget* parent)
    : QProgressBar(parent), m_backgroundColor(win::GetSysColor(win::COLOR_BTNFACE)) {
  setRange(0, 100);
  setTextVisible(false);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientProgress::Paint(QPainter& painter) const {
  const QRect client = rect();
  if (bvlui::GradientIsEmpty(m_position, m_lower, m_upper)) {
    painter.fillRect(client, FromColorRef(win::GetSysColor(win::COLOR_BTNFACE)));
    return;
  }
  const bool vertical = orientation() == Qt::Vertical;
  const int length = vertical ? client.height() : client.width();
  const int filled = bvlui::GradientFilledExtent(m_position, m_upper, length);
  PaintGradient(painter, client.width(), client.height(), vertical, filled, m_startColor, m_endColor, m_backgroundColor);
  const std::wstring percent = m_showPercent ? bvlui::GradientPercentText(m_position, m_lower, m_upper) : std::wstring();
  if (!percent.empty()) {
    painter.setPen(FromColorRef(m_textColor));
    painter.drawText(client, Qt::AlignCenter, QString::fromStdWString(percent));
  }
}

QImage GradientProgress::Render() const {
  const qreal ratio = devicePixelRatioF();
  QImage buffer(size() * ratio, QImage::Format_RGB32);
  buffer.setDevicePixelRatio(ratio);
  QPainter painter(&buffer);
  Paint(painter);
  return buffer;
}

void GradientProgress::paintEvent(QPaintEvent*) {
  // Painted off screen and copied in one go, so the bar never flickers.
  const QImage buffer = Render();
  QPainter(this).drawImage(0, 0, buffer);
}
