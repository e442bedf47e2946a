// GradientProgress: the progress page's bar, painting its filled part as
// bands of colour running from the start colour towards the end colour,
// double-buffered, on the background colour.
#pragma once

#include <QImage>
#include <QProgressBar>

#include <cstdint>

#include "platform/sys_colors.h"

class GradientProgress : public QProgressBar {
  Q_OBJECT

 public:
  explicit GradientProgress(QWidget* parent = nullptr);

  std::int32_t m_lower = 0;
  std::int32_t m_upper = 100;
  std::int32_t m_step = 10;  // kept for the owner; painting does not use it
  std::int32_t m_position = 0;
  win::COLORREF m_startColor = 0x000000FF;
  win::COLORREF m_endColor = 0x00FF0000;
  win::COLORREF m_backgroundColor;  // the system's button face until set
  win::COLORREF m_textColor = 0x00FFFFFF;
  bool m_showPercent = false;

  // The bar as it paints at its present size and fields.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Paint(QPainter& painter) const;
};

// The gradient into a `width` x `height` area: bands of the colour step of
// the channel that changes most, drawn until the first band whose far edge
// passes `filled`, then the background to the end. Equal start and end
// colours give a solid bar of the start colour.
void PaintGradient(QPainter& painter, int width, int height, bool vertical, int filled, win::COLORREF start,
                   win::COLORREF end, win::COLORREF background);
