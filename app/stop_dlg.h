// StopDlg: the installer's own modal message dialog in the wizard's style.
// Two buttons: the confirmation "stop the installation?" (OK ends the
// installer). One button: the start-up gate's refusals.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

#include "ui/button.h"
#include "ui/d2d1_label.h"

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

class StopDlg : public QDialog {
  Q_OBJECT

 public:
  StopDlg(std::wstring message, std::int32_t twoButtons, QWidget* parent);

  // Runs the dialog modally: IDOK when OK was pressed, IDCANCEL for Cancel.
  int DoModal();
  bool OnInitDialog();
  void InitControls();

  bvlui::D2D1Label m_titleLabel;
  bvlui::D2D1Label m_messageLabel;
  bvlui::ImageButton m_okButton;
  bvlui::ImageButton m_cancelButton;
  std::wstring m_message;
  std::int32_t m_twoButtons;

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The dialog closes only through its buttons.
  void closeEvent(QCloseEvent* event) override;
  void reject() override {}

 private:
  bool m_ending = false;
};
