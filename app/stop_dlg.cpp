// The message dialog: placement, controls and painting.
#include "app/stop_dlg.h"

#include <QCloseEvent>
#include <QPainter>

#include "app/control_style.h"
#include "app/dialog_chrome.h"
#include "app/installer_dlg.h"
#include "app/key_filter.h"
#include "app/resource.h"
#include "app/screen_placement.h"
#include "app/window_drag.h"
#include "app/window_placement.h"
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
  WindowDrag::Install(this);
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
  const LayoutRect& size = g_pInstallerDlg->m_layout[IDD_STOP_DLG];
  setGeometry(CentredOnScreen(this, size.Width(), size.Height()));
  setWindowTitle(QString::fromStdWString(RESBOX::GetString(IDS_INSTALL_TITLE)));
  InitControls();
  return true;
}

void StopDlg::InitControls() {
  LayoutTable& layout = g_pInstallerDlg->m_layout;
  PlaceWindow(&m_titleLabel, layout[IDC_STATIC_STOP_TITLE]);
  PlaceWindow(&m_messageLabel, layout[IDC_STATIC_STOP_MESSAGE]);
  PlaceWindow(&m_okButton, layout[IDC_BUTTON_STOP_OK]);
  PlaceWindow(&m_cancelButton, layout[IDC_BUTTON_STOP_CANCEL]);
  // An empty family: the default font, whose fallbacks show Hangul.
  StyleTextButton(&m_okButton, QString());
  StyleTextButton(&m_cancelButton, QString());
  StyleTitleLabel(&m_titleLabel);
  StylePageLabel(&m_messageLabel, 13);

  m_titleLabel.setText(QString::fromStdWString(RESBOX::GetString(IDS_INSTALL_TITLE)));
  m_messageLabel.setText(QString::fromStdWString(m_message));
  m_okButton.setText(QString::fromStdWString(RESBOX::GetString(IDS_STOP_OK)));
  m_cancelButton.setText(QString::fromStdWString(RESBOX::GetString(IDS_STOP_CANCEL)));
  if (!m_twoButtons) {
    // One OK button at the right, where Cancel stands in the other form.
    PlaceWindow(&m_okButton, layout[IDC_BUTTON_STOP_CANCEL]);
    m_cancelButton.hide();
  }
}

void StopDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintDialogChrome(painter, size(), kStopButtonBandTop);
}

void StopDlg::closeEvent(QCloseEvent* event) {
  if (m_ending) {
    event->accept();
  } else {
    event->ignore();
  }
}
