// The message dialog: placement, controls and painting.
#include "app/stop_dlg.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>

#include "app/dialog_chrome.h"
#include "app/installer_dlg.h"
#include "app/key_filter.h"
#include "app/screen_placement.h"
#include "app/wizard_texts.h"
#include "platform/version.h"
#include "ui/resbox.h"

StopDlg::StopDlg(std::wstring message, std::int32_t twoButtons, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      m_titleLabel(this),
      m_messageLabel(this),
      m_okButton(this),
      m_cancelButton(this),
      m_message(std::move(message)),
      m_twoButtons(twoButtons) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setModal(true);
  KeyFilter::Install(this);
  connect(&m_okButton, &QAbstractButton::clicked, this, [this] {
    m_ending = true;
    done(IDOK);
  });
  connect(&m_cancelButton, &QAbstractButton::clicked, this, [this] {
    m_ending = true;
    done(IDCANCEL);
  });
}

int StopDlg::DoModal() {
  OnInitDialog();
  return exec();
}

bool StopDlg::OnInitDialog() {
  // Centred on the primary screen of the machine.
  const LayoutRect& size = g_pInstallerDlg->m_layout[137];
  setGeometry(CentredOnScreen(this, size.Width(), size.Height()));
  setWindowTitle(QString::fromStdWString(RESBOX::GetString(306)));
  InitControls();
  return true;
}

void StopDlg::InitControls() {
  LayoutTable& layout = g_pInstallerDlg->m_layout;
  PlaceWindow(&m_titleLabel, layout[1020]);
  PlaceWindow(&m_messageLabel, layout[1021]);
  PlaceWindow(&m_okButton, layout[1015]);
  PlaceWindow(&m_cancelButton, layout[1016]);
  for (bvlui::ImageButton* button : {&m_okButton, &m_cancelButton}) {
    button->m_bitmaps[bvlui::kStateNormal] = RESBOX::GetImage(1105);
    button->m_bitmaps[bvlui::kStateHover] = RESBOX::GetImage(1104);
    // An empty family: the default font, whose fallbacks show Hangul.
    button->SetTextFont(QString(), 12);
    button->m_textColor = {0x707070, 1.0f};
    button->m_secondTextColor = {0x707070, 1.0f};
  }
  m_titleLabel.m_fontFamily = kKoreanFamily;
  m_titleLabel.m_fontSize = 12;
  m_titleLabel.m_textAlignment = bvlui::kTextAlignmentLeading;
  m_titleLabel.m_paragraphAlignment = bvlui::kParagraphAlignmentCenter;
  m_titleLabel.m_backgroundColor = {0.0f, 165 / 255.0f, 81 / 255.0f, 1.0f};
  m_titleLabel.m_textColor = {1, 1, 1, 1};
  m_messageLabel.m_fontFamily = kKoreanFamily;
  m_messageLabel.m_fontSize = 13;
  m_messageLabel.m_textAlignment = bvlui::kTextAlignmentLeading;
  m_messageLabel.m_paragraphAlignment = bvlui::kParagraphAlignmentCenter;

  m_titleLabel.setText(QString::fromStdWString(RESBOX::GetString(306)));
  m_messageLabel.setText(QString::fromStdWString(m_message));
  m_okButton.setText(QString::fromStdWString(RESBOX::GetString(304)));
  m_cancelButton.setText(QString::fromStdWString(RESBOX::GetString(305)));
  if (!m_twoButtons) {
    // One OK button at the right, where Cancel stands in the other form.
    PlaceWindow(&m_okButton, layout[1016]);
    m_cancelButton.hide();
  }
}

void StopDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintDialogChrome(painter, size(), 121);
}

void StopDlg::mousePressEvent(QMouseEvent* event) {
  if (!m_drag.Press(this, *event)) QDialog::mousePressEvent(event);
}

void StopDlg::mouseMoveEvent(QMouseEvent* event) {
  m_drag.Move(this, *event);
  QDialog::mouseMoveEvent(event);
}

void StopDlg::mouseReleaseEvent(QMouseEvent* event) {
  m_drag.Release();
  QDialog::mouseReleaseEvent(event);
}

void StopDlg::closeEvent(QCloseEvent* event) {
  if (m_ending) {
    event->accept();
  } else {
    event->ignore();
  }
}
