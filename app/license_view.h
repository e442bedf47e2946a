// LicenseView: the wizard's first page — the introduction and the read-only
// installation and terms-of-use agreement (binary resource IDR_LICENSE_RTF,
// RTF).
#pragma once

#include <QFont>
#include <QTextEdit>
#include <QWidget>

#include "ui/d2d1_label.h"

class LicenseView : public QWidget {
  Q_OBJECT

 public:
  explicit LicenseView(QWidget* parent);

  bool OnInitDialog();
  // Styles and places the two controls and loads the agreement.
  void InitControls();

  bvlui::D2D1Label m_introLabel;
  QTextEdit m_licenseEdit;
  QFont m_font;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
