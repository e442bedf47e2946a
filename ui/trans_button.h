// CTransButton: the completion page's check box, grey on white so that it
// blends into the white page; its question is painted by the page beside it.
#pragma once

#include <QCheckBox>

#include "platform/sys_colors.h"

class CTransButton : public QCheckBox {
  Q_OBJECT

 public:
  explicit CTransButton(QWidget* parent = nullptr);

  win::COLORREF m_textColor = 0x004D4D4D;
  win::COLORREF m_backgroundColor = 0x00FFFFFF;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
